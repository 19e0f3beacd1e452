#include "runtime/xconfigoptions.h"

#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"

const std::string XConfigOptions::KEY_LIB_NAME = "LIB_NAME";
const std::string XConfigOptions::KEY_HOME = "HOME";
const std::string XConfigOptions::KEY_ARGS = "ARGS";
const std::string XConfigOptions::KEY_X = "X";
const std::string XConfigOptions::KEY_VEXADX_VERSION = "VexadxVersion";
const std::string XConfigOptions::KEY_VEXADX_VERSION_MAJOR = "VexadxVersionMajor";
const std::string XConfigOptions::KEY_VEXADX_VERSION_MINOR = "VexadxVersionMinor";
const std::string XConfigOptions::KEY_VEXADX_VERSION_PATCH = "VexadxVersionPatch";
const std::string XConfigOptions::KEY_VEXADX_VERSION_BUGFIX = "VexadxFixPack";
const std::string XConfigOptions::KEY_TRACE = "TRACE";
const std::string XConfigOptions::KEY_INNER_PROCESS = "INNER_PROCESS";
const std::string XConfigOptions::KEY_NESTABLE = "NESTABLE";
const std::string XConfigOptions::KEY_WORK_ON_32 = "WORK_ON_32";

XConfigOptions::XConfigOptions(const std::string& xname) : m_xname(xname) {}

std::string& XConfigOptions::GetOption(const std::string& key) { return m_options[key]; }

const std::string* XConfigOptions::FindOption(const std::string& key) const {
    auto found = m_options.find(key);
    return found == m_options.end() ? nullptr : &found->second;
}

void XConfigOptions::PutOption(const std::string& key, const std::string& value) {
    m_options[key] = value;
    if (IsDefinedKey(key)) return;
    std::string expanded;
    ExpandEnvVars(value, expanded);
    m_envVars[key] = expanded;
}

bool XConfigOptions::FlagIsTrue(const std::string& key) const {
    const std::string* value = FindOption(key);
    return value != nullptr && *value == "true";
}

bool XConfigOptions::IsInnerProcess() const { return FlagIsTrue(KEY_INNER_PROCESS); }

bool XConfigOptions::IsNestable() const { return FlagIsTrue(KEY_NESTABLE) || m_xname == "PYTHON"; }

bool XConfigOptions::WorkOn32() const { return FlagIsTrue(KEY_WORK_ON_32); }

bool XConfigOptions::IsDefinedKey(const std::string& key) {
    static const std::string* const kDefined[] = {&KEY_LIB_NAME,
                                                  &KEY_HOME,
                                                  &KEY_ARGS,
                                                  &KEY_X,
                                                  &KEY_VEXADX_VERSION,
                                                  &KEY_VEXADX_VERSION_MAJOR,
                                                  &KEY_VEXADX_VERSION_MINOR,
                                                  &KEY_VEXADX_VERSION_PATCH,
                                                  &KEY_VEXADX_VERSION_BUGFIX,
                                                  &KEY_TRACE,
                                                  &KEY_INNER_PROCESS,
                                                  &KEY_NESTABLE,
                                                  &KEY_WORK_ON_32};
    for (const std::string* defined : kDefined)
        if (key == *defined) return true;
    return false;
}

bool XConfigOptions::FindUserEnv(const std::string& name, std::string& value) const {
    auto found = m_envVars.find(name);
    if (found == m_envVars.end()) return false;
    value = found->second;
    return true;
}

// Each pass restarts at the front, so a reference left unexpanded in an
// earlier variable (it named one defined later) is resolved here. That restart
// is also what lets a self-referring value grow without end; the limits cut it.
bool XConfigOptions::ExpandEnvVars(const std::string& input, std::string& output) const {
    output = input;
    int replacements = 0;
    std::size_t open = output.find('%');
    while (open != std::string::npos) {
        std::size_t close = output.find('%', open + 1);
        if (close == std::string::npos) break;
        std::string value;
        if (!FindUserEnv(output.substr(open + 1, close - open - 1), value)) break;
        std::size_t referenceLength = close - open + 1;
        if (replacements == kMaxReplacements ||
            output.size() - referenceLength + value.size() > kMaxExpandedLength) {
            DxTrace("XConfigOptions::ExpandEnvVars reference cycle in " + m_xname +
                    ", expansion stopped");
            break;
        }
        output.replace(open, referenceLength, value);
        ++replacements;
        open = output.find('%');
    }
    return ExpandEnvStr(output, output);
}
