// The command message: the envelope of every request and reply (command action,
// error code, typed value blocks, wide and binary strings, void data) and its
// little-endian wire image. The message owns everything it holds: the send
// buffer and the void data (malloc/free), the wide string and the binary string
// (new[]/delete[]) until a taker calls GetBinaryData or ReleaseVoidData.
// Decoding trusts nothing in the image. One thread at a time; no lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/bytereader.h"
#include "codec/byterun.h"
#include "codec/bytewriter.h"
#include "codec/cellrecords.h"
#include "codec/datatype.h"
#include "codec/ownedbuffer.h"
#include "codec/textcells.h"

class CleXDSmb {
  public:
    using CommandAction = std::int32_t;

    static constexpr std::int32_t LONG_LEN = 4;
    static constexpr std::int32_t HEADER_SIZE = 12;
    // Header, four empty blocks, three array counts, three string/void lengths.
    static constexpr std::int32_t MIN_IMAGE_SIZE = 52;

    CleXDSmb() = default;
    CleXDSmb(const CleXDSmb&) = delete;
    CleXDSmb& operator=(const CleXDSmb&) = delete;
    CleXDSmb(CleXDSmb&&) noexcept = default;
    CleXDSmb& operator=(CleXDSmb&&) noexcept = default;
    virtual ~CleXDSmb() = default;

    // Values, arrays, void data and binary string go; header, send buffer and
    // wide string stay.
    void CleanUpAllData();
    // Everything but the command action and the error code goes.
    void CleanUp();
    void CleanUpLongData() { m_long.CleanUp(); }
    void CleanUpDoubleData() { m_double.CleanUp(); }
    void CleanUpStringData() { m_string.CleanUp(); }
    void CleanUpStructData() { m_struct.CleanUp(); }
    void CleanUpwStringData() {}

    void SetCommandAction(CommandAction action) { m_command_action = action; }
    CommandAction GetCommandAction() const { return m_command_action; }
    void SetErrorCode(std::int32_t code) { m_error_code = code; }
    std::int32_t GetErrorCode() const { return m_error_code; }

    void SetLong(std::int32_t value) { m_long.SetValue(value); }
    void SetDouble(double value) { m_double.SetValue(value); }
    void SetString(const std::string& value) { m_string.SetValue(value); }
    void SetString(const char* value) { m_string.SetValue(value); }  // null: nothing
    std::int32_t SetString(const char* value, std::int32_t length) {
        return m_string.SetValue(value, length);
    }
    void SetSingleString(const char* value) { m_string.SetSingleString(value); }
    void SetStruct(const dataSet& record) { m_struct.SetValue(record); }
    void SetStruct(const std::vector<dataSet>& records) { m_struct.AssignValue(records); }
    // Records already in wire form; they follow the struct values set one by
    // one. The message keeps them until TakeStructRecords, cleared by a
    // clean-up but with their room.
    void SetStructRecords(codec::CellRecords&& records) { m_records = std::move(records); }
    codec::CellRecords TakeStructRecords() { return std::move(m_records); }
    // A receiver that only walks the cell records keeps a received struct
    // block as its wire records instead of one record object per cell.
    void KeepStructRecords(bool keep) { m_keep_records = keep; }
    // Calls visit(const codec::CellRecord&) for the struct values, then for
    // the wire records, until it returns false; whether all were visited.
    template <typename Visit>
    bool ForEachCellRecord(Visit&& visit) const;
    void SetLongArray(const LongData& list) { m_long_arrays.push_back(list); }
    // Taken over without a copy: a batch reply's arrays hold a value per cell.
    void SetLongArray(LongData&& list) { m_long_arrays.push_back(std::move(list)); }
    void SetDoubleArray(DoubleData&& list) { m_double_arrays.push_back(std::move(list)); }
    void SetStringArray(StringData&& list) { m_string_arrays.push_back(std::move(list)); }
    void SetLongArray(const std::vector<LongData>& lists) { m_long_arrays = lists; }
    void SetDoubleArray(const DoubleData& list) { m_double_arrays.push_back(list); }
    void SetDoubleArray(const std::vector<DoubleData>& lists) { m_double_arrays = lists; }
    void SetStringArray(const StringData& list) { m_string_arrays.push_back(list); }
    void SetStringArray(const std::vector<StringData>& lists) { m_string_arrays = lists; }
    // The first string array, already in wire form; the string arrays set as
    // values follow it. Cleared by a clean-up.
    void SetTextCells(codec::TextCells&& cells) {
        m_text_cells = std::make_unique<codec::TextCells>(std::move(cells));
    }
    // A receiver that reads strings by index keeps a received image's first
    // string array in wire form instead of one string object per value; the
    // arrays after it are decoded as values.
    void KeepTextCells(bool keep) { m_keep_text_cells = keep; }
    // The string array in wire form; null when there is none.
    const codec::TextCells* GetTextCells() const { return m_text_cells.get(); }

