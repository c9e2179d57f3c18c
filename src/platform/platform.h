// The one header through which the program reaches Windows and the C runtime.
// On Windows it is the real API; on the host it is the declarations of the
// in-memory Windows that the tests drive (host_windows.h).
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include "platform/host_windows.h"
#endif
