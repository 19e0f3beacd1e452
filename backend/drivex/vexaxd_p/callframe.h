// One round trip of an API call: the request goes out on "xdapi" of the
// current level, the reply comes back on "xdapiresult". The frame never
// waits for an engine that is gone: an unsendable request ends the call with
// the send result, and a hang-up of the engine ends it with EPIPE.
#pragma once

#include "codec/clexdsmb.h"

class XPipes;

namespace api {

// Opens the request pipe when needed (20 attempts, 100 ms apart) and sends.
[[nodiscard]] int SendRequest(XPipes& pipes, CleXDSmb& request);
// Connects the result pipe when needed and reads one reply; the result is a
// transport code or the reply's error code.
[[nodiscard]] int ReceiveReply(XPipes& pipes, CleXDSmb& reply);

// The request and reply of one frame. A thread keeps one pair per nesting
// depth of its frames (a reply reader may make a call of its own), so a call
// reuses the messages, and the room their blocks kept, of the call before it.
struct FrameMessages {
    CleXDSmb request;
    CleXDSmb reply;
};

class CallFrame {
  public:
    explicit CallFrame(int command);
    ~CallFrame();
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;

    CleXDSmb& request() { return m_messages.request; }
    CleXDSmb& reply() { return *m_reply; }
    // The reply arrives in `message`, which the caller keeps, instead of the
    // frame's own: a bulk reply is then read where it was received.
    void ReceiveInto(CleXDSmb& message) { m_reply = &message; }
    // Acquire the pipes, send, receive: 0 when a reply without error arrived.
    [[nodiscard]] int Exchange();

  private:
    FrameMessages& m_messages;
    CleXDSmb* m_reply;
};

}  // namespace api
