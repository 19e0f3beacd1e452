// Named datasets: creating, listing and closing them, cases and variables,
// cell writes queued until a commit, and the cached case of each created
// dataset that is read and changed locally.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "apiconnection.h"
#include "callframe.h"
#include "callshapes.h"
#include "commandcodes.h"
#include "replyreader.h"
#include "resultreaders.h"
#include "runtime/dxtracer.h"
#include "vexaxd_p.h"

namespace api {
namespace {

// A copy of the caller's case bytes, sent as the void data.
struct CaseBytes {
    const void* data;
    int length;
};

bool Valid(CaseBytes bytes) { return bytes.length >= 0 && (bytes.data || bytes.length == 0); }

void Append(CleXDSmb& request, CaseBytes bytes) {
    if (bytes.length == 0) return;
    codec::OwnedBuffer copy = codec::OwnedBuffer::Allocate(static_cast<std::size_t>(bytes.length));
    std::memcpy(copy.data(), bytes.data, static_cast<std::size_t>(bytes.length));
    request.SetVoidData(copy.release(), bytes.length);
}

// The count, then obs index and obs length of each listed variable of a
// cached case; the variables were checked against its layout.
struct ObsLayout {
    const DatastepDataSmb* entry;
    const int* variables;
    int count;
};

void Append(CleXDSmb& request, const ObsLayout& layout) {
    request.SetLong(layout.count);
    for (int i = 0; i < layout.count; ++i) {
        request.SetLong(layout.entry->GetVarObsIndex(layout.variables[i]));
        request.SetLong(layout.entry->GetVarObsLength(layout.variables[i]));
    }
}

// Missing flag and value of one cell.
struct NumericCellInto {
    int* missing;
    bool usable() const { return missing != nullptr; }
    int operator()(CleXDSmb& reply, double& value) const {
        int flag = 0;
        double number = 0.0;
        if (int status = ReadInt(reply, 0, flag)) return status;
        if (int status = ReadDouble(reply, 0, number)) return status;
        *missing = flag;
        value = number;
        return 0;
    }
};

struct StringCellInto {
    int* missing;
    bool usable() const { return missing != nullptr; }
    int operator()(CleXDSmb& reply, const char*& value) const {
        int flag = 0;
        std::string text;
        if (int status = ReadInt(reply, 0, flag)) return status;
        if (int status = ReadString(reply, 0, text)) return status;
        *missing = flag;
        value = Connection().ShareString(std::move(text));
        return 0;
    }
};

// The reply's void data becomes the cached case.
struct CaseInto {
    DatastepDataSmb* entry;
    int* length;
    bool usable() const { return length != nullptr; }
    int operator()(CleXDSmb& reply, int&) const {
        std::int32_t size = 0;
        const void* data = reply.GetVoidData(size);
        if (int status = entry->SetCaseValue(data, size)) return status;
        *length = size;
        return 0;
    }
};

// The first string and its terminator into the caller's buffer.
struct NameInto {
    char* buffer;
    bool usable() const { return buffer != nullptr; }
    int operator()(CleXDSmb& reply) const {
        std::string name;
        if (int status = ReadString(reply, 0, name)) return status;
        std::memcpy(buffer, name.c_str(), name.size() + 1);
        return 0;
    }
};

}  // namespace
}  // namespace api

using api::Refusal;

