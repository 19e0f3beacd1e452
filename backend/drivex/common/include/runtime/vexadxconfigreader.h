// The library's configuration file "vexadxcfg.ini" in the engine home: the
// supported languages, the trace directory, version texts and one options
// object per language section. One instance serves the process (GetInstance);
// its path is fixed when it is created. Each section is read once and cached;
// the reader owns the cached options. The cache and the language name are
// guarded by one lock, so sections may be asked for from several threads.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/pluginconfigreader.h"
#include "runtime/xconfigoptions.h"

class VexaDXConfigReader : public PlugInConfigReader {
  public:
    static const std::string SECTION_SUPPORT_LANG;   // "SUPPORTED_LANG"
    static const std::string SECTION_VERSION;        // "version"
    static const std::string GLOBAL_OPTIONS_NAME;    // "_GLOBAL_"
    static const std::string CONFIG_FILE_NAME;       // "vexadxcfg.ini"
    static const std::string ALWAYS_SUPPORTED_LANG;  // "JAVAEXTENSION"
    static constexpr std::size_t kValueBufferSize = 2048;

    // The process's reader, created on first use from the engine home.
    static VexaDXConfigReader* GetInstance();
    static XConfigOptions* GetInstance(const std::string& section);

    // The file in GetVEXAHOME(), or in the current directory when no home is known.
    VexaDXConfigReader();
    explicit VexaDXConfigReader(const std::string& configPath);
    VexaDXConfigReader(const VexaDXConfigReader&) = delete;
    VexaDXConfigReader& operator=(const VexaDXConfigReader&) = delete;
    ~VexaDXConfigReader() override;

    // Cached options of the section, read on first use; never null. The
    // object lives as long as the reader.
    virtual XConfigOptions* GetOptions(const std::string& section);
    // A copy of the options of the reader's language name.
    virtual XConfigOptions GetOptions();
    virtual void SetXName(const std::string& name);
    virtual std::string GetXName() const;
    // One value with blanks stripped at both ends; the default when the file gives none.
    virtual std::string GetOption(const std::string& section, const std::string& key,
                                  const std::string& defaultValue) const;
    virtual std::string GetConfigFullPath() const;

    XConfigOptions GetGlobalOptions();
    std::string GetTracePath();
    std::string GetVersion();
    std::string GetVersionMajor();
    std::string GetVersionMinor();
    std::string GetVersionPatch();
    std::string GetVersionBugfix();
    // The "X" list split at ";": empty pieces between separators are kept,
    // an empty last piece is dropped, nothing is trimmed.
    std::vector<std::string> GetSupportLanguage();
    // Case-sensitive; "JAVAEXTENSION" always; the empty name never.
    bool IsSupportLanguage(const std::string& name);

  private:
    std::unique_ptr<XConfigOptions> ReadSection(const std::string& section) const;
    std::unique_ptr<XConfigOptions> ReadGlobalOptions() const;
    std::string GlobalValue(const std::string& key);

    const std::string m_configPath;
    mutable std::mutex m_lock;  // guards m_xname and m_options
    std::string m_xname;
    std::map<std::string, std::unique_ptr<XConfigOptions>> m_options;
};
