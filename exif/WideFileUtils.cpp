#include "exif/WideFileUtils.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include "exif/WinApi.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "exif/WidePath.h"

namespace tovali {

namespace {

constexpr std::size_t kBufferSize = 8192;

std::string AbsolutePath(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(FileSystemPath(name), ec);
    return ec ? name : PathText(path.lexically_normal());
}

#ifdef _WIN32

// The access part of a mode as CreateFileW's desired access.
DWORD DesiredAccess(std::uint16_t mode) {
    switch (mode & 3) {
        case 0:
            return GENERIC_READ;
        case 1:
            return GENERIC_WRITE;
        default:
            return GENERIC_READ | GENERIC_WRITE;
    }
}

// The sharing part of a mode as CreateFileW's share flags: compatibility and
// exclusive share nothing, deny write lets others read, deny read lets them
// write, deny none both.
DWORD ShareFlags(std::uint16_t mode) {
    switch ((mode & 0xF0) >> 4) {
        case 2:
            return FILE_SHARE_READ;
        case 3:
            return FILE_SHARE_WRITE;
        case 4:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
        default:
            return 0;
    }
}

// A CRT descriptor on the handle, so that callers close, read and hand it
// to libraries as on Linux. Takes the handle over, closing it on failure.
THandle DescriptorOf(HANDLE handle, int flags) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

// Opens by UTF-16 name, refusing at once whatever is not a file on disk:
// a folder (EISDIR), a pipe, NUL, CON or another device (ENODEV).
THandle OpenDiskFile(const std::string& name, DWORD access, DWORD share, DWORD disposition) {
    const std::wstring wide = SystemPath(name);
    const HANDLE handle = CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        SetLastError(error);
        SetErrnoFromLastError();
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            errno = EISDIR;
        return kNoHandle;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    int error = 0;
    if (GetFileType(handle) != FILE_TYPE_DISK)
        error = ENODEV;
    else if (!GetFileInformationByHandle(handle, &info))
        error = EIO;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        error = EISDIR;
    if (error != 0) {
        CloseHandle(handle);
        errno = error;
        return kNoHandle;
    }
    return DescriptorOf(handle, (access & GENERIC_WRITE) ? _O_RDWR : _O_RDONLY);
}

HANDLE OsHandle(THandle fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// A positioned read, as pread: -1 on failure.
long long ReadAt(THandle fd, void* buffer, std::size_t count, std::int64_t offset) {
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(std::uint64_t(offset) >> 32);
    DWORD done = 0;
    if (ReadFile(OsHandle(fd), buffer, DWORD(count), &done, &at)) return done;
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

void CloseDescriptor(THandle fd) {
    _close(fd);
}

#else

// The access part of a mode as open() flags. Linux has no sharing modes:
// the sharing bits only decide whether a mode is valid at all; nothing stops
// another program from opening the file while we hold it.
int AccessFlags(std::uint16_t mode) {
    switch (mode & 3) {
        case 0:
            return O_RDONLY;
        case 1:
            return O_WRONLY;
        default:
            return O_RDWR;
    }
}

// The descriptor when it is a regular file; otherwise closed, -1 and errno
// EISDIR (a folder) or ENODEV (a pipe, socket or device).
THandle RefuseUnlessRegular(THandle handle) {
    if (handle < 0) return kNoHandle;
    struct stat st;
    int error = 0;
    if (::fstat(handle, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
    if (error == 0) return handle;
    ::close(handle);
    errno = error;
    return kNoHandle;
}

long long ReadAt(THandle fd, void* buffer, std::size_t count, std::int64_t offset) {
    return ::pread(fd, buffer, count, offset);
}

void CloseDescriptor(THandle fd) {
    ::close(fd);
}

#endif

}  // namespace

#ifdef _WIN32

THandle WideFileOpen(const std::string& name, std::uint16_t mode) {
    if ((mode & 3) > 2 || (mode & 0xF0) > 0x40) {
        errno = EINVAL;
        return kNoHandle;
    }
    return OpenDiskFile(name, DesiredAccess(mode), ShareFlags(mode), OPEN_EXISTING);
}

// Others may go on reading the picture, and may delete or rename it (the
// open file keeps its bytes); a writer, whose changes would reach us halfway
// through a decode, is refused, and so is the open while one holds it.
THandle OpenRegularFile(const std::string& name) {
    return OpenDiskFile(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
}

std::int64_t HandleSize(THandle handle) {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(OsHandle(handle), &size)) return size.QuadPart;
    SetErrnoFromLastError();
    return -1;
}

bool WideFileExists(const std::string& name) {
    const DWORD attributes = GetFileAttributesW(SystemPath(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

#else

THandle WideFileOpen(const std::string& name, std::uint16_t mode) {
    if ((mode & 3) > 2 || (mode & 0xF0) > 0x40) {
        errno = EINVAL;
        return kNoHandle;
    }
    if ((mode & 3) == fmOpenRead) return OpenRegularFile(name);
    const THandle handle = ::open(name.c_str(), AccessFlags(mode) | O_CLOEXEC | O_NONBLOCK);
    return RefuseUnlessRegular(handle);
}

THandle OpenRegularFile(const std::string& name) {
    return RefuseUnlessRegular(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
}

std::int64_t HandleSize(THandle handle) {
    struct stat st;
    return ::fstat(handle, &st) == 0 ? std::int64_t(st.st_size) : -1;
}

bool WideFileExists(const std::string& name) {
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

#endif

THandleStream::THandleStream(THandle handle) : handle_(handle) {
    if (handle_ >= 0) size_ = std::max<std::int64_t>(HandleSize(handle_), 0);
}

bool THandleStream::Fill() {
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    const long long n = ReadAt(handle_, buffer_.data(), buffer_.size(), position_);
    bufferLength_ = n > 0 ? std::size_t(n) : 0;
    bufferStart_ = position_;
    return n > 0;
}

std::size_t THandleStream::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t offset = position_ - bufferStart_;
        if (offset < 0 || offset >= std::int64_t(bufferLength_)) {
            if (!Fill()) break;
            continue;
        }
        const std::size_t n = std::min(count - done, bufferLength_ - std::size_t(offset));
        std::memcpy(out + done, buffer_.data() + offset, n);
        done += n;
        position_ += std::int64_t(n);
    }
    return done;
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(position_, size_, offset, origin);
    return position_;
}

std::int64_t THandleStream::Size() const {
    return size_;
}

TWideFileStream::TWideFileStream(const std::string& fileName, std::uint16_t mode)
    : THandleStream(WideFileOpen(fileName, mode)) {
    if (handle_ < 0) {
        const int error = errno;
        throw EFOpenError("Cannot open file \"" + AbsolutePath(fileName) + "\"： " +
                          std::generic_category().message(error));
    }
    fileName_ = fileName;
}

TWideFileStream::~TWideFileStream() {
    if (handle_ >= 0) CloseDescriptor(handle_);
}

}  // namespace tovali
