// Splits comma-separated text into records as it streams in: a fixed-size
// window of the input, never the whole file. Fields may be quoted with '"',
// a doubled quote inside standing for one; quoted fields may hold commas and
// line breaks. A record ends at LF or CRLF outside quotes. Owns its window;
// one thread.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

struct CsvField {
    std::string_view text;
    bool quoted = false;
};

class CsvRecordReader {
  public:
    // `windowBytes` is where reading starts; a longer record widens it.
    explicit CsvRecordReader(std::istream& input, std::size_t windowBytes = std::size_t{1} << 20);

    // The next record's fields, valid until the next call. Blank lines are
    // skipped. False at the end of the input or on an error, which error()
    // then describes.
    bool Next(std::vector<CsvField>& fields);
    // The line the record last returned (or the failing one) began on.
    std::size_t Line() const { return m_recordLine; }
    const std::string& error() const { return m_error; }
    // Bytes of the input taken up by the records returned so far.
    std::size_t Consumed() const { return m_consumedBefore + m_begin; }

  private:
    // Moves the unread bytes to the front and reads more; false when nothing
    // more came.
    bool Refill();
    // Scans one record from m_begin; false when the window ends first.
    bool Scan(std::vector<CsvField>& fields, std::size_t& lines);

    std::istream& m_input;
    std::vector<char> m_window;
    std::size_t m_begin = 0;
    // Bytes dropped from the window's front by refills.
    std::size_t m_consumedBefore = 0;
    std::size_t m_end = 0;
    bool m_atEnd = false;
    bool m_first = true;
    std::size_t m_line = 1;
    std::size_t m_recordLine = 0;
    std::string m_error;
};

}  // namespace engine
