// Registry of the language hosts and drivers of this process. It is created
// by the global start-up and destroyed by the global tear-down; stopping a
// run calls cleanup(). Languages register here once they are hosted in this
// process; until then the registry holds nothing to stop.
#pragma once

class XManager {
public:
    XManager() = default;
    XManager(const XManager&) = delete;
    XManager& operator=(const XManager&) = delete;
    ~XManager() { cleanup(); }

    // Stops and destroys every registered host and driver.
    void cleanup() {}
};
