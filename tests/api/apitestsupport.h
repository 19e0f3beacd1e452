// Helpers of the API tests, which see the library only through its header.
#pragma once

#include <string>
#include <vector>

namespace apitest {

// "/tmp/vexa-pipes-<uid>/" + this process's "%04x" id + language + level 0.
std::string LevelZeroPipe(const std::string& language, const std::string& constant);
std::string PeerPath(const std::string& name);
// Socket files of this process's pipes still in the pipe directory.
std::vector<std::string> OwnPipeFiles();

// A child process, killed and reaped on destruction.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    int Wait();

private:
    int m_pid = -1;
};

}  // namespace apitest