namespace {

api::DatasetState& Datasets() { return api::Connection().datasets(); }

void FlushPending() {
    if (Datasets().HasPending()) CommitDataSet();
}

// The obs index of every variable, read again after the layout changed.
void ReloadObsIndex(const std::string& dataset, DatastepDataSmb& entry) {
    int err = 0;
    entry.ClearVarObsIndex();
    const int variables = GetVarCountInDS(dataset.c_str(), &err);
    for (int i = 0; i < variables; ++i)
        entry.AddVarObsIndex(GetVarObsIndex(dataset.c_str(), i, &err));
}

void RegisterDataset(std::string name) {
    int err = 0;
    if (name.empty() || name == "*") {
        const char* active = GetActive(&err);
        name = active ? active : "";
    }
    const int cases = GetCaseCountInDS(name.c_str(), &err);
    const int variables = GetVarCountInDS(name.c_str(), &err);
    Datasets().AddOpen({name, cases, variables});

    auto entry = std::make_unique<DatastepDataSmb>();
    entry->SetOneCaseSize(GetCaseLength(name.c_str(), &err));
    const int layout = GetVarCountInDS(name.c_str(), &err);
    for (int i = 0; i < layout; ++i) {
        entry->AddVarType(GetVarTypeInDS(name.c_str(), i, &err));
        entry->AddVarObsIndex(GetVarObsIndex(name.c_str(), i, &err));
    }
    Datasets().AddCached(name, std::move(entry));
}

// Reader of a case or variable change the engine accepted: the tracked
// counts move, a cached layout follows the change.
template <typename LayoutChange>
struct TrackedChange {
    const char* dataset;
    int caseDelta;
    int variableDelta;
    LayoutChange change;
    int operator()(CleXDSmb&) const {
        if (api::OpenDataset* open = Datasets().FindOpen(dataset)) {
            open->caseCount += caseDelta;
            open->varCount += variableDelta;
        }
        if (DatastepDataSmb* entry = change ? Datasets().Lookup(dataset) : nullptr) {
            (*change)(*entry);
            ReloadObsIndex(dataset, *entry);
        }
        return 0;
    }
};

using NoLayoutChange = void (*)(DatastepDataSmb&);

int CaseCountChange(int command, const char* dataset, int row, int delta) {
    if (!dataset) return VEXA_BAD_ARGUMENT;
    return api::StatusCall(command, Refusal::kWhenNotRunning,
                           TrackedChange<NoLayoutChange>{dataset, delta, 0, nullptr}, dataset, row);
}

// Appends the record of one cell write; `append`(records, name) writes it.
template <typename Append>
int QueueCell(const char* dataset, int row, int variable, Append append) {
    if (!dataset) return VEXA_BAD_ARGUMENT;
    api::ApiConnection& connection = api::Connection();
    if (!connection.running()) return VEXA_ENGINE_NOT_RUNNING;
    if (!connection.stepOpen()) return VEXA_NO_STEP_OPEN;
    const api::OpenDataset* open = Datasets().FindOpen(dataset);
    if (!open) return VEXA_DATASET_NOT_OPEN;
    if (row < 0 || row >= open->caseCount) return VEXA_ROW_OUT_OF_RANGE;
    if (variable < 0 || variable >= open->varCount) return VEXA_VARIABLE_OUT_OF_RANGE;
    // A failed commit is this write's result; the write itself is still kept.
    const int flushed = Datasets().PendingFull() ? CommitDataSet() : 0;
    append(Datasets().Pending(), std::string_view(open->name));
    return flushed;
}

// Null for a dataset without a cached case (and for no name).
DatastepDataSmb* Cached(const char* dataset) {
    return dataset ? Datasets().Lookup(dataset) : nullptr;
}

}  // namespace

int CreateDataset(const char* name, bool first, bool second) {
    return api::Guarded([&]() -> int {
        if (!name) return VEXA_BAD_ARGUMENT;
        if (int status = api::StatusCall(cmd::kCreateDataset, Refusal::kWhenNotRunning,
                                         api::NoResult, name, first, second)) {
            return status;
        }
        RegisterDataset(name);
        return 0;
    });
}

int CopyDataset(const char* first, const char* second) {
    return api::StatusCall(cmd::kCopyDataset, Refusal::kWhenNotRunning, api::NoResult, first,
                           second);
}

int CloseDataset(const char* name) {
    return api::Guarded([&]() -> int {
        if (!name) return VEXA_BAD_ARGUMENT;
        if (!api::Connection().running()) return VEXA_ENGINE_NOT_RUNNING;
        FlushPending();
        return api::StatusCall(
            cmd::kCloseDataset, Refusal::kWhenNotRunning,
            [&](CleXDSmb&) {
                Datasets().RemoveOpen(name);
                return 0;
            },
            name);
    });
}

int SetDatasetName(const char* first, const char* second) {
    return api::StatusCall(cmd::kSetDatasetName, Refusal::kWhenNotRunning, api::NoResult, first,
                           second);
}

int SetActive(const char* name) {
    return api::StatusCall(cmd::kSetActive, Refusal::kWhenNotRunning, api::NoResult, name);
}

