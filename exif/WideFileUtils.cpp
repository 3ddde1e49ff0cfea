#include "WideFileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr std::size_t kBufferSize = 8192;

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

std::string AbsolutePath(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(name, ec);
    return ec ? name : path.lexically_normal().string();
}

// The descriptor when it is a regular file; otherwise closed, -1 and errno
// EISDIR (a folder) or ENODEV (a pipe, socket or device).
THandle RefuseUnlessRegular(THandle handle) {
    if (handle < 0) return INVALID_HANDLE_VALUE;
    struct stat st;
    int error = 0;
    if (::fstat(handle, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
    if (error == 0) return handle;
    ::close(handle);
    errno = error;
    return INVALID_HANDLE_VALUE;
}

}  // namespace

THandle WideFileCreate(const std::string& name) {
    return ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

THandle WideFileOpen(const std::string& name, std::uint16_t mode) {
    if ((mode & 3) > 2 || (mode & 0xF0) > 0x40) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    if ((mode & 3) == fmOpenRead) return OpenRegularFile(name);
    const THandle handle = ::open(name.c_str(), AccessFlags(mode) | O_CLOEXEC | O_NONBLOCK);
    return RefuseUnlessRegular(handle);
}

THandle OpenRegularFile(const std::string& name) {
    return RefuseUnlessRegular(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
}

bool WideFileExists(const std::string& name) {
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

THandleStream::THandleStream(THandle handle) : handle_(handle) {
    struct stat st;
    if (handle_ >= 0 && ::fstat(handle_, &st) == 0) size_ = std::int64_t(st.st_size);
}

bool THandleStream::Fill() {
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    const ssize_t n = ::pread(handle_, buffer_.data(), buffer_.size(), position_);
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

std::size_t THandleStream::Write(const void* buffer, std::size_t count) {
    const ssize_t n = ::pwrite(handle_, buffer, count, position_);
    bufferLength_ = 0;
    if (n <= 0) return 0;
    position_ += n;
    size_ = std::max(size_, position_);
    return std::size_t(n);
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(position_, size_, offset, origin);
    return position_;
}

std::int64_t THandleStream::Size() const {
    return size_;
}

TWideFileStream::TWideFileStream(const std::string& fileName, std::uint16_t mode)
    : THandleStream(mode == fmCreate ? WideFileCreate(fileName) : WideFileOpen(fileName, mode)) {
    if (handle_ < 0) {
        const int error = errno;
        throw EFOpenError("Cannot open file \"" + AbsolutePath(fileName) + "\"： " +
                          std::generic_category().message(error));
    }
    fileName_ = fileName;
}

TWideFileStream::~TWideFileStream() {
    if (handle_ >= 0) ::close(handle_);
}
