#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "app/batch/ExifStore.h"

using namespace tovali;

namespace {

using TUse = TExifStore::TUse;

// Reads by counting; a file named "gone" cannot be opened.
struct TCountingReader {
    std::map<std::string, int> reads;
    TExifStore::TReader Reader() {
        return [this](const std::string& path, bool withDate) {
            ++reads[path];
            TPictureExif exif;
            exif.Orientation = 6;
            if (withDate) exif.Date = 1.5;
            if (path == "gone") exif.OpenError = std::make_exception_ptr(std::runtime_error(path));
            return exif;
        };
    }
};

}  // namespace

TEST(ExifStore, EachFileIsReadOnceWhateverTheOrderOfItsSteps) {
    TCountingReader counter;
    TExifStore store(counter.Reader());
    store.SetDateWanted(true);
    // Decoded ahead of its turn, or at its turn after the date step.
    for (const auto& [path, order] :
         {std::pair{"a", std::vector{TUse::Cost, TUse::Load, TUse::Date}},
          {"b", {TUse::Date, TUse::Cost, TUse::Load}}}) {
        for (const TUse use : order) {
            const TPictureExif exif = store.Get(path, use);
            EXPECT_EQ(exif.Orientation, 6);
            EXPECT_EQ(exif.Date, 1.5);
        }
        EXPECT_EQ(counter.reads[path], 1) << path;
    }
    EXPECT_EQ(store.Size(), 0u);
}

TEST(ExifStore, WithoutTheDateAFileGoesAfterItsLoad) {
    TCountingReader counter;
    TExifStore store(counter.Reader());
    store.Get("a", TUse::Cost);
    EXPECT_EQ(store.Size(), 1u);
    EXPECT_FALSE(store.Get("a", TUse::Load).Date);
    EXPECT_EQ(store.Size(), 0u);
    EXPECT_EQ(counter.reads["a"], 1);
}

// The file may be written by the job before its turn comes.
TEST(ExifStore, AFileThatCannotBeOpenedIsReadAgain) {
    TCountingReader counter;
    TExifStore store(counter.Reader());
    EXPECT_TRUE(store.Get("gone", TUse::Cost).OpenError);
    EXPECT_TRUE(store.Get("gone", TUse::Load).OpenError);
    EXPECT_EQ(counter.reads["gone"], 2);
    EXPECT_EQ(store.Size(), 0u);
}