const char* GetActive(int* err) {
    const char* name = nullptr;
    const int status = api::Guarded([&]() -> int {
        api::CallFrame frame(cmd::kGetActive);
        const int code = frame.Exchange();
        // 93 is an answer too, and its reply names the dataset.
        if (code != 0 && code != VEXA_ACTIVE_ANSWERED) return code;
        const StringData& strings = frame.reply().GetStringDataRef();
        name = api::Connection().ShareString(strings.Size() > 0 ? strings.Values().front() : "*");
        return code;
    });
    if (err) *err = status;
    return name ? name : api::Connection().ShareString("*");
}

int GetNewDatasetName(char* buffer) {
    return api::StatusCall(cmd::kGetNewDatasetName, Refusal::kWhenNotRunning,
                           api::NameInto{buffer});
}

int GetVexaDatasets(char*** names, int* count) {
    return api::StatusCall(cmd::kGetVexaDatasets, Refusal::kWhenNotRunning,
                           api::AllStringsInto{names, count});
}

int GetOpenedVexaDatasets(char*** names, int* count) {
    return api::StatusCall(cmd::kGetOpenedVexaDatasets, Refusal::kWhenNotRunning,
                           api::AllStringsInto{names, count});
}

int SetCacheInDS(const char* name, bool flag) {
    return api::StatusCall(cmd::kSetCacheInDS, Refusal::kNever, api::NoResult, name, flag);
}

int SaveFileInDS(void) {
    DxTrace("No_longer_support_SaveFileInDS");
    return 0;
}

int InsertCase(const char* dataset, int row) {
    return CaseCountChange(cmd::kInsertCase, dataset, row, +1);
}

int DeleteCase(const char* dataset, int row) {
    return CaseCountChange(cmd::kDeleteCase, dataset, row, -1);
}

int InsertVariable(const char* dataset, int position, const char* name, int type) {
    if (!dataset) return VEXA_BAD_ARGUMENT;
    auto insert = [position, type](DatastepDataSmb& entry) { entry.InsertVarType(position, type); };
    return api::StatusCall(cmd::kInsertVariable, Refusal::kWhenNotRunning,
                           TrackedChange<decltype(&insert)>{dataset, 0, +1, &insert}, dataset,
                           position, name, type);
}

int DeleteVariable(const char* dataset, int position) {
    if (!dataset) return VEXA_BAD_ARGUMENT;
    auto erase = [position](DatastepDataSmb& entry) { entry.EraseVarType(position); };
    return api::StatusCall(cmd::kDeleteVariable, Refusal::kWhenNotRunning,
                           TrackedChange<decltype(&erase)>{dataset, 0, -1, &erase}, dataset,
                           position);
}

int SetVarTypeInDS(const char* dataset, int variable, int type) {
    if (!dataset) return VEXA_BAD_ARGUMENT;
    auto update = [variable, type](DatastepDataSmb& entry) { entry.UpdateVarType(variable, type); };
    return api::StatusCall(cmd::kSetVarTypeInDS, Refusal::kWhenNotRunning,
                           TrackedChange<decltype(&update)>{dataset, 0, 0, &update}, dataset,
                           variable, type);
}

int SetNCellValue(const char* dataset, int row, int variable, double value) {
    return api::Guarded([&] {
        return QueueCell(dataset, row, variable, [&](codec::CellRecords& records, std::string_view name) {
            records.AppendNumeric(name, row, variable, value);
        });
    });
}

int SetCCellValue(const char* dataset, int row, int variable, const char* value) {
    return api::Guarded([&]() -> int {
        if (!value) return VEXA_BAD_ARGUMENT;
        return QueueCell(dataset, row, variable, [&](codec::CellRecords& records, std::string_view name) {
            records.AppendString(name, row, variable, value);
        });
    });
}

int CommitDataSet(void) {
    return api::Guarded([]() -> int {
        if (!api::Connection().running()) return VEXA_ENGINE_NOT_RUNNING;
        api::CallFrame frame(cmd::kCommitDataSet);
        // The records are gone whatever the engine makes of them.
        frame.request().SetStructRecords(Datasets().TakePending());
        const int status = frame.Exchange();
        Datasets().ReturnRoom(frame.request().TakeStructRecords());
        return status;
    });
}

double GetNCellValue(const char* dataset, int row, int variable, int* missing, int* err) {
    api::Guarded([] {
        FlushPending();
        return 0;
    });
    return api::ValueCall(cmd::kGetNCellValue, Refusal::kNever, 0.0, err,
                          api::NumericCellInto{missing}, dataset, row, variable);
}