    // Copies the zero-terminated text; null removes the wide string.
    void SetwString(const char16_t* text);
    // Copies `length` bytes into a new array with one trailing zero byte,
    // replacing (and releasing) a binary string not yet taken.
    std::int32_t SetBinaryString(const void* bytes, std::int32_t length);
    // Takes over `data`, which must come from malloc; a length of 0 or less
    // keeps the pointer (it is still freed) but carries no bytes.
    void SetVoidData(void* data, std::int32_t length);
    // Void data sent from where it lies, never copied or freed by the
    // message: the lender keeps it alive and unchanged until the message is
    // sent or cleaned up. Handing the void data out or appending to it takes
    // a copy first.
    void LendVoidData(const void* data, std::int32_t length);
    bool HoldsLentVoidData() const { return m_lent_void != nullptr; }
    // Fresh void data of `capacity` bytes, void length 0.
    std::int32_t AllocVoidData(std::int32_t capacity);
    // Appends at the void length; VEXA_BAD_ARGUMENT when beyond the capacity.
    std::int32_t SaveDataIntoVoidData(const void* bytes, std::int32_t length);

    LongData GetLongData() const { return m_long; }
    DoubleData GetDoubleData() const { return m_double; }
    StringData GetStringData() const { return m_string; }
    StructData GetStructData() const { return m_struct; }
    LongData& GetLongDataRef() { return m_long; }
    DoubleData& GetDoubleDataRef() { return m_double; }
    const LongData& GetLongDataRef() const { return m_long; }
    const DoubleData& GetDoubleDataRef() const { return m_double; }
    const StringData& GetStringDataRef() const { return m_string; }
    const StructData& GetStructDataRef() const { return m_struct; }
    // The first string; empty when the string block is empty.
    std::string GetSingleString() const { return m_string.GetSingleString(); }
    std::vector<LongData> GetLongArray() const { return m_long_arrays; }
    std::vector<DoubleData> GetDoubleArray() const { return m_double_arrays; }
    std::vector<StringData> GetStringArray() const { return m_string_arrays; }
    std::vector<LongData>& GetLongArrayRef() { return m_long_arrays; }
    std::vector<DoubleData>& GetDoubleArrayRef() { return m_double_arrays; }
    std::vector<StringData>& GetStringArrayRef() { return m_string_arrays; }
    const std::vector<LongData>& GetLongArrayRef() const { return m_long_arrays; }
    const std::vector<DoubleData>& GetDoubleArrayRef() const { return m_double_arrays; }
    const std::vector<StringData>& GetStringArrayRef() const { return m_string_arrays; }

    // Zero-terminated; null when none. The message keeps it.
    const char16_t* GetwStringData() const { return m_wide.get(); }
    std::int32_t GetwStringLength() const { return m_wide_length; }
    // Hands the binary string (its bytes plus one zero byte) to the caller, who
    // releases it with delete[]; the message forgets it. Null when none.
    char* GetBinaryData(std::int32_t* length = nullptr);
    std::int32_t GetBinaryLength() const { return m_binary_length; }
    // The message keeps the void data; lent void data is not to be written.
    void* GetVoidData(std::int32_t& length) const {
        length = m_void_length;
        return const_cast<unsigned char*>(VoidBytes());
    }
    // Hands the void data to the caller, who releases it with free.
    void* ReleaseVoidData(std::int32_t& length);
    // The void data's whole block (size() is its capacity, at least the
    // length); the message forgets it.
    codec::OwnedBuffer TakeVoidBlock(std::int32_t& length);
    // The same without moving the void data to the block's front: a received
    // image's block with the void data at `offset`, after the image's head.
    codec::OwnedBuffer TakeVoidBlock(std::int32_t& length, std::size_t& offset);

    // Memory the next received image may be assembled in instead of a fresh
    // block: a cursor hands back its used-up block, so that a pass touches the
    // same pages block after block. Taken by the receive, whatever its size.
    // A received image without void data leaves its block here for the next
    // receive; lending nothing keeps it.
    void LendReceiveBlock(codec::OwnedBuffer block) {
        if (!block.empty()) m_lent = std::move(block);
    }
    codec::OwnedBuffer TakeLentBlock() { return std::move(m_lent); }

    // The image of the last ContructSendData; null and 0 when there is none.
    const void* GetSendBuf(std::int32_t& length) const {
        length = static_cast<std::int32_t>(m_send_image);
        return m_send_image > 0 ? m_send_buf.data() : nullptr;
    }
    // Size of the last image built or parsed.
    std::int32_t GetSendLength() const { return m_send_length; }

