#include "binarystream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "caseblock.h"
#include "codec/bytereader.h"
#include "codec/bytewriter.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"
#include "varname.h"

namespace engine {
namespace {

// Far above any label or value text, so a corrupt length fails before it
// asks for memory.
constexpr std::int32_t kMaxStreamText = 1 << 20;
constexpr std::int32_t kMaxStreamVariables = 1 << 20;
constexpr int kMaxFormatWidth = 255;

class Writer {
  public:
    explicit Writer(ByteSink& sink) : m_sink(sink) {}
    void Bytes(const void* data, std::size_t length) {
        if (m_failed == 0) m_failed = m_sink.Write(data, length);
    }
    void Int(std::int32_t value) {
        unsigned char bytes[4];
        codec::EncodeFixed32(bytes, static_cast<std::uint32_t>(value));
        Bytes(bytes, sizeof bytes);
    }
    void Number(double value) {
        unsigned char bytes[8];
        codec::EncodeFixed64(bytes, std::bit_cast<std::uint64_t>(value));
        Bytes(bytes, sizeof bytes);
    }
    void Text(const std::string& text) {
        Int(static_cast<std::int32_t>(text.size()));
        Bytes(text.data(), text.size());
    }
    int failed() const { return m_failed; }

  private:
    ByteSink& m_sink;
    int m_failed = 0;
};

class Reader {
  public:
    explicit Reader(ByteSource& source) : m_source(source) {}
    bool Bytes(void* data, std::size_t length) {
        if (m_failed == 0) m_failed = m_source.Read(data, length);
        return m_failed == 0;
    }
    bool Int(std::int32_t& value) {
        unsigned char bytes[4];
        if (!Bytes(bytes, sizeof bytes)) return false;
        value = static_cast<std::int32_t>(codec::DecodeFixed32(bytes));
        return true;
    }
    bool Number(double& value) {
        unsigned char bytes[8];
        if (!Bytes(bytes, sizeof bytes)) return false;
        value = std::bit_cast<double>(codec::DecodeFixed64(bytes));
        return true;
    }
    bool Text(std::string& text) {
        std::int32_t length = 0;
        if (!Int(length)) return false;
        if (length < 0 || length > kMaxStreamText) return Malformed();
        text.resize(static_cast<std::size_t>(length));
        return Bytes(text.data(), text.size());
    }
    bool Malformed() {
        if (m_failed == 0) m_failed = kMalformedStream;
        return false;
    }
    int failed() const { return m_failed; }

