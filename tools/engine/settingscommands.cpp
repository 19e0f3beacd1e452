// The settings family: SET values by name, file handles, text conversion,
// locales, the host application's identity and the server mode.
#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

// The modes SetPlexorServerMode takes: the engine serves its one local client,
// or runs as a server for remote ones. Only stored and handed back.
constexpr int kLocalMode = 0;
constexpr int kServerMode = 1;

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The setting's text; nullopt for a name the engine does not know.
std::optional<std::string> SettingText(const std::string& name, const OutputSettings& settings) {
    const std::string key = Upper(name);
    if (key == "WIDTH") return std::to_string(settings.width);
    if (key == "OLANG") return settings.language;
    if (key == "UNICODE") return std::string(settings.unicode ? "ON" : "OFF");
    if (key == "LOCALE") return settings.EngineLocale();
    return std::nullopt;
}

// The name, then the text to answer for a name the engine does not know; an
// empty (or absent) one makes an unknown name an error.
int Setting(const RequestArgs& args, CleXDSmb& reply, SettingsState& state) {
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    const std::string fallback = args.String(1).value_or(std::string());
    auto text = SettingText(*name, state.settings);
    if (!text && fallback.empty()) return kUnknownSetting;
    reply.SetString(text ? *text : fallback);
    return VEXA_OK;
}

// Name and path of each handle, alternating.
int FileHandleList(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    for (const auto& [name, path] : state.settings.fileHandles.entries()) {
        reply.SetString(name);
        reply.SetString(path);
    }
    return VEXA_OK;
}

// The engine's code page without Unicode mode is ISO-8859-1, whose bytes are
// the first 256 code points.
std::string Latin1ToUtf8(const std::string& text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

int TransCode(const RequestArgs& args, CleXDSmb& reply, SettingsState& state) {
    auto text = args.String(0);
    if (!text) return VEXA_MALFORMED_MESSAGE;
    reply.SetString(state.settings.unicode ? *text : Latin1ToUtf8(*text));
    return VEXA_OK;
}

int EngineLocale(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    reply.SetString(state.settings.EngineLocale());
    return VEXA_OK;
}

int CLocale(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    reply.SetString(state.settings.CLocale());
    return VEXA_OK;
}

int HostNameAndVersion(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    reply.SetString(state.hostName);
    reply.SetString(state.hostVersion);
    return VEXA_OK;
}

int SetHostNameAndVersion(const RequestArgs& args, CleXDSmb&, SettingsState& state) {
    auto name = args.String(0);
    auto version = args.String(1);
    if (!name || !version) return VEXA_MALFORMED_MESSAGE;
    state.hostName = *name;
    state.hostVersion = *version;
    return VEXA_OK;
}

int HostCopyright(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    reply.SetString(state.hostCopyright);
    return VEXA_OK;
}

int SetHostCopyright(const RequestArgs& args, CleXDSmb&, SettingsState& state) {
    auto text = args.String(0);
    if (!text) return VEXA_MALFORMED_MESSAGE;
    state.hostCopyright = *text;
    return VEXA_OK;
}

int ServerMode(const RequestArgs&, CleXDSmb& reply, SettingsState& state) {
    reply.SetLong(state.serverMode);
    return VEXA_OK;
}

int SetServerMode(const RequestArgs& args, CleXDSmb&, SettingsState& state) {
    auto mode = args.Int(0);
    if (!mode) return VEXA_MALFORMED_MESSAGE;
    if (*mode != kLocalMode && *mode != kServerMode) return kBadServerMode;
    state.serverMode = *mode;
    return VEXA_OK;
}

}  // namespace

void RegisterSettingsCommands(CommandTable& table) {
    table.Register(cmd::kGetSetting, Setting);
    table.Register(cmd::kGetFileHandles, FileHandleList);
    table.Register(cmd::kTransCode, TransCode);
    table.Register(cmd::kGetVEXALocale, EngineLocale);
    table.Register(cmd::kGetCLocale, CLocale);
    table.Register(cmd::kGetHostAppNameAndVersion, HostNameAndVersion);
    table.Register(cmd::kSetHostAppNameAndVersion, SetHostNameAndVersion);
    table.Register(cmd::kGetHostAppCopyright, HostCopyright);
    table.Register(cmd::kSetHostAppCopyright, SetHostCopyright);
    table.Register(cmd::kGetPlexorServerMode, ServerMode);
    table.Register(cmd::kSetPlexorServerMode, SetServerMode);
}

}  // namespace engine
