// Windows: tovali3-batch.exe run as a user would, on names no code page
// holds, a pipe named as a picture, and Ctrl-Break in the middle of a save.
#ifdef _WIN32  // Windows only, whichever way the build picks its test files
#include <gtest/gtest.h>

#include <QProcess>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/Raster.h"
#include "engine/codecs/BmpCodec.h"
#include "engine/codecs/CodecIO.h"
#include "exif/WidePath.h"
#include "exif/WinApi.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

class BatchProgramWin : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (L"tovali-batch-win-" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    // A killed program's files go a moment after it has ended.
    void TearDown() override {
        std::error_code ec;
        for (int i = 0; i < 500 && (fs::remove_all(dir_, ec), fs::exists(dir_)); ++i)
            QThread::msleep(10);
        EXPECT_FALSE(fs::exists(dir_));
    }

    // The program's own text for a path in the test's folder.
    std::string In(const std::string& name) const { return PathText(dir_) + "\\" + name; }

    std::string Photo(const std::string& from, const std::string& name) const {
        fs::copy_file(FileSystemPath(std::string(TOVALI_TEST_DATA) + "/" + from),
                      FileSystemPath(In(name)));
        return In(name);
    }

    void Start(QProcess& process, const std::vector<std::string>& args) const {
        QStringList arguments;
        for (const std::string& a : args) arguments << QString::fromStdString(a);
        process.setWorkingDirectory(QString::fromStdWString(dir_.wstring()));
        process.start(TOVALI_BATCH_PROGRAM, arguments);
    }

    std::vector<std::string> Left() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(PathText(entry.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

}  // namespace

// Arguments arrive as UTF-16 whatever the code page; written paths go to a
// pipe as UTF-8.
TEST_F(BatchProgramWin, NamesNoCodePageHoldsAreConvertedAndPrinted) {
    const std::string source = Photo("jpeg/colour.jpg", "𠮷野家😀.jpg");
    QProcess process;
    Start(process, {source});
    ASSERT_TRUE(process.waitForFinished(120000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << err;
    EXPECT_EQ(process.readAllStandardOutput().toStdString(), In("s-𠮷野家😀.jpg") + "\n");
    EXPECT_NE(err.find("[𠮷野家😀.jpg]を処理しています"), std::string::npos) << err;
    EXPECT_EQ(Left(), (std::vector<std::string>{"s-𠮷野家😀.jpg", "𠮷野家😀.jpg"}));
}

// A pipe named as a picture fails at once, as a FIFO does on Linux.
TEST_F(BatchProgramWin, APipeNamedAsAPictureFailsAtOnce) {
    const std::wstring pipeName =
        L"\\\\.\\pipe\\tovali-" + std::to_wstring(GetCurrentProcessId()) + L".jpg";
    const HANDLE server = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 4,
                                           4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    const std::string ok = Photo("jpeg/colour.jpg", "ok.jpg");
    QProcess process;
    Start(process, {ok, Wtf8FromUtf16(std::u16string(pipeName.begin(), pipeName.end()))});
    ASSERT_TRUE(process.waitForFinished(30000));
    CloseHandle(server);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_EQ(process.readAllStandardOutput().toStdString(), In("s-ok.jpg") + "\n");
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_NE(err.find("の処理に失敗しました"), std::string::npos) << err;
}

// Ctrl-Break (Ctrl-C cannot be sent to a process group of its own) while a
// big PNG is written: the program stops with 149, the file written before
// stays whole, and no part of the other is left.
TEST_F(BatchProgramWin, CtrlBreakMidSaveLeavesNothingBehind) {
    const std::string first = Photo("jpeg/colour.jpg", "a.jpg");
    TBitmap noise(4000, 3000, 24);
    std::mt19937 random(7);
    for (int y = 0; y < noise.Height(); ++y)
        for (int x = 0; x < noise.Width() * 3; ++x) noise.ScanLine(y)[x] = std::uint8_t(random());
    TMemorySink sink;
    BmpSave(noise, sink);
    std::ofstream(FileSystemPath(In("noise.bmp")), std::ios::binary)
        .write(reinterpret_cast<const char*>(sink.Bytes.data()),
               std::streamsize(sink.Bytes.size()));
    QProcess process;
    process.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments* a) { a->flags |= CREATE_NEW_PROCESS_GROUP; });
    Start(process, {"--set", "PIC_SAVE/TYPE_JPEG=0", "--set", "PIC_SAVE/TYPE_PNG=1", first,
                    In("noise.bmp")});
    ASSERT_TRUE(process.waitForStarted());
    // The big save is under way once the first file is written and a
    // temporary file is in the folder.
    bool saving = false;
    for (int i = 0; i < 6000 && !saving && process.state() == QProcess::Running; ++i) {
        const std::vector<std::string> names = Left();
        const bool firstDone = std::count(names.begin(), names.end(), "s-a.png") == 1;
        for (const std::string& name : names)
            saving = saving || (firstDone && name.rfind(".tovali-", 0) == 0);
        if (!saving) QThread::msleep(10);
    }
    ASSERT_TRUE(saving);
    if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, DWORD(process.processId()))) {
        process.kill();
        process.waitForFinished();
        GTEST_SKIP() << "no console to send Ctrl-Break through here";
    }
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 149);
    EXPECT_EQ(Left(), (std::vector<std::string>{"a.jpg", "noise.bmp", "s-a.png"}));
    const TInputSource written = TInputSource::OpenFile(In("s-a.png"));
    EXPECT_GT(written.Size(), 0u);
}

#endif
