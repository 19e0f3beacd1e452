#include "runtime/vexadxconfigreader.h"

#include <fstream>

#include "runtime/dxglobal.h"
#include "runtime/stringutil.h"

const std::string VexaDXConfigReader::SECTION_SUPPORT_LANG = "SUPPORTED_LANG";
const std::string VexaDXConfigReader::SECTION_VERSION = "version";
const std::string VexaDXConfigReader::GLOBAL_OPTIONS_NAME = "_GLOBAL_";
const std::string VexaDXConfigReader::CONFIG_FILE_NAME = "vexadxcfg.ini";
const std::string VexaDXConfigReader::ALWAYS_SUPPORTED_LANG = "JAVAEXTENSION";

namespace {

std::string DefaultConfigPath() {
    std::string path = GetVEXAHOME();
    DecoratePathEnd(path);
    return path + VexaDXConfigReader::CONFIG_FILE_NAME;
}

std::string StripSpaces(const std::string& text) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

}  // namespace

VexaDXConfigReader* VexaDXConfigReader::GetInstance() {
    // Never destroyed: threads still running at unload may read the configuration.
    static VexaDXConfigReader* const instance = new VexaDXConfigReader;
    return instance;
}

XConfigOptions* VexaDXConfigReader::GetInstance(const std::string& section) {
    return GetInstance()->GetOptions(section);
}

VexaDXConfigReader::VexaDXConfigReader() : VexaDXConfigReader(DefaultConfigPath()) {}

VexaDXConfigReader::VexaDXConfigReader(const std::string& configPath) : m_configPath(configPath) {}

VexaDXConfigReader::~VexaDXConfigReader() = default;

XConfigOptions* VexaDXConfigReader::GetOptions(const std::string& section) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_options.find(section);
    if (found != m_options.end()) return found->second.get();
    std::unique_ptr<XConfigOptions> options =
        section == GLOBAL_OPTIONS_NAME ? ReadGlobalOptions() : ReadSection(section);
    return m_options.emplace(section, std::move(options)).first->second.get();
}

XConfigOptions VexaDXConfigReader::GetOptions() { return *GetOptions(GetXName()); }

void VexaDXConfigReader::SetXName(const std::string& name) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_xname = name;
}

std::string VexaDXConfigReader::GetXName() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_xname;
}

std::string VexaDXConfigReader::GetOption(const std::string& section, const std::string& key,
                                          const std::string& defaultValue) const {
    char buffer[kValueBufferSize];
    std::size_t length =
        GetPrivateProfileString(section, key, "", buffer, sizeof buffer, m_configPath);
    return StripSpaces(length == 0 ? defaultValue : std::string(buffer, length));
}

std::string VexaDXConfigReader::GetConfigFullPath() const { return m_configPath; }

std::unique_ptr<XConfigOptions> VexaDXConfigReader::ReadSection(const std::string& section) const {
    auto options = std::make_unique<XConfigOptions>(section);
    std::ifstream input(m_configPath, std::ios::in | std::ios::binary);
    if (!input.is_open() || !GotoSectionStart(input, section)) return options;
    std::string line, key, value;
    while (ReadLine(input, line) && !IsSectionHeader(line)) {
        if (IsComment(line) || !SplitEntry(line, key, value)) continue;
        options->PutOption(key, value);
    }
    return options;
}

std::unique_ptr<XConfigOptions> VexaDXConfigReader::ReadGlobalOptions() const {
    auto options = std::make_unique<XConfigOptions>(GLOBAL_OPTIONS_NAME);
    const std::pair<const std::string*, const std::string*> keys[] = {
        {&SECTION_SUPPORT_LANG, &XConfigOptions::KEY_X},
        {&SECTION_SUPPORT_LANG, &XConfigOptions::KEY_TRACE},
        {&SECTION_VERSION, &XConfigOptions::KEY_VEXADX_VERSION},
        {&SECTION_VERSION, &XConfigOptions::KEY_VEXADX_VERSION_MAJOR},
        {&SECTION_VERSION, &XConfigOptions::KEY_VEXADX_VERSION_MINOR},
        {&SECTION_VERSION, &XConfigOptions::KEY_VEXADX_VERSION_PATCH},
        {&SECTION_VERSION, &XConfigOptions::KEY_VEXADX_VERSION_BUGFIX},
    };
    for (const auto& [section, key] : keys) options->PutOption(*key, GetOption(*section, *key, ""));
    return options;
}

std::string VexaDXConfigReader::GlobalValue(const std::string& key) {
    const std::string* value = GetOptions(GLOBAL_OPTIONS_NAME)->FindOption(key);
    return value ? *value : std::string();
}

XConfigOptions VexaDXConfigReader::GetGlobalOptions() { return *GetOptions(GLOBAL_OPTIONS_NAME); }

std::string VexaDXConfigReader::GetTracePath() { return GlobalValue(XConfigOptions::KEY_TRACE); }

std::string VexaDXConfigReader::GetVersion() {
    return GlobalValue(XConfigOptions::KEY_VEXADX_VERSION);
}

std::string VexaDXConfigReader::GetVersionMajor() {
    return GlobalValue(XConfigOptions::KEY_VEXADX_VERSION_MAJOR);
}

std::string VexaDXConfigReader::GetVersionMinor() {
    return GlobalValue(XConfigOptions::KEY_VEXADX_VERSION_MINOR);
}

std::string VexaDXConfigReader::GetVersionPatch() {
    return GlobalValue(XConfigOptions::KEY_VEXADX_VERSION_PATCH);
}

std::string VexaDXConfigReader::GetVersionBugfix() {
    return GlobalValue(XConfigOptions::KEY_VEXADX_VERSION_BUGFIX);
}

std::vector<std::string> VexaDXConfigReader::GetSupportLanguage() {
    return textutil::GetListFromDelims(GlobalValue(XConfigOptions::KEY_X), ";");
}

bool VexaDXConfigReader::IsSupportLanguage(const std::string& name) {
    if (name.empty()) return false;
    if (name == ALWAYS_SUPPORTED_LANG) return true;
    for (const std::string& supported : GetSupportLanguage())
        if (supported == name) return true;
    return false;
}
