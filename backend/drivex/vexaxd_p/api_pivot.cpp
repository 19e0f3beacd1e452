// Pivot tables, text blocks and number formats. Each call carries the keys
// that name what it changes; the engine matches them.
#include "callshapes.h"
#include "codec/protocol.h"
#include "vexaxd_p.h"

namespace {

template <typename... Args>
int OutputCall(int command, const Args&... args) {
    return api::StatusCall(command, api::Refusal::kWhenNotRunning, api::NoResult, args...);
}

}  // namespace

int StartPivotTable(const char* t1, const char* t2, const char* t3, bool flag) {
    return OutputCall(cmd::kStartPivotTable, t1, t2, t3, flag);
}

int HidePivotTableTitle(const char* t1, const char* t2, const char* t3, bool flag) {
    return OutputCall(cmd::kHidePivotTableTitle, t1, t2, t3, flag);
}

int PivotTableCaption(const char* t1, const char* t2, const char* t3, bool flag,
                      const char* caption) {
    return OutputCall(cmd::kPivotTableCaption, t1, t2, t3, flag, caption);
}

int AddCaptionFootnotes(const char* t1, const char* t2, const char* t3, bool flag,
                        const char* caption, const char* footnote) {
    return OutputCall(cmd::kAddCaptionFootnotes, t1, t2, t3, flag, caption, footnote);
}

int MinDataColumnWidth(const char* t1, const char* t2, const char* t3, bool flag, int width) {
    return OutputCall(cmd::kMinDataColumnWidth, t1, t2, t3, flag, width);
}

int MaxDataColumnWidth(const char* t1, const char* t2, const char* t3, bool flag, int width) {
    return OutputCall(cmd::kMaxDataColumnWidth, t1, t2, t3, flag, width);
}

int AddOutlineFootnotes(const char* t1, const char* t2, const char* t3, const char* footnote,
                        bool flag) {
    return OutputCall(cmd::kAddOutlineFootnotes, t1, t2, t3, footnote, flag);
}

int AddTitleFootnotes(const char* t1, const char* t2, const char* t3, const char* footnote,
                      bool flag) {
    return OutputCall(cmd::kAddTitleFootnotes, t1, t2, t3, footnote, flag);
}

int AddProcFootnotes(const char* footnote) { return OutputCall(cmd::kAddProcFootnotes, footnote); }

int AddDimension(const char* t1, const char* t2, const char* t3, bool flag, const char* dimension,
                 int i1, int i2, bool b1, bool b2) {
    return OutputCall(cmd::kAddDimension, t1, t2, t3, flag, dimension, i1, i2, b1, b2);
}

int AddDimFootnotes(const char* t1, const char* t2, const char* t3, bool flag,
                    const char* dimension, int i1, int i2, bool b1, bool b2, const char* footnote) {
    return OutputCall(cmd::kAddDimFootnotes, t1, t2, t3, flag, dimension, i1, i2, b1, b2, footnote);
}

int AddNumberCategory(const char* t1, const char* t2, const char* t3, bool flag,
                      const char* dimension, int i1, int i2, bool b1, bool b2, double value) {
    return OutputCall(cmd::kAddNumberCategory, t1, t2, t3, flag, dimension, i1, i2, b1, b2, value);
}

int AddStringCategory(const char* t1, const char* t2, const char* t3, bool flag,
                      const char* dimension, int i1, int i2, bool b1, bool b2, const char* value) {
    return OutputCall(cmd::kAddStringCategory, t1, t2, t3, flag, dimension, i1, i2, b1, b2, value);
}

int AddVarNameCategory(const char* t1, const char* t2, const char* t3, bool flag,
                       const char* dimension, int i1, int i2, bool b1, bool b2, int position) {
    return OutputCall(cmd::kAddVarNameCategory, t1, t2, t3, flag, dimension, i1, i2, b1, b2,
                      position);
}

int AddVarValueDoubleCategory(const char* t1, const char* t2, const char* t3, bool flag,
                              const char* dimension, int i1, int i2, bool b1, bool b2, int position,
                              double value) {
    return OutputCall(cmd::kAddVarValueDoubleCategory, t1, t2, t3, flag, dimension, i1, i2, b1, b2,
                      position, value);
}

int AddVarValueStringCategory(const char* t1, const char* t2, const char* t3, bool flag,
                              const char* dimension, int i1, int i2, bool b1, bool b2, int position,
                              const char* value) {
    return OutputCall(cmd::kAddVarValueStringCategory, t1, t2, t3, flag, dimension, i1, i2, b1, b2,
                      position, value);
}