    // Builds the image into the send buffer, which is kept from the last build
    // when it has room enough and is not far too large. VEXA_BAD_ARGUMENT when
    // the image would exceed 2^31-1 bytes (nothing built).
    std::int32_t ContructSendData();
    // The image as runs for a sender that writes the large parts from where
    // they lie: the values before the wire records, the records' own bytes,
    // the values after them, the void block's bytes. Only the two encoded
    // runs are built, into the send buffer as above; GetSendLength is the whole
    // image. The runs stay valid until the message changes. VEXA_BAD_ARGUMENT
    // as above.
    static constexpr std::size_t SEND_RUNS = 4;
    std::int32_t ContructSendRuns(std::array<codec::ByteRun, SEND_RUNS>& runs);
    // Exact image size; VEXA_BAD_ARGUMENT when beyond 2^31-1 bytes.
    std::int32_t EncodedSize(std::size_t& size) const;
    // Writes the image into the caller's buffer; VEXA_BAD_ARGUMENT when it does
    // not fit `capacity` (nothing meaningful written).
    std::int32_t EncodeInto(void* buffer, std::size_t capacity) const;

    // Appends the content of the image at `image`, of which `available` bytes
    // are readable; the image stays the caller's. VEXA_MALFORMED_MESSAGE (the
    // message unchanged, nothing read beyond T) when the image is inconsistent;
    // VEXA_BAD_ARGUMENT for a null image.
    std::int32_t ParseBuf(const void* image, std::size_t available);
    // The same for a received image the caller hands over: on success the
    // image is consumed (its memory becomes the void data, saving the copy
    // into a new allocation, or without void data the lent block); on
    // failure it stays with the caller.
    std::int32_t ParseBuf(codec::OwnedBuffer&& image);

    // T from the first 4 bytes of an image; VEXA_MALFORMED_MESSAGE when fewer
    // than 4 bytes are given or T is below MIN_IMAGE_SIZE.
    static std::int32_t PeekTotalSize(const void* bytes, std::size_t available,
                                      std::int32_t& total);

  private:
    std::int32_t EncodeImage(void* buffer, std::size_t total) const;
    // The send buffer with room for `size` bytes, no image in it yet.
    unsigned char* SendRoom(std::size_t size);
    // The values before the wire records, and those after them up to the
    // void block's length.
    std::size_t FrontSize() const;
    void EncodeFront(codec::ByteWriter& writer, std::size_t total) const;
    void EncodeBack(codec::ByteWriter& writer) const;
    // Fills a fresh message; the failed condition, or null on success.
    // Without copy_void the void length is set but the bytes stay in the image,
    // as its last V bytes.
    const char* Decode(codec::ByteReader& reader, bool copy_void);
    void Absorb(CleXDSmb&& incoming);
    // No values, arrays, strings or void data.
    bool HoldsNothing() const;
    // Decodes into this message, or into a fresh one appended to it when this
    // one holds values; `finish` sees the decoded message first.
    template <class Finish>
    std::int32_t DecodeImage(codec::ByteReader& reader, bool copy_void, Finish finish);
    void ReleaseBinaryString();
    // Moves void data that follows a received head to the block's front;
    // lent void data becomes a copy the message owns.
    void SlideVoidToFront();
    const unsigned char* VoidBytes() const {
        return m_lent_void ? m_lent_void : m_void.bytes() + m_void_offset;
    }
    // The struct block into the record objects, or kept as wire records.
    bool DecodeStruct(codec::ByteReader& reader, codec::DecodeBudget& budget);
    // The string arrays, the first kept in wire form when asked.
    bool DecodeStringArrays(codec::ByteReader& reader, codec::DecodeBudget& budget);
    std::size_t StringArraysSize() const;
    void EncodeStringArrays(codec::ByteWriter& writer) const;

    codec::OwnedBuffer m_send_buf;  // size() is the room
    // Bytes of the last built image at the send buffer's start; 0 when none.
    std::size_t m_send_image = 0;
    std::int32_t m_send_length = 0;
    std::int32_t m_binary_length = 0;
    codec::OwnedBuffer m_lent;
    codec::OwnedBuffer m_void;  // size() is the capacity
    // Where the void data starts in m_void: a received image's block keeps
    // the image's head before it, so a bulk reply is never copied.
    std::size_t m_void_offset = 0;
    std::int32_t m_void_length = 0;
    // Set while the void data is lent (m_void is then empty).
    const unsigned char* m_lent_void = nullptr;
    CommandAction m_command_action = -1;
    std::int32_t m_error_code = 0;
    LongData m_long;
    DoubleData m_double;
    StringData m_string;
    std::unique_ptr<char16_t[]> m_wide;
    std::int32_t m_wide_length = 0;
    std::unique_ptr<char[]> m_binary;
    std::vector<LongData> m_long_arrays;
    std::vector<DoubleData> m_double_arrays;
    std::vector<StringData> m_string_arrays;
    StructData m_struct;
    codec::CellRecords m_records;
    bool m_keep_records = false;
    std::unique_ptr<codec::TextCells> m_text_cells;
    bool m_keep_text_cells = false;
};

template <typename Visit>
bool CleXDSmb::ForEachCellRecord(Visit&& visit) const {
    for (const dataSet& value : m_struct.Values()) {
        const codec::CellRecord record{value.datasetName, value.caseIndex, value.varIndex,
                                       value.valueType,   value.numValue,  value.strValue};
        if (!visit(record)) return false;
    }
    return m_records.ForEach(visit);
}
