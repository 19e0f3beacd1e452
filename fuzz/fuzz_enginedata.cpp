// The reference engine's data file readers. The first byte chooses what the
// rest is: comma-separated data; a dictionary applied to the bundled sample;
// or data and a dictionary for it, split at the first 0x01 byte. Every cell
// of a dataset the readers leave behind is read, so that a case that does not
// match its variables is caught.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "csvreader.h"
#include "dictionaryreader.h"

namespace {

const engine::Dataset& Sample() {
    static const engine::Dataset sample = [] {
        engine::Dataset data;
        std::string error;
        const std::string path = VEXA_FUZZ_DATA_DIR "/iris.csv";
        if (!engine::ReadCsvFile(path, data, error)) __builtin_trap();
        return data;
    }();
    return sample;
}

void CheckShape(const engine::Dataset& data) {
    for (std::size_t c = 0; c < data.CaseCount() && c < 64; ++c)
        for (std::size_t v = 0; v < data.VariableCount(); ++v) (void)data.cell(c, v);
}

void SplitLines(std::string_view text) {
    std::vector<std::string> fields;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        engine::SplitCsvRecord(text.substr(at, end - at), fields);
        at = end + 1;
    }
}

bool ReadData(std::string_view text, engine::Dataset& data) {
    std::istringstream input{std::string(text)};
    std::string error;
    return engine::ReadCsvDataset(input, "fuzz", data, error);
}

void ApplyDictionary(std::string_view text, engine::Dataset& data) {
    std::istringstream input{std::string(text)};
    std::string error;
    engine::ReadDictionary(input, data, error);
    CheckShape(data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(bytes) + 1, size - 1);
    switch (bytes[0] % 3) {
        case 0: {
            SplitLines(text);
            engine::Dataset data;
            if (ReadData(text, data)) CheckShape(data);
            break;
        }
        case 1: {
            engine::Dataset data = Sample();
            ApplyDictionary(text, data);
            break;
        }
        default: {
            const std::size_t split = std::min(text.find('\x01'), text.size());
            engine::Dataset data;
            if (ReadData(text.substr(0, split), data))
                ApplyDictionary(split < text.size() ? text.substr(split + 1) : std::string_view{}, data);
            break;
        }
    }
    return 0;
}
