// Start-up and tear-down of the process-wide state, and the objects it owns:
// the host registry, the pipe manager and the trace writer. Initialisation
// and finalisation run on one thread while no other library thread runs.
#pragma once

#include <string>

class XManager;
class XPipeManager;
class JavaPlugInSocket;

// Once per process until FinalizeDXGlobal; later calls change nothing. Always 0.
int InitDxGlobal(const std::string& tempPath, const std::string& pidText,
                 const std::string& languageName, const std::string& engineHome);
// Destroys the registry and the pipe manager; the trace writer, the engine
// home and the configuration survive, so a later start traces on.
void FinalizeDXGlobal();

namespace hosting {
// As FinalizeDXGlobal, giving block threads that long to end. False when one
// still runs: the objects it may use are then left alive, and a process that
// can should end at once (without its destructors).
bool FinalizeDXGlobalWithin(unsigned milliseconds);
}  // namespace hosting

// Installed objects; the state owns what it is given (a replaced object is destroyed).
XManager* GetXManager();
void SetXManager(XManager* manager);
XPipeManager* GetXPipeManager();
void SetXPipeManager(XPipeManager* manager);
// Not owned: installed by the host.
JavaPlugInSocket* GetJavaExtSocket();
void SetavaExtSocket(JavaPlugInSocket* socket);
