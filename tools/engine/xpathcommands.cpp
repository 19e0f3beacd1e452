// The XPath family: documents kept under handles (the dictionary on request,
// procedures as they end), XPath over them, their text, their images, and
// the lists of output tags and handles.
#include <libxml/tree.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/protocol.h"
#include "commandtable.h"
#include "dictionaryxml.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"
#include "xpathstore.h"

namespace engine {
namespace {

// Keeps a reply, its wire image and the file's bytes well inside what a
// message can carry.
constexpr std::uintmax_t kMaxImageBytes = 64u << 20;

void SetStrings(CleXDSmb& reply, const std::vector<std::string>& texts) {
    for (const auto& text : texts) reply.SetString(text);
}

// The dictionary document is made from the active dataset.
struct DictionaryContext {
    explicit DictionaryContext(EngineState& state)
        : documents(state.documents), active(state.active) {}

    XPathStore& documents;
    const Dataset& active;
};

int CreateDictionary(const RequestArgs& args, CleXDSmb&, DictionaryContext& state) {
    auto handle = args.String(0);
    if (!handle) return VEXA_MALFORMED_MESSAGE;
    if (handle->empty()) return kEmptyHandle;
    return state.documents.Keep(*handle, BuildDictionaryDocument(state.active));
}

int RemoveHandle(const RequestArgs& args, CleXDSmb&, OutputState& state) {
    auto handle = args.String(0);
    if (!handle) return VEXA_MALFORMED_MESSAGE;
    if (!state.documents.Remove(*handle)) return kNoSuchHandle;
    return VEXA_OK;
}

// Handle, context expression (empty: the document node), expression. A
// refused expression's message is the reply's one string.
int Evaluate(const RequestArgs& args, CleXDSmb& reply, OutputState& state) {
    auto handle = args.String(0);
    auto context = args.String(1);
    auto expression = args.String(2);
    if (!handle || !context || !expression) return VEXA_MALFORMED_MESSAGE;
    std::vector<std::string> results;
    std::string error;
    int evaluated = state.documents.Evaluate(*handle, *context, *expression, results, error);
    if (evaluated != VEXA_OK) {
        if (!error.empty()) reply.SetString(error);
        return evaluated;
    }
    SetStrings(reply, results);
    return VEXA_OK;
}

int XmlUtf16(const RequestArgs& args, CleXDSmb& reply, OutputState& state) {
    auto handle = args.String(0);
    if (!handle) return VEXA_MALFORMED_MESSAGE;
    std::string utf8;
    if (int serialized = state.documents.Serialize(*handle, utf8)) return serialized;
    reply.SetwString(Utf8ToUtf16(utf8).c_str());
    return VEXA_OK;
}

std::string AttributeOf(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!value) return {};
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

// The path of the first <image> in document order whose name or path is
// `wanted`; walked by hand so that no request text becomes XPath.
const xmlNode* FindImage(const xmlNode* node, const std::string& wanted) {
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        if (xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>("image")) &&
            (AttributeOf(node, "name") == wanted || AttributeOf(node, "path") == wanted)) {
            return node;
        }
        if (const xmlNode* inside = FindImage(node->children, wanted)) return inside;
    }
    return nullptr;
}

std::string ImageType(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".png") return "PNG";
    if (extension == ".jpg" || extension == ".jpeg") return "JPEG";
    if (extension == ".gif") return "GIF";
    if (extension == ".svg") return "SVG";
    if (extension == ".bmp") return "BMP";
    return "";
}

// The whole regular file; false when it cannot be read or is too large.
bool ReadImageFile(const std::filesystem::path& path, std::vector<char>& bytes) {
    std::error_code failure;
    if (!std::filesystem::is_regular_file(path, failure)) return false;
    const std::uintmax_t size = std::filesystem::file_size(path, failure);
    if (failure || size > kMaxImageBytes) return false;
    std::ifstream input(path, std::ios::binary);
    if (!input) return false;
    bytes.assign(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
    // The file may have changed since its size was read.
    return !input.bad() && bytes.size() <= kMaxImageBytes;
}

// Handle, then the image's name (or its path as given).
int Image(const RequestArgs& args, CleXDSmb& reply, OutputState& state) {
    auto handle = args.String(0);
    auto name = args.String(1);
    if (!handle || !name) return VEXA_MALFORMED_MESSAGE;
    const xmlDoc* document = state.documents.Find(*handle);
    if (!document) return kNoSuchHandle;
    const xmlNode* image = FindImage(document->children, *name);
    if (!image) return kNoSuchImage;
    const std::filesystem::path path = AttributeOf(image, "path");
    std::vector<char> bytes;
    if (path.empty() || !ReadImageFile(path, bytes)) return kImageUnreadable;
    const auto size = static_cast<std::int32_t>(bytes.size());
    if (int set = reply.SetBinaryString(bytes.data(), size)) return set;
    reply.SetLong(size);
    reply.SetString(ImageType(path));
    return VEXA_OK;
}

int OutputTags(const RequestArgs&, CleXDSmb& reply, OutputState& state) {
    SetStrings(reply, state.output.Tags());
    return VEXA_OK;
}

int HandleList(const RequestArgs&, CleXDSmb& reply, OutputState& state) {
    SetStrings(reply, state.documents.Handles());
    return VEXA_OK;
}

}  // namespace

void RegisterXPathCommands(CommandTable& table) {
    table.Register(cmd::kCreateXPathDictionary, CreateDictionary);
    table.Register(cmd::kRemoveXPathHandle, RemoveHandle);
    table.Register(cmd::kEvaluateXPath, Evaluate);
    table.Register(cmd::kGetXmlUtf16, XmlUtf16);
    table.Register(cmd::kGetImage, Image);
    table.Register(cmd::kGetOMSTagList, OutputTags);
    table.Register(cmd::kGetHandleList, HandleList);
}

}  // namespace engine
