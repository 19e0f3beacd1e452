#include "summarycommands.h"

#include "shownvalues.h"

namespace engine {

std::vector<std::size_t> AddSplitDimensions(const CaseView& data, TableBuilder& table) {
    std::vector<std::size_t> dimensions;
    for (std::size_t variable : data.SplitVariables()) {
        dimensions.push_back(table.AddDimension(data.variable(variable).name, Place::kRow));
    }
    return dimensions;
}

ShownValue ValueCategory(const CaseView& data, std::size_t variable, const ValueKey& key) {
    const int position = static_cast<int>(variable);
    return key.isText ? VariableValue(data.Dictionary(), position, key.text)
                      : VariableValue(data.Dictionary(), position, key.number);
}

std::vector<std::size_t> GroupCoordinates(const CaseView& data, const CaseGroup& group,
                                          const std::vector<std::size_t>& splitDimensions,
                                          TableBuilder& table) {
    std::vector<std::size_t> at;
    const std::vector<std::size_t> split = data.SplitVariables();
    for (std::size_t i = 0; i < splitDimensions.size() && i < group.key.size(); ++i) {
        at.push_back(
            table.Category(splitDimensions[i], ValueCategory(data, split[i], group.key[i])));
    }
    return at;
}

}  // namespace engine
