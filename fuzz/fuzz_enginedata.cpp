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
#include "csvrecords.h"
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

// A narrow window, so records cross its end and widen it.
void SplitRecords(std::string_view text) {
    std::istringstream input{std::string(text)};
    engine::CsvRecordReader reader(input, 64);
    std::vector<engine::CsvField> fields;
    unsigned sum = 0;
    // Every byte of every field is touched, so a view past the window shows.
    while (reader.Next(fields)) {
        for (const auto& field : fields)
            for (char c : field.text) sum += static_cast<unsigned char>(c);
    }
    if (sum == 1u) fields.clear();
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
            SplitRecords(text);
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
                ApplyDictionary(split < text.size() ? text.substr(split + 1) : std::string_view{},
                                data);
            break;
        }
    }
    return 0;
}
