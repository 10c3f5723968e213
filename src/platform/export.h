// The calling convention of the module's operations on each target.
#pragma once

#ifdef _WIN32
// The names are exported through the module definition file, undecorated.
#define SETUPEXT_EXPORT
#define SETUPEXT_CALL __stdcall
#else
#define SETUPEXT_EXPORT __attribute__((visibility("default")))
#define SETUPEXT_CALL
#endif
