// What the summary commands (DESCRIBE, TALLY, CROSSCOUNT) share: the
// dimensions of the split-file groups that lead their tables, and a group's
// categories on them. Pure helpers over a CaseView and a TableBuilder.
#pragma once

#include <cstddef>
#include <vector>

#include "casestatistics.h"
#include "enginetables.h"

namespace engine {

// One row dimension per split variable, named by the variable.
std::vector<std::size_t> AddSplitDimensions(const CaseView& data, TableBuilder& table);
// The group's category on each split dimension, as cell coordinates.
std::vector<std::size_t> GroupCoordinates(const CaseView& data, const CaseGroup& group,
                                          const std::vector<std::size_t>& splitDimensions,
                                          TableBuilder& table);
// A value of a variable as a category: its label, else the formatted value.
ShownValue ValueCategory(const CaseView& data, std::size_t variable, const ValueKey& key);

}  // namespace engine
