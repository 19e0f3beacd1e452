// The bundled sample dataset, as the engine loads it, for the fuzz targets
// that run engine code over real data. Traps when it cannot be read: a fuzz
// run over no data would find nothing.
#pragma once

#include <string>

#include "csvreader.h"
#include "dataset.h"
#include "dictionaryreader.h"

namespace fuzz {

inline void LoadSample(engine::Dataset& sample) {
    std::string error;
    const std::string data = VEXA_FUZZ_DATA_DIR "/iris.csv";
    if (!engine::ReadCsvFile(data, sample, error) ||
        !engine::ReadDictionaryFileIfPresent(engine::DictionaryPathFor(data), sample, error))
        __builtin_trap();
}

inline engine::Dataset LoadSample() {
    engine::Dataset sample;
    LoadSample(sample);
    return sample;
}

}  // namespace fuzz
