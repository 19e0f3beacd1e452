// Peer process for the framing tests.
//   framepeer echo <request pipe> <reply pipe> <count>
//       creates the request pipe, answers each message with itself
//   framepeer raw <reply pipe> <T> <piece size>...
//       writes pieces whose first 4 bytes are T, then closes
//   framepeer readexit <request pipe>
//       reads one request and exits without answering
//   framepeer reply <request pipe> <reply pipe> <error code> <integer>...
//       answers one request with that error code and integer block
//   framepeer badthengood <request pipe> <reply pipe> <T> <piece size>...
//       answers a first request with packets of those sizes (any size, the
//       first starting with T), a second one with the integer 42
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "codec/clexdsmb.h"
#include "peerpipes.h"
#include "platform/localchannel.h"
#include "transport/sendreceive.h"
#include "transport/vexapipe.h"

namespace {

int Echo(const char* requestName, const char* replyName, int count) {
    VexaPipe request(requestName);
    if (request.CreatePipe() != 0) return 3;
    VexaPipe reply(replyName);
    if (!peer::OpenWithRetry(reply)) return 4;
    request.ConnectPipe();
    for (int i = 0; i < count; ++i) {
        CleXDSmb message;
        int received = ReceiveData(request, message, true);
        if (received != 0 && received != message.GetErrorCode()) return 5;
        if (SendData(reply, message, false) != 0) return 6;
    }
    return 0;
}

int Raw(const char* replyName, std::int32_t total, char** sizes, int count) {
    VexaPipe reply(replyName);
    if (!peer::OpenWithRetry(reply)) return 4;
    for (int i = 0; i < count; ++i) {
        std::vector<unsigned char> piece(static_cast<size_t>(std::atoi(sizes[i])), 0);
        if (i == 0 && piece.size() >= 4) std::memcpy(piece.data(), &total, 4);
        int written = 0;
        if (reply.WriteData(piece.data(), static_cast<int>(piece.size()), written) != 0) return 6;
    }
    return 0;
}

int ReadExit(const char* requestName) {
    VexaPipe request(requestName);
    if (request.CreatePipe() != 0) return 3;
    request.ConnectPipe();
    CleXDSmb message;
    ReceiveData(request, message, true);
    return 0;
}

int ReplyOnce(const char* requestName, const char* replyName, char** fields, int count) {
    VexaPipe request(requestName);
    if (request.CreatePipe() != 0) return 3;
    VexaPipe reply(replyName);
    request.ConnectPipe();
    CleXDSmb in;
    ReceiveData(request, in, true);
    if (!peer::OpenWithRetry(reply)) return 4;
    CleXDSmb out;
    out.SetErrorCode(std::atoi(fields[0]));
    for (int i = 1; i < count; ++i) out.SetLong(std::atoi(fields[i]));
    return SendData(reply, out, false) == 0 ? 0 : 6;
}

// Packets of any size go out through a raw channel: the pipe end would cut
// them into pieces of at most 8192 bytes.
int BadThenGood(const char* requestName, const char* replyName, std::int32_t total, char** sizes,
                int count) {
    VexaPipe request(requestName);
    if (request.CreatePipe() != 0) return 3;
    platform::ChannelConnection reply;
    for (int attempt = 0; platform::ChannelConnection::Connect(replyName, reply) != 0; ++attempt) {
        if (attempt == 250) return 4;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    request.ConnectPipe();
    CleXDSmb first;
    ReceiveData(request, first, true);
    for (int i = 0; i < count; ++i) {
        std::vector<unsigned char> piece(static_cast<size_t>(std::atoi(sizes[i])), 0xAB);
        if (i == 0 && piece.size() >= 4) std::memcpy(piece.data(), &total, 4);
        if (reply.Send(piece.data(), piece.size()) != 0) return 6;
    }
    CleXDSmb second;
    ReceiveData(request, second, true);
    CleXDSmb good;
    good.SetLong(42);
    if (good.ContructSendData() != 0) return 5;
    std::int32_t length = 0;
    const void* image = good.GetSendBuf(length);
    return reply.Send(image, static_cast<std::size_t>(length)) == 0 ? 0 : 6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    if (mode == "echo" && argc == 5) return Echo(argv[2], argv[3], std::atoi(argv[4]));
    if (mode == "raw" && argc >= 4) {
        return Raw(argv[2], static_cast<std::int32_t>(std::atol(argv[3])), argv + 4, argc - 4);
    }
    if (mode == "readexit") return ReadExit(argv[2]);
    if (mode == "badthengood" && argc >= 6) {
        return BadThenGood(argv[2], argv[3], static_cast<std::int32_t>(std::atol(argv[4])),
                           argv + 5, argc - 5);
    }
    if (mode == "reply" && argc >= 5) return ReplyOnce(argv[2], argv[3], argv + 4, argc - 4);
    return 2;
}
