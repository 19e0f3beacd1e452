// The binary stream format byte for byte, the transport commands, the temp
// files, and whole datasets moved over real sockets: into and out of the
// command table, and into and out of a real StartXD process.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "binarystream.h"
#include "bulktransport.h"
#include "codec/protocol.h"
#include "engineclient.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "platform/process.h"
#include "platform/tcpsocket.h"
#include "runtime/statuscodes.h"

namespace {

using enginetest::Bytes;
using enginetest::Call;

constexpr unsigned kPeerLimitMs = 30000;

// One numeric variable "x" with the defaults of its type and one case, 1.5.
const Bytes kOneNumberStream = {
    'V',  'X',  'B',  'S',  0x01, 0x00, 0x00, 0x00,                          // magic, version 1
    0x01, 0x00, 0x00, 0x00,                                                  // one variable
    0x01, 0x00, 0x00, 0x00, 'x',                                             // name
    0x00, 0x00, 0x00, 0x00,                                                  // type: numeric
    0x00, 0x00, 0x00, 0x00,                                                  // empty label
    0x05, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // F8.2
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                          // scale, role input
    0x01, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,  // right-aligned, column width 8
    0x00, 0x00, 0x00, 0x00,                          // no missing values
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,  // three doubles
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,  // three empty texts
    0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,                       // case size 8, one case
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,                       // 1.5
    'V',  'X',  'B',  'E'};

engine::Dataset OneNumber() {
    engine::Dataset data("one");
    data.AddVariable(engine::Variable("x", "", 0));
    data.AddCase({1.5});
    return data;
}

// id, name (A12), score with label, format and missing values; every 97th
// score has no value.
engine::Dataset Sample(std::size_t cases) {
    engine::Dataset data("sample");
    data.AddVariable(engine::Variable("id", "", 0));
    data.AddVariable(engine::Variable("name", "Full name", 12));
    engine::Variable score("score", "Test score", 0);
    score.properties = engine::DefaultProperties(0);
    score.properties.format = {engine::kFormatNumeric, 6, 1};
    score.properties.level = engine::kOrdinal;
    score.properties.role = engine::kRoleTarget;
    score.properties.missing.format = engine::kMissingRangeAndValue;
    score.properties.missing.numbers = {-9.0, -1.0, 999.0};
    data.AddVariable(score);
    for (std::size_t i = 0; i < cases; ++i) {
        const double value = i % 97 == 0 ? engine::kSystemMissing : static_cast<double>(i) * 0.25;
        data.AddCase({static_cast<double>(i), std::string("n").append(std::to_string(i)), value});
    }
    return data;
}

Bytes Encode(const engine::Dataset& data, const std::vector<std::size_t>& variables = {}) {
    engine::VectorSink sink;
    EXPECT_EQ(engine::EncodeStream(data, variables, sink), 0);
    return sink.bytes();
}

void ExpectSameVariable(const engine::Variable& a, const engine::Variable& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.label, b.label);
    EXPECT_EQ(a.properties.format, b.properties.format);
    EXPECT_EQ(a.properties.level, b.properties.level);
    EXPECT_EQ(a.properties.role, b.properties.role);
    EXPECT_EQ(a.properties.alignment, b.properties.alignment);
    EXPECT_EQ(a.properties.columnWidth, b.properties.columnWidth);
    EXPECT_EQ(a.properties.missing.format, b.properties.missing.format);
    EXPECT_EQ(a.properties.missing.numbers, b.properties.missing.numbers);
    EXPECT_EQ(a.properties.missing.texts, b.properties.missing.texts);
}

// `got` holds the variables of `expected` at `chosen` with every case.
void ExpectProjection(const engine::Dataset& got, const engine::Dataset& expected,
                      const std::vector<std::size_t>& chosen) {
    ASSERT_EQ(got.VariableCount(), chosen.size());
    ASSERT_EQ(got.CaseCount(), expected.CaseCount());
    for (std::size_t k = 0; k < chosen.size(); ++k)
        ExpectSameVariable(got.variable(k), expected.variable(chosen[k]));
    std::size_t differing = 0;
    for (std::size_t r = 0; r < got.CaseCount(); ++r) {
        for (std::size_t k = 0; k < chosen.size(); ++k) {
            if (got.cell(r, k) != expected.cell(r, chosen[k])) ++differing;
        }
    }
    EXPECT_EQ(differing, 0u);
}

