#include <windows.h>

// Loading sets up nothing of the plug-in's own: all state lives in objects.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
