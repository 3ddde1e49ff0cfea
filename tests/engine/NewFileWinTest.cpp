// Windows: a new file sits under a temporary name marked for deletion until
// it is complete, so a killed process leaves nothing; it takes its name by a
// rename that never replaces, past MAX_PATH and 255-unit names too.
#ifdef _WIN32  // Windows only, whichever way the build picks its test files
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/FileNames.h"
#include "engine/NewFile.h"
#include "engine/UnitThPicConvert.h"
#include "tests/WinChild.h"
#include "tests/engine/ImageCompare.h"

using namespace tovali;

namespace {

std::string SaveSmall(TthPicConvert& engine, const std::string& outputName) {
    TBitmap b(8, 6, 24);
    return engine.SavePicture(outputName, b);
}

}  // namespace

TEST(NewFileWin, AProcessKilledWhileWritingLeavesNothing) {
    if (const std::string folder = ChildFolder(); !folder.empty()) {
        TNewFile file(folder + "𠮷.bmp");
        std::vector<char> big(1 << 20, 'x');
        file.Sink().Write(big.data(), big.size());
        file.Sink().Write(big.data(), big.size());
        KillThisProcess(std::filesystem::is_empty(FileSystemPath(folder)) ? 3 : 7);
    }
    TTempDir dir;
    EXPECT_EQ(RunCurrentTestInChild(dir.Folder()), 7);  // the temporary was there
    EXPECT_TRUE(dir.Entries().empty());
}

// Names taken by a file or a folder, even one that appears while the picture
// is written, are skipped; what was there stays as it was.
TEST(NewFileWin, TakenNamesAreNeverReplaced) {
    TTempDir dir;
    const std::string name = dir / "𠮷野家😀";
    WriteBytes(name + ".jpg", {'o', 'l', 'd'});
    std::filesystem::create_directory(FileSystemPath(name + "(1).jpg"));
    TNewFile file(name + ".jpg");
    file.Sink().Write("new", 3);
    WriteBytes(name + "(2).jpg", {'l', 'a', 't', 'e'});
    const std::string saved = file.Publish([&](std::int64_t n) {
        return n == 0 ? name + ".jpg" : name + "(" + std::to_string(n) + ").jpg";
    });
    EXPECT_EQ(saved, name + "(3).jpg");
    EXPECT_EQ(ReadBytes(name + ".jpg"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(ReadBytes(name + "(2).jpg"), (std::vector<std::uint8_t>{'l', 'a', 't', 'e'}));
    EXPECT_EQ(ReadBytes(saved), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(dir.Entries().size(), 4u);  // no temporary left over
}

// The engine's own save into a folder past MAX_PATH, with a sub-folder made
// in it.
TEST(NewFileWin, LongPathsAreWritten) {
    TTempDir dir;
    std::string deep = dir.Folder();
    for (int level = 0; Utf16FromWtf8(deep).size() < 300; ++level)
        deep += "とても長いフォルダ名" + std::to_string(level) + "\\";
    std::filesystem::create_directories(FileSystemPath(deep));
    TthPicConvert engine;
    engine.Options.DecidesName = false;
    engine.Options.DirName = "縮小";
    engine.Options.OutputType = otBmp;
    const std::string saved = SaveSmall(engine, deep + "a.bmp");
    EXPECT_EQ(saved, deep + "縮小\\a.bmp");
    EXPECT_TRUE(std::filesystem::is_regular_file(FileSystemPath(saved)));
}

// A name past 255 UTF-16 units is cut before a whole character, never
// between the halves of a pair. Wine keeps names in the Linux file system,
// whose 255 bytes hold fewer such characters: there it cannot be shown.
TEST(NewFileWin, NamesPast255UnitsAreCutOnAWholeCharacter) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr)
        GTEST_SKIP() << "names past 255 bytes do not fit Wine's file system";
    TTempDir dir;
    TthPicConvert engine;
    engine.Options.OutputType = otBmp;
    std::string base;
    for (int i = 0; i < 130; ++i) base += "𠮷";  // 260 units
    engine.Options.DecidesName = true;
    engine.Options.NameAffix = "_s";
    engine.Options.NameBefore = false;
    SaveSmall(engine, dir / (base + ".bmp"));
    SaveSmall(engine, dir / (base + ".bmp"));
    const std::vector<std::string> names = dir.Entries();
    ASSERT_EQ(names.size(), 3u);
    std::string kept;
    for (int i = 0; i < 124; ++i) kept += "𠮷";  // 248 + "_s" + ".bmp" = 254 units
    EXPECT_EQ(names[2], kept + "_s.bmp");
    kept.resize(kept.size() - 4);  // one fewer makes room for "(1)"
    EXPECT_EQ(names[1], kept + "_s(1).bmp");
    for (const std::string& n : names) EXPECT_LE(Utf16FromWtf8(n).size(), 255u) << n;
}

#endif