const char* GetCCellValue(const char* dataset, int row, int variable, int* missing, int* err) {
    api::Guarded([] {
        FlushPending();
        return 0;
    });
    return api::ValueCall<const char*>(cmd::kGetCCellValue, Refusal::kNever, nullptr, err,
                                       api::StringCellInto{missing}, dataset, row, variable);
}

int GetCaseLength(const char* dataset, int* err) {
    return api::ValueCall(cmd::kGetCaseLength, Refusal::kNever, 0, err, api::FirstInt, dataset);
}

int GetVarObsIndex(const char* dataset, int variable, int* err) {
    return api::ValueCall(cmd::kGetVarObsIndex, Refusal::kNever, 0, err, api::FirstInt, dataset,
                          variable);
}

void GetCaseValue(const char* dataset, int row, bool flag, int* length, int* err) {
    DatastepDataSmb* entry = nullptr;
    api::Guarded([&] {
        entry = Cached(dataset);
        return 0;
    });
    if (!entry) return;
    api::ReportCall(cmd::kGetCaseValue, Refusal::kNever, err, api::CaseInto{entry, length}, dataset,
                    row, flag);
}

int SetCaseValue(const char* dataset, int row, bool flag, const void* data, int length) {
    return api::StatusCall(cmd::kSetCaseValue, Refusal::kNever, api::NoResult, dataset, row, flag,
                           api::CaseBytes{data, length});
}

int SetCasePartValue(const char* dataset, int row, const int* variables, bool flag, int count) {
    return api::Guarded([&]() -> int {
        DatastepDataSmb* entry = Cached(dataset);
        if (!entry) return 0;
        if (count < 0 || (count > 0 && !variables)) return VEXA_BAD_ARGUMENT;
        for (int i = 0; i < count; ++i) {
            if (entry->GetVarObsIndex(variables[i]) < 0) return VEXA_VARIABLE_OUT_OF_RANGE;
        }
        std::int32_t size = 0;
        const OBS* cells = entry->GetCaseValue(size);
        return api::StatusCall(cmd::kSetCasePartValue, Refusal::kNever, api::NoResult, dataset, row,
                               api::ObsLayout{entry, variables, count}, flag,
                               api::CaseBytes{cells, size});
    });
}

double GetNCellValueFromCache(const char* dataset, int variable, int* missing, int* err) {
    double value = 0.0;
    const int status = api::Guarded([&]() -> int {
        if (!missing) return VEXA_BAD_ARGUMENT;
        DatastepDataSmb* entry = Cached(dataset);
        if (!entry) return 0;
        std::int32_t error = 0;
        value = entry->GetNCellValue(static_cast<std::uint32_t>(variable), *missing, error);
        return error;
    });
    if (err) *err = status;
    return status == 0 ? value : 0.0;
}

char* GetCCellValueFromCache(const char* dataset, int variable, int* err) {
    std::unique_ptr<char[]> text;
    const int status = api::Guarded([&]() -> int {
        DatastepDataSmb* entry = Cached(dataset);
        if (!entry) return 0;
        std::int32_t error = 0;
        text = entry->GetCCellValue(static_cast<std::uint32_t>(variable), error);
        return error;
    });
    if (err) *err = status;
    return status == 0 ? text.release() : nullptr;
}

int SetNCellValueFromCache(const char* dataset, int variable, double value) {
    return api::Guarded([&]() -> int {
        DatastepDataSmb* entry = Cached(dataset);
        return entry ? entry->SetNCellValue(static_cast<std::uint32_t>(variable), value) : 0;
    });
}

int SetCCellValueFromCache(const char* dataset, int variable, const char* value) {
    return api::Guarded([&]() -> int {
        DatastepDataSmb* entry = Cached(dataset);
        return entry ? entry->SetCCellValue(static_cast<std::uint32_t>(variable), value) : 0;
    });
}

void GetVarInfo(const char* dataset, int** types, int* count) {
    api::Guarded([&]() -> int {
        DatastepDataSmb* entry = Cached(dataset);
        if (!entry || !types || !count) return 0;
        std::unique_ptr<std::int32_t[]> info = entry->GetVarInfo(*count);
        if (info) *types = info.release();
        return 0;
    });
}
