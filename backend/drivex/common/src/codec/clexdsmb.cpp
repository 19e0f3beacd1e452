#include "codec/clexdsmb.h"

#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "codec/bytewriter.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"

namespace {

using codec::ByteReader;
using codec::ByteWriter;
using codec::DecodeBudget;

constexpr std::size_t kMaxImage =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

template <class Block>
std::size_t ArraysSize(const std::vector<Block>& lists) {
    std::size_t size = CleXDSmb::LONG_LEN;
    for (const Block& list : lists) size += list.EncodedSize();
    return size;
}

template <class Block>
void WriteArrays(ByteWriter& writer, const std::vector<Block>& lists) {
    writer.PutFixed32(static_cast<std::int32_t>(lists.size()));
    for (const Block& list : lists) list.EncodeTo(writer);
}

// The `count` arrays that follow their count.
template <class Block>
bool ReadArrayValues(ByteReader& reader, DecodeBudget& budget, std::int32_t count,
                     std::vector<Block>& lists) {
    if (count <= 0) return true;
    // Every block image holds at least its count.
    if (static_cast<std::size_t>(count) > reader.remaining() / CleXDSmb::LONG_LEN) return false;
    if (!budget.Take(static_cast<std::size_t>(count), sizeof(Block))) return false;
    lists.resize(static_cast<std::size_t>(count));
    for (Block& list : lists) {
        if (!list.DecodeFrom(reader, budget)) return false;
    }
    return true;
}

template <class Block>
bool ReadArrays(ByteReader& reader, DecodeBudget& budget, std::vector<Block>& lists) {
    std::int32_t count = 0;
    return reader.GetFixed32(&count) && ReadArrayValues(reader, budget, count, lists);
}

template <class Block>
void AppendArrays(std::vector<Block>& target, std::vector<Block>&& incoming) {
    if (target.empty()) {
        target = std::move(incoming);
    } else {
        for (Block& list : incoming) target.push_back(std::move(list));
    }
}

void WriteWide(ByteWriter& writer, const char16_t* text, std::int32_t units) {
    writer.PutFixed32(units);
    const std::size_t bytes = 2 * static_cast<std::size_t>(units);
    if (bytes == 0) return;
    unsigned char* out = writer.claim(bytes);
    if (!out) return;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, text, bytes);
    } else {
        for (std::int32_t i = 0; i < units; ++i) {
            out[2 * i] = static_cast<unsigned char>(text[i]);
            out[2 * i + 1] = static_cast<unsigned char>(text[i] >> 8);
        }
    }
}

StringData AsValues(const codec::TextCells& cells) {
    StringData list;
    list.Reserve(cells.count());
    for (std::size_t i = 0; i < cells.count(); ++i) list.SetValue(std::string(cells.At(i)));
    return list;
}

// The size of the image about to be built for a send; traced when too large.
std::int32_t SizeForSend(const CleXDSmb& message, std::size_t& size) {
    const std::int32_t status = message.EncodedSize(size);
    if (status != VEXA_OK) DxTraceError("CleXDSmb::ContructSendData image fits 32 bits", status);
    return status;
}

}  // namespace

void CleXDSmb::CleanUpAllData() {
    m_long.CleanUp();
    m_double.CleanUp();
    m_string.CleanUp();
    m_struct.CleanUp();
    m_records.clear();
    m_long_arrays.clear();
    m_double_arrays.clear();
    m_string_arrays.clear();
    m_text_cells.reset();
    m_void.reset();
    m_void_offset = 0;
    m_void_length = 0;
    m_lent_void = nullptr;
    ReleaseBinaryString();
}

void CleXDSmb::CleanUp() {
    m_send_buf.reset();
    m_send_image = 0;
    m_wide.reset();
    m_wide_length = 0;
    CleanUpAllData();
    m_send_length = 0;
}

void CleXDSmb::ReleaseBinaryString() {
    m_binary.reset();
    m_binary_length = 0;
}

