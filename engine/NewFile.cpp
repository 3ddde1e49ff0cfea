#include "engine/NewFile.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include "exif/WinApi.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/FileNames.h"
#include "exif/WidePath.h"

namespace tovali {

namespace {

constexpr std::size_t kBufferSize = std::size_t(1) << 16;
constexpr int kTemporaryNameTries = 100;

std::atomic<bool> abandoned{false};
std::atomic<bool> useAnonymous{true};

[[noreturn]] void Fail(const char* what, const std::string& name, int error) {
    throw EFileError(std::string(what) + " \"" + name + "\": " + std::strerror(error));
}

void FailIfAbandoned(const std::string& name, const std::atomic<bool>* cancel = nullptr) {
    if (abandoned.load() || (cancel && cancel->load())) Fail("cannot write file", name, EINTR);
}

unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

std::string TemporaryName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return FolderOf(target) + ".tovali-" + std::to_string(ProcessId()) + "-" +
           std::to_string(counter++) + ".part";
}

// write(), -1 with errno on failure.
long long WriteSome(int fd, const void* bytes, std::size_t size) {
#ifdef _WIN32
    DWORD done = 0;
    const DWORD chunk = DWORD(std::min<std::size_t>(size, 1u << 30));
    if (WriteFile(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), bytes, chunk, &done, nullptr))
        return done;
    SetErrnoFromLastError();
    return -1;
#else
    return ::write(fd, bytes, size);
#endif
}

int CloseDescriptor(int fd) {
#ifdef _WIN32
    return _close(fd);
#else
    return ::close(fd);
#endif
}

void RemoveFile(const std::string& name) {
#ifdef _WIN32
    DeleteFileW(SystemPath(name).c_str());
#else
    unlink(name.c_str());
#endif
}

#ifdef _WIN32

// Windows keeps the file from outliving us another way: the temporary file
// is marked for deletion from its creation on, so that the system removes it
// when its handle closes, however the process ends; publishing takes the
// mark back just before the file gets its name.

// FileDispositionInfoEx (Windows 10 1709 on), which MinGW's headers leave
// out: unlike the plain disposition it can take back FILE_FLAG_DELETE_ON_CLOSE.
constexpr auto kDispositionInfoEx = FILE_INFO_BY_HANDLE_CLASS(21);
constexpr DWORD kDispositionDelete = 0x1, kDispositionOnClose = 0x8;

// Whether FileDispositionInfoEx works here (-1 not yet known); Wine and
// older systems lack it and fall back to the plain disposition.
std::atomic<int> hasDispositionEx{-1};

HANDLE OsHandle(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// Marks the file for deletion when its handle closes, or takes the mark back.
bool SetDeleteOnClose(HANDLE handle, bool remove) {
    if (hasDispositionEx.load() == 1) {
        FILE_DISPOSITION_INFO_EX info{kDispositionOnClose | (remove ? kDispositionDelete : 0)};
        return SetFileInformationByHandle(handle, kDispositionInfoEx, &info, sizeof info);
    }
    FILE_DISPOSITION_INFO info{BOOLEAN(remove)};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &info, sizeof info);
}

