// DOzerido, the console of a language runtime: shows the text the runtime
// writes and hands it lines typed by the user. Started by the library's
// console link with
//   DOzerido <temp directory> <process id text> <link name> <engine home> <output language>
// it serves level 0 of the suite named after the link: it reads requests on
// the suite's "syntax" pipe and answers each on "syntaxresult". A text is
// written to standard output; the input request is answered with one line
// of standard input (without its line feed, empty at its end); the close
// request is answered and ends the program.
#include <cstdio>
#include <iostream>
#include <string>

#include "codec/clexdsmb.h"
#include "codec/protocol.h"
#include "hosting/dxstartup.h"
#include "transport/sendreceive.h"
#include "transport/xpipemanager.h"

namespace {

constexpr int kCloseRequest = protocol::kFarewellValue;
constexpr int kInputRequest = protocol::kConsoleInputRequest;

class ConsoleServer {
  public:
    ConsoleServer(XPipeManager& manager, const std::string& linkName) {
        XPipeSuit* suit = manager.getPipeSuit(linkName);
        suit->increaseIndex();
        XPipes* pipes = suit->getXPipes(0);
        m_request = pipes->GetSyntaxPipe();
        m_reply = pipes->GetSyntaxResultPipe();
    }

    int Run() {
        if (int error = m_request->CreatePipe()) return error;
        CleXDSmb ready;
        ready.SetLong(0);
        if (int error = SendData(*m_reply, ready, false)) return error;
        // Ends at once should the link hang up before its first request.
        if (int error = m_request->ConnectPipe(*m_reply)) return error;
        for (;;) {
            CleXDSmb request;
            if (int error = ReceiveData(*m_request, request, true)) return error;
            const bool control =
                request.GetStringDataRef().Size() == 0 && request.GetLongDataRef().Size() > 0;
            const int value = control ? request.GetLongDataRef()[0] : 0;
            CleXDSmb reply;
            if (control && value == kInputRequest) {
                reply.SetString(ReadInputLine());
            } else if (!control) {
                Show(request.GetSingleString());
            }
            if (int error = SendData(*m_reply, reply, false)) return error;
            if (control && value == kCloseRequest) return 0;
        }
    }

  private:
    static std::string ReadInputLine() {
        std::string line;
        if (!std::getline(std::cin, line)) return {};
        return line;
    }

    static void Show(const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    VexaPipe* m_request;
    VexaPipe* m_reply;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: DOzerido <temp directory> <process id text> <link name> "
                     "[<engine home> [<output language>]]\n");
        return 2;
    }
    InitDxGlobal(argv[1], argv[2], argv[3], argc > 4 ? argv[4] : "");
    int status = ConsoleServer(*GetXPipeManager(), argv[3]).Run();
    FinalizeDXGlobal();
    return status == 0 ? 0 : 1;
}
