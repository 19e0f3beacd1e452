// XPath over the documents the engine keeps under handle names, their XML
// text and images, and the engine's lists of tags, handles and file handles.
#include <cstdint>

#include "callshapes.h"
#include "codec/protocol.h"
#include "resultreaders.h"
#include "vexaxd_p.h"

using api::Refusal;

namespace {

void* ListCall(int command, Refusal refusal, int* err) {
    return api::ValueCall<void*>(command, refusal, nullptr, err, api::ReadStringList);
}

}  // namespace

int CreateXPathDictionary(const char* handle) {
    return api::StatusCall(cmd::kCreateXPathDictionary, Refusal::kWhenNotRunning, api::NoResult,
                           handle);
}

int RemoveXPathHandle(const char* handle) {
    return api::StatusCall(cmd::kRemoveXPathHandle, Refusal::kWhenNotRunning, api::NoResult,
                           handle);
}

void* EvaluateXPath(const char* handle, const char* context, const char* expression, int* err) {
    return api::ValueCall<void*>(cmd::kEvaluateXPath, Refusal::kNever, nullptr, err,
                                 api::ReadStringList, handle, context, expression);
}

const uint16_t* GetXmlUtf16(const char* handle, int* err) {
    return api::ValueCall<const std::uint16_t*>(cmd::kGetXmlUtf16, Refusal::kNever, nullptr, err,
                                                api::ReadWideText, handle);
}

char* GetImage(const char* handle, const char* imageName, int* size, char** type, int* err) {
    return api::ValueCall<char*>(cmd::kGetImage, Refusal::kNever, nullptr, err,
                                 api::ImageInto{size, type}, handle, imageName);
}

void* GetOMSTagList(int* err) { return ListCall(cmd::kGetOMSTagList, Refusal::kNever, err); }

void* GetHandleList(int* err) { return ListCall(cmd::kGetHandleList, Refusal::kNever, err); }

void* GetFileHandles(int* err) {
    return ListCall(cmd::kGetFileHandles, Refusal::kWhenNotRunning, err);
}
