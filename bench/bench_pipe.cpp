// A 52-byte request/reply between two processes over two VexaPipe pairs
// (framed send and receive), against the same exchange on raw
// sequenced-packet sockets. The program starts a copy of itself as the peer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include "benchmain.h"
#include "codec/clexdsmb.h"
#include "platform/localchannel.h"
#include "platform/process.h"
#include "transport/sendreceive.h"
#include "transport/vexapipe.h"

namespace {

constexpr int kImage = 52;

std::string PipeName(const char* tag) {
    return platform::PipeDirectory() + "/bench" + std::to_string(platform::CurrentProcessId()) +
           tag;
}

template <typename Open>
bool Retry(Open open) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (open()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Peer side of the framed exchange: read a request, answer with a reply.
int VexaEchoPeer(const char* requestName, const char* replyName) {
    VexaPipe request(requestName);
    if (request.CreatePipe() != 0) return 3;
    VexaPipe reply(replyName);
    if (!Retry([&] { return reply.VEXACreateFile() == 0; })) return 4;
    request.ConnectPipe();
    for (;;) {
        CleXDSmb in;
        if (ReceiveData(request, in, true) != 0) return 0;
        CleXDSmb out;
        if (SendData(reply, out, false) != 0) return 0;
    }
}

platform::ChildProcess StartPeer(const char* mode, const std::string& request,
                                 const std::string& reply) {
    platform::ChildProcess peer;
    platform::ChildProcess::Spawn({platform::CurrentExecutablePath(), mode, request, reply}, peer);
    return peer;
}

void BM_RawSeqpacketRoundTrip(benchmark::State& state) {
    platform::EnsurePipeDirectory();
    rawseqpacket::Client client;
    if (!client.Open(PipeName("rawreq"), PipeName("rawrep"), kImage)) {
        state.SkipWithError("peer did not start");
        return;
    }
    char image[kImage] = {kImage};
    char buffer[8192];
    for (auto _ : state) client.RoundTrip(image, kImage, buffer, sizeof buffer);
}
BENCHMARK(BM_RawSeqpacketRoundTrip)->UseRealTime();

void BM_VexaPipeRoundTrip(benchmark::State& state) {
    const std::string requestName = PipeName("req"), replyName = PipeName("rep");
    VexaPipe reply(replyName);
    reply.CreatePipe();
    platform::ChildProcess peer = StartPeer("--vexa-peer", requestName, replyName);
    {
        VexaPipe request(requestName);
        if (!Retry([&] { return request.VEXACreateFile() == 0; })) {
            state.SkipWithError("peer did not start");
            return;
        }
        reply.ConnectPipe();
        for (auto _ : state) {
            CleXDSmb out;
            SendData(request, out, false);
            CleXDSmb in;
            benchmark::DoNotOptimize(ReceiveData(reply, in, true));
        }
    }
    peer.Wait();
}
BENCHMARK(BM_VexaPipeRoundTrip)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--vexa-peer") return VexaEchoPeer(argv[2], argv[3]);
    return benchmain::Main(argc, argv);
}
