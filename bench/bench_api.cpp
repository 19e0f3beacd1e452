// Round trips through the exported API against the reference engine, each
// beside a baseline this program measures in the same run:
// - the 52-byte GetVariableCount against a raw sequenced-packet request/reply
//   and a ZeroMQ REQ/REP over ipc:// of the same sizes between two processes;
// - a pivot table of 10,000 cells (against raw round trips, in the table);
// - program blocks in the test language and in Python (against the API call),
//   and the spread of 1,000 blocks in a row (p50 and p99 per block);
// - StartVexa to the first reply against a bare start of the engine binary.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "benchengine.h"
#include "benchmain.h"
#include "vexaxd_p.h"

#ifdef VEXA_HAVE_ZMQ
#include <zmq.h>
#endif

namespace {

constexpr int kRequestImage = 52;
constexpr int kReplyImage = 56;  // one integer in the reply

std::string ScratchPath(const char* tag) { return rawseqpacket::ScratchDirectory() + "/api" + tag; }

void BM_RawRequestReply(benchmark::State& state) {
    rawseqpacket::Client client;
    if (!client.Open(ScratchPath("req"), ScratchPath("rep"), kReplyImage)) {
        state.SkipWithError("peer did not start");
        return;
    }
    char image[kRequestImage] = {kRequestImage};
    char buffer[8192];
    for (auto _ : state) client.RoundTrip(image, kRequestImage, buffer, sizeof buffer);
}
BENCHMARK(BM_RawRequestReply)->UseRealTime();

#ifdef VEXA_HAVE_ZMQ
// Peer: answers every request with kReplyImage bytes; an empty request is the
// client's last, answered empty.
int ZmqPeer(const std::string& endpoint) {
    void* context = zmq_ctx_new();
    void* socket = zmq_socket(context, ZMQ_REP);
    int status = zmq_bind(socket, endpoint.c_str()) == 0 ? 0 : 4;
    char request[8192];
    const char reply[kReplyImage] = {kReplyImage};
    while (status == 0) {
        const int got = zmq_recv(socket, request, sizeof request, 0);
        if (got <= 0) {
            status = got < 0 ? 5 : 0;
            zmq_send(socket, "", 0, 0);
            break;
        }
        if (zmq_send(socket, reply, kReplyImage, 0) != kReplyImage) status = 5;
    }
    zmq_close(socket);
    zmq_ctx_term(context);
    return status;
}

// A REQ socket connected to a peer process; the peer is told to end and
// reaped on destruction.
class ZmqClient {
  public:
    explicit ZmqClient(const std::string& path) : m_path(path) {
        const std::string endpoint = "ipc://" + path;
        m_peer = rawseqpacket::StartSelf({"--zmq-peer", endpoint});
        m_context = zmq_ctx_new();
        m_socket = zmq_socket(m_context, ZMQ_REQ);
        int linger = 0;
        zmq_setsockopt(m_socket, ZMQ_LINGER, &linger, sizeof linger);
        // A peer that died must not hang the run.
        int timeout = 10000;
        zmq_setsockopt(m_socket, ZMQ_RCVTIMEO, &timeout, sizeof timeout);
        // A connect before the peer binds is retried by ZeroMQ itself.
        m_connected = m_peer > 0 && zmq_connect(m_socket, endpoint.c_str()) == 0;
    }
    bool connected() const { return m_connected; }
    bool RoundTrip(const char* image, int size, char* buffer, size_t capacity) {
        return zmq_send(m_socket, image, static_cast<size_t>(size), 0) == size &&
               zmq_recv(m_socket, buffer, capacity, 0) >= 0;
    }
    ~ZmqClient() {
        char buffer[16];
        const bool told = m_connected && zmq_send(m_socket, "", 0, 0) == 0 &&
                          zmq_recv(m_socket, buffer, sizeof buffer, 0) >= 0;
        zmq_close(m_socket);
        zmq_ctx_term(m_context);
        if (m_peer > 0) {
            if (!told) ::kill(m_peer, SIGKILL);
            rawseqpacket::Reap(m_peer);
        }
        ::unlink(m_path.c_str());
    }

