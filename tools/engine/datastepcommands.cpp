// The data-step family: the step's start and end, the datasets made in it,
// and batches of cells (a range of rows times all variables) for the
// client's cell readers.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "caseblock.h"
#include "codec/protocol.h"
#include "codec/textcells.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

// Rows per batch: a pass row by row costs one round trip per this many.
constexpr std::size_t kBatchRows = 4096;
// Wide datasets get fewer rows, so that a reply stays far below what a
// message may hold.
constexpr std::size_t kBatchCells = 1 << 20;

int StartDataStep(const RequestArgs&, CleXDSmb&, DataContext& state) {
    if (state.datasets.StepOpen() || state.output.IsOpen()) return kDataStepOpen;
    state.datasets.StartStep();
    return VEXA_OK;
}

// The datasets made in the step stay; only the step ends.
int EndDataStep(const RequestArgs&, CleXDSmb&, DataContext& state) {
    if (!state.datasets.StepOpen()) return kNoDataStep;
    state.datasets.EndStep();
    return VEXA_OK;
}

int StepDatasets(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    for (const auto& name : state.datasets.StepNames()) reply.SetString(name);
    return VEXA_OK;
}

// Request: string dataset, long flag (the client holds a batch of it: not
// needed here), long row. Reply: longs [first row, variable count, types...,
// last row, case count]; per cell in row-major order a missing flag (first
// long array), a double (first double array, 0 for text) and a string
// (first string array, empty for a number).
int FetchBatch(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = NamedDataset(args, state, data)) return failed;
    auto flag = args.Int(0);
    auto row = args.Int(1);
    if (!flag || !row) return VEXA_MALFORMED_MESSAGE;
    if (*row < 0 || static_cast<std::size_t>(*row) >= data->CaseCount()) return kNoSuchRow;
    const auto first = static_cast<std::size_t>(*row);
    const std::size_t variables = data->VariableCount();
    const std::size_t rows =
        std::clamp<std::size_t>(kBatchCells / std::max<std::size_t>(variables, 1), 1, kBatchRows);
    const std::size_t last = std::min(data->CaseCount(), first + rows) - 1;

    reply.SetLong(static_cast<std::int32_t>(first));
    reply.SetLong(static_cast<std::int32_t>(variables));
    for (std::size_t v = 0; v < variables; ++v) reply.SetLong(data->variable(v).type);
    reply.SetLong(static_cast<std::int32_t>(last));
    reply.SetLong(static_cast<std::int32_t>(data->CaseCount()));

    LongData flags;
    DoubleData numbers;
    // The strings go in wire form: a numeric cell's empty string is four
    // bytes, not a string object.
    codec::TextCells texts;
    // Each block grows once, and its cells are written where they lie.
    const std::size_t cellCount = (last - first + 1) * variables;
    std::int32_t* flagAt = flags.Extend(cellCount);
    double* numberAt = numbers.Extend(cellCount);
    texts.Reserve(cellCount, 0);
    const CaseStore& store = data->cases();
    // Per variable its record, whose missing test is inline, and its cells.
    struct Column {
        VarInfo record;
        std::size_t obs;
        bool numeric;
    };
    std::vector<Column> columns;
    columns.reserve(variables);
    for (std::size_t v = 0; v < variables; ++v) {
        columns.push_back({CursorRecord(data->variable(v)), store.ObsIndex(v), store.Type(v) == 0});
    }
    bool fits = true;
    // Numeric cells' empty strings go in runs, each run at once.
    std::size_t emptyRun = 0;
    for (std::size_t r = first; r <= last; ++r) {
        const std::span<const OBS> cells = store.Case(r);
        for (std::size_t v = 0; v < variables; ++v) {
            const Column& column = columns[v];
            *flagAt++ = column.record.IsMissing(cells.subspan(column.obs));
            if (column.numeric) {
                *numberAt++ = cells[column.obs].AsNumber();
                ++emptyRun;
            } else {
                *numberAt++ = 0.0;
                fits = texts.AppendEmpty(std::exchange(emptyRun, 0)) && fits;
                fits = texts.Append(store.Text(r, v)) && fits;
            }
        }
    }
    if (!texts.AppendEmpty(emptyRun) || !fits) return VEXA_BAD_ARGUMENT;
    reply.SetLongArray(std::move(flags));
    reply.SetDoubleArray(std::move(numbers));
    reply.SetTextCells(std::move(texts));
    return VEXA_OK;
}

}  // namespace

void RegisterDataStepCommands(CommandTable& table) {
    table.Register(cmd::kStartDataStep, StartDataStep);
    table.Register(cmd::kEndDataStep, EndDataStep);
    table.Register(cmd::kGetDatastepDatasets, StepDatasets);
    table.Register(cmd::kFetchDatastep, FetchBatch);
}

}  // namespace engine
