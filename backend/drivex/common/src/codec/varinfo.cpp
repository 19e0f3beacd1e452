#include "codec/varinfo.h"

#include <algorithm>

void VarInfo::SetNumericMissing(std::int32_t format, double value1, double value2, double value3) {
    missingFormat = format;
    missingValue[0] = OBS::FromNumber(value1);
    missingValue[1] = OBS::FromNumber(value2);
    missingValue[2] = OBS::FromNumber(value3);
}

void VarInfo::SetStringMissingValue(std::int32_t which, std::string_view value) {
    if (which < 0 || which > 2) return;
    missingValue[which] = OBS::FromText(value);
}

std::int32_t VarInfo::NumericMissing(const OBS& cell) const {
    if (cell.Bits() == codec::kSystemMissingBits) return SYSTEM_MISSING;
    // Discrete values compare as bit patterns, so -0.0 is not 0.0 and a NaN
    // value can be declared missing; ranges compare as doubles.
    const auto in_range = [&] {
        const double x = cell.AsNumber();
        return missingValue[0].AsNumber() <= x && x <= missingValue[1].AsNumber();
    };
    switch (missingFormat) {
        case 1:
        case 2:
        case 3: {
            const auto end = missingValue + missingFormat;
            return std::find(missingValue, end, cell) != end ? USER_MISSING : NOT_MISSING;
        }
        case RANGE:
            return in_range() ? USER_MISSING : NOT_MISSING;
        case RANGE_AND_VALUE:
            return (cell == missingValue[2] || in_range()) ? USER_MISSING : NOT_MISSING;
        default:
            return NOT_MISSING;
    }
}

std::int32_t VarInfo::StringMissing(std::span<const OBS> cells) const {
    if (missingFormat < 1 || missingFormat > 3) return NOT_MISSING;
    const std::size_t length = static_cast<std::size_t>(ObsLength());
    if (cells.size() < length) return NOT_MISSING;
    // Only the first 8 bytes of a missing value are known: the rest of the
    // value must be blank.
    const auto rest = cells.subspan(1, length - 1);
    if (!std::all_of(rest.begin(), rest.end(), [](const OBS& c) { return c.IsBlank(); })) {
        return NOT_MISSING;
    }
    const auto end = missingValue + missingFormat;
    return std::find(missingValue, end, cells.front()) != end ? USER_MISSING : NOT_MISSING;
}
