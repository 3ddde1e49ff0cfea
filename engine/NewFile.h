// A new file that is written whole or not at all and never replaces an
// existing one. The data goes to an anonymous file in the target's folder
// (one without a name, which the system discards however the process ends);
// Publish then gives it the first free name without replacing anything, even
// a file that appeared a moment before. Where the file system has no
// anonymous files, a hidden temporary file takes its place: it is removed
// after any failure, and by AbandonNewFiles, which a signal handler calls.
// On Windows the temporary file is marked for deletion from its creation
// on, so the system removes it however the process ends, and the mark comes
// off only as the file takes its name (a rename that never replaces).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/codecs/CodecIO.h"

namespace tovali {

// A file that cannot be created or written; the text carries the target
// name and the system's reason.
class EFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TNewFile {
  public:
    // Creates the temporary file beside `target` (used for messages and for
    // its folder). Raises EFileError when the folder does not take it. Once
    // `cancel` is set, writes and Publish fail as after AbandonNewFiles.
    explicit TNewFile(const std::string& target, const std::atomic<bool>* cancel = nullptr);
    ~TNewFile();
    TNewFile(const TNewFile&) = delete;
    TNewFile& operator=(const TNewFile&) = delete;

    // Buffered writes into the temporary file; raise EFileError.
    TOutputSink& Sink();

    // Completes the file and names it nameFor(0), or else nameFor(1),
    // nameFor(2) ... whichever is free first. Returns the name taken.
    std::string Publish(const std::function<std::string(std::int64_t)>& nameFor);

  private:
    class FileSink;
    void Close();
    bool LinkIfFree(const std::string& name);

    struct TPendingName;
    friend void AbandonNewFiles() noexcept;

    std::string target_;
    const std::atomic<bool>* cancel_;
    std::string temporary_;
    int fd_ = -1;
    bool anonymous_ = false;
    bool published_ = false;
    TPendingName* pending_ = nullptr;  // the temporary's name for AbandonNewFiles
    std::unique_ptr<FileSink> sink_;
};

// From a signal handler (async-signal-safe): removes every hidden temporary
// file of this process, and makes every later write, publish or creation of
// a new file fail, so that the save under way ends without leaving a part.
void AbandonNewFiles() noexcept;

// Whether new files start anonymous where the file system allows it (the
// default); off, they always take the hidden temporary name. Linux only.
void UseAnonymousNewFiles(bool use);

}  // namespace tovali
