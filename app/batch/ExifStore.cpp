#include "app/batch/ExifStore.h"

namespace tovali {

TPictureExif TExifStore::Get(const std::string& path, TUse use) {
    // Held while a file is read, so that two steps asking at once read it
    // once; EXIF blocks are small.
    std::lock_guard lock(mutex_);
    auto it = entries_.find(path);
    if (it == entries_.end()) {
        TPictureExif exif = read_(path, dateWanted_);
        if (exif.OpenError) return exif;
        it = entries_.emplace(path, TEntry{std::move(exif)}).first;
    }
    TEntry& entry = it->second;
    if (use == TUse::Load) entry.Loaded = true;
    if (use == TUse::Date) entry.Dated = true;
    TPictureExif exif = entry.Exif;
    if (entry.Loaded && (entry.Dated || !dateWanted_)) entries_.erase(it);
    return exif;
}

std::size_t TExifStore::Size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace tovali
