#include "shownvalues.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace engine {
namespace {

struct FormatRule {
    std::string_view kind;
    int decimals;
    // Added to the bound variable's decimals instead, when >= 0.
    int beyondVariable;
    const char* suffix;
};

constexpr FormatRule kRules[] = {
    {"Count", 0, -1, ""},       {"Percent", 1, -1, "%"},      {"PercentNoSign", 1, -1, ""},
    {"Proportion", 3, -1, ""},  {"Significance", 3, -1, ""},  {"Correlation", 3, -1, ""},
    {"Coefficient", 3, -1, ""}, {"CoefficientSE", 3, -1, ""}, {"CoefficientVar", 3, -1, ""},
    {"GeneralStat", 3, -1, ""}, {"Residual", 2, -1, ""},      {"Mean", 2, 2, ""},
    {"Variable", 0, 0, ""},     {"StdDev", 2, 2, ""},         {"Difference", 1, 1, ""},
    {"Sum", 0, 0, ""},
};

const FormatRule& RuleFor(const std::string& kind) {
    for (const FormatRule& rule : kRules) {
        if (rule.kind == kind) return rule;
    }
    return kRules[9];  // GeneralStat
}

int DecimalsOf(const Dataset& dataset, const FormatRule& rule, int variable) {
    if (rule.beyondVariable < 0 || variable < 0 ||
        static_cast<std::size_t>(variable) >= dataset.VariableCount()) {
        return rule.decimals;
    }
    return dataset.variable(variable).properties.format.decimals + rule.beyondVariable;
}

}  // namespace

std::string FixedText(double value, int decimals) {
    if (value == kSystemMissing) return ".";
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string ShortestText(double value) {
    char text[40];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    // XPath's number() reads no exponent, so a value of moderate size is
    // written in plain decimals ("140", not "1.4e+02").
    if (std::strchr(text, 'e') && std::fabs(value) < 1e21 && std::fabs(value) >= 1e-7) {
        char plain[64];
        for (int decimals = 0; decimals <= 24; ++decimals) {
            std::snprintf(plain, sizeof plain, "%.*f", decimals, value);
            if (std::strtod(plain, nullptr) == value) return plain;
        }
    }
    return text;
}

ShownValue NumberValue(double value) {
    ShownValue shown;
    shown.kind = ShownValue::Kind::kNumber;
    shown.number = value;
    shown.text = value == kSystemMissing ? "." : ShortestText(value);
    return shown;
}

ShownValue StringValue(std::string text) {
    ShownValue shown;
    shown.kind = ShownValue::Kind::kString;
    shown.text = std::move(text);
    return shown;
}

ShownValue DateValue(std::string text) {
    ShownValue shown = StringValue(std::move(text));
    shown.kind = ShownValue::Kind::kDate;
    return shown;
}

ShownValue VariableNameValue(const Dataset& dataset, int position) {
    const Variable& variable = dataset.variable(position);
    ShownValue shown;
    shown.kind = ShownValue::Kind::kVariableName;
    shown.variable = position;
    shown.variableName = variable.name;
    shown.text = variable.label.empty() ? variable.name : variable.label;
    return shown;
}

ShownValue VariableValue(const Dataset& dataset, int position, double value) {
    const Variable& variable = dataset.variable(position);
    ShownValue shown;
    shown.kind = ShownValue::Kind::kVariableValue;
    shown.variable = position;
    shown.variableName = variable.name;
    shown.number = value;
    shown.text = FixedText(value, variable.properties.format.decimals);
    for (const auto& [labelled, label] : variable.properties.numericLabels.entries()) {
        if (labelled == value) shown.text = label;
    }
    return shown;
}

ShownValue VariableValue(const Dataset& dataset, int position, const std::string& value) {
    const Variable& variable = dataset.variable(position);
    ShownValue shown;
    shown.kind = ShownValue::Kind::kVariableValue;
    shown.variable = position;
    shown.variableName = variable.name;
    std::string trimmed = value.substr(0, value.find_last_not_of(' ') + 1);
    shown.text = trimmed;
    for (const auto& [labelled, label] : variable.properties.stringLabels.entries()) {
        if (labelled.substr(0, labelled.find_last_not_of(' ') + 1) == trimmed) shown.text = label;
    }
    return shown;
}

ShownValue NumberCellValue(const Dataset& dataset, double value, const FormatSpec& format) {
    const FormatRule& rule = RuleFor(format.kind);
    ShownValue shown;
    shown.kind = ShownValue::Kind::kNumber;
    shown.number = value;
    shown.text = FixedText(value, DecimalsOf(dataset, rule, format.variable));
    if (value != kSystemMissing) shown.text += rule.suffix;
    return shown;
}

}  // namespace engine
