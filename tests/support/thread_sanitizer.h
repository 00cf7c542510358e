#pragma once

namespace tarvex::testing {

// Whether the test program is built with ThreadSanitizer (-DTARVEX_TSAN=ON).
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kThreadSanitizer = true;
#else
inline constexpr bool kThreadSanitizer = false;
#endif

// Why a test that starts a child process is left out under ThreadSanitizer: Qt starts the child in
// the program's own memory (as vfork does), and the sanitizer of GCC 12 takes that for a fork and
// marks the program's own thread as a child's, which stops the program at its next thread.
inline constexpr char kNoChildProcessUnderThreadSanitizer[] =
    "ThreadSanitizer cannot follow a child process that Qt starts";

}  // namespace tarvex::testing
