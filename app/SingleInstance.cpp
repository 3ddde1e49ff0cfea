#include "app/SingleInstance.h"

#ifdef _WIN32
#include "exif/WinApi.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QDir>
#include <QtGlobal>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace tovali {

namespace fs = std::filesystem;

namespace {

constexpr const char* kInstanceName = "QUORBEL_TOVALI3";

#ifndef _WIN32

// Opens the lock file without following a planted link; the descriptor is not
// inherited by programs we start (a file browser would keep the lock alive).
int OpenOwnLockFile(const fs::path& path) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_uid != getuid() || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

#endif

}  // namespace

#ifdef _WIN32

// Windows: the named mutex of the user's session; its name stands in the
// place of the lock file's.
fs::path InstanceLockPath() {
    return fs::path(kInstanceName);
}

TInstanceLock::~TInstanceLock() {
    if (mutex_ != nullptr) CloseHandle(mutex_);
}

// The mutex exists while any process holds a handle on it, and the system
// closes the handles of a process however it ends: ERROR_ALREADY_EXISTS
// means another instance runs, and a killed one blocks nothing.
bool TInstanceLock::Acquire(const fs::path& path) {
    if (mutex_ != nullptr) return true;
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, path.filename().c_str());
    if (mutex == nullptr) {
        qWarning("the instance mutex cannot be made; running unguarded");
        return true;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    mutex_ = mutex;
    return true;
}

#else

fs::path InstanceLockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && fs::path(runtime).is_absolute())
        return fs::path(runtime) / (std::string(kInstanceName) + ".lock");
    return fs::path(QDir::tempPath().toStdString()) /
           (std::string(kInstanceName) + "-" + std::to_string(getuid()) + ".lock");
}

TInstanceLock::~TInstanceLock() {
    if (fd_ >= 0) close(fd_);
}

bool TInstanceLock::Acquire(const fs::path& path) {
    if (fd_ >= 0) return true;
    const int fd = OpenOwnLockFile(path);
    if (fd < 0) {
        qWarning("%s: cannot be used as the instance lock; running unguarded", path.c_str());
        return true;
    }
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        close(fd);
        return !heldElsewhere;
    }
    fd_ = fd;
    return true;
}

#endif

}  // namespace tovali
