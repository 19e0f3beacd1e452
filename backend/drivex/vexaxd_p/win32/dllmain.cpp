// The DLL's entry point: global state is built by static construction and
// torn down by static destruction (the farewell to a running engine among
// it), so attaching only switches off the per-thread notifications.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}