int AddCategoryFootnotes(const char* t1, const char* t2, const char* t3, bool flag,
                         const char* dimension, int i1, int i2, bool b1, bool b2,
                         const char* footnote) {
    return OutputCall(cmd::kAddCategoryFootnotes, t1, t2, t3, flag, dimension, i1, i2, b1, b2,
                      footnote);
}

int SetNumberCell(const char* t1, const char* t2, const char* t3, bool flag, const char* dimension,
                  int i1, int i2, bool b1, bool b2, double value) {
    return OutputCall(cmd::kSetNumberCell, t1, t2, t3, flag, dimension, i1, i2, b1, b2, value);
}

int SetStringCell(const char* t1, const char* t2, const char* t3, bool flag, const char* dimension,
                  int i1, int i2, bool b1, bool b2, const char* value) {
    return OutputCall(cmd::kSetStringCell, t1, t2, t3, flag, dimension, i1, i2, b1, b2, value);
}

int SetVarNameCell(const char* t1, const char* t2, const char* t3, bool flag, const char* dimension,
                   int i1, int i2, bool b1, bool b2, int position) {
    return OutputCall(cmd::kSetVarNameCell, t1, t2, t3, flag, dimension, i1, i2, b1, b2, position);
}

int SetVarValueDoubleCell(const char* t1, const char* t2, const char* t3, bool flag,
                          const char* dimension, int i1, int i2, bool b1, bool b2, int position,
                          double value) {
    return OutputCall(cmd::kSetVarValueDoubleCell, t1, t2, t3, flag, dimension, i1, i2, b1, b2,
                      position, value);
}

int SetVarValueStringCell(const char* t1, const char* t2, const char* t3, bool flag,
                          const char* dimension, int i1, int i2, bool b1, bool b2, int position,
                          const char* value) {
    return OutputCall(cmd::kSetVarValueStringCell, t1, t2, t3, flag, dimension, i1, i2, b1, b2,
                      position, value);
}

int SetDateCell(const char* t1, const char* t2, const char* t3, bool flag, const char* dimension,
                int i1, int i2, bool b1, bool b2, const char* dateText) {
    return OutputCall(cmd::kSetDateCell, t1, t2, t3, flag, dimension, i1, i2, b1, b2, dateText);
}

int AddCellFootnotes(const char* t1, const char* t2, const char* t3, bool flag,
                     const char* dimension, int i1, int i2, bool b1, bool b2,
                     const char* footnote) {
    return OutputCall(cmd::kAddCellFootnotes, t1, t2, t3, flag, dimension, i1, i2, b1, b2,
                      footnote);
}

int SetFormatSpecCoefficient(void) { return OutputCall(cmd::kSetFormatSpecCoefficient); }
int SetFormatSpecCoefficientSE(void) { return OutputCall(cmd::kSetFormatSpecCoefficientSE); }
int SetFormatSpecCoefficientVar(void) { return OutputCall(cmd::kSetFormatSpecCoefficientVar); }
int SetFormatSpecCorrelation(void) { return OutputCall(cmd::kSetFormatSpecCorrelation); }
int SetFormatSpecGeneralStat(void) { return OutputCall(cmd::kSetFormatSpecGeneralStat); }
int SetFormatSpecCount(void) { return OutputCall(cmd::kSetFormatSpecCount); }
int SetFormatSpecPercent(void) { return OutputCall(cmd::kSetFormatSpecPercent); }
int SetFormatSpecPercentNoSign(void) { return OutputCall(cmd::kSetFormatSpecPercentNoSign); }
int SetFormatSpecProportion(void) { return OutputCall(cmd::kSetFormatSpecProportion); }
int SetFormatSpecSignificance(void) { return OutputCall(cmd::kSetFormatSpecSignificance); }
int SetFormatSpecResidual(void) { return OutputCall(cmd::kSetFormatSpecResidual); }

int SetFormatSpecMean(int position) { return OutputCall(cmd::kSetFormatSpecMean, position); }
int SetFormatSpecVariable(int position) {
    return OutputCall(cmd::kSetFormatSpecVariable, position);
}
int SetFormatSpecStdDev(int position) { return OutputCall(cmd::kSetFormatSpecStdDev, position); }
int SetFormatSpecDifference(int position) {
    return OutputCall(cmd::kSetFormatSpecDifference, position);
}
int SetFormatSpecSum(int position) { return OutputCall(cmd::kSetFormatSpecSum, position); }

int AddTextBlock(const char* first, const char* second, const char* third, int value) {
    return OutputCall(cmd::kAddTextBlock, first, second, third, value);
}
