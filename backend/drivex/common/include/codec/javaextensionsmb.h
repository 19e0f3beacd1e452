// The message the host sends to the Java extension process: a block of bytes
// prepared by the code that drives the host, with the extension path, the
// command name and the package mode that go into the Java command line. The
// state is process-wide: every object, and the class itself, see the same
// values. A mutex guards it, so that one thread may prepare the next message
// while another reads; the whole prepare-and-send is still one conversation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class JavaExtensionSmb {
  public:
    JavaExtensionSmb() = default;
    ~JavaExtensionSmb() = default;

    static void SetExtensionPath(const std::string& path);
    static std::string GetExtensionPath();
    static void SetCommandName(const std::string& name);
    static std::string GetCommandName();

    // VEXA_BAD_ARGUMENT for a negative length (nothing changed).
    static int SetDataLen(std::int32_t length);
    static std::int32_t GetDataLen();

    // Replaces the held bytes with a copy of the first GetDataLen() bytes at
    // `data`. VEXA_BAD_ARGUMENT for null with a non-zero length (nothing
    // changed); a length of 0 holds no bytes.
    static int SetSendBuf(const void* data);
    // The held bytes and their count: the count of the last SetSendBuf copy,
    // 0 with null when none is held, whatever SetDataLen said since. The
    // pointer stays valid until the next SetSendBuf or CleanUp.
    static const void* GetSendBuf(std::int32_t& length);
    // Gives `write` the held bytes while holding the lock, so that no other
    // thread replaces or releases them meanwhile; when it returns 0 the state
    // is cleaned up as by CleanUp. Returns what `write` returned.
    static int SendWith(const std::function<int(const void* data, std::int32_t length)>& write);

    static void SetPackageMode(bool isPackage);
    static bool IsPackageMode();

    // Releases the bytes, empties both strings and selects package mode; the
    // data length keeps its value.
    static void CleanUp();
};