void CleXDSmb::SetwString(const char16_t* text) {
    if (!text) {
        m_wide.reset();
        m_wide_length = 0;
        return;
    }
    const std::size_t units = std::char_traits<char16_t>::length(text);
    auto copy = std::make_unique<char16_t[]>(units + 1);
    std::memcpy(copy.get(), text, (units + 1) * sizeof(char16_t));
    m_wide = std::move(copy);
    // Longer than any image can carry; EncodedSize refuses it.
    m_wide_length = units > kMaxImage ? std::numeric_limits<std::int32_t>::max()
                                      : static_cast<std::int32_t>(units);
}

std::int32_t CleXDSmb::SetBinaryString(const void* bytes, std::int32_t length) {
    if (length < 0 || (!bytes && length > 0)) return VEXA_BAD_ARGUMENT;
    const std::size_t n = static_cast<std::size_t>(length);
    auto copy = std::make_unique<char[]>(n + 1);  // value-initialised: trailing zero
    if (n > 0) std::memcpy(copy.get(), bytes, n);
    m_binary = std::move(copy);
    m_binary_length = length;
    return VEXA_OK;
}

char* CleXDSmb::GetBinaryData(std::int32_t* length) {
    if (length) *length = m_binary_length;
    m_binary_length = 0;
    return m_binary.release();
}

void CleXDSmb::SetVoidData(void* data, std::int32_t length) {
    const std::int32_t usable = (data && length > 0) ? length : 0;
    m_void.reset(data, static_cast<std::size_t>(usable));
    m_void_offset = 0;
    m_void_length = usable;
    m_lent_void = nullptr;
}

void CleXDSmb::LendVoidData(const void* data, std::int32_t length) {
    const bool usable = data && length > 0;
    m_void.reset();
    m_void_offset = 0;
    m_void_length = usable ? length : 0;
    m_lent_void = usable ? static_cast<const unsigned char*>(data) : nullptr;
}

std::int32_t CleXDSmb::AllocVoidData(std::int32_t capacity) {
    if (capacity < 0) return VEXA_BAD_ARGUMENT;
    m_void = codec::OwnedBuffer::Allocate(static_cast<std::size_t>(capacity));
    m_void_offset = 0;
    m_void_length = 0;
    m_lent_void = nullptr;
    return VEXA_OK;
}

std::int32_t CleXDSmb::SaveDataIntoVoidData(const void* bytes, std::int32_t length) {
    if (length < 0 || (!bytes && length > 0)) return VEXA_BAD_ARGUMENT;
    SlideVoidToFront();
    const std::size_t at = static_cast<std::size_t>(m_void_length);
    const std::size_t n = static_cast<std::size_t>(length);
    if (n > m_void.size() - at) return VEXA_BAD_ARGUMENT;
    if (n > 0) std::memcpy(m_void.bytes() + at, bytes, n);
    m_void_length += length;
    return VEXA_OK;
}

void CleXDSmb::SlideVoidToFront() {
    if (m_lent_void) {
        codec::OwnedBuffer copy =
            codec::OwnedBuffer::Allocate(static_cast<std::size_t>(m_void_length));
        std::memcpy(copy.data(), m_lent_void, static_cast<std::size_t>(m_void_length));
        m_void = std::move(copy);
        m_void_offset = 0;
        m_lent_void = nullptr;
        return;
    }
    if (m_void_offset == 0) return;
    std::memmove(m_void.data(), m_void.bytes() + m_void_offset,
                 static_cast<std::size_t>(m_void_length));
    m_void_offset = 0;
}

void* CleXDSmb::ReleaseVoidData(std::int32_t& length) {
    SlideVoidToFront();
    length = m_void_length;
    m_void_length = 0;
    return m_void.release();
}

codec::OwnedBuffer CleXDSmb::TakeVoidBlock(std::int32_t& length) {
    SlideVoidToFront();
    length = m_void_length;
    m_void_length = 0;
    return std::move(m_void);
}

codec::OwnedBuffer CleXDSmb::TakeVoidBlock(std::int32_t& length, std::size_t& offset) {
    if (m_lent_void) SlideVoidToFront();
    length = m_void_length;
    offset = m_void_offset;
    m_void_length = 0;
    m_void_offset = 0;
    return std::move(m_void);
}

