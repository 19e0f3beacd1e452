// Bulk transport: a dataset moved over the caller's socket by submitted
// command syntax, and the engine's temp files of the active dataset.
#include <cerrno>
#include <memory>

#include "apiconnection.h"
#include "callshapes.h"
#include "codec/protocol.h"
#include "replyreader.h"
#include "transportdatathread.h"
#include "vexaxd_p.h"

namespace api {
namespace {

// One long per variable index; the count itself does not travel.
struct IndexList {
    const int* indexes;
    int count;
};

bool Valid(IndexList list) { return list.count >= 0 && (list.indexes || list.count == 0); }

void Append(CleXDSmb& request, IndexList list) {
    for (int i = 0; i < list.count; ++i) request.SetLong(list.indexes[i]);
}

}  // namespace
}  // namespace api

using api::Refusal;

int TransportData(const char* socket, const char* variables, bool readIntoEngine) {
    return api::LocalCall(Refusal::kWhenNotRunning, socket && variables, [&]() -> int {
        // The attach changes the connection that the caller's later calls use:
        // it is done here, on the caller's thread, not by the transfer.
        XPipes* pipes = nullptr;
        if (int status = api::Connection().AcquirePipes(pipes)) return status;
        auto thread = std::make_unique<api::TransportDataThread>(socket, variables, readIntoEngine);
        thread->SetAutoDelete(true);
        api::TransferGate& gate = api::Connection().transfers();
        gate.Enter();
        if (!thread->Start()) {
            gate.Cancel();
            return EAGAIN;
        }
        // The running thread owns itself from here on.
        thread.release();
        return 0;
    });
}

int SaveDataToTempFile(const char* name, const int* variables, int count) {
    return api::StatusCall(cmd::kSaveDataToTempFile, Refusal::kNever, api::NoResult, name,
                           api::IndexList{variables, count});
}

int GetDataFromTempFile(const char* name, int first, int second) {
    return api::StatusCall(cmd::kGetDataFromTempFile, Refusal::kWhenNotRunning, api::NoResult, name,
                           first, second);
}

int GetRowCountInTempFile(int* err) {
    return api::ValueCall(cmd::kGetRowCountInTempFile, Refusal::kNever, 0, err, api::FirstInt);
}