TEST(BinaryStream, EncodesDictionaryThenCasesThenTheEndMark) {
    EXPECT_EQ(Encode(OneNumber()), kOneNumberStream);
}

TEST(BinaryStream, DecodesWhatItEncodesWithTheDictionary) {
    const engine::Dataset sample = Sample(300);
    const Bytes bytes = Encode(sample);
    engine::SpanSource source(bytes);
    engine::Dataset read("kept name");
    ASSERT_EQ(engine::DecodeStream(source, read), 0);
    EXPECT_TRUE(source.AtEnd());
    EXPECT_EQ(read.name(), "kept name");
    ExpectProjection(read, sample, {0, 1, 2});
}

TEST(BinaryStream, RefusesDamagedStreamsAndKeepsTheTarget) {
    auto decode = [](Bytes bytes) {
        engine::SpanSource source(bytes);
        engine::Dataset target = OneNumber();
        const int result = engine::DecodeStream(source, target);
        EXPECT_EQ(target.CaseCount(), 1u);
        return result;
    };
    Bytes badMagic = kOneNumberStream;
    badMagic[0] = 'W';
    EXPECT_EQ(decode(badMagic), engine::kMalformedStream);
    Bytes badVersion = kOneNumberStream;
    badVersion[4] = 2;
    EXPECT_EQ(decode(badVersion), engine::kMalformedStream);
    for (std::size_t cut : {std::size_t{3}, std::size_t{20}, kOneNumberStream.size() - 1})
        EXPECT_EQ(decode(Bytes(kOneNumberStream.begin(), kOneNumberStream.begin() + cut)),
                  engine::kMalformedStream)
            << cut;
    Bytes badName = kOneNumberStream;
    badName[16] = '1';  // names start with a letter
    EXPECT_EQ(decode(badName), engine::kMalformedStream);
    Bytes hugeName = kOneNumberStream;
    hugeName[15] = 0x7F;  // a length far beyond the stream
    EXPECT_EQ(decode(hugeName), engine::kMalformedStream);
    Bytes badCaseSize = kOneNumberStream;
    badCaseSize[kOneNumberStream.size() - 20] = 16;
    EXPECT_EQ(decode(badCaseSize), engine::kMalformedStream);
    Bytes badEnd = kOneNumberStream;
    badEnd.back() = 'X';
    EXPECT_EQ(decode(badEnd), engine::kMalformedStream);
}

TEST(TransferCommand, ParsesTheLinesTheLibrarySubmits) {
    engine::TransferCommand command;
    ASSERT_EQ(engine::ParseTransferCommand(
                  "GET DATA /TYPE=BINARYSTREAM /SOCKET=4711 /VARIABLES=a b c.", command),
              engine::TransferParse::kDone);
    EXPECT_EQ(command.kind, engine::TransferCommand::Kind::kGetData);
    EXPECT_EQ(command.port, 4711);
    EXPECT_EQ(command.variables, (std::vector<std::string>{"a", "b", "c"}));

    ASSERT_EQ(engine::ParseTransferCommand("save /type=binarystream /socket=4711.", command),
              engine::TransferParse::kDone);
    EXPECT_EQ(command.kind, engine::TransferCommand::Kind::kSave);
    EXPECT_TRUE(command.variables.empty());
    ASSERT_EQ(
        engine::ParseTransferCommand("SAVE /TYPE=BINARYSTREAM /SOCKET=4711 /KEEP=x.1 y.", command),
        engine::TransferParse::kDone);
    EXPECT_EQ(command.variables, (std::vector<std::string>{"x.1", "y"}));

    EXPECT_EQ(engine::ParseTransferCommand("GET DATA /TYPE=TXT /FILE='a.txt'.", command),
              engine::TransferParse::kOtherCommand);
    EXPECT_EQ(engine::ParseTransferCommand("SAVE OUTFILE='x'.", command),
              engine::TransferParse::kOtherCommand);
    EXPECT_EQ(engine::ParseTransferCommand("SAVE /TYPE=BINARYSTREAM /SOCKET=70000.", command),
              engine::TransferParse::kRefused);
    EXPECT_EQ(engine::ParseTransferCommand("SAVE /TYPE=BINARYSTREAM /SOCKET=.", command),
              engine::TransferParse::kRefused);
    EXPECT_EQ(engine::ParseTransferCommand("SAVE /TYPE=BINARYSTREAM.", command),
              engine::TransferParse::kRefused);
}

