#include <gtest/gtest.h>
#ifdef _WIN32
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>

#include "exif/WideFileUtils.h"
#include "tests/exif/ExifBuilder.h"

using namespace tovali;

using namespace exiftest;

namespace {

void CloseHandle(THandle handle) {
#ifdef _WIN32
    _close(handle);
#else
    ::close(handle);
#endif
}

std::string OpenErrorOf(const std::string& name, std::uint16_t mode) {
    try {
        TWideFileStream stream(name, mode);
    } catch (const EFOpenError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(WideFileOpen, ModesOutsideTheTablesFailWithoutReachingTheSystem) {
    TempDir dir;
    const std::string existing = dir.File("a.bin", {1, 2, 3});
    for (std::uint16_t mode : {std::uint16_t(3), std::uint16_t(0x50), std::uint16_t(0xF2)}) {
        errno = 0;
        EXPECT_EQ(WideFileOpen(existing, mode), kNoHandle) << mode;
        EXPECT_EQ(errno, EINVAL) << mode;
    }
    // A missing file under an invalid mode reports EINVAL, not ENOENT: the
    // system was never asked.
    errno = 0;
    EXPECT_EQ(WideFileOpen((dir.Path() / "missing").string(), 3), kNoHandle);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing"));
}

TEST(WideFileOpen, EverySharingModeUpToDenyNoneOpens) {
    TempDir dir;
    const std::string name = dir.File("a.bin", {1});
    for (std::uint16_t share :
         {fmShareCompat, fmShareExclusive, fmShareDenyWrite, fmShareDenyRead, fmShareDenyNone}) {
        const THandle h = WideFileOpen(name, fmOpenRead | share);
        EXPECT_GE(h, 0) << share;
        if (h >= 0) CloseHandle(h);
    }
}

TEST(WideFileOpen, AccessPartDecidesWhatTheHandleMayDo) {
    TempDir dir;
    const std::string name = dir.File("a.bin", {7, 8});
    std::uint8_t b = 0;
    EXPECT_EQ(TWideFileStream(name, fmOpenRead).ReadByte(), 7);
    EXPECT_EQ(TWideFileStream(name, fmOpenWrite).Read(&b, 1), 0u);
    EXPECT_EQ(TWideFileStream(name, fmOpenReadWrite).ReadByte(), 7);
}

TEST(WideFileExists, FoldersAndMissingNamesCountAsMissing) {
    TempDir dir;
    EXPECT_TRUE(WideFileExists(dir.File("x.jpg", {1})));
    EXPECT_FALSE(WideFileExists(dir.Path().string()));
    EXPECT_FALSE(WideFileExists((dir.Path() / "nothing.jpg").string()));
    EXPECT_FALSE(WideFileExists(""));
}

TEST(TWideFileStream, NamesOutsideAnyCodePageOpen) {
    TempDir dir;
    const std::string name = dir.File("写真_Ω_😀.jpg", {0xFF, 0xD8});
    TWideFileStream stream(name, fmOpenRead);
    EXPECT_EQ(stream.FileName(), name);
    EXPECT_EQ(stream.Size(), 2);
}

TEST(TWideFileStream, OpenErrorNamesTheAbsolutePathAndTheSystemMessage) {
    TempDir dir;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::string message = OpenErrorOf("sub/../missing.jpg", fmOpenRead);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(message, "Cannot open file \"" + (dir.Path() / "missing.jpg").string() +
                           "\"： No such file or directory");
}

TEST(TWideFileStream, InvalidModeAndFoldersRaiseTheSameOpenError) {
    TempDir dir;
    const std::string name = dir.File("a.bin", {1});
    EXPECT_EQ(OpenErrorOf(name, 3), "Cannot open file \"" + name + "\"： Invalid argument");
    EXPECT_EQ(OpenErrorOf(dir.Path().string(), fmOpenRead),
              "Cannot open file \"" + dir.Path().string() + "\"： Is a directory");
}

TEST(TWideFileStream, ReadingPastTheEndRaisesTheReadError) {
    TempDir dir;
    Bytes content(20000);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = std::uint8_t(i * 7);
    TWideFileStream stream(dir.File("a.bin", content), fmOpenRead);
    // Reads across the internal buffer's edges give the file's bytes.
    stream.SetPosition(8190);
    std::uint8_t four[4];
    stream.ReadBuffer(four, 4);
    EXPECT_EQ(four[0], content[8190]);
    EXPECT_EQ(four[3], content[8193]);
    Bytes all(content.size());
    stream.SetPosition(0);
    stream.ReadBuffer(all.data(), all.size());
    EXPECT_EQ(all, content);
    EXPECT_THROW(stream.ReadByte(), EReadError);
    stream.SetPosition(19998);
    EXPECT_EQ(stream.Read(four, 4), 2u);
    stream.SetPosition(19998);
    EXPECT_THROW(stream.ReadBuffer(four, 4), EReadError);
    stream.Seek(1000000, TSeekOrigin::soCurrent);
    EXPECT_EQ(stream.Remaining(), 0u);
    EXPECT_THROW(stream.ReadByte(), EReadError);
    EXPECT_EQ(stream.Seek(-5, TSeekOrigin::soBeginning), 0);
    EXPECT_EQ(stream.Seek(-4, TSeekOrigin::soEnd), 19996);
}

#ifndef _WIN32  // Windows has its own pipes and devices (WideFileUtilsWinTest)
// A pipe named like a picture blocks a plain open until a writer comes, and
// /dev/zero never ends: both are refused at once, on the opened descriptor.
TEST(OpenRegularFile, SpecialFilesAreRefusedWithoutWaiting) {
    TempDir dir;
    const std::string fifo = (dir.Path() / "p.jpg").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    alarm(20);  // a hang ends the test program instead of the whole run
    errno = 0;
    EXPECT_EQ(OpenRegularFile(fifo), kNoHandle);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(WideFileOpen(fifo, fmOpenRead), kNoHandle);
    EXPECT_EQ(OpenErrorOf(fifo, fmOpenRead).rfind("Cannot open file", 0), 0u);
    EXPECT_EQ(OpenRegularFile("/dev/zero"), kNoHandle);
    errno = 0;
    EXPECT_EQ(OpenRegularFile(dir.Path().string()), kNoHandle);
    EXPECT_EQ(errno, EISDIR);
    alarm(0);
    const THandle file = OpenRegularFile(dir.File("a.bin", {1, 2, 3}));
    ASSERT_GE(file, 0);
    std::uint8_t bytes[4] = {};
    EXPECT_EQ(::read(file, bytes, 4), 3);  // reads normally despite not waiting
    ::close(file);
}
#endif
