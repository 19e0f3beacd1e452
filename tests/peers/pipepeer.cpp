// Peer process for the pipe-end tests: opens a pipe as its writer and either
// writes pieces of the given sizes or closes without writing.
//   pipepeer write <pipe> <size>...
//   pipepeer close <pipe>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "peerpipes.h"
#include "transport/vexapipe.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    VexaPipe pipe(argv[2]);
    if (!peer::OpenWithRetry(pipe)) return 3;
    if (mode == "close") return pipe.ClosePipe();
    if (mode != "write") return 2;
    for (int i = 3; i < argc; ++i) {
        std::vector<unsigned char> piece(static_cast<size_t>(std::atoi(argv[i])));
        for (size_t b = 0; b < piece.size(); ++b)
            piece[b] = static_cast<unsigned char>(b * 7 % 251);
        int written = 0;
        if (pipe.WriteData(piece.data(), static_cast<int>(piece.size()), written) != 0) return 4;
    }
    return 0;
}
