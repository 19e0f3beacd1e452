// Named datasets: creating, listing and closing them, cases and variables,
// cell writes queued until a commit, and the cached case of each created
// dataset that is read and changed locally.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "apiconnection.h"
#include "callshapes.h"
#include "codec/protocol.h"
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
        value = Connection().sharedResults().ShareString(std::move(text));
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

// Cell writes still queued go before anything that reads or closes a dataset.
[[nodiscard]] int FlushPending() { return Datasets().HasPending() ? CommitDataSet() : 0; }

// One value of a dataset's layout; the first failure ends the reading.
template <typename T>
class LayoutReading {
  public:
    template <typename Query>
    T Next(Query&& query) {
        if (m_status != 0) return T{};
        const T value = query(&m_status);
        return m_status == 0 ? value : T{};
    }
    int status() const { return m_status; }

  private:
    int m_status = 0;
};

// The obs index of every variable, read again after the layout changed.
int ReloadObsIndex(const std::string& dataset, DatastepDataSmb& entry) {
    LayoutReading<int> read;
    const char* name = dataset.c_str();
    const int variables = read.Next([&](int* err) { return GetVarCountInDS(name, err); });
    std::vector<int> obs;
    for (int i = 0; i < variables && read.status() == 0; ++i)
        obs.push_back(read.Next([&](int* err) { return GetVarObsIndex(name, i, err); }));
    // A failed reading leaves no index that looks valid.
    entry.ClearVarObsIndex();
    if (read.status() != 0) return read.status();
    for (int index : obs) entry.AddVarObsIndex(index);
    return 0;
}

// The counts and the layout of a dataset this process opened, recorded only
// when every one of the 5 + 2n reads succeeded: a failure caches nothing.
int RegisterDataset(std::string name) {
    if (name.empty() || name == "*") {
        int err = 0;
        const char* active = GetActive(&err);
        // 93 still names the dataset.
        if (err != 0 && err != VEXA_ACTIVE_ANSWERED) return err;
        name = active;
    }
    const char* dataset = name.c_str();
    LayoutReading<int> read;
    const int cases = read.Next([&](int* err) { return GetCaseCountInDS(dataset, err); });
    const int variables = read.Next([&](int* err) { return GetVarCountInDS(dataset, err); });
    auto entry = std::make_unique<DatastepDataSmb>();
    entry->SetOneCaseSize(read.Next([&](int* err) { return GetCaseLength(dataset, err); }));
    const int layout = read.Next([&](int* err) { return GetVarCountInDS(dataset, err); });
    for (int i = 0; i < layout && read.status() == 0; ++i) {
        entry->AddVarType(read.Next([&](int* err) { return GetVarTypeInDS(dataset, i, err); }));
        entry->AddVarObsIndex(read.Next([&](int* err) { return GetVarObsIndex(dataset, i, err); }));
    }
    if (read.status() != 0) return read.status();
    Datasets().AddOpen({name, cases, variables});
    Datasets().AddCached(name, std::move(entry));
    return 0;
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
            // The engine made the change; a cache that could not follow it
            // is left without an index, so no cell is placed by a stale one.
            if (int reloaded = ReloadObsIndex(dataset, *entry)) return reloaded;
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
    if (!api::Connection().stepOpen()) return VEXA_NO_STEP_OPEN;
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
    if (!name) return VEXA_BAD_ARGUMENT;
    return api::ChangeCall(
        cmd::kCreateDataset, Refusal::kWhenNotRunning, api::NothingToPrepare,
        [&] { return RegisterDataset(name); }, name, first, second);
}

int CopyDataset(const char* first, const char* second) {
    return api::StatusCall(cmd::kCopyDataset, Refusal::kWhenNotRunning, api::NoResult, first,
                           second);
}

