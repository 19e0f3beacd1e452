// Writes the arguments it was started with, one a line, and the value of
// VEXA_ECHO, to the file named first; then ends with the status named second,
// or waits until it is killed when that is "wait".
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    {
        std::ofstream out(argv[1], std::ios::binary);
        for (int i = 3; i < argc; ++i) out << argv[i] << '\n';
        const char* echo = std::getenv("VEXA_ECHO");
        out << "VEXA_ECHO=" << (echo ? echo : "(unset)") << '\n';
    }
    if (std::string(argv[2]) != "wait") return std::atoi(argv[2]);
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(60));
}