  private:
    std::string m_path;
    pid_t m_peer = -1;
    void* m_context = nullptr;
    void* m_socket = nullptr;
    bool m_connected = false;
};

void BM_ZmqRequestReply(benchmark::State& state) {
    ZmqClient client(ScratchPath("zmq"));
    char image[kRequestImage] = {kRequestImage};
    char buffer[8192];
    // The first exchange waits for the peer to bind.
    if (!client.connected() || !client.RoundTrip(image, kRequestImage, buffer, sizeof buffer)) {
        state.SkipWithError("ZeroMQ peer did not answer");
        return;
    }
    for (auto _ : state) client.RoundTrip(image, kRequestImage, buffer, sizeof buffer);
}
BENCHMARK(BM_ZmqRequestReply)->UseRealTime();
#endif

void BM_GetVariableCount(benchmark::State& state) {
    if (!benchengine::Session::Get().running()) {
        state.SkipWithError("engine did not start");
        return;
    }
    int err = 0;
    for (auto _ : state) benchmark::DoNotOptimize(GetVariableCount(&err));
    if (err != 0) state.SkipWithError("call failed");
}
BENCHMARK(BM_GetVariableCount)->UseRealTime();

// The table key and dimension keys every pivot call repeats.
constexpr const char* kOutline = "Bench";
constexpr const char* kTitle = "Cells";
constexpr const char* kSubtype = "Bench Cells";
constexpr int kPivotRows = 100;
constexpr int kPivotColumns = 100;

int RowCategory(int row) {
    return AddNumberCategory(kOutline, kTitle, kSubtype, false, "Rows", 0, 0, false, false, row);
}
int ColumnCategory(int column) {
    return AddNumberCategory(kOutline, kTitle, kSubtype, false, "Columns", 1, 0, false, false,
                             column);
}
int Cell(double value) {
    return SetNumberCell(kOutline, kTitle, kSubtype, false, "Columns", 1, 0, false, false, value);
}

// A procedure with one table of kPivotRows x kPivotColumns number cells: a
// cell is set at the current category of each dimension, so every cell costs
// a column selection and the cell itself.
int BuildPivotTable() {
    int failures = StartProcedure("Bench pivot", "benchpivot") != 0;
    failures += StartPivotTable(kOutline, kTitle, kSubtype, false) != 0;
    failures += AddDimension(kOutline, kTitle, kSubtype, false, "Rows", 0, 0, false, false) != 0;
    failures += AddDimension(kOutline, kTitle, kSubtype, false, "Columns", 1, 0, false, false) != 0;
    for (int row = 0; row < kPivotRows && !failures; ++row) {
        failures += RowCategory(row) != 0;
        for (int column = 0; column < kPivotColumns; ++column) {
            failures += ColumnCategory(column) != 0;
            failures += Cell(row * 0.5 + column) != 0;
        }
    }
    failures += EndProcedure() != 0;
    return failures;
}

void BM_PivotTable10000Cells(benchmark::State& state) {
    if (!benchengine::Session::Get().running()) {
        state.SkipWithError("engine did not start");
        return;
    }
    int failures = 0;
    for (auto _ : state) failures += BuildPivotTable();
    if (failures) state.SkipWithError("a pivot call failed");
    state.SetItemsProcessed(state.iterations() * kPivotRows * kPivotColumns);
}
BENCHMARK(BM_PivotTable10000Cells)->UseRealTime()->Unit(benchmark::kMillisecond);

// One Submit of a block; the engine runs it in its language process.
void BM_ProgramBlock(benchmark::State& state, const char* text) {
    const std::string block = text;
    const auto submit = [&block] { return Submit(block.data(), static_cast<int>(block.size())); };
    // The first block starts the language process.
    if (!benchengine::Session::Get().running() || submit() != 0) {
        state.SkipWithError("engine or first block failed");
        return;
    }
    int failures = 0;
    for (auto _ : state) failures += submit() != 0;
    if (failures) state.SkipWithError("a block failed");
}
BENCHMARK_CAPTURE(BM_ProgramBlock, testlang, "BEGIN PROGRAM TESTLANG.\nEND PROGRAM.")
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ProgramBlock, python, "BEGIN PROGRAM PYTHON.\npass\nEND PROGRAM.")
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// 1,000 calls in a row, each timed on its own: a call that waits on a poll
// or a sleep somewhere shows in the tail, which the mean hides. The
// iteration time is the p99; p50 and p99 are counters (seconds). The API
// round trip measured the same way is the tail's baseline: what the
// machine's scheduling alone costs in the same run.
constexpr int kCallsInARow = 1000;

