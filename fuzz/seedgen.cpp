// Writes the seed corpus of the fuzz targets, every image built by the
// project's own encoder: fuzz_seeds <corpus dir>. A handful of small inputs
// per target; the fuzzer finds the rest.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "codec/clexdsmb.h"
#include "codec/protocol.h"
#include "commandtable.h"

namespace {

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

struct Request {
    int code;
    std::vector<std::int32_t> ints;
    std::vector<std::string> texts;
    std::vector<double> doubles;
};

Bytes Image(CleXDSmb& message) {
    if (message.ContructSendData() != 0) std::abort();
    std::int32_t length = 0;
    const auto* image = static_cast<const unsigned char*>(message.GetSendBuf(length));
    return Bytes(image, image + length);
}

Bytes Image(const Request& request) {
    CleXDSmb message;
    message.SetCommandAction(request.code);
    for (std::int32_t value : request.ints) message.SetLong(value);
    for (double value : request.doubles) message.SetDouble(value);
    for (const std::string& text : request.texts) message.SetString(text);
    return Image(message);
}

void Write(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes FileBytes(const fs::path& path, std::size_t lines = SIZE_MAX) {
    std::ifstream input(path, std::ios::binary);
    std::string all, line;
    for (std::size_t n = 0; n < lines && std::getline(input, line); ++n) all += line + "\n";
    return Text(all);
}

void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

Bytes Void(std::int32_t length, std::int32_t seed) {
    Bytes bytes(static_cast<std::size_t>(length));
    for (std::int32_t i = 0; i < length; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i * 31 + seed);
    return bytes;
}

void SetVoid(CleXDSmb& message, const Bytes& bytes) {
    void* data = std::malloc(bytes.size());
    std::memcpy(data, bytes.data(), bytes.size());
    message.SetVoidData(data, static_cast<std::int32_t>(bytes.size()));
}

std::vector<Bytes> CodecSeeds() {
    std::vector<Bytes> seeds;
    CleXDSmb bare;
    bare.SetCommandAction(cmd::kGetVariableCount);
    seeds.push_back(Image(bare));

    CleXDSmb full;
    full.SetCommandAction(cmd::kGetVariableName);
    full.SetErrorCode(10);
    full.SetLong(3);
    full.SetDouble(-2.5);
    full.SetString("sepal_length");
    LongData longs;
    longs.SetValue(1);
    longs.SetValue(-1);
    full.SetLongArray(longs);
    DoubleData doubles;
    doubles.SetValue(0.25);
    full.SetDoubleArray(doubles);
    StringData strings;
    strings.SetValue("a");
    strings.SetValue("");
    full.SetStringArray(strings);
    full.SetwString(u"wide");
    full.SetBinaryString("bin\0ary", 7);
    SetVoid(full, Void(19, 5));
    seeds.push_back(Image(full));

    // A data-step batch: rows 2..3 of two variables (numeric, 8-byte string).
    CleXDSmb batch;
    batch.SetCommandAction(cmd::kFetchDatastep);
    for (std::int32_t value : {2, 2, 0, 8, 3, 4}) batch.SetLong(value);
    LongData flags;
    DoubleData values;
    StringData texts;
    for (int cell = 0; cell < 4; ++cell) {
        flags.SetValue(cell == 2 ? 1 : 0);
        values.SetValue(cell * 1.5);
        texts.SetValue(cell % 2 ? "text" : "");
    }
    batch.SetLongArray(flags);
    batch.SetDoubleArray(values);
    batch.SetStringArray(texts);
    seeds.push_back(Image(batch));

    // A cursor block: 3 cases of a numeric and a 12-byte string (24 bytes each).
    CleXDSmb cursor;
    cursor.SetCommandAction(cmd::kMakeCaseCursor + 1);
    for (std::int32_t value : {3, 0, 0, 12}) cursor.SetLong(value);
    SetVoid(cursor, Void(72, 1));
    seeds.push_back(Image(cursor));
    return seeds;
}

// [selector count - 1, selectors..., lend byte, stream].
Bytes Framed(std::vector<std::uint8_t> selectors, std::uint8_t lend, const Bytes& stream) {
    Bytes input{static_cast<unsigned char>(selectors.size() - 1)};
    input.insert(input.end(), selectors.begin(), selectors.end());
    input.push_back(lend);
    Append(input, stream);
    return input;
}

std::vector<Bytes> FramedSeeds() {
    CleXDSmb small;
    small.SetCommandAction(cmd::kGetRowCount);
    small.SetLong(150);
    const Bytes one = Image(small);
    CleXDSmb large;
    large.SetCommandAction(cmd::kNextCaseRefill);
    SetVoid(large, Void(20000, 3));
    const Bytes big = Image(large);
    constexpr std::uint8_t kPieceSelector = 253;  // 8192 bytes
    return {
        Framed({255}, 0, one), Framed({kPieceSelector}, 0, big), Framed({kPieceSelector}, 3, big),
        Framed({59, 6}, 0, one),  // 60 bytes, then pieces of 7
    };
}

std::vector<Bytes> ConfigSeeds(const fs::path& data) {
    return {
        FileBytes(data / "vexadxcfg.ini"),
        Text("[SUPPORTED_LANG]\nX=PYTHON;R;;\nTRACE = /tmp/trace \n[version]\nVexadxVersion=1.0\n"
             "[PYTHON]\nLIB_NAME=lib/libpy.so\nINNER_PROCESS=true\nROOT=/opt\nPATH=%ROOT%/"
             "bin;%PATH%\n"
             "; comment\nLATER=%NEXT%\nNEXT=x\n[R]\nA=%B%\nB=%A%%A%\n"),
    };
}

std::vector<Bytes> EngineSeeds() {
    const std::vector<std::vector<Request>> sequences = {
        {{cmd::kGetVariableCount, {}, {}, {}},
         {cmd::kGetVariableName, {0}, {}, {}},
         {cmd::kGetRowCount, {}, {}, {}}},
        {{cmd::kStartProcedure, {}, {"fuzz"}, {}},
         {cmd::kMakeCaseCursor, {}, {"r"}, {}},
         {cmd::kNextCaseRefill, {10, 72}, {}, {}},
         {cmd::kNextCase, {}, {}, {}},
         {cmd::kGetNumericValue, {0}, {}, {}},
         {cmd::kEndProcedure, {}, {}, {}}},
        {{cmd::kCreateXPathDictionary, {}, {"dictionary"}, {}},
         {cmd::kEvaluateXPath, {}, {"dictionary", "//variable[@level='nominal']", "@label"}, {}},
         {cmd::kGetXmlUtf16, {}, {"dictionary"}, {}}},
        {{cmd::kStartProcedure, {}, {"tables"}, {}},
         {cmd::kStartPivotTable, {}, {"T", "t", "x"}, {}},
         {cmd::kAddDimension, {0}, {"T", "rows"}, {}},
         {cmd::kSetNumberCell, {}, {"T"}, {1.5}},
         {cmd::kEndProcedure, {}, {}, {}}},
        {{cmd::kSaveDataToTempFile, {0, 4}, {"part"}, {}},
         {cmd::kGetDataFromTempFile, {0, -1}, {"part"}, {}}},
        {{cmd::kStartDataStep, {}, {}, {}},
         {cmd::kFetchDatastep, {0, 1}, {"*"}, {}},
         {cmd::kEndDataStep, {}, {}, {}}},
        {{cmd::kSubmit, {}, {"SET WIDTH=100."}, {}},
         {cmd::kQueueCommandPart, {}, {"FILE HANDLE h"}, {}},
         {cmd::kQueueCommandPart, {}, {"/NAME='/tmp/x'."}, {}}},
    };
    std::vector<Bytes> seeds;
    for (const auto& sequence : sequences) {
        Bytes input;
        for (const Request& request : sequence) Append(input, Image(request));
        seeds.push_back(input);
    }
    // Every known code once, with arguments most handlers can use.
    const engine::CommandTable table = engine::BuildCommandTable();
    Bytes sweep;
    int inSweep = 0;
    for (int code = 0; code < 4096; ++code) {
        if (!table.Knows(code) || code == cmd::kGetImage || code == cmd::kStopVexa) continue;
        Append(sweep, Image(Request{code, {0, 1}, {"*", "sepal_length"}, {1.0}}));
        if (++inSweep == 60) {
            seeds.push_back(sweep);
            sweep.clear();
            inSweep = 0;
        }
    }
    if (!sweep.empty()) seeds.push_back(sweep);
    return seeds;
}

std::vector<Bytes> DataSeeds(const fs::path& data) {
    Bytes csv{0};
    Append(csv, FileBytes(data / "iris.csv", 12));
    Bytes dictionary{1};
    Append(dictionary, FileBytes(data / "iris.dict"));
    Bytes both{2};
    Append(
        both,
        Text("a,b,name\n1,2,\"x\"\"y\"\n,3.5,z\n\x01variable a label \"A\" format F8.2\n"
             "missing b range 1 2 value 9\nvalues name \"z\" \"Zed\"\nattribute a Unit \"cm\"\n"));
    return {csv, dictionary, both};
}

void WriteAll(const fs::path& dir, const std::vector<Bytes>& seeds) {
    for (std::size_t i = 0; i < seeds.size(); ++i) Write(dir, "seed" + std::to_string(i), seeds[i]);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_seeds <corpus dir>\n";
        return 2;
    }
    const fs::path corpus = argv[1];
    const fs::path data = VEXA_FUZZ_DATA_DIR;
    WriteAll(corpus / "fuzz_codec", CodecSeeds());
    WriteAll(corpus / "fuzz_framedreceive", FramedSeeds());
    WriteAll(corpus / "fuzz_configreader", ConfigSeeds(data));
    WriteAll(corpus / "fuzz_enginecommands", EngineSeeds());
    WriteAll(corpus / "fuzz_enginedata", DataSeeds(data));
    return 0;
}
