// Helpers of the API tests, which see the library only through its header;
// the helpers start processes and name pipes through the platform layer.
#pragma once

#include <string>
#include <vector>

#include "platform/process.h"

namespace apitest {

// The system's pipe name prefix + this process's "%04x" id + language + level 0.
std::string LevelZeroPipe(const std::string& language, const std::string& constant);
std::string PeerPath(const std::string& name);
// Socket files of this process's pipes still in the pipe directory.
std::vector<std::string> OwnPipeFiles();

// Attaches this process as language APITEST with the engine marked running.
void AttachAsRunning();

// A file name in the temporary directory unique to this process; the file is
// removed on destruction.
class TempPath {
  public:
    explicit TempPath(const std::string& tag);
    ~TempPath();
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    const std::string& str() const { return m_path; }

  private:
    std::string m_path;
};

std::string FileContent(const std::string& path);

using Image = std::vector<unsigned char>;
// argv of scriptpeer answering one request per reply on APITEST's level-0 pipes.
std::vector<std::string> ScriptPeer(const std::string& record,
                                    const std::vector<std::string>& replies);
// The request images scriptpeer recorded, in arrival order.
std::vector<Image> RecordedImages(const std::string& record);

// A child process, killed and reaped on destruction.
class Child {
  public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    int Wait();

  private:
    platform::ChildProcess m_process;
};

// A scriptpeer serving `replies`, with its record file.
struct ScriptedEngine {
    explicit ScriptedEngine(const std::vector<std::string>& replies)
        : record("record"), peer(ScriptPeer(record.str(), replies)) {}
    // Waits until the peer has served every reply: the peer's exit code.
    int Finish() { return peer.Wait(); }
    std::vector<Image> Requests() const { return RecordedImages(record.str()); }

    TempPath record;
    Child peer;
};

// `head` (header and the long, double and string blocks) followed by the empty
// struct block, three zero array counts and zero binary, wide and void lengths.
Image WithEmptyTail(Image head);

}  // namespace apitest