std::int32_t CleXDSmb::EncodedSize(std::size_t& size) const {
    std::size_t total = HEADER_SIZE;
    total += m_long.EncodedSize() + m_double.EncodedSize() + m_string.EncodedSize() +
             m_struct.EncodedSize() + m_records.size();
    if (m_struct.Size() + m_records.count() > kMaxImage) return VEXA_BAD_ARGUMENT;
    total += ArraysSize(m_long_arrays) + ArraysSize(m_double_arrays) + StringArraysSize();
    total += LONG_LEN + (m_binary ? static_cast<std::size_t>(m_binary_length) : 0);
    total += LONG_LEN + (m_wide ? 2 * static_cast<std::size_t>(m_wide_length) : 0);
    total += LONG_LEN + static_cast<std::size_t>(m_void_length);
    if (total > kMaxImage) return VEXA_BAD_ARGUMENT;
    size = total;
    return VEXA_OK;
}

std::int32_t CleXDSmb::EncodeInto(void* buffer, std::size_t capacity) const {
    std::size_t size = 0;
    if (std::int32_t status = EncodedSize(size); status != VEXA_OK) return status;
    if (!buffer || capacity < size) return VEXA_BAD_ARGUMENT;
    return EncodeImage(buffer, size);
}

std::size_t CleXDSmb::FrontSize() const {
    return HEADER_SIZE + m_long.EncodedSize() + m_double.EncodedSize() + m_string.EncodedSize() +
           m_struct.EncodedSize();
}

void CleXDSmb::EncodeFront(ByteWriter& writer, std::size_t total) const {
    writer.PutFixed32(static_cast<std::int32_t>(total));
    writer.PutFixed32(m_command_action);
    writer.PutFixed32(m_error_code);
    m_long.EncodeTo(writer);
    m_double.EncodeTo(writer);
    m_string.EncodeTo(writer);
    writer.PutFixed32(static_cast<std::int32_t>(m_struct.Size() + m_records.count()));
    m_struct.EncodeValuesTo(writer);
}

void CleXDSmb::EncodeBack(ByteWriter& writer) const {
    WriteArrays(writer, m_long_arrays);
    WriteArrays(writer, m_double_arrays);
    EncodeStringArrays(writer);
    const std::int32_t binary_length = m_binary ? m_binary_length : 0;
    writer.PutFixed32(binary_length);
    writer.PutBytes(m_binary.get(), static_cast<std::size_t>(binary_length));
    WriteWide(writer, m_wide.get(), m_wide ? m_wide_length : 0);
    writer.PutFixed32(m_void_length);
}

std::int32_t CleXDSmb::EncodeImage(void* buffer, std::size_t total) const {
    ByteWriter writer(buffer, total);
    EncodeFront(writer, total);
    writer.PutBytes(m_records.bytes(), m_records.size());
    EncodeBack(writer);
    writer.PutBytes(VoidBytes(), static_cast<std::size_t>(m_void_length));
    if (!writer.ok() || writer.written() != total) {
        DxTraceError("CleXDSmb::EncodeInto written == size", VEXA_BAD_ARGUMENT);
        return VEXA_BAD_ARGUMENT;
    }
    return VEXA_OK;
}

unsigned char* CleXDSmb::SendRoom(std::size_t size) {
    m_send_image = 0;
    // A fresh large buffer costs a page fault per page on its first write, far
    // more than the encode itself; one four times too large is given back.
    const std::size_t room = m_send_buf.size();
    if (room < size || room / 4 > size) {
        m_send_buf.reset();
        m_send_buf = codec::OwnedBuffer::Allocate(size);
    }
    return m_send_buf.bytes();
}