// A peer on 127.0.0.1 that hands the engine a stream, or takes one from it.
class Peer {
  public:
    Peer() { EXPECT_EQ(platform::TcpListener::ListenLoopback(m_listener), 0); }
    ~Peer() {
        if (m_thread.joinable()) m_thread.join();
    }
    std::string Port() const { return std::to_string(m_listener.port()); }

    void Send(Bytes bytes) {
        m_thread = std::thread([this, bytes = std::move(bytes)] {
            platform::TcpConnection connection;
            m_result = m_listener.AcceptWithin(connection, kPeerLimitMs);
            if (m_result == 0) m_result = connection.SendAll(bytes.data(), bytes.size());
        });
    }
    void Take() {
        m_thread = std::thread([this] {
            platform::TcpConnection connection;
            m_result = m_listener.AcceptWithin(connection, kPeerLimitMs);
            unsigned char buffer[4096];
            std::size_t got = 0;
            while (m_result == 0 &&
                   (m_result = connection.ReceiveSome(buffer, sizeof buffer, got)) == 0)
                m_taken.insert(m_taken.end(), buffer, buffer + got);
            if (m_result == EPIPE) m_result = 0;  // the engine's end of the stream
        });
    }
    // The peer's result once it is done.
    int Finish() {
        if (m_thread.joinable()) m_thread.join();
        return m_result;
    }
    const Bytes& taken() const { return m_taken; }

  private:
    platform::TcpListener m_listener;
    std::thread m_thread;
    int m_result = -1;
    Bytes m_taken;
};

class Transport : public enginetest::EngineReplies {
  protected:
    int Submit(const std::string& text) { return Dispatch(Call(cmd::kSubmit).Text(text).request); }
    int Queue(const std::string& text) {
        return Dispatch(Call(cmd::kQueueCommandPart).Text(text).request);
    }
};

TEST_F(Transport, GetDataWaitsForExecuteAndKeepsTheNamedVariablesInOrder) {
    state.active = OneNumber();
    const engine::Dataset sample = Sample(50);
    Peer peer;
    ASSERT_EQ(Queue("GET DATA /TYPE=BINARYSTREAM /SOCKET=" + peer.Port() + " /VARIABLES=score id."),
              VEXA_OK);
    ASSERT_EQ(Queue("CACHE."), VEXA_OK);
    EXPECT_EQ(state.active.VariableCount(), 1u);
    peer.Send(Encode(sample));
    ASSERT_EQ(Submit("EXECUTE."), VEXA_OK);
    EXPECT_EQ(peer.Finish(), 0);
    EXPECT_EQ(state.active.name(), "one");
    ExpectProjection(state.active, sample, {2, 0});
    // Run once only.
    EXPECT_EQ(Submit("EXECUTE."), VEXA_OK);
}

TEST_F(Transport, SaveWritesTheKeptVariables) {
    state.active = Sample(40);
    Peer peer;
    peer.Take();
    ASSERT_EQ(Submit("SAVE /TYPE=BINARYSTREAM /SOCKET=" + peer.Port() + " /KEEP=name score."),
              VEXA_OK);
    ASSERT_EQ(peer.Finish(), 0);
    EXPECT_EQ(peer.taken(), Encode(state.active, {1, 2}));
}

