// The engine's binary stream format: a dataset's dictionary and cases as one
// byte stream, written to a sink and read from a source. The socket bulk
// transport and the temp files both carry it; README.md gives it byte by
// byte. Plain functions over caller-owned sinks and sources; no threading of
// their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dataset.h"

namespace engine {

inline constexpr unsigned char kStreamMagic[4] = {'V', 'X', 'B', 'S'};
inline constexpr unsigned char kStreamEndMark[4] = {'V', 'X', 'B', 'E'};
inline constexpr std::int32_t kStreamVersion = 1;

// Where an encoded stream goes: Write takes all bytes or fails with a code.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual int Write(const void* data, std::size_t length) = 0;
};

// Where a stream comes from: Read delivers exactly `length` bytes or fails
// with a code.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual int Read(void* data, std::size_t length) = 0;
};

class VectorSink : public ByteSink {
  public:
    int Write(const void* data, std::size_t length) override;
    const std::vector<unsigned char>& bytes() const { return m_bytes; }

  private:
    std::vector<unsigned char> m_bytes;
};

// Reads a byte range the caller keeps alive; past its end, kMalformedStream.
class SpanSource : public ByteSource {
  public:
    explicit SpanSource(std::span<const unsigned char> bytes) : m_bytes(bytes) {}
    int Read(void* data, std::size_t length) override;
    bool AtEnd() const { return m_bytes.empty(); }

  private:
    std::span<const unsigned char> m_bytes;
};

// The variables of `data` at `variables` (every variable when empty), in that
// order, with all cases. 0 or the sink's code. Indexes must exist.
int EncodeStream(const Dataset& data, const std::vector<std::size_t>& variables, ByteSink& sink);

// One stream into `out` (its name is kept, its variables and cases
// replaced only on success): 0, the source's code, or kMalformedStream.
int DecodeStream(ByteSource& source, Dataset& out);

}  // namespace engine
