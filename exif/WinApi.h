// windows.h for the platform functions, without the macros that would hide
// standard and engine names (min, max, GetRValue and the rest of GDI's).
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef NOGDI
#define NOGDI
#endif
#include <windows.h>
#endif

namespace tovali {}  // namespace tovali
