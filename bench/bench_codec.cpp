// Cost of moving bulk void data through the message codec, against the floor
// of one plain memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "benchmain.h"
#include "codec/clexdsmb.h"
#include "runtime/statuscodes.h"

namespace {

constexpr std::size_t kVoidBytes = 20u << 20;

// A touched buffer, so page faults of first use stay out of the timings.
std::vector<unsigned char> Filled(std::size_t size) {
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 131);
    return bytes;
}

void BM_Memcpy20MiB(benchmark::State& state) {
    const std::vector<unsigned char> source = Filled(kVoidBytes);
    std::vector<unsigned char> target = Filled(kVoidBytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), kVoidBytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kVoidBytes));
}
BENCHMARK(BM_Memcpy20MiB)->Unit(benchmark::kMillisecond);

void FillRequest(CleXDSmb& request) {
    request.SetCommandAction(7);
    request.SetLong(1);
    request.SetString("bulk");
    request.AllocVoidData(static_cast<std::int32_t>(kVoidBytes));
    const std::vector<unsigned char> payload = Filled(kVoidBytes);
    request.SaveDataIntoVoidData(payload.data(), static_cast<std::int32_t>(kVoidBytes));
}

// The sender encodes into a buffer it keeps (the transport's image buffer);
// the receiver decodes into a fresh reply, which allocates the void data.
void BM_EncodeIntoAndParse20MiB(benchmark::State& state) {
    CleXDSmb request;
    FillRequest(request);
    std::size_t size = 0;
    request.EncodedSize(size);
    std::vector<unsigned char> image = Filled(size);
    for (auto _ : state) {
        if (request.EncodeInto(image.data(), image.size()) != VEXA_OK)
            state.SkipWithError("encode");
        CleXDSmb reply;
        if (reply.ParseBuf(image.data(), image.size()) != VEXA_OK) state.SkipWithError("parse");
        std::int32_t length = 0;
        benchmark::DoNotOptimize(reply.GetVoidData(length));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kVoidBytes));
}
BENCHMARK(BM_EncodeIntoAndParse20MiB)->Unit(benchmark::kMillisecond);

// The receiver hands its image over: the void data keeps the image's memory.
void BM_EncodeIntoAndAdopt20MiB(benchmark::State& state) {
    CleXDSmb request;
    FillRequest(request);
    std::size_t size = 0;
    request.EncodedSize(size);
    for (auto _ : state) {
        codec::OwnedBuffer image = codec::OwnedBuffer::Allocate(size);
        if (request.EncodeInto(image.data(), image.size()) != VEXA_OK)
            state.SkipWithError("encode");
        CleXDSmb reply;
        if (reply.ParseBuf(std::move(image)) != VEXA_OK) state.SkipWithError("parse");
        std::int32_t length = 0;
        benchmark::DoNotOptimize(reply.GetVoidData(length));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kVoidBytes));
}
BENCHMARK(BM_EncodeIntoAndAdopt20MiB)->Unit(benchmark::kMillisecond);

// The same through the message's own send buffer, allocated per encode.
void BM_ContructSendDataAndParse20MiB(benchmark::State& state) {
    CleXDSmb request;
    FillRequest(request);
    for (auto _ : state) {
        request.ContructSendData();
        std::int32_t length = 0;
        const void* image = request.GetSendBuf(length);
        CleXDSmb reply;
        if (reply.ParseBuf(image, static_cast<std::size_t>(length)) != VEXA_OK) {
            state.SkipWithError("parse");
        }
        benchmark::DoNotOptimize(reply.GetVoidData(length));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kVoidBytes));
}
BENCHMARK(BM_ContructSendDataAndParse20MiB)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return benchmain::Main(argc, argv); }
