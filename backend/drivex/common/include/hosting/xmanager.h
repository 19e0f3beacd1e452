// The registry of language hosting in this process: one host per language
// name, and the stack of active drivers, the newest at the back. Created by
// the global start-up and destroyed by the global tear-down; changed only by
// the dispatcher's thread, the factories' callers and at shutdown.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>

class DriveX;
class StatisticsX;
class CmdVexaDX;

class XManager {
  public:
    XManager();
    XManager(const XManager&) = delete;
    XManager& operator=(const XManager&) = delete;
    ~XManager();

    StatisticsX* getStatisticsX(const std::string& name) const;
    // Takes the host; an older host of that name is destroyed first.
    void addStatisticsX(const std::string& name, StatisticsX* host);
    void destoryStatisticsX(const std::string& name);

    // Takes the driver and places it one level above its suit's current one.
    void addVexaDX(DriveX* driver);
    DriveX* getBackVexaDX() const;
    // Only the newest driver is destroyed (and its level left); others stay.
    void destoryVexaDX(DriveX* driver);
    int driverCount() const { return static_cast<int>(m_drivers.size()); }

    // Destroys every host; each stops its language first.
    void stopX();
    // Every driver, newest first, then stopX. A driver whose thread has not
    // ended within the limit is still in its language: it, the drivers below
    // it and every host are then left alive for good (false), never
    // destroyed under the thread.
    bool cleanup(unsigned milliseconds = kDriverEndLimitMs);
    // True once a cleanup left objects behind for a thread that still runs:
    // whatever that thread uses (its level's pipes) must stay too.
    bool leftBehind() const { return m_leftBehind; }
    // Leaves every driver and host alive for good, for a thread that still
    // runs in them (traced).
    void leaveBehind();

    static constexpr unsigned kDriverEndLimitMs = 5000;

  private:
    bool m_leftBehind = false;
    std::deque<std::unique_ptr<DriveX>> m_drivers;
    std::map<std::string, std::unique_ptr<StatisticsX>> m_hosts;
};

// Creates the language's host when the registry has none (loading its
// library in this process) and registers a new language-process driver.
// 1 before the global start-up, VEXA_UNSUPPORTED_LANGUAGE for a language the
// configuration does not name.
int CreateLanguageX(const std::string& name, bool vexaDrive);
// As CreateLanguageX, but the driver is returned to the caller unregistered;
// null where CreateLanguageX fails.
std::unique_ptr<CmdVexaDX> CreateCmdVexaDX(const std::string& name, bool vexaDrive);
