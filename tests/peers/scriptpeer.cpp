// Plays the engine for the API tests: one scripted reply per request.
//   scriptpeer <request pipe> <reply pipe> <record file> <reply>...
// Serves as many requests as replies are given. Each request's raw image is
// appended to the record file as one line of hex digits before it is answered.
// A reply is ';'-separated fields, each adding to the reply message:
//   err=N          error code
//   int=1,2,3      integers          dbl=1.5,-2    doubles
//   str=TEXT       one string (str= alone is one empty string)
//   arr=a,b,c      one string block of the string-block array (arr= is empty)
//   iarr=1,2       one integer block of the integer-block array (iarr= is empty)
//   darr=1.5,2     one double block of the double-block array (darr= is empty)
//   wide=TEXT      the wide string: TEXT's UTF-8 as UTF-16
//   bin=TEXT       the binary string: TEXT's bytes
//   void=HEX       the void data: the bytes of HEX's pairs of hex digits
// TEXT may use %XX for any byte (%3B is ';', %2C is ',', %00 a zero byte).
// Fields not given leave their block empty; "" is a reply without values.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "codec/clexdsmb.h"
#include "peerpipes.h"
#include "transport/sendreceive.h"
#include "transport/vexapipe.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string Unescape(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            bytes.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

// Enough UTF-8 for test texts: sequences are taken as well-formed.
std::u16string Utf16(const std::string& utf8) {
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        char32_t point = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
            point = point << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += 1 + extra;
        if (point >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(point));
        }
    }
    return units;
}

bool BuildReply(const std::string& script, CleXDSmb& reply) {
    for (const std::string& field : Split(script, ';')) {
        if (field.empty()) continue;
        std::size_t equals = field.find('=');
        if (equals == std::string::npos) return false;
        const std::string key = field.substr(0, equals);
        const std::string value = field.substr(equals + 1);
        if (key == "err") {
            reply.SetErrorCode(std::atoi(value.c_str()));
        } else if (key == "str") {
            reply.SetString(Unescape(value));
        } else if (key == "wide") {
            reply.SetwString(Utf16(Unescape(value)).c_str());
        } else if (key == "bin") {
            const std::string bytes = Unescape(value);
            reply.SetBinaryString(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        } else if (key == "void") {
            if (value.size() % 2 != 0) return false;
            const std::size_t length = value.size() / 2;
            void* data = std::malloc(length > 0 ? length : 1);
            if (!data) return false;
            auto* bytes = static_cast<unsigned char*>(data);
            for (std::size_t i = 0; i < length; ++i) {
                bytes[i] =
                    static_cast<unsigned char>(std::stoi(value.substr(2 * i, 2), nullptr, 16));
            }
            reply.SetVoidData(data, static_cast<std::int32_t>(length));
        } else if (key == "int" || key == "dbl" || key == "arr" || key == "iarr" || key == "darr") {
            StringData block;
            LongData integers;
            DoubleData doubles;
            for (const std::string& item : Split(value, ',')) {
                if (value.empty()) break;
                if (key == "int") reply.SetLong(std::atoi(item.c_str()));
                if (key == "dbl") reply.SetDouble(std::atof(item.c_str()));
                if (key == "arr") block.SetValue(Unescape(item));
                if (key == "iarr") integers.SetValue(std::atoi(item.c_str()));
                if (key == "darr") doubles.SetValue(std::atof(item.c_str()));
            }
            if (key == "arr") reply.SetStringArray(block);
            if (key == "iarr") reply.SetLongArray(integers);
            if (key == "darr") reply.SetDoubleArray(doubles);
        } else {
            return false;
        }
    }
    return true;
}

// Reads one whole image as it arrived, piece by piece.
bool ReadImage(VexaPipe& request, std::vector<unsigned char>& image) {
    std::int32_t total = CleXDSmb::MIN_IMAGE_SIZE;
    image.clear();
    unsigned char piece[VexaPipe::PIECE_SIZE];
    while (image.size() < static_cast<std::size_t>(total)) {
        int count = 0;
        if (request.ReadData(VexaPipe::PIECE_SIZE, piece, count) != 0 || count == 0) return false;
        image.insert(image.end(), piece, piece + count);
        if (image.size() >= 4) {
            total = static_cast<std::int32_t>(image[0] | image[1] << 8 | image[2] << 16 |
                                              image[3] << 24);
        }
    }
    return true;
}

bool Record(const char* path, const std::vector<unsigned char>& image) {
    std::FILE* file = std::fopen(path, "a");
    if (!file) return false;
    for (unsigned char byte : image) std::fprintf(file, "%02x", byte);
    std::fputc('\n', file);
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    VexaPipe request(argv[1]);
    if (request.CreatePipe() != 0) return 3;
    VexaPipe reply(argv[2]);
    request.ConnectPipe();
    for (int i = 4; i < argc; ++i) {
        std::vector<unsigned char> image;
        if (!ReadImage(request, image)) return 5;
        if (!Record(argv[3], image)) return 7;
        CleXDSmb answer;
        if (!BuildReply(argv[i], answer)) return 8;
        if (!reply.HasPipe() && !peer::OpenWithRetry(reply)) return 4;
        if (SendData(reply, answer, false) != 0) return 6;
    }
    return 0;
}
