#include "datademo.h"

#include <cstdio>
#include <string>
#include <vector>

#include "binarystream.h"
#include "dataset.h"
#include "platform/tcpsocket.h"
#include "vexaxd_p.h"

namespace demo {
namespace {

constexpr int kRows = 5;
constexpr unsigned kAcceptLimitMs = 30000;

int Report(const char* what, int status) {
    if (status != 0) std::printf("  %s failed: %d\n", what, status);
    return status;
}

// Listens on a loopback port, starts the transfer and takes the engine's
// connection.
int Connect(bool readIntoEngine, platform::TcpConnection& connection) {
    platform::TcpListener listener;
    if (int failed = platform::TcpListener::ListenLoopback(listener)) return failed;
    const std::string port = std::to_string(listener.port());
    if (int failed = TransportData(port.c_str(), "", readIntoEngine)) return failed;
    return listener.AcceptWithin(connection, kAcceptLimitMs);
}

std::vector<unsigned char> ReadToEnd(platform::TcpConnection& connection) {
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> piece(1 << 16);
    for (std::size_t received = 0;
         connection.ReceiveSome(piece.data(), piece.size(), received) == 0 && received > 0;) {
        bytes.insert(bytes.end(), piece.begin(), piece.begin() + static_cast<long>(received));
    }
    return bytes;
}

}  // namespace

int DataStep() {
    std::printf("data step:\n");
    if (int failed = Report("StartDataStep", StartDataStep())) return failed;
    if (int failed = Report("CreateDataset", CreateDataset("squares", false, false))) return failed;
    int status = InsertVariable("squares", 0, "n", 0);
    if (status == 0) status = InsertVariable("squares", 1, "square", 0);
    if (status == 0) status = InsertVariable("squares", 2, "word", 8);
    for (int row = 0; row < kRows && status == 0; ++row) status = InsertCase("squares", row);
    if (int failed = Report("variables and cases", status)) return failed;
    const char* words[kRows] = {"zero", "one", "two", "three", "four"};
    for (int row = 0; row < kRows && status == 0; ++row) {
        status = SetNCellValue("squares", row, 0, row);
        if (status == 0) status = SetNCellValue("squares", row, 1, row * row);
        if (status == 0) status = SetCCellValue("squares", row, 2, words[row]);
    }
    if (int failed = Report("cell writes", status)) return failed;
    for (int row = 0; row < kRows; ++row) {
        int missing = 0, err = 0;
        const double n = GetNCellValueOptimize("squares", row, 0, &missing, &err);
        const double square = GetNCellValueOptimize("squares", row, 1, &missing, &err);
        char* word = GetCCellValueOptimize("squares", row, 2, &missing, &err);
        std::printf("  %g squared is %g (%s)\n", n, square, word ? word : "?");
        if (word) FreeString(word);
        if (err != 0) return Report("batch read", err);
    }
    if (int failed = Report("EndDataStep", EndDataStep())) return failed;
    int err = 0;
    std::printf("  the engine holds squares with %d rows of %d variables\n",
                GetCaseCountInDS("squares", &err), GetVarCountInDS("squares", &err));
    return err;
}

int BulkTransport() {
    std::printf("bulk transport:\n");
    int err = 0;
    std::printf("  the active dataset has %d rows\n", GetRowCount(&err));
    platform::TcpConnection out;
    if (int failed = Report("SAVE over a socket", Connect(false, out))) return failed;
    const std::vector<unsigned char> stream = ReadToEnd(out);
    engine::SpanSource source(stream);
    engine::Dataset received("received");
    if (int failed = Report("decoding the stream", engine::DecodeStream(source, received)))
        return failed;
    std::printf("  SAVE sent %zu bytes: %zu rows of %zu variables\n", stream.size(),
                received.CaseCount(), received.VariableCount());

    platform::TcpConnection in;
    if (int failed = Report("GET DATA over a socket", Connect(true, in))) return failed;
    if (int failed = Report("writing the stream", in.SendAll(stream.data(), stream.size())))
        return failed;
    in.ShutdownSend();
    // Waits until the engine has taken the stream in.
    std::printf("  after GET DATA the active dataset has %d rows\n", GetRowCount(&err));
    return err;
}

}  // namespace demo