TEST_F(Transport, FailuresLeaveTheActiveDatasetAlone) {
    state.active = OneNumber();
    EXPECT_EQ(Submit("SAVE /TYPE=BINARYSTREAM /SOCKET=1 /KEEP=nothing."),
              engine::kBadTransportCommand);
    EXPECT_EQ(Submit("SAVE /TYPE=BINARYSTREAM /SOCKET=0."), engine::kBadTransportCommand);
    {
        // Nobody listens once the listener is gone.
        std::string port;
        {
            Peer gone;
            port = gone.Port();
        }
        ASSERT_EQ(Submit("GET DATA /TYPE=BINARYSTREAM /SOCKET=" + port + " /VARIABLES=."), VEXA_OK);
        EXPECT_EQ(Submit("EXECUTE."), engine::kTransportFailed);
    }
    Peer damaged;
    Bytes bytes = kOneNumberStream;
    bytes[0] = 'Q';
    damaged.Send(bytes);
    ASSERT_EQ(Submit("GET DATA /TYPE=BINARYSTREAM /SOCKET=" + damaged.Port() + " /VARIABLES=."),
              VEXA_OK);
    EXPECT_EQ(Submit("EXECUTE."), engine::kMalformedStream);
    damaged.Finish();
    ASSERT_EQ(state.active.CaseCount(), 1u);
    EXPECT_EQ(std::get<double>(state.active.cell(0, 0)), 1.5);
}

class TempFiles : public enginetest::EngineReplies {
  protected:
    void SetUp() override {
        std::random_device random;
        m_directory = std::filesystem::temp_directory_path() /
                      std::string("startxd-temp-").append(std::to_string(random()));
        std::filesystem::create_directory(m_directory);
        state.tempDirectory = m_directory.string();
        state.active = Sample(10);
    }
    void TearDown() override { std::filesystem::remove_all(m_directory); }

    int Rows() {
        EXPECT_EQ(Ask(cmd::kGetRowCountInTempFile), VEXA_OK);
        return ReplyInts().at(0);
    }

    std::filesystem::path m_directory;
};

TEST_F(TempFiles, SavedVariablesComeBackAsTheActiveDataset) {
    const engine::Dataset original = state.active;
    EXPECT_EQ(Rows(), 0);
    ASSERT_EQ(Dispatch(Call(cmd::kSaveDataToTempFile).Text("part").Int(2).Int(1).request), VEXA_OK);
    EXPECT_EQ(Rows(), 10);
    EXPECT_TRUE(std::filesystem::exists(m_directory / "part.vxtmp"));

    ASSERT_EQ(Dispatch(Call(cmd::kGetDataFromTempFile).Text("part").Int(3).Int(4).request),
              VEXA_OK);
    EXPECT_EQ(Rows(), 4);
    ASSERT_EQ(state.active.VariableCount(), 2u);
    ASSERT_EQ(state.active.CaseCount(), 4u);
    EXPECT_EQ(state.active.name(), "sample");
    ExpectSameVariable(state.active.variable(0), original.variable(2));
    for (std::size_t r = 0; r < 4; ++r) {
        EXPECT_EQ(state.active.cell(r, 0), original.cell(r + 3, 2));
        EXPECT_EQ(state.active.cell(r, 1), original.cell(r + 3, 1));
    }
    // -1 reads to the end; a count past the end stops there.
    ASSERT_EQ(Dispatch(Call(cmd::kGetDataFromTempFile).Text("part").Int(8).Int(-1).request),
              VEXA_OK);
    EXPECT_EQ(Rows(), 2);
    ASSERT_EQ(Dispatch(Call(cmd::kGetDataFromTempFile).Text("part").Int(0).Int(500).request),
              VEXA_OK);
    EXPECT_EQ(Rows(), 10);
}