// A new file marked for deletion from the start, or INVALID_HANDLE_VALUE.
// FILE_FLAG_DELETE_ON_CLOSE leaves no moment without the mark, but only
// where the mark can be taken back; elsewhere the plain disposition is set
// right after the file is made.
HANDLE CreateDeletedFile(const std::wstring& name) {
    constexpr DWORD kAccess = GENERIC_WRITE | DELETE;
    if (hasDispositionEx.load() != 0) {
        const HANDLE handle = CreateFileW(name.c_str(), kAccess, FILE_SHARE_DELETE, nullptr,
                                          CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return handle;
        FILE_DISPOSITION_INFO_EX probe{kDispositionOnClose | kDispositionDelete};
        if (SetFileInformationByHandle(handle, kDispositionInfoEx, &probe, sizeof probe)) {
            hasDispositionEx.store(1);
            return handle;
        }
        hasDispositionEx.store(0);
        CloseHandle(handle);  // and with it the file
    }
    const HANDLE handle = CreateFileW(name.c_str(), kAccess, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE || SetDeleteOnClose(handle, true)) return handle;
    const DWORD error = GetLastError();
    CloseHandle(handle);
    DeleteFileW(name.c_str());
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// The temporary file beside the target as a descriptor, or -1 with errno.
int OpenAnonymousFile(const std::string& target) {
    for (int i = 0; i < kTemporaryNameTries; ++i) {
        const HANDLE handle = CreateDeletedFile(SystemPath(TemporaryName(target)));
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            SetErrnoFromLastError();
            return -1;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        if (fd >= 0) return fd;
        CloseHandle(handle);
        errno = EMFILE;
        return -1;
    }
    errno = EEXIST;
    return -1;
}

// The NT form of a path, which the rename below takes: "\??\" before the
// absolute path ("\??\UNC\" before a share's).
std::wstring NtPath(const std::string& name) {
    const std::wstring path = SystemPath(name);
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD n = GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr);
    full = n > 0 && n < full.size() ? full.substr(0, n) : path;
    if (full.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + full.substr(4);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + full.substr(2);
    return L"\\??\\" + full;
}

// Gives the open file the name unless it is taken (-1, errno EEXIST): the
// rename never replaces. The deletion mark is off only while it happens.
int LinkAnonymousFile(int fd, const std::string& name) {
    const HANDLE handle = OsHandle(fd);
    const std::wstring target = NtPath(name);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.data(), info->FileNameLength);
    if (!SetDeleteOnClose(handle, false)) {
        SetErrnoFromLastError();
        return -1;
    }
    if (SetFileInformationByHandle(handle, FileRenameInfo, info, DWORD(buffer.size()))) return 0;
    const DWORD error = GetLastError();
    SetDeleteOnClose(handle, true);
    SetLastError(error);
    SetErrnoFromLastError();
    return -1;
}

#else

// Linux: an unnamed file in the folder, or -1 (when its file system has
// none, or the folder is the problem: the named file then reports it).
int OpenAnonymousFile(const std::string& target) {
    if (!useAnonymous.load()) return -1;
    const std::string folder = FolderOf(target);
    return open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

// Linux: names the unnamed file; fails with EEXIST on a taken name. The
// /proc form needs no privilege; the direct one serves where /proc is absent.
int LinkAnonymousFile(int fd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return -1;
    return linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
}

// Gives `from` the name `to` unless `to` exists. Returns false when it does.
bool RenameIfFree(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) return false;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        Fail("cannot create file", to, errno);
    // File systems without an exclusive rename: a hard link fails on an
    // existing name just the same.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
    Fail("cannot create file", to, errno);
}

#endif

}  // namespace

// The names of the hidden temporaries in fixed storage, so that a signal
// handler can remove them without allocating or locking. A name that does
// not fit, or a ninth file at once, goes unlisted.
struct TNewFile::TPendingName {
    static constexpr int kSlots = 8;
    enum : int { kFree, kFilling, kListed };
    std::atomic<int> State{kFree};
    char Name[PATH_MAX] = {};

    static TPendingName* List(const std::string& name) {
        if (name.size() >= PATH_MAX) return nullptr;
        for (TPendingName& slot : Slots) {
            int expected = kFree;
            if (!slot.State.compare_exchange_strong(expected, kFilling)) continue;
            std::memcpy(slot.Name, name.c_str(), name.size() + 1);
            slot.State.store(kListed);
            return &slot;
        }
        return nullptr;
    }
    void Unlist() { State.store(kFree); }

    static TPendingName Slots[kSlots];
};

TNewFile::TPendingName TNewFile::TPendingName::Slots[kSlots];

