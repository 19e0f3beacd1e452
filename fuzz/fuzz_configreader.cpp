// The configuration file as the library reads it: the input becomes the
// whole "vexadxcfg.ini" of a private directory, then every section the file
// names is read (with the expansion of references between its variables),
// the global values are asked for, the raw profile queries run into buffers
// of exactly the size given, and a language's options go into the launch
// environment and argument vector.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "hosting/xprocessenvironment.h"
#include "platform/process.h"
#include "runtime/dxglobal.h"
#include "runtime/vexadxconfigreader.h"
#include "runtime/xconfigoptions.h"

using hosting::pushEnv;
using hosting::XLauncherArgv;
using hosting::XLaunchInputs;

namespace {

// Each query opens the file again; a few sections and keys reach every path.
constexpr std::size_t kMaxSectionsRead = 8;
constexpr std::size_t kMaxKeysRead = 8;

// Deleted at exit, so that a run leaves nothing behind.
class ScratchFile {
  public:
    ScratchFile() {
        m_dir = std::filesystem::temp_directory_path() /
                ("vexafuzzcfg" + std::to_string(platform::CurrentProcessId()));
        std::filesystem::create_directories(m_dir);
        m_path = (m_dir / VexaDXConfigReader::CONFIG_FILE_NAME).string();
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::string& Write(const std::uint8_t* data, std::size_t size) {
        std::ofstream file(m_path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return m_path;
    }

  private:
    std::filesystem::path m_dir;
    std::string m_path;
};

// A host's expansion that writes into the string it reads from.
bool ExpandInPlace(const std::string& input, std::string& output) {
    output = input;
    output += "";
    return true;
}

// The names in a NUL-separated list of `length` bytes.
std::vector<std::string> Names(const char* list, std::size_t length) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < length;) {
        std::size_t end = at;
        while (end < length && list[end] != '\0') ++end;
        names.emplace_back(list + at, end - at);
        at = end + 1;
    }
    return names;
}

// Exactly `size` bytes on the heap, so that a write past them is caught.
std::size_t Profile(const VexaDXConfigReader& reader, const std::string& section,
                    const std::string& key, std::size_t size, std::vector<std::string>* names) {
    auto buffer = std::make_unique<char[]>(size == 0 ? 1 : size);
    std::size_t placed = reader.GetPrivateProfileString(
        section, key, "", size == 0 ? nullptr : buffer.get(), size, reader.GetConfigFullPath());
    if (size > 0 && placed >= size) __builtin_trap();
    if (names) *names = Names(buffer.get(), placed);
    return placed;
}

void UseOptions(const XConfigOptions& options) {
    XLaunchInputs inputs;
    inputs.engineHome = "/opt/engine";
    inputs.tempDir = "/tmp";
    inputs.pidText = "1a2c";
    inputs.lookupEnv = [](const std::string& name, std::string& value) {
        if (name != "PATH") return false;
        value = "/usr/bin";
        return true;
    };
    XCmdArgument environment = pushEnv(options, inputs);
    (void)environment;
    std::vector<std::string> argv = XLauncherArgv(options, inputs, 1);
    (void)argv;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile scratch;
    SetExpandEnvStr(size % 2 ? ExpandInPlace : nullptr);
    VexaDXConfigReader reader(scratch.Write(data, size));

    std::vector<std::string> sections;
    Profile(reader, "", "", VexaDXConfigReader::kValueBufferSize, &sections);
    // The small sizes meet the edges of "a name fits with two more bytes".
    for (std::size_t small :
         {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}})
        Profile(reader, "", "", small, nullptr);

    std::size_t read = 0;
    for (const std::string& section : sections) {
        if (++read > kMaxSectionsRead) break;
        std::vector<std::string> keys;
        Profile(reader, section, "", 64, &keys);
        for (std::size_t k = 0; k < keys.size() && k < kMaxKeysRead; ++k)
            Profile(reader, section, keys[k], 5, nullptr);
        XConfigOptions* options = reader.GetOptions(section);
        options->IsInnerProcess();
        options->IsNestable();
        options->WorkOn32();
        UseOptions(*options);
    }

    reader.GetGlobalOptions();
    reader.GetTracePath();
    reader.GetVersion();
    reader.GetVersionMajor();
    reader.GetVersionBugfix();
    for (const std::string& language : reader.GetSupportLanguage())
        reader.IsSupportLanguage(language);
    reader.IsSupportLanguage("");
    reader.SetXName(sections.empty() ? std::string("PYTHON") : sections.front());
    UseOptions(reader.GetOptions());
    SetExpandEnvStr(nullptr);
    return 0;
}
