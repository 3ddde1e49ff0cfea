// The EXIF data of the files a job has under way, read once per file and
// handed to each step that needs it: the decode cost and the load on a
// decoder's thread, the date step on the job's.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "engine/PictureExif.h"

namespace tovali {

class TExifStore {
  public:
    // Reads a file's EXIF data, its date too when withDate.
    using TReader = std::function<TPictureExif(const std::string& path, bool withDate)>;
    enum class TUse { Cost, Load, Date };

    explicit TExifStore(TReader read) : read_(std::move(read)) {}

    // Whether the date step will ask (set before the first file).
    void SetDateWanted(bool wanted) { dateWanted_ = wanted; }

    // The file's EXIF data, read by the first step that asks. A file's entry
    // goes once its load and (when wanted) its date step have had it; a file
    // that could not be opened is read again by the next step, which may
    // find it written since. Any thread.
    TPictureExif Get(const std::string& path, TUse use);

    std::size_t Size() const;

  private:
    struct TEntry {
        TPictureExif Exif;
        bool Loaded = false;
        bool Dated = false;
    };

    TReader read_;
    bool dateWanted_ = false;
    mutable std::mutex mutex_;
    std::map<std::string, TEntry> entries_;
};

}  // namespace tovali
