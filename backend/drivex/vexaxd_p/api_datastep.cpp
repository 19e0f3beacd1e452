// The data step: its start and end, and reads of dataset cells through the
// batch, a rectangle of rows fetched in one round trip and then read locally.
// A reader never indexes a batch that does not hold the cell: no batch, or a
// cell outside it, is 10 with a value of 0 or null.
#include <memory>
#include <string>

#include "apiconnection.h"
#include "callshapes.h"
#include "codec/protocol.h"
#include "resultreaders.h"
#include "scopeexit.h"
#include "vexaxd_p.h"

using api::Refusal;

namespace {

api::DatastepBatch& Batch() { return api::KeptConnection().datastepBatch(); }

// Cell writes still queued go before anything that reads or ends the step.
[[nodiscard]] int FlushPending() {
    return api::Connection().datasets().HasPending() ? CommitDataSet() : 0;
}

int FetchBatch(const char* dataset, int row) {
    // Cells read after a failed commit would not show the writes.
    if (int flushed = FlushPending()) return flushed;
    codec::OwnedBuffer room = Batch().TakeReceiveRoom();
    std::unique_ptr<DatastepSmb> batch;
    int status = api::KeptReplyCall(cmd::kFetchDatastep, Refusal::kNever, batch, dataset,
                                    Batch().BelongsTo(dataset), row, api::ReplyRoom{&room});
    if (status == 0) status = batch->ReadBatchHeader();
    // A failed fetch leaves no batch: nothing could be read from it.
    Batch().Replace(status == 0 ? std::move(batch) : nullptr, dataset);
    return status;
}

int Fetch(const char* dataset, int row) {
    return api::LocalCall(Refusal::kWhenNotRunning, dataset != nullptr,
                          [&] { return FetchBatch(dataset, row); });
}

// The batch that holds (dataset, row), fetched when the one held does not.
const DatastepSmb* Covering(const char* dataset, int row, int& status) {
    status = 0;
    if (!dataset) {
        status = VEXA_BAD_ARGUMENT;
        return nullptr;
    }
    // A pass reads here once per cell: the batch is looked up once.
    api::DatastepBatch& held = Batch();
    if (!held.Covers(dataset, row)) status = Fetch(dataset, row);
    if (status != 0) return nullptr;
    return held.batch();
}

const DatastepSmb* Held(int& status) {
    const DatastepSmb* batch = Batch().batch();
    status = batch ? 0 : VEXA_VARIABLE_OUT_OF_RANGE;
    return batch;
}

// One cell of `batch` by the reader's own checks; `status` already says
// whether there is a batch to read.
double NumericCell(const DatastepSmb* batch, int status, int row, int variable, int* missing,
                   int* err) {
    return api::LocalValue(0.0, err, [&](double& value) -> int {
        if (status != 0) return status;
        if (!missing) return VEXA_BAD_ARGUMENT;
        std::int32_t error = 0;
        value = batch->GetNCellValue(row, variable, *missing, error);
        return error;
    });
}

char* StringCell(const DatastepSmb* batch, int status, int row, int variable, int* missing,
                 int* err) {
    return api::LocalValue<char*>(nullptr, err, [&](char*& value) -> int {
        if (status != 0) return status;
        if (!missing) return VEXA_BAD_ARGUMENT;
        std::int32_t error = 0;
        std::unique_ptr<char[]> text = batch->GetCCellValue(row, variable, *missing, error);
        if (error == 0) value = text.release();
        return error;
    });
}

template <typename Find>
const DatastepSmb* Guard(Find&& find, int& status) {
    const DatastepSmb* batch = nullptr;
    status = api::Guarded([&]() -> int {
        int found = 0;
        batch = find(found);
        return found;
    });
    return batch;
}

}  // namespace

int StartDataStep(void) {
    return api::StatusCall(cmd::kStartDataStep, Refusal::kWhenNotRunning, [](CleXDSmb&) {
        api::Connection().setStepOpen(true);
        return 0;
    });
}

int EndDataStep(void) {
    return api::LocalCall(Refusal::kWhenNotRunning, true, [] {
        // The step ends even when the last writes failed; their failure is
        // the result of an end that succeeded.
        const int flushed = FlushPending();
        const api::ScopeExit drop([] { Batch().Clear(); });
        const int ended =
            api::ChangeCall(cmd::kEndDataStep, Refusal::kNever, api::NothingToPrepare, [] {
                api::ApiConnection& connection = api::Connection();
                connection.setStepOpen(false);
                connection.datasets().EndStep();
                return 0;
            });
        return ended != 0 ? ended : flushed;
    });
}

void FetchDatastep(const char* dataset, int row, int /*variable*/, int* err) {
    api::Report(err, Fetch(dataset, row));
}

int GetDatastepDatasets(char*** names, int* count) {
    return api::StatusCall(cmd::kGetDatastepDatasets, Refusal::kWhenNotRunning,
                           api::AllStringsInto{names, count});
}

double GetNCellValueOptimize(const char* dataset, int row, int variable, int* missing, int* err) {
    // A pass reads every cell here: one the held batch holds skips the checks.
    double value = 0.0;
    if (dataset && missing && Batch().Number(dataset, row, variable, value, *missing)) {
        api::Report(err, 0);
        return value;
    }
    int status = 0;
    const DatastepSmb* batch =
        Guard([&](int& found) { return Covering(dataset, row, found); }, status);
    return NumericCell(batch, status, row, variable, missing, err);
}

char* GetCCellValueOptimize(const char* dataset, int row, int variable, int* missing, int* err) {
    int status = 0;
    const DatastepSmb* batch =
        Guard([&](int& found) { return Covering(dataset, row, found); }, status);
    return StringCell(batch, status, row, variable, missing, err);
}

void GetRowList(const char* dataset, int row, int /*variable*/, int* firstRow, int* lastRow,
                int* thirdFigure, int* err) {
    api::Report(err, api::LocalCall(Refusal::kNever, firstRow && lastRow && thirdFigure, [&] {
                    int found = 0;
                    const DatastepSmb* batch = Covering(dataset, row, found);
                    if (found != 0) return found;
                    return batch->GetRowList(*firstRow, *lastRow, *thirdFigure);
                }));
}

double GetNCellValueCache(const char* /*dataset*/, int row, int variable, int* missing, int* err) {
    int status = 0;
    const DatastepSmb* batch = Held(status);
    return NumericCell(batch, status, row, variable, missing, err);
}

char* GetCCellValueCache(const char* /*dataset*/, int row, int variable, int* missing, int* err) {
    int status = 0;
    const DatastepSmb* batch = Held(status);
    return StringCell(batch, status, row, variable, missing, err);
}

double GetNCellValueBatch(const char* /*dataset*/, int row, int variable, int* missing, int* err,
                          const void* batch) {
    const int status = batch ? 0 : VEXA_VARIABLE_OUT_OF_RANGE;
    return NumericCell(static_cast<const DatastepSmb*>(batch), status, row, variable, missing, err);
}

char* GetCCellValueBatch(const char* /*dataset*/, int row, int variable, int* missing, int* err,
                         const void* batch) {
    const int status = batch ? 0 : VEXA_VARIABLE_OUT_OF_RANGE;
    return StringCell(static_cast<const DatastepSmb*>(batch), status, row, variable, missing, err);
}

void GetVarTypeInDSCache(int* types, int count, int* err) {
    api::Report(err, api::Guarded([&]() -> int {
                    int held = 0;
                    const DatastepSmb* batch = Held(held);
                    return held != 0 ? held : batch->GetVarTypes(types, count);
                }));
}

void ClearDatastepBatch(void) { Batch().DropBatch(); }