  private:
    ByteSource& m_source;
    int m_failed = 0;
};

void WriteVariable(Writer& out, const Variable& variable) {
    const VariableProperties& p = variable.properties;
    out.Text(variable.name);
    out.Int(variable.type);
    out.Text(variable.label);
    out.Int(p.format.code);
    out.Int(p.format.width);
    out.Int(p.format.decimals);
    out.Int(p.level);
    out.Int(p.role);
    out.Int(p.alignment);
    out.Int(p.columnWidth);
    out.Int(p.missing.format);
    for (double value : p.missing.numbers) out.Number(value);
    for (const auto& text : p.missing.texts) out.Text(text);
}

bool InRange(std::int32_t value, std::int32_t low, std::int32_t high) {
    return value >= low && value <= high;
}

bool PlausibleProperties(const Variable& variable) {
    const VariableProperties& p = variable.properties;
    const PrintFormat& f = p.format;
    const bool formatOk = f.code == 0 || ((f.code == kFormatNumeric || f.code == kFormatString) &&
                                          InRange(f.width, 1, kMaxFormatWidth) &&
                                          InRange(f.decimals, 0, f.width - 1));
    const int format = p.missing.format;
    const bool missingOk =
        InRange(format, 0, 3) ||
        (variable.IsNumeric() && (format == kMissingRange || format == kMissingRangeAndValue));
    bool textsOk = true;
    for (const auto& text : p.missing.texts)
        textsOk = textsOk && text.size() <= kStringMissingWidth;
    return formatOk && missingOk && textsOk && InRange(p.level, kNominal, kScale) &&
           InRange(p.role, kRoleInput, kRoleSplit) &&
           InRange(p.alignment, kAlignLeft, kAlignCenter) &&
           InRange(p.columnWidth, 0, kMaxFormatWidth);
}

bool ReadVariable(Reader& in, Variable& variable) {
    VariableProperties& p = variable.properties;
    if (!in.Text(variable.name) || !in.Int(variable.type) || !in.Text(variable.label)) return false;
    if (!in.Int(p.format.code) || !in.Int(p.format.width) || !in.Int(p.format.decimals))
        return false;
    if (!in.Int(p.level) || !in.Int(p.role) || !in.Int(p.alignment) || !in.Int(p.columnWidth))
        return false;
    if (!in.Int(p.missing.format)) return false;
    for (double& value : p.missing.numbers) {
        if (!in.Number(value)) return false;
    }
    for (auto& text : p.missing.texts) {
        if (!in.Text(text)) return false;
    }
    if (ValidateVariableName(variable.name) != 0 || !InRange(variable.type, 0, kMaxStringWidth) ||
        !PlausibleProperties(variable))
        return in.Malformed();
    return true;
}

}  // namespace

int VectorSink::Write(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    m_bytes.insert(m_bytes.end(), bytes, bytes + length);
    return VEXA_OK;
}

int SpanSource::Read(void* data, std::size_t length) {
    if (length > m_bytes.size()) return kMalformedStream;
    if (length > 0) std::memcpy(data, m_bytes.data(), length);
    m_bytes = m_bytes.subspan(length);
    return VEXA_OK;
}

int EncodeStream(const Dataset& data, const std::vector<std::size_t>& variables, ByteSink& sink) {
    std::vector<std::size_t> chosen = variables;
    if (chosen.empty()) {
        for (std::size_t v = 0; v < data.VariableCount(); ++v) chosen.push_back(v);
    }
    std::vector<int> types;
    for (std::size_t v : chosen) types.push_back(data.variable(v).type);
    const CaseLayout layout(types);

    Writer out(sink);
    out.Bytes(kStreamMagic, sizeof kStreamMagic);
    out.Int(kStreamVersion);
    out.Int(static_cast<std::int32_t>(chosen.size()));
    for (std::size_t v : chosen) WriteVariable(out, data.variable(v));
    out.Int(static_cast<std::int32_t>(layout.CaseSize()));
    out.Int(static_cast<std::int32_t>(data.CaseCount()));

    const CaseStore& store = data.cases();
    bool asStored = chosen.size() == store.VariableCount();
    for (std::size_t k = 0; asStored && k < chosen.size(); ++k) asStored = chosen[k] == k;
    if (asStored) {
        // Every variable in its order: the cases as they lie.
        const std::span<const OBS> all = store.Cases(0, store.CaseCount());
        out.Bytes(all.data(), all.size_bytes());
    } else {
        std::vector<OBS> cells(layout.CaseSize() / sizeof(OBS));
        for (std::size_t r = 0; r < data.CaseCount() && out.failed() == 0; ++r) {
            const std::span<const OBS> from = store.Case(r);
            for (std::size_t k = 0; k < chosen.size(); ++k) {
                const auto width =
                    static_cast<std::size_t>(codec::ObsLength(store.Type(chosen[k])));
                std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(store.ObsIndex(chosen[k])),
                            width, cells.begin() + static_cast<std::ptrdiff_t>(layout.ObsIndex(k)));
            }
            out.Bytes(cells.data(), layout.CaseSize());
        }
    }
    out.Bytes(kStreamEndMark, sizeof kStreamEndMark);
    return out.failed();
}

int DecodeStream(ByteSource& source, Dataset& out) {
    Reader in(source);
    unsigned char magic[4];
    std::int32_t version = 0;
    std::int32_t count = 0;
    if (!in.Bytes(magic, sizeof magic) || !in.Int(version) || !in.Int(count)) return in.failed();
    if (std::memcmp(magic, kStreamMagic, sizeof magic) != 0 || version != kStreamVersion ||
        !InRange(count, 0, kMaxStreamVariables))
        return kMalformedStream;

    Dataset read(out.name());
    std::vector<int> types;
    for (std::int32_t i = 0; i < count; ++i) {
        Variable variable;
        if (!ReadVariable(in, variable)) return in.failed();
        types.push_back(variable.type);
        if (!read.AddVariable(std::move(variable))) return kMalformedStream;
    }
    const CaseLayout layout(types);
    std::int32_t caseSize = 0;
    std::int32_t cases = 0;
    if (!in.Int(caseSize) || !in.Int(cases)) return in.failed();
    if (caseSize < 0 || static_cast<std::size_t>(caseSize) != layout.CaseSize() || cases < 0)
        return kMalformedStream;
    // Cases of no bytes would cost memory without any stream behind them.
    if (caseSize == 0 && cases > 0) return kMalformedStream;

    for (std::int32_t r = 0; r < cases; ++r) {
        std::span<OBS> cells = read.cases().AppendCase();
        if (!in.Bytes(cells.data(), layout.CaseSize())) return in.failed();
    }
    unsigned char end[4];
    if (!in.Bytes(end, sizeof end)) return in.failed();
    if (std::memcmp(end, kStreamEndMark, sizeof end) != 0) return kMalformedStream;
    out = std::move(read);
    return VEXA_OK;
}

}  // namespace engine
