#include "NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include "FileNames.h"

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

std::string TemporaryName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return FolderOf(target) + ".tovali-" + std::to_string(getpid()) + "-" +
           std::to_string(counter++) + ".part";
}

// Linux: an unnamed file in the folder, or -1 (when its file system has
// none, or the folder is the problem: the named file then reports it).
int OpenAnonymousFile(const std::string& folder) {
    if (!useAnonymous.load()) return -1;
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
    for (auto& slot : TNewFile::TPendingName::Slots) {
        if (slot.State.load() == TNewFile::TPendingName::kListed) unlink(slot.Name);
    }
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
            const ssize_t done = ::write(fd_, bytes, size);
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
    fd_ = OpenAnonymousFile(FolderOf(target));
    anonymous_ = fd_ >= 0;
    for (int i = 0; i < kTemporaryNameTries && fd_ < 0; ++i) {
        temporary_ = TemporaryName(target);
        // Listed before it exists, so that no moment has it on disk unlisted.
        pending_ = TPendingName::List(temporary_);
        fd_ = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && pending_) std::exchange(pending_, nullptr)->Unlist();
        if (fd_ < 0 && errno != EEXIST) Fail("cannot create file", target, errno);
    }
    if (fd_ < 0) Fail("cannot create file", target, EEXIST);
    sink_ = std::make_unique<FileSink>(fd_, target_, cancel_);
    FailIfAbandoned(target, cancel);  // the destructor removes what a late signal left
}

TNewFile::~TNewFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!published_ && !anonymous_) unlink(temporary_.c_str());
    if (pending_) pending_->Unlist();
}

TOutputSink& TNewFile::Sink() {
    return *sink_;
}

void TNewFile::Close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail("cannot write file", target_, errno);
}

// Names the file unless the name is taken; the anonymous file gets its name
// while still open and is closed after.
bool TNewFile::LinkIfFree(const std::string& name) {
    FailIfAbandoned(target_, cancel_);
    if (!anonymous_) return RenameIfFree(temporary_, name);
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
            unlink(name.c_str());
            throw;
        }
        return name;
    }
}
