// An external program moving a dataset of 100,000 cases into the real engine
// and back out through TransportData, over loopback sockets it listens on
// itself, speaking the engine's binary stream: every value and the
// dictionary must arrive unchanged, and the calls made right after a
// transfer must find the pipes free and the engine's answer in place.
//   integration_transport <engine home>
#include <cstdio>
#include <string>
#include <vector>

#include "binarystream.h"
#include "dataset.h"
#include "platform/tcpsocket.h"
#include "vexaxd_p.h"

namespace {

int g_failures = 0;

void Check(bool condition, const std::string& what) {
    std::printf("%s %s\n", condition ? "ok  " : "FAIL", what.c_str());
    if (!condition) ++g_failures;
}

constexpr std::size_t kCases = 100000;
constexpr unsigned kAcceptLimitMs = 30000;

engine::Dataset Generated() {
    engine::Dataset data("generated");
    engine::Variable amount("amount", "Amount paid", 0);
    amount.properties = engine::DefaultProperties(0);
    amount.properties.missing.format = 1;
    amount.properties.missing.numbers[0] = -1.0;
    data.AddVariable(std::move(amount));
    data.AddVariable(engine::Variable("code", "Customer code", 10));
    data.AddVariable(engine::Variable("ratio", "", 0));
    for (std::size_t c = 0; c < kCases; ++c) {
        const double amountValue = c % 101 == 0 ? -1.0 : c * 0.5;
        const double ratio = c % 211 == 0 ? engine::kSystemMissing : 1.0 / (c + 1.0);
        data.AddCase(
            {amountValue, std::string("C").append(std::to_string(c * 13 % 999983)), ratio});
    }
    return data;
}

class ConnectionSink : public engine::ByteSink {
  public:
    explicit ConnectionSink(platform::TcpConnection& connection) : m_connection(connection) {}
    int Write(const void* data, std::size_t length) override {
        return m_connection.SendAll(data, length);
    }

  private:
    platform::TcpConnection& m_connection;
};

// Listens, starts the transfer, takes the engine's connection.
bool Connect(bool readIntoEngine, const std::string& variables,
             platform::TcpConnection& connection) {
    platform::TcpListener listener;
    if (platform::TcpListener::ListenLoopback(listener) != 0) return false;
    const std::string port = std::to_string(listener.port());
    if (TransportData(port.c_str(), variables.c_str(), readIntoEngine) != 0) return false;
    return listener.AcceptWithin(connection, kAcceptLimitMs) == 0;
}

// Everything the engine writes until it ends its sending.
std::vector<unsigned char> ReadToEnd(platform::TcpConnection& connection) {
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> piece(1 << 16);
    for (;;) {
        std::size_t received = 0;
        if (connection.ReceiveSome(piece.data(), piece.size(), received) != 0 || received == 0)
            break;
        bytes.insert(bytes.end(), piece.begin(), piece.begin() + static_cast<long>(received));
    }
    return bytes;
}

bool SameCells(const engine::Dataset& got, const engine::Dataset& want,
               const std::vector<std::size_t>& columns) {
    if (got.CaseCount() != want.CaseCount() || got.VariableCount() != columns.size()) return false;
    for (std::size_t c = 0; c < want.CaseCount(); ++c) {
        for (std::size_t k = 0; k < columns.size(); ++k) {
            if (!(got.cell(c, k) == want.cell(c, columns[k]))) return false;
        }
    }
    return true;
}

void IntoTheEngineAndBack() {
    const engine::Dataset sent = Generated();
    engine::VectorSink encoded;
    Check(engine::EncodeStream(sent, {}, encoded) == 0, "the stream of 100,000 cases is encoded");

    platform::TcpConnection in;
    Check(Connect(true, "", in), "GET DATA: the engine connects to our socket");
    ConnectionSink sink(in);
    Check(sink.Write(encoded.bytes().data(), encoded.bytes().size()) == 0, "the stream is written");
    in.ShutdownSend();
    int err = -1;
    // Waits for the transfer's own call to end before it takes the pipes.
    Check(GetRowCount(&err) == static_cast<int>(kCases) && err == 0, "the engine holds every case");
    Check(GetVariableCount(&err) == 3, "and the three variables");
    Check(std::string(GetVariableName(1, &err)) == "code" && GetVariableType(1, &err) == 10,
          "the string variable's name and width");
    Check(std::string(GetVariableLabel(0, &err)) == "Amount paid", "a label");

    platform::TcpConnection out;
    Check(Connect(false, "", out), "SAVE: the engine connects to our socket");
    const std::vector<unsigned char> saved = ReadToEnd(out);
    Check(saved == encoded.bytes(), "the saved stream is the one sent, byte for byte");
    engine::SpanSource source(saved);
    engine::Dataset back("back");
    Check(engine::DecodeStream(source, back) == 0 && SameCells(back, sent, {0, 1, 2}),
          "every value came back");

    platform::TcpConnection kept;
    Check(Connect(false, "ratio code", kept), "SAVE /KEEP=ratio code");
    const std::vector<unsigned char> part = ReadToEnd(kept);
    engine::SpanSource partSource(part);
    engine::Dataset two("two");
    Check(engine::DecodeStream(partSource, two) == 0 && SameCells(two, sent, {2, 1}) &&
              two.variable(0).name == "ratio" && two.variable(1).name == "code",
          "the kept variables in their order, with every value");
    Check(GetRowCount(&err) == static_cast<int>(kCases), "the pipes are sound after the transfers");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: integration_transport <engine home>\n");
        return 2;
    }
    const std::string arguments = std::string("-vexahome=") + argv[1];
    if (StartVexa(arguments.c_str()) != 0) {
        std::printf("FAIL StartVexa\n");
        return 1;
    }
    IntoTheEngineAndBack();
    StopVexa();
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
