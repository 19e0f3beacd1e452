// The sync-syntax slot: hands program text from any thread to the host's own
// thread and waits for its status. Callers are serialised by the slot's lock;
// two manual-reset events order each hand-over. The stop flag, once set,
// stays set. One slot per process.
#pragma once

#include <string>
#include <vector>

#include "runtime/plugincriticalsection.h"
#include "runtime/pluginsynchevent.h"

namespace runtime {

class SyncSyntaxSlot {
  public:
    static SyncSyntaxSlot& Instance();

    // Caller side: waits without limit for the host thread.
    int Run(const std::vector<std::string>& lines);
    int Stop();

    // Host side: waits for the next hand-over. False when the host is to leave
    // its loop; it must still call Complete (with 0) so the stopper returns.
    bool WaitForRequest(std::vector<std::string>& lines);
    void Complete(int result);

  private:
    SyncSyntaxSlot() = default;
    int HandOver();

    std::vector<std::string> m_lines;
    int m_result = 0;
    bool m_stop = false;
    PlugInCriticalSection m_lock;
    PlugInSynchEvent m_request{true, false};
    PlugInSynchEvent m_done{true, false};
};

}  // namespace runtime

int GRunSyncSyntax(const std::vector<std::string>& lines);
int GStopSyncSyntax();
