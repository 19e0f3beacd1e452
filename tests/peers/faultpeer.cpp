// A faulty engine for the fault matrix: serves one request on a client's
// level-0 pipes and then misbehaves in the way the mode names.
//   faultpeer <mode> <request pipe> <reply pipe>
// Modes:
//   exit-before-read   exits once the request is readable, without reading it
//   exit-after-read    reads the request and exits
//   cut-long           one 8192-byte piece of a reply that declares 1 MiB, exit
//   garbage            random bytes whose total is negative, then stays
//   truncated          a 1000-byte piece of a reply that declares 4096, exit
//   huge               one piece of a reply that declares 0x7fffffff, exit
//   hold               reads the request and never answers
//   slow-answer        reads the request, waits 200 ms, answers "9" normally
// The peer writes "got\n" on standard output once it holds the request, so
// that the test can signal it at that moment.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "codec/clexdsmb.h"
#include "peerpipes.h"
#include "transport/sendreceive.h"
#include "transport/vexapipe.h"

namespace {

bool ReadImage(VexaPipe& request) {
    std::int32_t total = CleXDSmb::MIN_IMAGE_SIZE;
    std::int32_t read = 0;
    unsigned char piece[VexaPipe::PIECE_SIZE];
    while (read < total) {
        int count = 0;
        if (request.ReadData(VexaPipe::PIECE_SIZE, piece, count) != 0 || count == 0) return false;
        if (read == 0 && count >= 4) std::memcpy(&total, piece, 4);
        read += count;
    }
    return true;
}

void Announce() {
    const char line[] = "got\n";
    [[maybe_unused]] ssize_t ignored = ::write(1, line, sizeof line - 1);
}

// A piece of `size` bytes whose first four declare `total`.
int SendPiece(VexaPipe& reply, std::int32_t total, std::size_t size, bool random) {
    std::vector<unsigned char> piece(size, 0);
    if (random) {
        std::mt19937 generator(4711);
        for (unsigned char& byte : piece) byte = static_cast<unsigned char>(generator());
    }
    std::memcpy(piece.data(), &total, 4);
    int written = 0;
    return reply.WriteData(piece.data(), static_cast<int>(piece.size()), written);
}

[[noreturn]] void StayUntilKilled() {
    for (;;) ::pause();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::string mode = argv[1];
    VexaPipe request(argv[2]);
    if (request.CreatePipe() != 0) return 3;
    VexaPipe reply(argv[3]);
    if (!peer::OpenWithRetry(reply)) return 4;
    if (request.ConnectPipe() != 0) return 5;
    if (mode == "exit-before-read") {
        while (request.WaitReadable(1000) != 0) {
        }
        Announce();
        return 0;
    }
    if (!ReadImage(request)) return 6;
    Announce();
    if (mode == "exit-after-read") return 0;
    if (mode == "cut-long") return SendPiece(reply, 1 << 20, VexaPipe::PIECE_SIZE, false) ? 7 : 0;
    if (mode == "truncated") return SendPiece(reply, 4096, 1000, false) ? 7 : 0;
    if (mode == "huge") return SendPiece(reply, 0x7fffffff, VexaPipe::PIECE_SIZE, false) ? 7 : 0;
    if (mode == "garbage") {
        if (SendPiece(reply, static_cast<std::int32_t>(0xdeadbeef), 64, true)) return 7;
        StayUntilKilled();
    }
    if (mode == "hold") StayUntilKilled();
    if (mode == "slow-answer") {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        CleXDSmb answer;
        answer.SetLong(9);
        return SendData(reply, answer, false) ? 7 : 0;
    }
    return 2;
}
