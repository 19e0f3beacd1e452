// The temp-file family: chosen variables of the active dataset saved to a
// file under the engine's temp directory, rows of such a file read back as
// the active dataset, and the row count of the last file saved or read.
// A temp file holds one binary stream (binarystream.h).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "binarystream.h"
#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

constexpr const char* kTempFileSuffix = ".vxtmp";
// Rows to the file's end.
constexpr std::int32_t kAllRows = -1;

// The data commands' context and the directory the files go to.
struct TempFileContext : DataContext {
    explicit TempFileContext(EngineState& state)
        : DataContext(state), tempDirectory(state.tempDirectory) {}

    const std::string& tempDirectory;
};

// The file a name stands for; the name must stay inside the directory.
int TempFilePath(const TempFileContext& state, const std::string& name, std::string& path) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return kBadTempFileName;
    path = state.tempDirectory;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name + kTempFileSuffix;
    return VEXA_OK;
}

// Written beside the file and renamed over it, so a failed save never leaves
// half a file under the name.
bool WriteWhole(const std::string& path, const std::vector<unsigned char>& bytes) {
    const std::string part = path + ".part";
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        if (!file) return false;
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        file.flush();
        if (!file) {
            file.close();
            std::remove(part.c_str());
            return false;
        }
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        return false;
    }
    return true;
}

bool ReadWhole(const std::string& path, std::vector<unsigned char>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// String name; then the active dataset's variable indexes, every variable
// when there are none.
int SaveToTempFile(const RequestArgs& args, CleXDSmb&, TempFileContext& state) {
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    std::string path;
    if (int refused = TempFilePath(state, *name, path)) return refused;
    std::vector<std::size_t> chosen;
    for (std::int32_t index : args.Ints().Values()) {
        if (index < 0 || static_cast<std::size_t>(index) >= state.active.VariableCount())
            return kNoSuchItem;
        chosen.push_back(static_cast<std::size_t>(index));
    }
    VectorSink sink;
    EncodeStream(state.active, chosen, sink);
    if (!WriteWhole(path, sink.bytes())) return kTempFileUnwritable;
    state.datasets.tempFileRows = state.active.CaseCount();
    return VEXA_OK;
}

// String name; longs first row (from 0) and row count (-1: to the end; a
// count past the end stops there). The rows replace the active dataset's
// variables and cases; its name stays.
int ReadFromTempFile(const RequestArgs& args, CleXDSmb&, TempFileContext& state) {
    auto name = args.String(0);
    auto first = args.Int(0);
    auto count = args.Int(1);
    if (!name || !first || !count) return VEXA_MALFORMED_MESSAGE;
    std::string path;
    if (int refused = TempFilePath(state, *name, path)) return refused;
    if (state.output.IsOpen()) return kActiveDatasetInUse;
    std::vector<unsigned char> bytes;
    if (!ReadWhole(path, bytes)) return kTempFileUnreadable;
    SpanSource source(bytes);
    Dataset whole(state.active.name());
    if (DecodeStream(source, whole) != 0 || !source.AtEnd()) return kTempFileUnreadable;

    if (*first < 0 || static_cast<std::size_t>(*first) > whole.CaseCount() || *count < kAllRows)
        return kNoSuchTempFileRows;
    const auto begin = static_cast<std::size_t>(*first);
    const std::size_t available = whole.CaseCount() - begin;
    const std::size_t rows =
        *count == kAllRows ? available : std::min(available, static_cast<std::size_t>(*count));
    Dataset read(whole.name());
    for (std::size_t v = 0; v < whole.VariableCount(); ++v) read.AddVariable(whole.variable(v));
    read.cases().AppendCases(whole.cases().Cases(begin, rows));
    state.active = std::move(read);
    state.datasets.tempFileRows = rows;
    return VEXA_OK;
}

int TempFileRows(const RequestArgs&, CleXDSmb& reply, TempFileContext& state) {
    reply.SetLong(static_cast<std::int32_t>(state.datasets.tempFileRows));
    return VEXA_OK;
}

}  // namespace

void RegisterTempFileCommands(CommandTable& table) {
    table.Register(cmd::kSaveDataToTempFile, SaveToTempFile);
    table.Register(cmd::kGetDataFromTempFile, ReadFromTempFile);
    table.Register(cmd::kGetRowCountInTempFile, TempFileRows);
}

}  // namespace engine
