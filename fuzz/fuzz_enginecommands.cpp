// The reference engine's request handling: the input is a run of request
// images, each decoded and dispatched in turn against one engine state that
// holds the bundled sample data, as the engine's server does for a client.
// Every reply must encode to an image that decodes again.
//
// Left out, because they would leave the process's sandbox:
// - kGetImage reads whatever file a document's "path" attribute names;
// - submitted text (kSubmit, kQueueCommandPart) that names BINARYSTREAM:
//   GET DATA / SAVE over a socket connect to a port on 127.0.0.1.
// Temp files are written, but into a private directory emptied after each input.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/clexdsmb.h"
#include "codec/protocol.h"
#include "commandtable.h"
#include "enginestate.h"
#include "fuzzsample.h"
#include "platform/process.h"

namespace {

constexpr int kMaxRequestsPerInput = 64;
// Every code the protocol has lies below this.
constexpr int kCodeRangeEnd = 4096;

struct Engine {
    engine::CommandTable table = engine::BuildCommandTable();
    engine::Dataset sample;
    std::vector<int> codes;
    std::filesystem::path tempDir;

    Engine() {
        fuzz::LoadSample(sample);
        for (int code = 0; code < kCodeRangeEnd; ++code)
            if (table.Knows(code) && code != cmd::kGetImage) codes.push_back(code);
        tempDir = std::filesystem::temp_directory_path() /
                  ("vexafuzzengine" + std::to_string(platform::CurrentProcessId()));
        std::filesystem::create_directories(tempDir);
    }
    ~Engine() {
        std::error_code ignored;
        std::filesystem::remove_all(tempDir, ignored);
    }
    void EmptyTempDir() const {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(tempDir, ignored))
            std::filesystem::remove_all(entry.path(), ignored);
    }
};

bool NamesSocketTransfer(const StringData& strings) {
    static const std::string kWord = "BINARYSTREAM";
    for (const std::string& text : strings.Values()) {
        auto found = std::search(
            text.begin(), text.end(), kWord.begin(), kWord.end(),
            [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
        if (found != text.end()) return true;
    }
    return false;
}

bool Skipped(const CleXDSmb& request) {
    const int code = request.GetCommandAction();
    if (code == cmd::kGetImage) return true;
    if (code != cmd::kSubmit && code != cmd::kQueueCommandPart) return false;
    if (NamesSocketTransfer(request.GetStringDataRef())) return true;
    for (const StringData& list : request.GetStringArrayRef())
        if (NamesSocketTransfer(list)) return true;
    return false;
}

void CheckReply(CleXDSmb& reply) {
    if (reply.ContructSendData() != 0) return;
    std::int32_t length = 0;
    const void* image = reply.GetSendBuf(length);
    CleXDSmb decoded;
    if (decoded.ParseBuf(image, static_cast<std::size_t>(length)) != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Engine engine;
    engine::EngineState state;
    state.active = engine.sample;
    state.tempDirectory = engine.tempDir.string();

    std::size_t at = 0;
    for (int served = 0; served < kMaxRequestsPerInput && at < size && !state.stopRequested;
         ++served) {
        std::int32_t total = 0;
        if (CleXDSmb::PeekTotalSize(data + at, size - at, total) != 0) break;
        const std::size_t length = std::min(static_cast<std::size_t>(total), size - at);
        CleXDSmb request;
        const bool parsed = request.ParseBuf(data + at, length) == 0;
        at += length;
        if (!parsed) continue;
        // A negative action picks one of the codes the table knows, so that
        // mutated inputs keep reaching handlers.
        if (request.GetCommandAction() < 0) {
            const auto pick =
                static_cast<std::size_t>(-(std::int64_t{request.GetCommandAction()} + 1));
            request.SetCommandAction(engine.codes[pick % engine.codes.size()]);
        }
        if (Skipped(request)) continue;
        CleXDSmb reply;
        engine.table.Dispatch(request, reply, state);
        CheckReply(reply);
    }
    engine.EmptyTempDir();
    return 0;
}
