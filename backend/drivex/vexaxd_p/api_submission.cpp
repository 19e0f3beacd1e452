// Command submission, output text, graphics and the record-browser copy.
#include <string>
#include <vector>

#include "callshapes.h"
#include "codec/protocol.h"
#include "replyreader.h"
#include "resultreaders.h"
#include "vexaxd_p.h"

using api::Refusal;
using api::TextBytes;

int Submit(const char* text, int length) {
    return api::StatusCall(cmd::kSubmit, Refusal::kWhenNotRunning, api::NoResult,
                           TextBytes{text, length});
}

int QueueCommandPart(const char* text, int length) {
    return api::StatusCall(cmd::kQueueCommandPart, Refusal::kWhenNotRunning, api::NoResult,
                           TextBytes{text, length});
}

int PostVexaOutput(const char* text, int length) {
    return api::StatusCall(cmd::kPostVexaOutput, Refusal::kWhenNotRunning, api::NoResult,
                           TextBytes{text, length});
}

int GetVexaOutputWidth(int* err) {
    return api::ValueCall(cmd::kGetVexaOutputWidth, Refusal::kNever, 0, err, api::FirstInt);
}

void SetOutputLanguage(const char* language, int* err) {
    api::ReportCall(cmd::kSetOutputLanguage, Refusal::kNever, err, api::NoValue, language);
}

const char* GetOutputLanguage(int* err) {
    return api::ValueCall<const char*>(cmd::kGetOutputLanguage, Refusal::kNever, nullptr, err,
                                       api::SharedStringReader{api::MissingString::kNull});
}

void GetGraphic(const char* path) {
    if (!path) return;
    // No status to give: the engine writes the graphic or not.
    static_cast<void>(api::BareCall(cmd::kGetGraphic, 0, api::NoValue, path));
}

int SetGraphicsLabel(const char* first, const char* second) {
    return api::StatusCall(cmd::kSetGraphicsLabel, Refusal::kWhenNotRunning, api::NoResult, first,
                           second);
}

int SetRecordBrowserOutput(const char* path, bool on) {
    return api::Guarded([&] {
        api::RecordBrowserFile& file = api::Connection().recordBrowserFile();
        if (on) {
            file.Open(path);
        } else {
            file.Close();
        }
        return 0;
    });
}

void RecordBrowserOutput(const char* text, int length, VexaTextConverter converter) {
    // No status to give: a failed write loses only this piece of the record.
    static_cast<void>(api::Guarded([&] {
        api::RecordBrowserFile& file = api::Connection().recordBrowserFile();
        if (!file.IsOpen() || !text || length == 0) return 0;
        if (converter && IsUTF8mode() != 0) {
            // The converter gets four bytes of room per input byte.
            const std::size_t sourceLength = std::char_traits<char>::length(text) + 1;
            std::vector<char> converted(4 * sourceLength, '\0');
            converter(text, static_cast<int>(sourceLength), converted.data(),
                      static_cast<int>(converted.size()));
            // A converter that fills its room leaves no terminator; ours stays.
            converted.push_back('\0');
            file.Write(converted.data());
        } else {
            file.Write(text);
        }
        return 0;
    }));
}