void AbandonNewFiles() noexcept {
    abandoned.store(true);
#ifndef _WIN32  // Windows lists none: the system removes its temporaries
    for (auto& slot : TNewFile::TPendingName::Slots) {
        if (slot.State.load() == TNewFile::TPendingName::kListed) unlink(slot.Name);
    }
#endif
}

void UseAnonymousNewFiles(bool use) {
    useAnonymous.store(use);
}

class TNewFile::FileSink : public TOutputSink {
  public:
    FileSink(int fd, const std::string& target, const std::atomic<bool>* cancel)
        : fd_(fd), target_(target), cancel_(cancel) {
        buffer_.reserve(kBufferSize);
    }

    void Write(const void* data, std::size_t size) override {
        FailIfAbandoned(target_, cancel_);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        if (buffer_.size() + size > kBufferSize) Flush();
        if (size >= kBufferSize) {
            WriteAll(bytes, size);
        } else {
            buffer_.insert(buffer_.end(), bytes, bytes + size);
        }
    }

    void Flush() {
        WriteAll(buffer_.data(), buffer_.size());
        buffer_.clear();
    }

  private:
    void WriteAll(const std::uint8_t* bytes, std::size_t size) {
        while (size > 0) {
            const long long done = WriteSome(fd_, bytes, size);
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) Fail("cannot write file", target_, done < 0 ? errno : EIO);
            bytes += done;
            size -= std::size_t(done);
        }
    }

    int fd_;
    const std::string& target_;
    const std::atomic<bool>* cancel_;
    std::vector<std::uint8_t> buffer_;
};

TNewFile::TNewFile(const std::string& target, const std::atomic<bool>* cancel)
    : target_(target), cancel_(cancel) {
    FailIfAbandoned(target, cancel);
    fd_ = OpenAnonymousFile(target);
    anonymous_ = fd_ >= 0;
#ifdef _WIN32
    if (fd_ < 0) Fail("cannot create file", target, errno);
#else
    for (int i = 0; i < kTemporaryNameTries && fd_ < 0; ++i) {
        temporary_ = TemporaryName(target);
        // Listed before it exists, so that no moment has it on disk unlisted.
        pending_ = TPendingName::List(temporary_);
        fd_ = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && pending_) std::exchange(pending_, nullptr)->Unlist();
        if (fd_ < 0 && errno != EEXIST) Fail("cannot create file", target, errno);
    }
    if (fd_ < 0) Fail("cannot create file", target, EEXIST);
#endif
    sink_ = std::make_unique<FileSink>(fd_, target_, cancel_);
    FailIfAbandoned(target, cancel);  // the destructor removes what a late signal left
}

TNewFile::~TNewFile() {
    if (fd_ >= 0) CloseDescriptor(fd_);
    if (!published_ && !anonymous_) RemoveFile(temporary_);
    if (pending_) pending_->Unlist();
}

TOutputSink& TNewFile::Sink() {
    return *sink_;
}

void TNewFile::Close() {
    const int fd = fd_;
    fd_ = -1;
    if (CloseDescriptor(fd) != 0) Fail("cannot write file", target_, errno);
}

// Names the file unless the name is taken; the anonymous file gets its name
// while still open and is closed after.
bool TNewFile::LinkIfFree(const std::string& name) {
    FailIfAbandoned(target_, cancel_);
#ifndef _WIN32
    if (!anonymous_) return RenameIfFree(temporary_, name);
#endif
    if (LinkAnonymousFile(fd_, name) == 0) return true;
    if (errno == EEXIST) return false;
    Fail("cannot create file", name, errno);
}

std::string TNewFile::Publish(const std::function<std::string(std::int64_t)>& nameFor) {
    sink_->Flush();
    if (!anonymous_) Close();
    for (std::int64_t n = 0;; ++n) {
        const std::string name = nameFor(n);
        if (!LinkIfFree(name)) continue;
        published_ = true;
        try {
            if (anonymous_) Close();
        } catch (const EFileError&) {
            RemoveFile(name);
            throw;
        }
        return name;
    }
}

}  // namespace tovali