int CloseDataset(const char* name) {
    if (!name) return VEXA_BAD_ARGUMENT;
    int flushed = 0;
    // The dataset closes even when the last writes failed; their failure is
    // the result of a close that succeeded.
    const int closed = api::ChangeCall(
        cmd::kCloseDataset, Refusal::kWhenNotRunning,
        [&] {
            flushed = FlushPending();
            return 0;
        },
        [&] {
            Datasets().RemoveOpen(name);
            return 0;
        },
        name);
    return closed != 0 ? closed : flushed;
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
    // 93 is an answer too, and its reply names the dataset.
    const int status = api::AnsweredCall(
        cmd::kGetActive, Refusal::kWhenNotRunning, VEXA_ACTIVE_ANSWERED, [&](CleXDSmb& reply) {
            const StringData& strings = reply.GetStringDataRef();
            name = api::Connection().sharedResults().ShareString(
                strings.Size() > 0 ? strings.Values().front() : "*");
            return 0;
        });
    api::Report(err, status);
    return name ? name : api::Connection().sharedResults().ShareString("*");
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
    return api::LocalCall(Refusal::kWhenNotRunning, dataset != nullptr, [&] {
        return QueueCell(dataset, row, variable,
                         [&](codec::CellRecords& records, std::string_view name) {
                             records.AppendNumeric(name, row, variable, value);
                         });
    });
}

int SetCCellValue(const char* dataset, int row, int variable, const char* value) {
    return api::LocalCall(Refusal::kWhenNotRunning, dataset && value, [&] {
        return QueueCell(dataset, row, variable,
                         [&](codec::CellRecords& records, std::string_view name) {
                             records.AppendString(name, row, variable, value);
                         });
    });
}

int CommitDataSet(void) {
    // The records are gone whatever the engine makes of them.
    return api::StatusCall(cmd::kCommitDataSet, Refusal::kWhenNotRunning, api::NoResult,
                           api::LentRecords{Datasets().Pending()});
}

double GetNCellValue(const char* dataset, int row, int variable, int* missing, int* err) {
    return api::LocalValue(0.0, err, [&](double& value) {
        // A cell read after a failed commit would not show the writes.
        if (int flushed = FlushPending()) return flushed;
        int status = 0;
        value = api::ValueCall(cmd::kGetNCellValue, Refusal::kNever, 0.0, &status,
                               api::NumericCellInto{missing}, dataset, row, variable);
        return status;
    });
}

const char* GetCCellValue(const char* dataset, int row, int variable, int* missing, int* err) {
    return api::LocalValue<const char*>(nullptr, err, [&](const char*& value) {
        if (int flushed = FlushPending()) return flushed;
        int status = 0;
        value = api::ValueCall<const char*>(cmd::kGetCCellValue, Refusal::kNever, nullptr, &status,
                                            api::StringCellInto{missing}, dataset, row, variable);
        return status;
    });
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
    const int found = api::Guarded([&] {
        entry = Cached(dataset);
        return 0;
    });
    if (found != 0) api::Report(err, found);
    // No cached case, no call: the caller's outputs stay as they were.
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
    return api::LocalValue(0.0, err, [&](double& value) -> int {
        if (!missing) return VEXA_BAD_ARGUMENT;
        DatastepDataSmb* entry = Cached(dataset);
        if (!entry) return 0;
        std::int32_t error = 0;
        value = entry->GetNCellValue(static_cast<std::uint32_t>(variable), *missing, error);
        return error;
    });
}

char* GetCCellValueFromCache(const char* dataset, int variable, int* err) {
    return api::LocalValue<char*>(nullptr, err, [&](char*& value) -> int {
        DatastepDataSmb* entry = Cached(dataset);
        if (!entry) return 0;
        std::int32_t error = 0;
        std::unique_ptr<char[]> text =
            entry->GetCCellValue(static_cast<std::uint32_t>(variable), error);
        if (error == 0) value = text.release();
        return error;
    });
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
    // No error output: a failure leaves the caller's outputs as they were.
    static_cast<void>(api::Guarded([&]() -> int {
        DatastepDataSmb* entry = Cached(dataset);
        if (!entry || !types || !count) return 0;
        std::unique_ptr<std::int32_t[]> info = entry->GetVarInfo(*count);
        if (info) *types = info.release();
        return 0;
    }));
}
