#include "resultreaders.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <memory>
#include <vector>

#include "apiconnection.h"
#include "resultlists.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"

namespace api {
namespace {

constexpr std::size_t kMissingCellSize = 8;

int Shortfall(const char* what) {
    DxTraceError(what, VEXA_MALFORMED_MESSAGE);
    return VEXA_MALFORMED_MESSAGE;
}

// The first integer as a count, and the check that `block` holds that many.
template <typename Block>
bool Covers(const Block& block, int count) {
    return count <= 0 || block.Size() >= count;
}

std::vector<std::string> Strings(const StringData& block, int from, int count) {
    const auto& values = block.Values();
    return {values.begin() + from, values.begin() + from + count};
}

// Exactly the bytes of a fixed-size cell: shorter texts are zero-filled, and
// one that fills the cell gets no terminator.
void CopyIntoCell(const std::string& text, char* cell) {
    std::memset(cell, 0, kMissingCellSize);
    std::memcpy(cell, text.data(), std::min(text.size(), kMissingCellSize));
}

}  // namespace

int SharedStringReader::operator()(CleXDSmb& reply, const char*& value) const {
    const StringData& strings = reply.GetStringDataRef();
    if (strings.Size() == 0) {
        switch (whenMissing) {
            case MissingString::kEmpty:
                value = Connection().sharedResults().ShareString("");
                return 0;
            case MissingString::kNull:
                value = nullptr;
                return 0;
            case MissingString::kFails:
                return Shortfall("string block empty");
        }
    }
    value = Connection().sharedResults().ShareString(strings.Values().front());
    return 0;
}

bool StringMissingInto::usable() const { return format && buffers[0] && buffers[1] && buffers[2]; }

int StringMissingInto::operator()(CleXDSmb& reply) const {
    int missingFormat = 0;
    if (int status = ReadInt(reply, 0, missingFormat)) return status;
    const StringData& strings = reply.GetStringDataRef();
    if (strings.Size() < 3) return Shortfall("fewer than 3 missing values");
    *format = missingFormat;
    for (int i = 0; i < 3; ++i)
        CopyIntoCell(strings.Values()[static_cast<std::size_t>(i)], buffers[i]);
    return 0;
}

int StringArrayInto::operator()(CleXDSmb& reply) const {
    int entries = 0;
    if (int status = ReadInt(reply, 0, entries)) return status;
    const StringData& strings = reply.GetStringDataRef();
    if (!Covers(strings, entries)) return Shortfall("fewer strings than the count");
    *count = entries;
    if (entries > 0) *texts = CallerStringArray(Strings(strings, 0, entries));
    return 0;
}

int AllStringsInto::operator()(CleXDSmb& reply) const {
    const StringData& strings = reply.GetStringDataRef();
    if (strings.Size() > 0) *texts = CallerStringArray(strings.Values());
    *count = strings.Size();
    return 0;
}

int NumericLabelsInto::operator()(CleXDSmb& reply) const {
    int entries = 0;
    if (int status = ReadInt(reply, 0, entries)) return status;
    const DoubleData& numbers = reply.GetDoubleDataRef();
    const StringData& texts = reply.GetStringDataRef();
    if (!Covers(numbers, entries) || !Covers(texts, entries))
        return Shortfall("fewer labels than the count");
    *count = entries;
    if (entries <= 0) return 0;
    auto labelValues = std::make_unique<double[]>(static_cast<std::size_t>(entries));
    std::copy_n(numbers.Values().begin(), entries, labelValues.get());
    *labels = CallerStringArray(Strings(texts, 0, entries));
    *values = labelValues.release();
    return 0;
}

int StringLabelsInto::operator()(CleXDSmb& reply) const {
    int entries = 0;
    if (int status = ReadInt(reply, 0, entries)) return status;
    const auto& blocks = reply.GetStringArrayRef();
    if (entries > 0 &&
        (blocks.size() < 2 || !Covers(blocks[0], entries) || !Covers(blocks[1], entries))) {
        return Shortfall("fewer labels than the count");
    }
    *count = entries;
    if (entries <= 0) return 0;
    std::unique_ptr<char*[]> valueTexts(CallerStringArray(Strings(blocks[0], 0, entries)));
    *labels = CallerStringArray(Strings(blocks[1], 0, entries));
    *values = valueTexts.release();
    return 0;
}

int ReadStringList(CleXDSmb& reply, void*& list) {
    auto strings = std::make_unique<StringList>();
    strings->items = reply.GetStringDataRef().Values();
    list = strings.release();
    return 0;
}

int MultiResponseSetInto::operator()(CleXDSmb& reply, int& done) const {
    const StringData& strings = reply.GetStringDataRef();
    const bool hasIntegers = reply.GetLongDataRef().Size() >= 2;
    const bool hasTexts = strings.Size() >= 2;
    int first = 0;
    int second = 0;
    if (hasIntegers || whenShort == ShortReply::kFails) {
        if (int status = ReadInt(reply, 0, first)) return status;
        if (int status = ReadInt(reply, 1, second)) return status;
    }
    if (!hasTexts && whenShort == ShortReply::kFails) return Shortfall("fewer than 2 set strings");
    auto memberList = std::make_unique<StringList>();
    if (strings.Size() > 2) memberList->items = Strings(strings, 2, strings.Size() - 2);
    if (hasTexts) {
        std::unique_ptr<char[]> labelText(CallerString(strings.Values()[0]));
        *secondText = CallerString(strings.Values()[1]);
        *label = labelText.release();
    }
    if (hasIntegers) {
        *firstInteger = first;
        *secondInteger = second;
    }
    *members = memberList.release();
    done = 0;
    return 0;
}

int ReadWideText(CleXDSmb& reply, const std::uint16_t*& value) {
    const char16_t* text = reply.GetwStringData();
    const std::size_t length = text ? static_cast<std::size_t>(reply.GetwStringLength()) : 0;
    value = Connection().sharedResults().ShareWideText(text, length);
    return 0;
}

int ImageInto::operator()(CleXDSmb& reply, char*& data) const {
    int bytes = 0;
    if (int status = ReadInt(reply, 0, bytes)) return status;
    std::string typeText;
    if (int status = ReadString(reply, 0, typeText)) return status;
    // The caller reads `size` bytes from the data: never more than arrived.
    if (bytes < 0 || bytes > reply.GetBinaryLength()) {
        return Shortfall("image size <= binary length");
    }
    std::unique_ptr<char[]> typeCopy(typeText.empty() ? nullptr : CallerString(typeText));
    data = reply.GetBinaryData();
    if (typeCopy) *type = typeCopy.release();
    *size = bytes;
    return 0;
}

int WrongStringCount(int expected) {
    const std::string condition = "string count == " + std::to_string(expected);
    return Shortfall(condition.c_str());
}

int LocaleInto::operator()(CleXDSmb& reply) const {
    const StringData& strings = reply.GetStringDataRef();
    if (strings.Size() == 0) return 0;
    *text = CallerString(strings.Values().front());
    // An empty name would make setlocale take the environment's locale, which
    // is not the engine's.
    if (**text != '\0') std::setlocale(LC_ALL, *text);
    return 0;
}

}  // namespace api
