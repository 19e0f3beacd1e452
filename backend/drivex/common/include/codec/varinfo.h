// One variable of a case cursor: its type and missing-value definition, and
// the test whether a case value is missing by that definition. A plain value;
// no ownership, no threading concerns.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "codec/obs.h"

struct VarInfo {
    static constexpr std::int32_t NOT_MISSING = 0;
    static constexpr std::int32_t USER_MISSING = 1;
    static constexpr std::int32_t SYSTEM_MISSING = 2;

    // Missing formats: 0 none, 1..3 that many discrete values, -2 the range
    // value 1..value 2, -3 that range or value 3 (-2 and -3 numeric only).
    static constexpr std::int32_t RANGE = -2;
    static constexpr std::int32_t RANGE_AND_VALUE = -3;

    std::int32_t type = 0;  // 0 numeric, else the string width in bytes
    OBS missingValue[3];
    std::int32_t missingFormat = 0;

    bool IsNumeric() const { return type == 0; }
    std::int32_t ObsLength() const { return codec::ObsLength(type); }

    void SetNumericMissing(std::int32_t format, double value1, double value2, double value3);
    // Keeps the first 8 bytes of `value` as missing value `which` (0..2),
    // blank-padded like the case values it is compared with. An index outside
    // 0..2 changes nothing.
    void SetStringMissingValue(std::int32_t which, std::string_view value);

    // NOT_MISSING, USER_MISSING or SYSTEM_MISSING for the value whose cells
    // start `cells` (numeric: 1 cell, string: ObsLength() cells). Reads only
    // inside `cells`; a string value shorter than its width is never missing.
    std::int32_t IsMissing(std::span<const OBS> cells) const {
        if (cells.empty()) return NOT_MISSING;
        if (!IsNumeric()) return StringMissing(cells);
        // Inline for a cursor's value reads: most variables declare no
        // missing values.
        if (cells.front().Bits() == codec::kSystemMissingBits) return SYSTEM_MISSING;
        return missingFormat == 0 ? NOT_MISSING : NumericMissing(cells.front());
    }

  private:
    std::int32_t NumericMissing(const OBS& cell) const;
    std::int32_t StringMissing(std::span<const OBS> cells) const;
};