std::int32_t CleXDSmb::ContructSendData() {
    m_send_image = 0;
    m_send_length = 0;
    std::size_t size = 0;
    if (std::int32_t status = SizeForSend(*this, size); status != VEXA_OK) return status;
    if (std::int32_t status = EncodeImage(SendRoom(size), size); status != VEXA_OK) return status;
    m_send_image = size;
    m_send_length = static_cast<std::int32_t>(size);
    return VEXA_OK;
}

std::int32_t CleXDSmb::ContructSendRuns(std::array<codec::ByteRun, SEND_RUNS>& runs) {
    m_send_image = 0;
    m_send_length = 0;
    std::size_t size = 0;
    if (std::int32_t status = SizeForSend(*this, size); status != VEXA_OK) return status;
    const std::size_t front = FrontSize();
    const std::size_t back =
        size - front - m_records.size() - static_cast<std::size_t>(m_void_length);
    unsigned char* encoded = SendRoom(front + back);
    ByteWriter frontWriter(encoded, front);
    EncodeFront(frontWriter, size);
    ByteWriter backWriter(encoded + front, back);
    EncodeBack(backWriter);
    if (!frontWriter.ok() || frontWriter.written() != front || !backWriter.ok() ||
        backWriter.written() != back) {
        DxTraceError("CleXDSmb::ContructSendData written == size", VEXA_BAD_ARGUMENT);
        return VEXA_BAD_ARGUMENT;
    }
    runs = {codec::ByteRun{encoded, front}, codec::ByteRun{m_records.bytes(), m_records.size()},
            codec::ByteRun{encoded + front, back},
            codec::ByteRun{VoidBytes(), static_cast<std::size_t>(m_void_length)}};
    m_send_image = front + back;
    m_send_length = static_cast<std::int32_t>(size);
    return VEXA_OK;
}

std::int32_t CleXDSmb::PeekTotalSize(const void* bytes, std::size_t available,
                                     std::int32_t& total) {
    if (!bytes) return VEXA_BAD_ARGUMENT;
    ByteReader reader(bytes, available);
    std::int32_t value = 0;
    if (!reader.GetFixed32(&value) || value < MIN_IMAGE_SIZE) return VEXA_MALFORMED_MESSAGE;
    total = value;
    return VEXA_OK;
}

const char* CleXDSmb::Decode(ByteReader& reader, bool copy_void) {
    std::int32_t total = 0;
    if (!reader.GetFixed32(&total)) return "available >= 4";
    if (total < MIN_IMAGE_SIZE) return "T >= 52";
    // From here on only the T bytes of the image are visible.
    const std::size_t body_size = static_cast<std::size_t>(total) - LONG_LEN;
    const unsigned char* body = nullptr;
    if (!reader.GetBytes(body_size, &body)) return "T <= available";
    ByteReader image(body, body_size);
    m_send_length = total;
    if (!image.GetFixed32(&m_command_action) || !image.GetFixed32(&m_error_code)) {
        return "header fits T";
    }
    DecodeBudget budget = DecodeBudget::ForImage(body_size);
    if (!m_long.DecodeFrom(image, budget) || !m_double.DecodeFrom(image, budget) ||
        !m_string.DecodeFrom(image, budget) || !DecodeStruct(image, budget)) {
        return budget.exceeded() ? "decoded image within 2T" : "blocks fit T";
    }
    if (!ReadArrays(image, budget, m_long_arrays) || !ReadArrays(image, budget, m_double_arrays) ||
        !DecodeStringArrays(image, budget)) {
        return budget.exceeded() ? "decoded image within 2T" : "arrays fit T";
    }

    std::int32_t binary_length = 0;
    const unsigned char* bytes = nullptr;
    if (!image.GetFixed32(&binary_length) || binary_length < 0) return "binary length >= 0";
    if (!image.GetBytes(static_cast<std::size_t>(binary_length), &bytes)) {
        return "binary string fits T";
    }
    if (binary_length > 0) {
        SetBinaryString(bytes, binary_length);
    }

    std::int32_t wide_length = 0;
    if (!image.GetFixed32(&wide_length) || wide_length < 0) return "wide length >= 0";
    const std::size_t units = static_cast<std::size_t>(wide_length);
    if (units > image.remaining() / 2 || !image.GetBytes(2 * units, &bytes)) {
        return "wide string fits T";
    }
    if (wide_length > 0) {
        auto text = std::make_unique<char16_t[]>(units + 1);
        for (std::size_t i = 0; i < units; ++i) {
            text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        }
        text[units] = 0;
        m_wide = std::move(text);
        m_wide_length = wide_length;
    }

    std::int32_t void_length = 0;
    if (!image.GetFixed32(&void_length) || void_length < 0) return "void length >= 0";
    if (!image.GetBytes(static_cast<std::size_t>(void_length), &bytes)) {
        return "void data fits T";
    }
    if (image.remaining() != 0) return "fields add up to T";
    if (void_length > 0 && copy_void) {
        m_void = codec::OwnedBuffer::Allocate(static_cast<std::size_t>(void_length));
        m_void_offset = 0;
        std::memcpy(m_void.data(), bytes, static_cast<std::size_t>(void_length));
    }
    m_void_length = void_length;
    return nullptr;
}

