// The dictionary properties of a variable and of a data file beyond name and
// type: display format, measurement level, role, missing values, value
// labels, custom attributes and multiple response sets. Plain values, copied
// freely; no threading of their own.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace engine {

enum FormatCode : int {
    kFormatString = 1,   // A
    kFormatNumeric = 5,  // F
};

struct PrintFormat {
    int code = 0;  // 0 until a format is given
    int width = 0;
    int decimals = 0;

    // "F8.2", "A10".
    std::string Text() const;
    bool operator==(const PrintFormat&) const = default;
};

// "F8.2", "F3", "A10" (letters case-insensitive) into a format; nullopt for
// another letter, a width outside 1..255, or decimals not below the width.
std::optional<PrintFormat> ParsePrintFormat(const std::string& text);

enum MeasurementLevel : int { kNominal = 1, kOrdinal = 2, kScale = 3 };
enum Role : int {
    kRoleInput = 0,
    kRoleTarget = 1,
    kRoleBoth = 2,
    kRoleNone = 3,
    kRolePartition = 4,
    kRoleSplit = 5
};
enum Alignment : int { kAlignLeft = 0, kAlignRight = 1, kAlignCenter = 2 };

enum MissingFormat : int {
    kNoMissing = 0,
    // 1..3: that many discrete values.
    kMissingRange = -2,
    kMissingRangeAndValue = -3,
};

// String missing values are compared by their first 8 bytes, so none is
// longer than that.
inline constexpr std::size_t kStringMissingWidth = 8;

struct MissingValues {
    int format = kNoMissing;
    // Numeric variable: discrete values, or low, high and the extra value.
    std::array<double, 3> numbers{};
    // String variable: up to three discrete values.
    std::array<std::string, 3> texts;
};

// Names in the order they were first given; setting a name again replaces
// its values in place.
class AttributeSet {
  public:
    void Set(const std::string& name, std::vector<std::string> values);
    // Null when the name is not set.
    const std::vector<std::string>* Find(const std::string& name) const;
    std::vector<std::string> Names() const;
    bool empty() const { return m_entries.empty(); }

  private:
    std::vector<std::pair<std::string, std::vector<std::string>>> m_entries;
};

// Value labels in the order given; a value labelled again keeps its place.
template <typename Value>
class ValueLabels {
  public:
    void Set(const Value& value, std::string label) {
        for (auto& entry : m_entries) {
            if (entry.first == value) {
                entry.second = std::move(label);
                return;
            }
        }
        m_entries.emplace_back(value, std::move(label));
    }
    const std::vector<std::pair<Value, std::string>>& entries() const { return m_entries; }

  private:
    std::vector<std::pair<Value, std::string>> m_entries;
};

struct VariableProperties {
    PrintFormat format;
    int level = kScale;
    int role = kRoleInput;
    int alignment = kAlignRight;
    int columnWidth = 8;
    MissingValues missing;
    ValueLabels<double> numericLabels;
    ValueLabels<std::string> stringLabels;
    AttributeSet attributes;
};

// What a variable of this type has when its dictionary says nothing:
// F8.2 scale right-aligned for numbers, A<width> nominal left-aligned for text.
VariableProperties DefaultProperties(int type);

enum MultiResponseKind : int { kCategorySet = 1, kDichotomySet = 2 };

struct MultiResponseSet {
    std::string name;  // starts with '$'
    std::string label;
    int kind = kCategorySet;
    // The value counted in a dichotomy set, as text.
    std::string countedValue;
    int second = 0;
    std::vector<std::string> members;
};

struct FileDictionary {
    AttributeSet attributes;
    std::vector<MultiResponseSet> sets;
    // Empty when cases are not weighted.
    std::string weight;
    std::vector<std::string> split;

    const MultiResponseSet* FindSet(const std::string& name) const;
};

}  // namespace engine
