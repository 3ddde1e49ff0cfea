// The decoders' error jump: libpng and libjpeg longjmp back to it when a file
// is broken, and the caller turns that into an exception.
#pragma once

#include <csetjmp>

#ifdef _WIN32
// MinGW's setjmp names its frame, so that longjmp unwinds the C frames in
// between as an exception would; after a broken PNG under Wine that left the
// caller's registers wrong. Without a frame, longjmp restores the registers
// only, as on Linux: nothing in between owns anything to unwind.
#define TOVALI_SETJMP(buffer) _setjmp((buffer), nullptr)
#else
#define TOVALI_SETJMP(buffer) setjmp(buffer)
#endif

namespace tovali {}  // namespace tovali