bool CleXDSmb::DecodeStruct(ByteReader& reader, DecodeBudget& budget) {
    if (!m_keep_records) return m_struct.DecodeFrom(reader, budget);
    ByteReader probe = reader;
    std::int32_t count = 0;
    const unsigned char* first = nullptr;
    if (!probe.GetFixed32(&count) || !probe.GetBytes(0, &first)) return false;
    // As for record objects, a count below one means none.
    const std::size_t start = probe.consumed();
    codec::CellRecord record;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!codec::CellRecords::Read(probe, record)) return false;
    }
    if (count > 0)
        m_records.AppendImage(first, probe.consumed() - start, static_cast<std::size_t>(count));
    reader = probe;
    return true;
}

std::size_t CleXDSmb::StringArraysSize() const {
    return ArraysSize(m_string_arrays) + (m_text_cells ? m_text_cells->EncodedSize() : 0);
}

void CleXDSmb::EncodeStringArrays(ByteWriter& writer) const {
    if (!m_text_cells) return WriteArrays(writer, m_string_arrays);
    writer.PutFixed32(static_cast<std::int32_t>(m_string_arrays.size() + 1));
    m_text_cells->EncodeTo(writer);
    for (const StringData& list : m_string_arrays) list.EncodeTo(writer);
}

bool CleXDSmb::DecodeStringArrays(ByteReader& reader, DecodeBudget& budget) {
    if (!m_keep_text_cells) return ReadArrays(reader, budget, m_string_arrays);
    ByteReader probe = reader;
    std::int32_t count = 0;
    if (!probe.GetFixed32(&count)) return false;
    if (count <= 0) {
        reader = probe;
        return true;
    }
    auto cells = std::make_unique<codec::TextCells>();
    std::vector<StringData> rest;
    if (!cells->Read(probe, budget) || !ReadArrayValues(probe, budget, count - 1, rest)) {
        return false;
    }
    m_text_cells = std::move(cells);
    m_string_arrays = std::move(rest);
    reader = probe;
    return true;
}

void CleXDSmb::Absorb(CleXDSmb&& incoming) {
    m_send_length = incoming.m_send_length;
    m_command_action = incoming.m_command_action;
    m_error_code = incoming.m_error_code;
    m_long.AppendFrom(std::move(incoming.m_long));
    m_double.AppendFrom(std::move(incoming.m_double));
    m_string.AppendFrom(std::move(incoming.m_string));
    m_struct.AppendFrom(std::move(incoming.m_struct));
    if (m_records.empty()) {
        m_records = std::move(incoming.m_records);
    } else {
        m_records.AppendImage(incoming.m_records.bytes(), incoming.m_records.size(),
                              incoming.m_records.count());
    }
    AppendArrays(m_long_arrays, std::move(incoming.m_long_arrays));
    AppendArrays(m_double_arrays, std::move(incoming.m_double_arrays));
    if (incoming.m_text_cells && (m_text_cells || !m_string_arrays.empty())) {
        // Only the first string array of all stays in wire form.
        incoming.m_string_arrays.insert(incoming.m_string_arrays.begin(),
                                        AsValues(*incoming.m_text_cells));
        incoming.m_text_cells.reset();
    }
    if (incoming.m_text_cells) m_text_cells = std::move(incoming.m_text_cells);
    AppendArrays(m_string_arrays, std::move(incoming.m_string_arrays));
    // Strings and void data are single values: the received ones replace.
    m_binary = std::move(incoming.m_binary);
    m_binary_length = incoming.m_binary_length;
    m_wide = std::move(incoming.m_wide);
    m_wide_length = incoming.m_wide_length;
    m_void = std::move(incoming.m_void);
    m_void_offset = incoming.m_void_offset;
    m_void_length = incoming.m_void_length;
    m_lent_void = incoming.m_lent_void;
}

