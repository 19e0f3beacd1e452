// Submitted syntax: the input is command text. It is split into commands
// (the pieces must keep their lines in order and hold no empty command), the
// queued-part gatherer is fed its lines, and the whole text then runs
// against an engine state that holds the bundled sample, as a Submit would.
// Text naming BINARYSTREAM is not run: its GET DATA / SAVE would connect to
// a port on 127.0.0.1.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "commandrunner.h"
#include "enginestate.h"
#include "fuzzsample.h"
#include "syntaxrunner.h"
#include "syntaxsplitter.h"

namespace {

bool NamesSocketTransfer(std::string_view text) {
    static constexpr std::string_view kWord = "BINARYSTREAM";
    return std::search(text.begin(), text.end(), kWord.begin(), kWord.end(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           }) != text.end();
}

void CheckPieces(const engine::SplitSyntax& split, std::string_view text) {
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    int previous = 0;
    for (const engine::SyntaxPiece& piece : split.pieces) {
        if (piece.command.line <= previous || piece.command.line > lines) __builtin_trap();
        if (!piece.block && piece.command.body.empty()) __builtin_trap();
        previous = piece.command.line;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const engine::Dataset sample = fuzz::LoadSample();
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckPieces(engine::SplitCommands(text), text);
    CheckPieces(engine::SplitCommands(text, engine::BlockLines::kOrdinary), text);

    engine::CommandAssembler parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        parts.Add(std::string_view(text).substr(start, end - start));
        start = end + 1;
    }

    if (NamesSocketTransfer(text)) return 0;
    engine::EngineState state;
    state.active = sample;
    engine::RunSyntax(text, state, engine::BlockLines::kRecognised);
    return 0;
}
