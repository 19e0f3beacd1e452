#include "codec/obs.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "codec/bytereader.h"
#include "codec/bytewriter.h"

OBS OBS::FromText(std::string_view text) {
    OBS cell = Blanks();
    if (!text.empty())
        std::memcpy(cell.bytes, text.data(), std::min(text.size(), sizeof cell.bytes));
    return cell;
}

OBS OBS::Blanks() {
    OBS cell;
    std::memset(cell.bytes, ' ', sizeof cell.bytes);
    return cell;
}

bool OBS::IsBlank() const {
    return std::all_of(std::begin(bytes), std::end(bytes),
                       [](unsigned char b) { return b == ' '; });
}
