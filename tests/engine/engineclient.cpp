#include "engineclient.h"

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "transport/sendreceive.h"

namespace enginetest {
namespace {

constexpr unsigned kConnectPoll = 100;

}  // namespace

EngineClient::EngineClient(const std::string& pidText, const std::string& language)
    : m_pidText(pidText), m_language(language), m_manager(transport::PipeNameRoot(), pidText) {
    XPipeSuit* suit = m_manager.getPipeSuit(language);
    suit->increaseIndex();
    m_pipes = suit->getXPipes();
    m_pipeNames = {
        m_pipes->GetSyntaxPipe()->GetPipeName(), m_pipes->GetSyntaxResultPipe()->GetPipeName(),
        m_pipes->GetXDAPIPipe()->GetPipeName(), m_pipes->GetXDAPIResultPipe()->GetPipeName()};
}

EngineClient::~EngineClient() {
    m_engine.Kill();
    m_manager.cleanup();
    // A killed engine cannot remove its own request pipe.
    for (const std::string& name : LeftoverPipeFiles()) {
        std::error_code error;
        std::filesystem::remove(name, error);
    }
}

int EngineClient::CreateResultPipe() { return m_pipes->GetXDAPIResultPipe()->CreatePipe(); }

int EngineClient::StartEngine(const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {VEXA_STARTXD_PATH, "/tmp", m_pidText, m_language};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return platform::ChildProcess::Spawn(argv, m_engine);
}

int EngineClient::ReceiveReady(unsigned milliseconds, std::string* text) {
    VexaPipe& result = *m_pipes->GetXDAPIResultPipe();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!result.IsWritePipeConnected()) {
        int connected = result.ConnectPipeWithin(kConnectPoll);
        if (connected == ETIMEDOUT) {
            if (!m_engine.IsActive() || std::chrono::steady_clock::now() > deadline) return EPIPE;
            continue;
        }
        if (connected) return connected;
    }
    CleXDSmb ready;
    const int received = Receive(ready);
    if (text && ready.GetStringDataRef().Size() > 0) *text = ready.GetStringDataRef()[0];
    return received;
}

int EngineClient::Send(CleXDSmb& request) {
    return SendData(*m_pipes->GetXDAPIPipe(), request, false);
}

int EngineClient::SendRaw(const Bytes& image) {
    VexaPipe& request = *m_pipes->GetXDAPIPipe();
    if (!request.HasPipe()) {
        if (int opened = request.VEXACreateFile()) return opened;
    }
    int written = 0;
    return request.WriteData(image.data(), static_cast<int>(image.size()), written);
}

int EngineClient::Receive(CleXDSmb& reply) {
    return ReceiveData(*m_pipes->GetXDAPIResultPipe(), reply, true);
}

int EngineClient::ReceiveRaw(Bytes& image) {
    image.assign(VexaPipe::PIECE_SIZE, 0);
    int count = 0;
    int error = m_pipes->GetXDAPIResultPipe()->ReadData(static_cast<int>(image.size()),
                                                        image.data(), count);
    image.resize(static_cast<std::size_t>(count));
    if (!error && count == 0) return EPIPE;
    return error;
}

void EngineClient::CloseRequestPipe() { m_pipes->GetXDAPIPipe()->ClosePipe(); }

void EngineClient::CloseResultPipe() { m_pipes->GetXDAPIResultPipe()->ClosePipe(); }

std::vector<std::string> EngineClient::LeftoverPipeFiles() const {
    std::vector<std::string> left;
    for (const std::string& name : m_pipeNames) {
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(name, error)))
            left.push_back(name);
    }
    return left;
}

}  // namespace enginetest
