// The submission family: command text, output text, graphics, and the
// output settings that SET commands change.
#include "codec/protocol.h"
#include "commandtable.h"
#include "runtime/statuscodes.h"
#include "syntaxrunner.h"

namespace engine {
namespace {

// Changing the output language is logged.
struct LanguageContext {
    explicit LanguageContext(EngineState& state) : settings(state.settings), log(state.log) {}

    OutputSettings& settings;
    OutputLog& log;
};

int Submit(const RequestArgs& args, CleXDSmb&, EngineState& state) {
    auto text = args.String(0);
    if (!text) return VEXA_MALFORMED_MESSAGE;
    return RunSyntax(*text, state, BlockLines::kRecognised);
}

// Runs the gathered command once this part completes it.
int QueueCommandPart(const RequestArgs& args, CleXDSmb&, EngineState& state) {
    auto text = args.String(0);
    if (!text) return VEXA_MALFORMED_MESSAGE;
    auto complete = state.pendingCommand.Add(*text);
    if (!complete) return VEXA_OK;
    // Blocks come whole in one submission, never in queued parts.
    return RunSyntax(*complete, state, BlockLines::kOrdinary);
}

int PostOutput(const RequestArgs& args, CleXDSmb&, OutputState& state) {
    auto text = args.String(0);
    if (!text) return VEXA_MALFORMED_MESSAGE;
    state.log.Add(OutputLog::Kind::kOutput, *text);
    return VEXA_OK;
}

int OutputWidth(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    reply.SetLong(state.settings.width);
    return VEXA_OK;
}

int OutputLanguage(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    reply.SetString(state.settings.language);
    return VEXA_OK;
}

int SetOutputLanguage(const RequestArgs& args, CleXDSmb&, LanguageContext& state) {
    auto language = args.String(0);
    if (!language) return VEXA_MALFORMED_MESSAGE;
    return ChangeLanguage(*language, state.settings, state.log);
}

int Graphic(const RequestArgs& args, CleXDSmb&, OutputState& state) {
    auto path = args.String(0);
    if (!path) return VEXA_MALFORMED_MESSAGE;
    state.log.Add(OutputLog::Kind::kGraphic, *path);
    return VEXA_OK;
}

int GraphicsLabels(const RequestArgs& args, CleXDSmb&, OutputState& state) {
    // The library sends nothing for a null label, so a missing second label
    // is an empty one.
    auto first = args.String(0);
    if (!first) return VEXA_MALFORMED_MESSAGE;
    state.log.Add(OutputLog::Kind::kLabels, *first, args.String(1).value_or(""));
    return VEXA_OK;
}

int IsUTF8Mode(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    reply.SetLong(state.settings.unicode ? 1 : 0);
    return VEXA_OK;
}

}  // namespace

void RegisterSubmissionCommands(CommandTable& table) {
    table.Register(cmd::kSubmit, Submit);
    table.Register(cmd::kQueueCommandPart, QueueCommandPart);
    table.Register(cmd::kPostVexaOutput, PostOutput);
    table.Register(cmd::kGetVexaOutputWidth, OutputWidth);
    table.Register(cmd::kGetOutputLanguage, OutputLanguage);
    table.Register(cmd::kSetOutputLanguage, SetOutputLanguage);
    table.Register(cmd::kGetGraphic, Graphic);
    table.Register(cmd::kSetGraphicsLabel, GraphicsLabels);
    table.Register(cmd::kIsUTF8mode, IsUTF8Mode);
}

}  // namespace engine
