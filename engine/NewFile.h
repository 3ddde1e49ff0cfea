// A new file that is written whole or not at all and never replaces an
// existing one. The data goes to a hidden temporary file in the target's
// folder; Publish then gives it the first free name without replacing
// anything, even a file that appeared a moment before. Until then, and after
// any failure, the temporary file is removed and nothing else is touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "CodecIO.h"

// A file that cannot be created or written; the text carries the target
// name and the system's reason.
class EFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TNewFile {
  public:
    // Creates the temporary file beside `target` (used for messages and for
    // its folder). Raises EFileError when the folder does not take it.
    explicit TNewFile(const std::string& target);
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

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool published_ = false;
    std::unique_ptr<FileSink> sink_;
};
