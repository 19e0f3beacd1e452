// A stand-in for the Java runtime of a JAVAEXTENSION block, so that the
// engine's side of a block whose program calls back runs in every build,
// sanitizers included: started as "<home>/JRE/bin/java <class> <mode> <port>
// <command>", it reads the extension message as the Java program does, joins
// the engine's pipes through the Java binding's native helper and calls the
// engine. Commands:
//   COUNT  posts "variables <n> cases <n>"
//   SUM    posts "cases <n> sum <s>" of the first variable, read in blocks of 7
//   NEST   posts "nested <status>" of a JAVAEXTENSION block it submits
//   FAIL   posts nothing and exits 3
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vexajava.h"
#include "vexaxd_p.h"

namespace {

bool ReadMessage(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool complete = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        char byte = 0;
        while (read(fd, &byte, 1) == 1) {
            if (byte == '\n') {
                complete = true;
                break;
            }
        }
    }
    close(fd);
    return complete;
}

const char* Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

int Post(const std::string& text) {
    return PostVexaOutput(text.data(), static_cast<int>(text.size()));
}

int Sum() {
    if (int status = StartProcedure("sum", "sum")) return status;
    int status = MakeCaseCursor("r");
    long cases = 0;
    double sum = 0;
    constexpr int kBlock = 7;
    const int index = 0, width = 0;
    std::vector<double> numbers(kBlock);
    std::vector<signed char> missing(kBlock);
    for (int rows = kBlock; status == 0 && rows == kBlock;) {
        status = VexaJavaReadBlock(&index, &width, 1, kBlock, 1, numbers.data(), nullptr,
                                   missing.data(), &rows);
        for (int r = 0; r < rows; ++r) sum += numbers[static_cast<std::size_t>(r)];
        cases += rows;
    }
    RemoveCaseCursor();
    EndProcedure();
    char text[96];
    std::snprintf(text, sizeof text, "cases %ld sum %.2f", cases, sum);
    return status ? status : Post(text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 || !ReadMessage(std::atoi(argv[3]))) return 2;
    const std::string command = argv[4];
    if (command == "FAIL") return 3;
    if (VexaJavaJoinEngine(Env("VEXADXTEMP"), Env("VEXA_JAVA_PIPES"), "JAVAEXTENSION",
                           Env("VEXA_HOME")) != 0)
        return 4;
    int status = 0;
    if (command == "COUNT") {
        int err = 0;
        const int variables = GetVariableCount(&err);
        const int cases = err ? 0 : GetRowCount(&err);
        status = err ? err
                     : Post("variables " + std::to_string(variables) + " cases " +
                            std::to_string(cases));
    } else if (command == "SUM") {
        status = Sum();
    } else if (command == "NEST") {
        const std::string block = "BEGIN PROGRAM JAVAEXTENSION.\nCOUNT\nEND PROGRAM.";
        status =
            Post("nested " + std::to_string(Submit(block.data(), static_cast<int>(block.size()))));
    }
    return status == 0 ? 0 : 5;
}
