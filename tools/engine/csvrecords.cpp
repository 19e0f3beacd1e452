#include "csvrecords.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace engine {
namespace {

constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};

// Where the record that starts at `from` ends (its LF, or `end` for a last
// line without one), or null when the window ends inside it. `lines` gets
// the line breaks inside quoted fields.
const char* RecordEnd(const char* from, const char* end, bool atEnd, std::size_t& lines) {
    const char* lf =
        static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
    const char* stop = lf ? lf : end;
    // Nearly every record holds no quote at all.
    if (!std::memchr(from, '"', static_cast<std::size_t>(stop - from)))
        return lf ? lf : (atEnd ? end : nullptr);
    enum { kFieldStart, kPlain, kQuoted, kQuoteSeen } state = kFieldStart;
    for (const char* p = from; p < end; ++p) {
        const char c = *p;
        switch (state) {
            case kFieldStart:
            case kPlain:
            case kQuoteSeen:
                if (c == '\n') return p;
                if (c == ',')
                    state = kFieldStart;
                else if (c == '"' && state == kFieldStart)
                    state = kQuoted;
                else if (c == '"' && state == kQuoteSeen)
                    state = kQuoted;
                else
                    state = kPlain;
                break;
            case kQuoted:
                if (c == '"')
                    state = kQuoteSeen;
                else if (c == '\n')
                    ++lines;
                break;
        }
    }
    if (!atEnd) return nullptr;
    return state == kQuoted ? nullptr : end;
}

// The first ',' from `p`, or `end`: eight bytes a step, since fields of
// numbers are short and a call per field would cost more than the search.
char* FindComma(char* p, char* const end) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    constexpr std::uint64_t kCommas = kOnes * static_cast<unsigned char>(',');
    while (end - p >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, sizeof word);
        word ^= kCommas;
        static_assert(std::endian::native == std::endian::little);
        // The lowest byte flagged is the first comma; bytes above it may be
        // flagged falsely, which does not matter.
        const std::uint64_t found = (word - kOnes) & ~word & kHighs;
        if (found) return p + std::countr_zero(found) / 8;
        p += 8;
    }
    while (p < end && *p != ',') ++p;
    return p;
}

}  // namespace

CsvRecordReader::CsvRecordReader(std::istream& input, std::size_t windowBytes)
    : m_input(input), m_window(windowBytes < 64 ? 64 : windowBytes) {}

bool CsvRecordReader::Refill() {
    if (m_atEnd) return false;
    const std::size_t kept = m_end - m_begin;
    m_consumedBefore += m_begin;
    if (kept > 0 && m_begin > 0) std::memmove(m_window.data(), m_window.data() + m_begin, kept);
    m_begin = 0;
    m_end = kept;
    // A record longer than the window widens it.
    if (m_end == m_window.size()) m_window.resize(m_window.size() * 2);
    m_input.read(m_window.data() + m_end, static_cast<std::streamsize>(m_window.size() - m_end));
    const auto got = static_cast<std::size_t>(m_input.gcount());
    m_end += got;
    if (got == 0 || !m_input) m_atEnd = true;
    if (m_first && m_end >= sizeof kByteOrderMark) {
        m_first = false;
        if (std::memcmp(m_window.data(), kByteOrderMark, sizeof kByteOrderMark) == 0)
            m_begin = sizeof kByteOrderMark;
    } else if (m_atEnd) {
        m_first = false;
    }
    return got > 0;
}

bool CsvRecordReader::Scan(std::vector<CsvField>& fields, std::size_t& lines) {
    char* const from = m_window.data() + m_begin;
    char* const windowEnd = m_window.data() + m_end;
    lines = 0;
    const char* found = RecordEnd(from, windowEnd, m_atEnd, lines);
    if (!found) return false;
    char* end = from + (found - from);
    m_begin = static_cast<std::size_t>(end - m_window.data()) + (end < windowEnd ? 1 : 0);
    if (end > from && end[-1] == '\r') --end;

    fields.clear();
    char* p = from;
    for (;;) {
        if (p < end && *p == '"') {
            // Unquoted in place: the text only ever shrinks.
            char* out = ++p;
            char* const start = out;
            for (;;) {
                if (*p == '"') {
                    if (p + 1 < end && p[1] == '"') {
                        *out++ = '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                *out++ = *p++;
            }
            fields.push_back(
                {std::string_view(start, static_cast<std::size_t>(out - start)), true});
            if (p < end && *p != ',') {
                m_error = "text after the closing quote of field " + std::to_string(fields.size());
                return true;
            }
        } else {
            char* const start = p;
            p = FindComma(p, end);
            fields.push_back({std::string_view(start, static_cast<std::size_t>(p - start)), false});
        }
        if (p >= end) break;
        ++p;
    }
    return true;
}

bool CsvRecordReader::Next(std::vector<CsvField>& fields) {
    if (!m_error.empty()) return false;
    for (;;) {
        std::size_t lines = 0;
        if (m_begin < m_end && Scan(fields, lines)) {
            m_recordLine = m_line;
            m_line += lines + 1;
            if (!m_error.empty()) return false;
            // A blank line is no record.
            if (fields.size() == 1 && fields[0].text.empty() && !fields[0].quoted) continue;
            return true;
        }
        const bool endKnown = m_atEnd;
        if (Refill()) continue;
        if (m_begin >= m_end) return false;
        // Scanned once more now that the input is known to end here.
        if (!endKnown) continue;
        m_recordLine = m_line;
        m_error = "a quoted field is not closed";
        return false;
    }
}

}  // namespace engine
