// Typed value blocks of a command message: sequences of 32-bit integers,
// doubles, byte strings or dataset cell records, each able to write its
// little-endian image and to read one back from a bounded view. A block owns
// its values and the wire buffer of its last ConstructData; copies never share
// that buffer. A block belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/bytereader.h"
#include "codec/bytewriter.h"
#include "codec/decodebudget.h"
#include "codec/ownedbuffer.h"

class DataType {
  public:
    // Encodes the values into a buffer the block keeps until the next call or
    // its destruction; null with length 0 when the image exceeds 2^31-1 bytes.
    virtual void* ConstructData(std::int32_t& length) = 0;
    // Appends the values of the image at `image` (at most `available` bytes).
    // VEXA_MALFORMED_MESSAGE leaves block and `consumed` unchanged; a null
    // image does nothing and succeeds.
    virtual std::int32_t ParseData(const void* image, std::size_t available,
                                   std::int32_t& consumed) = 0;
    // Encoded size of the current values (also stored); -1 when beyond 2^31-1.
    virtual std::int32_t DataLength() = 0;
    virtual std::int32_t Size() const = 0;

    virtual std::size_t EncodedSize() const = 0;
    virtual void EncodeTo(codec::ByteWriter& writer) const = 0;
    // Appends the values of one image, taking what they occupy from
    // `budget`; on false nothing was appended.
    virtual bool DecodeFrom(codec::ByteReader& reader, codec::DecodeBudget& budget) = 0;

  protected:
    // Blocks are held by value, never destroyed through the base.
    DataType() = default;
    DataType(const DataType&) = default;
    DataType& operator=(const DataType&) = default;
    ~DataType() = default;
};

// One cell assignment of a dataset.
struct dataSet {
    std::string datasetName;
    std::int32_t caseIndex = 0;
    std::int32_t varIndex = 0;
    std::int32_t valueType = 0;  // 0 numeric, 1 string
    double numValue = 0.0;
    std::string strValue;

    bool operator==(const dataSet&) const = default;
};

namespace codec {

// Storage, copy rules and coding shared by the four block classes.
template <class T>
class ValueBlock : public DataType {
  public:
    ValueBlock() = default;
    ValueBlock(const ValueBlock& other)
        : DataType(other), m_data_length(other.m_data_length), m_values(other.m_values) {}
    ValueBlock& operator=(const ValueBlock& other) {
        if (this != &other) {
            m_data_length = other.m_data_length;
            m_values = other.m_values;
        }
        return *this;
    }
    ValueBlock(ValueBlock&&) noexcept = default;
    ValueBlock& operator=(ValueBlock&&) noexcept = default;
    ~ValueBlock() = default;

    void* ConstructData(std::int32_t& length) override;
    std::int32_t ParseData(const void* image, std::size_t available,
                           std::int32_t& consumed) override;
    std::int32_t DataLength() override;
    std::int32_t Size() const override { return static_cast<std::int32_t>(m_values.size()); }

    std::size_t EncodedSize() const override;
    void EncodeTo(codec::ByteWriter& writer) const override;
    // The values without the block's count.
    void EncodeValuesTo(codec::ByteWriter& writer) const;
    bool DecodeFrom(codec::ByteReader& reader, codec::DecodeBudget& budget) override;

    // Throws std::out_of_range outside 0..Size()-1.
    T& operator[](std::int32_t index) { return m_values.at(static_cast<std::size_t>(index)); }
    const T& operator[](std::int32_t index) const {
        return m_values.at(static_cast<std::size_t>(index));
    }
    std::vector<T> GetData() const { return m_values; }
    const std::vector<T>& Values() const { return m_values; }
    // A reused message keeps the room of small blocks, never of large ones.
    void CleanUp() {
        if (m_values.capacity() > kKeptCapacity) {
            std::vector<T>().swap(m_values);
        } else {
            m_values.clear();
        }
    }

    // Moves the values of `other` behind this block's values.
    void AppendFrom(ValueBlock&& other);
    // Room for `count` values in all, for a builder that knows how many follow.
    void Reserve(std::size_t count) { m_values.reserve(count); }

  protected:
    void Append(const T& value) { m_values.push_back(value); }
    void Append(T&& value) { m_values.push_back(std::move(value)); }
    std::vector<T>& values() { return m_values; }

  private:
    static constexpr std::size_t kKeptCapacity = 256;

    codec::OwnedBuffer m_buffer;
    std::int32_t m_data_length = 0;
    std::vector<T> m_values;
};

extern template class ValueBlock<std::int32_t>;
extern template class ValueBlock<double>;
extern template class ValueBlock<std::string>;
extern template class ValueBlock<dataSet>;

}  // namespace codec

class LongData : public codec::ValueBlock<std::int32_t> {
  public:
    void SetValue(std::int32_t value) { Append(value); }
    void AppendValue(const std::vector<std::int32_t>& more);
};

class DoubleData : public codec::ValueBlock<double> {
  public:
    void SetValue(double value) { Append(value); }
};

class StringData : public codec::ValueBlock<std::string> {
  public:
    void SetValue(const std::string& value) { Append(value); }
    // A null pointer appends nothing.
    void SetValue(const char* value);
    // Exactly `length` bytes, zero bytes included. A negative length, or a null
    // pointer with a positive length, appends nothing and is VEXA_BAD_ARGUMENT.
    std::int32_t SetValue(const char* value, std::int32_t length);
    void SetSingleString(const char* value);
    // The first string; empty when the block holds none.
    std::string GetSingleString() const;
};

class StructData : public codec::ValueBlock<dataSet> {
  public:
    void SetValue(const dataSet& value) { Append(value); }
    void AssignValue(const std::vector<dataSet>& records) { values() = records; }
};