TEST_F(TempFiles, RefusesBadNamesMissingFilesAndRowsItLacks) {
    EXPECT_EQ(Dispatch(Call(cmd::kSaveDataToTempFile).Text("../escape").request),
              engine::kBadTempFileName);
    EXPECT_EQ(Dispatch(Call(cmd::kSaveDataToTempFile).Text("").request), engine::kBadTempFileName);
    EXPECT_EQ(Dispatch(Call(cmd::kSaveDataToTempFile).Text("x").Int(3).request),
              engine::kNoSuchItem);
    EXPECT_FALSE(std::filesystem::exists(m_directory / "x.vxtmp"));
    EXPECT_EQ(Dispatch(Call(cmd::kGetDataFromTempFile).Text("never").Int(0).Int(-1).request),
              engine::kTempFileUnreadable);

    ASSERT_EQ(Dispatch(Call(cmd::kSaveDataToTempFile).Text("all").request), VEXA_OK);
    EXPECT_EQ(Dispatch(Call(cmd::kGetDataFromTempFile).Text("all").Int(11).Int(1).request),
              engine::kNoSuchTempFileRows);
    EXPECT_EQ(Dispatch(Call(cmd::kGetDataFromTempFile).Text("all").Int(0).Int(-2).request),
              engine::kNoSuchTempFileRows);
    std::filesystem::resize_file(m_directory / "all.vxtmp", 30);
    EXPECT_EQ(Dispatch(Call(cmd::kGetDataFromTempFile).Text("all").Int(0).Int(-1).request),
              engine::kTempFileUnreadable);
    EXPECT_EQ(state.active.CaseCount(), 10u);
}

// A real engine process: 100,000 cases in over a socket, then out again.
TEST(TransportProcess, AHundredThousandCasesArriveAndLeaveUnchanged) {
    char pid[16];
    std::snprintf(pid, sizeof pid, "%04xb", static_cast<unsigned>(platform::CurrentProcessId()));
    enginetest::EngineClient client(pid, "BULKTRANSPORT");
    ASSERT_EQ(client.CreateResultPipe(), 0);
    ASSERT_EQ(client.StartEngine({"-datafile=" VEXA_ENGINE_DATA_FILE}), 0);
    ASSERT_EQ(client.ReceiveReady(kPeerLimitMs), 0);
    auto call = [&](int code, const std::string& text) {
        Call request(code);
        request.Text(text);
        CleXDSmb reply;
        if (int sent = client.Send(request.request)) return sent;
        return client.Receive(reply);
    };

    const engine::Dataset sample = Sample(100000);
    const Bytes stream = Encode(sample);
    Peer in;
    in.Send(stream);
    ASSERT_EQ(call(cmd::kQueueCommandPart, "GET DATA /TYPE=BINARYSTREAM /SOCKET=" + in.Port() +
                                               " /VARIABLES=id name score."),
              VEXA_OK);
    ASSERT_EQ(call(cmd::kQueueCommandPart, "CACHE."), VEXA_OK);
    ASSERT_EQ(call(cmd::kSubmit, "EXECUTE."), VEXA_OK);
    EXPECT_EQ(in.Finish(), 0);

    CleXDSmb count;
    Call ask(cmd::kGetCaseCountInDS);
    ask.Text("*");
    ASSERT_EQ(client.Send(ask.request), 0);
    ASSERT_EQ(client.Receive(count), VEXA_OK);
    ASSERT_EQ(count.GetLongDataRef().Size(), 1);
    EXPECT_EQ(count.GetLongDataRef()[0], 100000);

    Peer whole;
    whole.Take();
    ASSERT_EQ(call(cmd::kSubmit, "SAVE /TYPE=BINARYSTREAM /SOCKET=" + whole.Port() + "."), VEXA_OK);
    ASSERT_EQ(whole.Finish(), 0);
    EXPECT_TRUE(whole.taken() == stream) << "the engine's stream differs from the one it read";

    Peer kept;
    kept.Take();
    ASSERT_EQ(
        call(cmd::kSubmit, "SAVE /TYPE=BINARYSTREAM /SOCKET=" + kept.Port() + " /KEEP=score name."),
        VEXA_OK);
    ASSERT_EQ(kept.Finish(), 0);
    engine::SpanSource source(kept.taken());
    engine::Dataset read("read");
    ASSERT_EQ(engine::DecodeStream(source, read), 0);
    ExpectProjection(read, sample, {2, 1});
}

}  // namespace
