#include "codec/datatype.h"

#include <iterator>
#include <limits>

#include "runtime/statuscodes.h"

namespace {

using codec::ByteReader;
using codec::ByteWriter;
using codec::DecodeBudget;

constexpr std::size_t kCountSize = 4;

// Wire form of one element. kMinWireSize bounds the element count an image of a
// given size can hold, so a forged count never drives a huge reservation.
template <class T>
struct ElementCodec;

template <>
struct ElementCodec<std::int32_t> {
    static constexpr std::size_t kMinWireSize = 4;
    static bool TakeHeap(DecodeBudget&, std::int32_t) { return true; }
    static std::size_t WireSize(std::int32_t) { return 4; }
    static void Write(ByteWriter& writer, std::int32_t value) { writer.PutFixed32(value); }
    static bool Read(ByteReader& reader, std::int32_t& value) { return reader.GetFixed32(&value); }
};

template <>
struct ElementCodec<double> {
    static constexpr std::size_t kMinWireSize = 8;
    static bool TakeHeap(DecodeBudget&, double) { return true; }
    static std::size_t WireSize(double) { return 8; }
    static void Write(ByteWriter& writer, double value) { writer.PutDouble(value); }
    static bool Read(ByteReader& reader, double& value) { return reader.GetDouble(&value); }
};

void WriteString(ByteWriter& writer, const std::string& value) {
    writer.PutFixed32(static_cast<std::int32_t>(value.size()));
    writer.PutBytes(value.data(), value.size());
}

bool ReadString(ByteReader& reader, std::string& value) {
    const unsigned char* bytes = nullptr;
    std::size_t length = 0;
    if (!reader.GetLengthPrefixed(&bytes, &length)) return false;
    value.assign(reinterpret_cast<const char*>(bytes), length);
    return true;
}

template <>
struct ElementCodec<std::string> {
    static constexpr std::size_t kMinWireSize = 4;
    static bool TakeHeap(DecodeBudget& budget, const std::string& value) {
        return budget.TakeHeapOf(value);
    }
    static std::size_t WireSize(const std::string& value) { return 4 + value.size(); }
    static void Write(ByteWriter& writer, const std::string& value) { WriteString(writer, value); }
    static bool Read(ByteReader& reader, std::string& value) { return ReadString(reader, value); }
};

template <>
struct ElementCodec<dataSet> {
    static constexpr std::size_t kMinWireSize = 28;
    static bool TakeHeap(DecodeBudget& budget, const dataSet& value) {
        return budget.TakeHeapOf(value.datasetName) && budget.TakeHeapOf(value.strValue);
    }
    static std::size_t WireSize(const dataSet& value) {
        return kMinWireSize + value.datasetName.size() + value.strValue.size();
    }
    static void Write(ByteWriter& writer, const dataSet& value) {
        WriteString(writer, value.datasetName);
        writer.PutFixed32(value.caseIndex);
        writer.PutFixed32(value.varIndex);
        writer.PutFixed32(value.valueType);
        writer.PutDouble(value.numValue);
        WriteString(writer, value.strValue);
    }
    static bool Read(ByteReader& reader, dataSet& value) {
        return ReadString(reader, value.datasetName) && reader.GetFixed32(&value.caseIndex) &&
               reader.GetFixed32(&value.varIndex) && reader.GetFixed32(&value.valueType) &&
               reader.GetDouble(&value.numValue) && ReadString(reader, value.strValue);
    }
};

}  // namespace

namespace codec {

template <class T>
std::size_t ValueBlock<T>::EncodedSize() const {
    std::size_t size = kCountSize;
    for (const T& value : m_values) size += ElementCodec<T>::WireSize(value);
    return size;
}

template <class T>
std::int32_t ValueBlock<T>::DataLength() {
    std::size_t size = EncodedSize();
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return -1;
    m_data_length = static_cast<std::int32_t>(size);
    return m_data_length;
}

template <class T>
void ValueBlock<T>::EncodeTo(ByteWriter& writer) const {
    writer.PutFixed32(Size());
    EncodeValuesTo(writer);
}

template <class T>
void ValueBlock<T>::EncodeValuesTo(ByteWriter& writer) const {
    for (const T& value : m_values) ElementCodec<T>::Write(writer, value);
}

template <class T>
void* ValueBlock<T>::ConstructData(std::int32_t& length) {
    m_buffer.reset();
    length = 0;
    std::int32_t size = DataLength();
    if (size < 0) return nullptr;
    codec::OwnedBuffer buffer = codec::OwnedBuffer::Allocate(static_cast<std::size_t>(size));
    ByteWriter writer(buffer.data(), buffer.size());
    EncodeTo(writer);
    m_buffer = std::move(buffer);
    length = size;
    return m_buffer.data();
}

template <class T>
bool ValueBlock<T>::DecodeFrom(ByteReader& reader, DecodeBudget& budget) {
    ByteReader probe = reader;
    std::int32_t count = 0;
    if (!probe.GetFixed32(&count)) return false;
    const std::size_t old_size = m_values.size();
    if (count > 0) {
        const std::size_t n = static_cast<std::size_t>(count);
        if (n > probe.remaining() / ElementCodec<T>::kMinWireSize) return false;
        if (!budget.Take(n, sizeof(T))) return false;
        m_values.resize(old_size + n);
        for (std::size_t i = old_size; i < m_values.size(); ++i) {
            if (!ElementCodec<T>::Read(probe, m_values[i]) ||
                !ElementCodec<T>::TakeHeap(budget, m_values[i])) {
                m_values.resize(old_size);
                return false;
            }
        }
    }
    m_data_length = static_cast<std::int32_t>(probe.consumed() - reader.consumed());
    reader = probe;
    return true;
}

template <class T>
std::int32_t ValueBlock<T>::ParseData(const void* image, std::size_t available,
                                      std::int32_t& consumed) {
    if (!image) return VEXA_OK;
    // Lengths are 32-bit on the wire; a larger view adds nothing a block can use.
    const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    ByteReader reader(image, available < limit ? available : limit);
    DecodeBudget budget = DecodeBudget::ForImage(reader.remaining());
    if (!DecodeFrom(reader, budget)) return VEXA_MALFORMED_MESSAGE;
    consumed = m_data_length;
    return VEXA_OK;
}

template <class T>
void ValueBlock<T>::AppendFrom(ValueBlock&& other) {
    if (m_values.empty()) {
        m_values = std::move(other.m_values);
    } else {
        m_values.insert(m_values.end(), std::make_move_iterator(other.m_values.begin()),
                        std::make_move_iterator(other.m_values.end()));
    }
    other.m_values.clear();
}

template class ValueBlock<std::int32_t>;
template class ValueBlock<double>;
template class ValueBlock<std::string>;
template class ValueBlock<dataSet>;

}  // namespace codec

void LongData::AppendValue(const std::vector<std::int32_t>& more) {
    if (&more == &Values()) {
        const std::vector<std::int32_t> copy = more;
        values().insert(values().end(), copy.begin(), copy.end());
    } else {
        values().insert(values().end(), more.begin(), more.end());
    }
}

void StringData::SetValue(const char* value) {
    if (value) Append(std::string(value));
}

std::int32_t StringData::SetValue(const char* value, std::int32_t length) {
    if (length < 0 || (!value && length > 0)) return VEXA_BAD_ARGUMENT;
    Append(std::string(value ? value : "", static_cast<std::size_t>(length)));
    return VEXA_OK;
}

void StringData::SetSingleString(const char* value) {
    CleanUp();
    SetValue(value);
}

std::string StringData::GetSingleString() const {
    return Values().empty() ? std::string() : Values().front();
}
