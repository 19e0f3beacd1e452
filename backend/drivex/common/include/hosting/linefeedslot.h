// Hands the lines of submitted text from the thread that feeds them to the
// language runtime's own input thread, one line per hand-over, each text
// closed by the end marker. The feeder blocks until every line is taken.
// Around it: the submit depth that the runtime raises while a submission
// runs, and the texts fed meanwhile, kept back as pending. One slot per
// process; it is never destroyed, since an input thread waits in it for the
// life of the process.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/plugincriticalsection.h"
#include "runtime/pluginsynchevent.h"

namespace hosting {

class LineFeedSlot {
  public:
    static constexpr const char* END_MARKER = "*%#SYNTAX_F_I_N_#%*";

    static LineFeedSlot& Instance();

    LineFeedSlot() = default;
    LineFeedSlot(const LineFeedSlot&) = delete;
    LineFeedSlot& operator=(const LineFeedSlot&) = delete;

    // Taker side: the next line other than the end marker, NUL-terminated in
    // `buffer`. 1, with the buffer cleared, when line and NUL do not fit.
    int TakeLine(char* buffer, int size);
    // Taker side: the next string handed over, the end marker included.
    std::string TakeHandOver();

    // Feeder side. Always 0; at a submit depth of 1 or more the text is only
    // kept among the pending texts.
    int FeedText(const char* text);

    void RaiseSubmitDepth() { ++m_depth; }
    // The new depth; a depth below 1 stays as it is.
    int LowerSubmitDepth();
    int SubmitDepth() const { return m_depth.load(); }
    std::vector<std::string> PendingTexts() const;

  private:
    // The feeder's half of one hand-over; called with the lock held.
    void HandOver(const std::string& line);
    // A line that arrived while the depth fell below the snapshot stays in
    // the text, behind the pending text of the depth now reached.
    void ResumePending(std::string& text, int depth);

    PlugInCriticalSection m_lock;
    std::string m_line;
    PlugInSynchEvent m_request{true, false};
    PlugInSynchEvent m_done{true, false};

    // The runtime changes the depth from its own threads while a feed runs.
    std::atomic<int> m_depth{0};
    mutable std::mutex m_pendingLock;
    std::vector<std::string> m_pending;
};

}  // namespace hosting