template <typename Call>
void TimeEachCall(benchmark::State& state, Call call) {
    std::vector<double> times(kCallsInARow);
    int failures = 0;
    for (auto _ : state) {
        for (double& time : times) {
            const auto start = std::chrono::steady_clock::now();
            failures += call() != 0;
            time = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        std::sort(times.begin(), times.end());
        state.SetIterationTime(times[kCallsInARow * 99 / 100]);
    }
    if (failures) state.SkipWithError("a call failed");
    state.counters["p50"] = times[kCallsInARow / 2];
    state.counters["p99"] = times[kCallsInARow * 99 / 100];
}

void BM_RoundTripSpread(benchmark::State& state) {
    if (!benchengine::Session::Get().running()) {
        state.SkipWithError("engine did not start");
        return;
    }
    TimeEachCall(state, [] {
        int err = 0;
        GetVariableCount(&err);
        return err;
    });
}
BENCHMARK(BM_RoundTripSpread)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ProgramBlockSpread(benchmark::State& state, const char* text) {
    const std::string block = text;
    const auto submit = [&block] { return Submit(block.data(), static_cast<int>(block.size())); };
    if (!benchengine::Session::Get().running() || submit() != 0) {
        state.SkipWithError("engine or first block failed");
        return;
    }
    TimeEachCall(state, submit);
}
BENCHMARK_CAPTURE(BM_ProgramBlockSpread, testlang, "BEGIN PROGRAM TESTLANG.\nEND PROGRAM.")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ProgramBlockSpread, python, "BEGIN PROGRAM PYTHON.\npass\nEND PROGRAM.")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// StartVexa and the first GetVariableCount answered; the StopVexa after it
// is left out of the time.
void BM_StartToFirstReply(benchmark::State& state) {
    benchengine::Session::StopAny();
    const std::string arguments = std::string("-vexahome=") + VEXA_ENGINE_HOME;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        int err = -1;
        const bool answered =
            StartVexa(arguments.c_str()) == 0 && GetVariableCount(&err) > 0 && err == 0;
        const auto end = std::chrono::steady_clock::now();
        StopVexa();
        if (!answered) {
            state.SkipWithError("the engine did not answer");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}
BENCHMARK(BM_StartToFirstReply)->UseManualTime()->Unit(benchmark::kMillisecond);

// The engine binary started with a short command line, which it refuses at
// once: the process start and dynamic loading the start above includes.
void BM_SpawnEngineBinary(benchmark::State& state) {
    const std::string engine = std::string(VEXA_ENGINE_HOME) + "/StartXD";
    for (auto _ : state) {
        if (!rawseqpacket::SpawnAndWait(engine)) {
            state.SkipWithError("the engine binary did not run");
            break;
        }
    }
}
BENCHMARK(BM_SpawnEngineBinary)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
#ifdef VEXA_HAVE_ZMQ
    if (argc == 3 && std::string(argv[1]) == "--zmq-peer") return ZmqPeer(argv[2]);
#endif
    return benchmain::Main(argc, argv, benchengine::Session::StopAny);
}