bool CleXDSmb::HoldsNothing() const {
    return m_long.Size() == 0 && m_double.Size() == 0 && m_string.Size() == 0 &&
           m_struct.Size() == 0 && m_records.empty() && m_long_arrays.empty() &&
           m_double_arrays.empty() && m_string_arrays.empty() && !m_text_cells && !m_binary &&
           !m_wide && m_void.empty() && m_void_length == 0;
}

template <class Finish>
std::int32_t CleXDSmb::DecodeImage(ByteReader& reader, bool copy_void, Finish finish) {
    if (HoldsNothing()) {
        // The usual receiver is empty: decoded where it stands, its blocks
        // keep the memory they had, and nothing is moved twice.
        const std::int32_t length = m_send_length, action = m_command_action, code = m_error_code;
        if (const char* failed = Decode(reader, copy_void)) {
            CleanUpAllData();
            m_wide.reset();
            m_wide_length = 0;
            m_send_length = length;
            m_command_action = action;
            m_error_code = code;
            DxTraceError(std::string("CleXDSmb::ParseBuf ") + failed, VEXA_MALFORMED_MESSAGE);
            return VEXA_MALFORMED_MESSAGE;
        }
        finish(*this);
        return VEXA_OK;
    }
    CleXDSmb incoming;
    incoming.m_keep_records = m_keep_records;
    incoming.m_keep_text_cells = m_keep_text_cells;
    if (const char* failed = incoming.Decode(reader, copy_void)) {
        DxTraceError(std::string("CleXDSmb::ParseBuf ") + failed, VEXA_MALFORMED_MESSAGE);
        return VEXA_MALFORMED_MESSAGE;
    }
    finish(incoming);
    Absorb(std::move(incoming));
    return VEXA_OK;
}

std::int32_t CleXDSmb::ParseBuf(const void* image, std::size_t available) {
    if (!image) {
        DxTraceError("CleXDSmb::ParseBuf image != nullptr", VEXA_BAD_ARGUMENT);
        return VEXA_BAD_ARGUMENT;
    }
    ByteReader reader(image, available);
    return DecodeImage(reader, true, [](CleXDSmb&) {});
}

std::int32_t CleXDSmb::ParseBuf(codec::OwnedBuffer&& image) {
    if (image.empty()) {
        DxTraceError("CleXDSmb::ParseBuf image != nullptr", VEXA_BAD_ARGUMENT);
        return VEXA_BAD_ARGUMENT;
    }
    ByteReader reader(image.data(), image.size());
    return DecodeImage(reader, false, [&image](CleXDSmb& decoded) {
        codec::OwnedBuffer taken = std::move(image);
        if (decoded.m_void_length > 0) {
            // The void data ends the image: the whole block is kept with it
            // where it lies, so that it can carry the next image of the same
            // size; it moves to the front only for a taker that needs it there.
            const std::size_t length = static_cast<std::size_t>(decoded.m_void_length);
            decoded.m_void = std::move(taken);
            decoded.m_void_offset = static_cast<std::size_t>(decoded.m_send_length) - length;
        } else {
            // A large image of cell records comes again at the next commit:
            // its pages, already mapped, take it.
            decoded.m_lent = std::move(taken);
        }
    });
}
