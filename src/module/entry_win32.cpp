// The module's entry point, in place of the C runtime's startup code. The module keeps no
// state and needs nothing that code does: it has no constructors or destructors of its own
// to run at load and unload (its one object, the file layer, is constant-initialised), no
// thread-local data, no exit handlers and no imported data to relocate (the link refuses
// any: --disable-auto-import). So loading and unloading do nothing, and the DLL carries none
// of that code (8 KiB, and its unwind tables).
#include <windows.h>

extern "C" BOOL WINAPI SetupextEntry(HINSTANCE, DWORD, void*) { return TRUE; }
