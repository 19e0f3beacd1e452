#include "bulktransport.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <string_view>
#include <utility>

#include "binarystream.h"
#include "commandtext.h"
#include "datafilecommands.h"
#include "enginecodes.h"
#include "enginestate.h"
#include "platform/tcpsocket.h"
#include "runtime/statuscodes.h"
#include "runtime/stringutil.h"

namespace engine {
namespace {

constexpr std::size_t kSocketBufferSize = 1 << 16;

// The leading word (letters) of `text`, taken off it.
std::string TakeWord(std::string_view& text) {
    text = Trim(text);
    std::size_t end = 0;
    while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
    std::string word = textutil::UpperString(text.substr(0, end));
    text.remove_prefix(end);
    return word;
}

std::vector<std::string> SplitNames(std::string_view text) {
    std::vector<std::string> names;
    while (true) {
        text = Trim(text);
        if (text.empty()) return names;
        std::size_t end = 0;
        while (end < text.size() && !IsBlank(text[end])) ++end;
        names.emplace_back(text.substr(0, end));
        text.remove_prefix(end);
    }
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    text = Trim(text);
    unsigned value = 0;
    auto [stop, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || stop != text.data() + text.size() || value < 1 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// Collects socket writes into large sends.
class SocketSink : public ByteSink {
  public:
    explicit SocketSink(platform::TcpConnection& connection) : m_connection(connection) {
        m_buffer.reserve(kSocketBufferSize);
    }
    int Write(const void* data, std::size_t length) override {
        const auto* bytes = static_cast<const unsigned char*>(data);
        if (m_buffer.size() + length > kSocketBufferSize) {
            if (int failed = Flush()) return failed;
            if (length >= kSocketBufferSize) return m_connection.SendAll(bytes, length);
        }
        m_buffer.insert(m_buffer.end(), bytes, bytes + length);
        return VEXA_OK;
    }
    int Flush() {
        int failed = m_buffer.empty() ? 0 : m_connection.SendAll(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
        return failed;
    }

  private:
    platform::TcpConnection& m_connection;
    std::vector<unsigned char> m_buffer;
};

// Reads ahead in large receives; never past what the peer sent.
class SocketSource : public ByteSource {
  public:
    explicit SocketSource(platform::TcpConnection& connection)
        : m_connection(connection), m_buffer(kSocketBufferSize) {}
    int Read(void* data, std::size_t length) override {
        auto* out = static_cast<unsigned char*>(data);
        while (length > 0) {
            if (m_at == m_end) {
                m_at = 0;
                if (int failed = m_connection.ReceiveSome(m_buffer.data(), m_buffer.size(), m_end))
                    return failed;
            }
            const std::size_t take = std::min(length, m_end - m_at);
            std::memcpy(out, m_buffer.data() + m_at, take);
            m_at += take;
            out += take;
            length -= take;
        }
        return VEXA_OK;
    }

  private:
    platform::TcpConnection& m_connection;
    std::vector<unsigned char> m_buffer;
    std::size_t m_at = 0;
    std::size_t m_end = 0;
};

int Connect(std::uint16_t port, platform::TcpConnection& connection) {
    if (platform::TcpConnection::ConnectLoopback(port, connection) != 0) return kTransportFailed;
    if (connection.SetTimeout(kTransferTimeoutMs) != 0) return kTransportFailed;
    return VEXA_OK;
}

// The indexes of `names` in `data`; false when one is not there.
bool IndexesOf(const Dataset& data, const std::vector<std::string>& names,
               std::vector<std::size_t>& indexes) {
    for (const auto& name : names) {
        const std::size_t index = data.FindVariable(name);
        if (index == data.VariableCount()) return false;
        indexes.push_back(index);
    }
    return true;
}

int Save(const TransferCommand& command, TransferContext& state) {
    std::vector<std::size_t> chosen;
    if (!IndexesOf(state.active, command.variables, chosen)) return kBadTransportCommand;
    platform::TcpConnection connection;
    if (int failed = Connect(command.port, connection)) return failed;
    SocketSink sink(connection);
    if (EncodeStream(state.active, chosen, sink) != 0 || sink.Flush() != 0) return kTransportFailed;
    return connection.ShutdownSend() == 0 ? static_cast<int>(VEXA_OK) : kTransportFailed;
}

// The data a GET DATA names becomes the active dataset under its name.
int GetData(const TransferCommand& command, TransferContext& state) {
    if (state.output.IsOpen()) return kActiveDatasetInUse;
    platform::TcpConnection connection;
    if (int failed = Connect(command.port, connection)) return failed;
    SocketSource source(connection);
    Dataset read(state.active.name());
    if (int failed = DecodeStream(source, read))
        return failed == kMalformedStream ? kMalformedStream : kTransportFailed;
    std::vector<std::size_t> chosen;
    if (!IndexesOf(read, command.variables, chosen)) return kBadTransportCommand;
    if (!chosen.empty()) {
        // The kept variables, in the order the command names them.
        Dataset kept(read.name());
        for (std::size_t v : chosen) {
            if (!kept.AddVariable(read.variable(v))) return kBadTransportCommand;
        }
        for (std::size_t r = 0; r < read.CaseCount(); ++r) {
            std::vector<CellValue> values;
            for (std::size_t v : chosen) values.push_back(read.cell(r, v));
            kept.AddCase(std::move(values));
        }
        read = std::move(kept);
    }
    state.active = std::move(read);
    return VEXA_OK;
}

}  // namespace

TransferParse ParseTransferCommand(const std::string& command, TransferCommand& out) {
    std::string_view text = Trim(command);
    if (text.empty() || text.back() != '.' || command.find('\0') != std::string::npos)
        return TransferParse::kOtherCommand;
    text.remove_suffix(1);
    TransferCommand parsed;
    const std::string first = TakeWord(text);
    if (first == "GET") {
        if (TakeWord(text) != "DATA") return TransferParse::kOtherCommand;
        parsed.kind = TransferCommand::Kind::kGetData;
    } else if (first == "SAVE") {
        parsed.kind = TransferCommand::Kind::kSave;
    } else {
        return TransferParse::kOtherCommand;
    }
    bool binaryStream = false;
    std::optional<std::uint16_t> port;
    text = Trim(text);
    while (!text.empty()) {
        if (text.front() != '/') return TransferParse::kOtherCommand;
        text.remove_prefix(1);
        const std::string key = TakeWord(text);
        text = Trim(text);
        if (text.empty() || text.front() != '=') return TransferParse::kOtherCommand;
        text.remove_prefix(1);
        const std::size_t end = std::min(text.find('/'), text.size());
        const std::string_view value = text.substr(0, end);
        text = Trim(text.substr(end));
        if (key == "TYPE") {
            binaryStream = textutil::UpperString(Trim(value)) == "BINARYSTREAM";
        } else if (key == "SOCKET") {
            port = ParsePort(value);
            if (!port) return TransferParse::kRefused;
        } else if ((key == "VARIABLES" && parsed.kind == TransferCommand::Kind::kGetData) ||
                   (key == "KEEP" && parsed.kind == TransferCommand::Kind::kSave)) {
            parsed.variables = SplitNames(value);
        }
    }
    if (!binaryStream) return TransferParse::kOtherCommand;
    if (!port) return TransferParse::kRefused;
    parsed.port = *port;
    out = std::move(parsed);
    return TransferParse::kDone;
}

namespace {

CommandOutcome TransferOutcome(int code) {
    switch (code) {
        case VEXA_OK:
            return CommandOutcome::Done();
        case kBadTransportCommand:
            return CommandOutcome::Failed(
                code, "no /SOCKET port in 1..65535, or a variable the data does not have");
        case kTransportFailed:
            return CommandOutcome::Failed(
                code, "the connection to the socket failed, broke or timed out");
        case kMalformedStream:
            return CommandOutcome::Failed(code,
                                          "the data received is not in the binary stream format");
        default:
            return CommandOutcome::Failed(code, "the transfer failed");
    }
}

}  // namespace

CommandOutcome RunTransferCommand(const std::string& command, TransferContext& state) {
    TransferCommand transfer;
    switch (ParseTransferCommand(command, transfer)) {
        case TransferParse::kOtherCommand:
            if (std::optional<CommandOutcome> file = RunDataFileCommand(command, state))
                return *file;
            return CommandOutcome::Failed(kBadSyntax,
                                          "GET DATA and SAVE take /TYPE=CSV or /TYPE=BINARYSTREAM");
        case TransferParse::kRefused:
            return TransferOutcome(kBadTransportCommand);
        case TransferParse::kDone:
            break;
    }
    if (transfer.kind == TransferCommand::Kind::kSave)
        return TransferOutcome(Save(transfer, state));
    state.pendingTransfer = std::move(transfer);
    return CommandOutcome::Done();
}

CommandOutcome RunExecute(TransferContext& state) {
    if (!state.pendingTransfer) return CommandOutcome::Done();
    TransferCommand pending = std::move(*state.pendingTransfer);
    state.pendingTransfer.reset();
    return TransferOutcome(GetData(pending, state));
}

}  // namespace engine
