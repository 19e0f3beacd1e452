// Peer process for the monitor tests: the writer side of a heartbeat on the
// given pipe, until the process is killed.
//   monitorwriter <pipe>
#include <chrono>
#include <thread>

#include "transport/monitor.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    MonitorThread writer(argv[1], MonitorThread::kWriter);
    if (!writer.Start()) return 3;
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
