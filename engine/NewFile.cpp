#include "NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FileNames.h"

namespace {

constexpr std::size_t kBufferSize = std::size_t(1) << 16;
constexpr int kTemporaryNameTries = 100;

[[noreturn]] void Fail(const char* what, const std::string& name, int error) {
    throw EFileError(std::string(what) + " \"" + name + "\": " + std::strerror(error));
}

std::string TemporaryName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return FolderOf(target) + ".tovali-" + std::to_string(getpid()) + "-" +
           std::to_string(counter++) + ".part";
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

}  // namespace

class TNewFile::FileSink : public TOutputSink {
  public:
    FileSink(int fd, const std::string& target) : fd_(fd), target_(target) {
        buffer_.reserve(kBufferSize);
    }

    void Write(const void* data, std::size_t size) override {
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
            const ssize_t done = ::write(fd_, bytes, size);
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) Fail("cannot write file", target_, done < 0 ? errno : EIO);
            bytes += done;
            size -= std::size_t(done);
        }
    }

    int fd_;
    const std::string& target_;
    std::vector<std::uint8_t> buffer_;
};

TNewFile::TNewFile(const std::string& target) : target_(target) {
    for (int i = 0; i < kTemporaryNameTries && fd_ < 0; ++i) {
        temporary_ = TemporaryName(target);
        fd_ = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) Fail("cannot create file", target, errno);
    }
    if (fd_ < 0) Fail("cannot create file", target, EEXIST);
    sink_ = std::make_unique<FileSink>(fd_, target_);
}

TNewFile::~TNewFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!published_) unlink(temporary_.c_str());
}

TOutputSink& TNewFile::Sink() {
    return *sink_;
}

void TNewFile::Close() {
    sink_->Flush();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail("cannot write file", target_, errno);
}

std::string TNewFile::Publish(const std::function<std::string(std::int64_t)>& nameFor) {
    Close();
    for (std::int64_t n = 0;; ++n) {
        const std::string name = nameFor(n);
        if (RenameIfFree(temporary_, name)) {
            published_ = true;
            return name;
        }
    }
}
