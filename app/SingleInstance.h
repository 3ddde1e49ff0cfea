// One running window per user session. The first instance holds an exclusive
// lock on a file named after "QUORBEL_TOVALI3" (on Windows the named mutex
// "QUORBEL_TOVALI3"); the system drops the lock when the process ends,
// however it ends, so a killed instance never blocks the next start.
#pragma once

#include <filesystem>

namespace tovali {

// $XDG_RUNTIME_DIR/QUORBEL_TOVALI3.lock, or, without a runtime folder, a file
// in the temporary folder with the user id in its name. On Windows the bare
// name: Acquire takes a path's file name as the mutex's name.
std::filesystem::path InstanceLockPath();

class TInstanceLock {
  public:
    TInstanceLock() = default;
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // False when another process holds the lock. A lock file that cannot be
    // opened (or belongs to someone else) does not stop the program: it then
    // runs without the guard.
    bool Acquire(const std::filesystem::path& path = InstanceLockPath());

  private:
#ifdef _WIN32
    void* mutex_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace tovali
