// tovali3-batch run as a user would: real photos in a temporary folder,
// exit status, standard output and standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "app/batch/BatchCommandLine.h"
#include "engine/UnitThPicConvert.h"
#include "engine/codecs/BmpCodec.h"
#include "engine/codecs/JpegCodec.h"
#include "ui/settings/Cp932.h"

using namespace tovali;

namespace fs = std::filesystem;

namespace {

struct TRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

class BatchProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tovali-batch-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "home");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Photo(const std::string& from, const std::string& name) {
        fs::copy_file(fs::path(TOVALI_TEST_DATA) / from, dir_ / name);
        return (dir_ / name).string();
    }

    // Runs the program with a home folder of its own; the platform asked for
    // here has no display, which the program must ignore.
    TRun Run(const std::vector<std::string>& args, int timeoutMs = 120000) {
        QProcess process;
        Start(process, args);
        EXPECT_TRUE(process.waitForFinished(timeoutMs));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }

    void Start(QProcess& process, const std::vector<std::string>& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString((dir_ / "home").string()));
        env.remove("XDG_CONFIG_HOME");
        env.remove("DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QString::fromStdString(dir_.string()));
        QStringList arguments;
        for (const std::string& a : args) arguments << QString::fromStdString(a);
        process.start(TOVALI_BATCH_PROGRAM, arguments);
    }

    static TSize PictureSize(const std::string& path) {
        TthPicConvert engine;
        TBitmap bitmap;
        engine.LoadPicture(path, bitmap);
        return {bitmap.Width(), bitmap.Height()};
    }

    std::string Bytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // A 24-bit BMP of random pixels, which no encoder can make small fast.
    static void WriteNoiseBmp(const fs::path& path, int width, int height) {
        TBitmap noise(width, height, 24);
        std::mt19937 random(7);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * 3; ++x) noise.ScanLine(y)[x] = std::uint8_t(random());
        TMemorySink sink;
        BmpSave(noise, sink);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(sink.Bytes.data()),
                   std::streamsize(sink.Bytes.size()));
    }

    // A progressive JPEG of random pixels: its decode takes long, and reads
    // every scan before it gives the first row.
    static void WriteNoiseProgressiveJpeg(const fs::path& path, int width, int height) {
        TBitmap noise(width, height, 24);
        std::mt19937 random(7);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * 3; ++x) noise.ScanLine(y)[x] = std::uint8_t(random());
        TJpegImage jpeg(noise);
        jpeg.ProgressiveEncoding = true;
        jpeg.CompressionQuality = 95;
        jpeg.Compress();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.Data()), std::streamsize(jpeg.DataSize()));
    }

    // Waits until the program has written this text to standard error.
    static bool WaitForStatus(QProcess& process, const std::string& text, std::string& err) {
        process.setReadChannel(QProcess::StandardError);
        while (err.find(text) == std::string::npos) {
            if (!process.waitForReadyRead(60000)) return false;
            err += process.readAllStandardError().toStdString();
        }
        return true;
    }

    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // True when the process has a file open in this test's folder other than
    // the source (named or not yet named).
    bool WritesInto(pid_t pid, const fs::path& source) const {
        std::error_code ec;
        const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
        for (const auto& fd : fs::directory_iterator(fds, ec)) {
            const std::string target = fs::read_symlink(fd.path(), ec).string();
            if (!ec && target.rfind(dir_.string() + "/", 0) == 0 && target != source.string())
                return true;
        }
        return false;
    }

    fs::path dir_;
};

}  // namespace

TEST_F(BatchProgram, ConvertsEveryFileAndPrintsTheirPaths) {
    const std::string a = Photo("exif/Canon_40D.jpg", "Canon_40D.jpg");
    const std::string b = Photo("jpeg/colour.jpg", "colour.JPG");
    const std::vector<std::string> args = {"--set",
                                           "PIC_SIZE/USE_PIC_SIZE=1",
                                           "--set",
                                           "PIC_SIZE/INPUT_SIZE=1",
                                           "--set",
                                           "PIC_SIZE/WIDTH=50",
                                           "--set=PIC_SIZE/HEIGHT=50",
                                           a,
                                           b};
    TRun run = Run(args);
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out,
              (dir_ / "s-Canon_40D.jpg").string() + "\n" + (dir_ / "s-colour.jpg").string() + "\n");
    EXPECT_EQ(run.Err,
              "初期化中････\n[Canon_40D.jpg]を処理しています\n[colour.JPG]を処理しています\n"
              "2枚の画像処理が完了しました\n");
    const TSize small = PictureSize((dir_ / "s-Canon_40D.jpg").string());
    EXPECT_EQ(small.cx, 50);
    EXPECT_EQ(small.cy, 34);

    // Nothing is ever replaced: the second run numbers its outputs.
    run = Run(args);
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out, (dir_ / "s-Canon_40D(1).jpg").string() + "\n" +
                           (dir_ / "s-colour(1).jpg").string() + "\n");
    // The program never writes the settings file, nor makes its folder.
    EXPECT_FALSE(fs::exists(dir_ / "home" / ".config"));
}

TEST_F(BatchProgram, StopsAtAFileThatCannotBeLoaded) {
    const std::string a = Photo("jpeg/colour.jpg", "a.jpg");
    const std::string broken = (dir_ / "broken.jpg").string();
    std::ofstream(broken) << "this is no picture";
    const std::string c = Photo("jpeg/grey.jpg", "c.jpg");
    const TRun run = Run({a, broken, c});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Out, (dir_ / "s-a.jpg").string() + "\n");
    // The line after the status says why, in the library's words.
    EXPECT_EQ(run.Err,
              "初期化中････\n[a.jpg]を処理しています\n[broken.jpg]を処理しています\n"
              "[broken.jpg]の処理に失敗しました\n"
              "[broken.jpg] 読込み (load): JPEG: Not a JPEG file: starts with 0x74 0x68\n");
    EXPECT_FALSE(fs::exists(dir_ / "s-broken.jpg"));
    EXPECT_FALSE(fs::exists(dir_ / "s-c.jpg"));

    // A script can tell a file that is no PNG from a BMP of a layout that
    // is not read.
    fs::copy_file(broken, dir_ / "text.png");
    fs::copy_file(fs::path(TOVALI_SOURCE_DIR) / "tests/crashers/bmp/unsupported-rgba64.bmp",
                  dir_ / "deep.bmp");
    const std::pair<const char*, const char*> reasons[] = {
        {"text.png", "[text.png] 読込み (load): PNG: Not a PNG file\n"},
        {"deep.bmp", "[deep.bmp] 読込み (load): BMP: unsupported bits per pixel: 64\n"}};
    for (const auto& [name, reason] : reasons) {
        const TRun failed = Run({(dir_ / name).string()});
        EXPECT_EQ(failed.Exit, 1);
        const std::string status = std::string("[") + name + "]の処理に失敗しました\n";
        EXPECT_EQ(failed.Err.substr(failed.Err.find(status)), status + reason);
    }
}

TEST_F(BatchProgram, OtherFailuresNameTheFileAndLeaveNothingBehind) {
    const std::string a = Photo("jpeg/colour.jpg", "a.jpg");
    std::ofstream(dir_ / "blocker") << "a file where the sub-folder should go";
    const TRun run =
        Run({"--set", "PIC_SAVE/USE_MAKE_DIR=1", "--set", "PIC_SAVE/DIR_NAME=blocker", a});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("[a.jpg]の処理に失敗しました\n[a.jpg] 保存 (save): "), std::string::npos)
        << run.Err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);

    const TRun snapshot = Run({"--set", "PIC_QUALITY/SIZE=abc", a});
    EXPECT_EQ(snapshot.Exit, 1);
    EXPECT_NE(snapshot.Err.find(
                  "[a.jpg]の処理に失敗しました\n[a.jpg] 設定の読み取り (options): 'abc' is not a "
                  "valid integer value\n"),
              std::string::npos)
        << snapshot.Err;
}

TEST_F(BatchProgram, RejectedBatchesConvertNothing) {
    const std::string a = Photo("jpeg/colour.jpg", "a.jpg");
    fs::create_directory(dir_ / "Photos");
    std::ofstream(dir_ / "notes.txt") << "text";
    TRun run = Run({a, (dir_ / "Photos").string(), (dir_ / "notes.txt").string()});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_EQ(run.Out, "");
    const std::string folder = "■フォルダのドロップには対応していません\n　　Photos\n";
    const std::string format =
        "■「JPEG形式、GIF形式、PNG形式、BMP形式、HEIC形式、AVIF形式、WebP形式」"
        "以外の形式には対応していません\n　　notes.txt\n";
    EXPECT_TRUE(run.Err == folder + "\n" + format || run.Err == format + "\n" + folder) << run.Err;

    run = Run({"--set", "PIC_SAVE/DECIDES_STRING=", a});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_EQ(run.Err, "ファイル名の前後に付ける文字を入力してください\n");
    EXPECT_FALSE(fs::exists(dir_ / "s-a.jpg"));
}

TEST_F(BatchProgram, BadUsageHelpAndVersion) {
    TRun run = Run({});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_NE(run.Err.find("使い方 (usage):"), std::string::npos);
    run = Run({"--frobnicate", "a.jpg"});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_EQ(run.Err.rfind("tovali3-batch: ", 0), 0u);
    EXPECT_NE(run.Err.find("--frobnicate"), std::string::npos);
    run = Run({"--date", "2024-13-01", "a.jpg"});
    EXPECT_EQ(run.Exit, 2);
    run = Run({"--help"});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_NE(run.Out.find("画像ファイル"), std::string::npos);
    EXPECT_NE(run.Out.find("Converts picture files"), std::string::npos);
    run = Run({"--version"});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out.rfind("tovali3-batch 3.", 0), 0u);
}

TEST_F(BatchProgram, ReadsTheSettingsFileInCodePage932AndNeverWritesIt) {
    const std::string a = Photo("jpeg/colour.jpg", "colour.jpg");
    const fs::path config = dir_ / "my.ini";
    const std::string bytes =
        "; mine\r\n[PIC_SAVE]\r\nTYPE_PNG=1\r\nDECIDES_STRING=" + Utf8ToCp932("縮小_") + "\r\n";
    std::ofstream(config, std::ios::binary) << bytes;
    const auto written = fs::last_write_time(config);
    TRun run = Run({"--config", config.string(), a});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, (dir_ / "縮小_colour.png").string() + "\n");
    EXPECT_EQ(Bytes(config), bytes);
    EXPECT_EQ(fs::last_write_time(config), written);

    // By default the window's own file, which --set overrides key by key.
    const fs::path folder = dir_ / "home" / ".config" / "Quorbel" / "Tovali3";
    fs::create_directories(folder);
    std::ofstream(folder / "config.ini")
        << "[PIC_SAVE]\nTYPE_JPEG=0\nTYPE_BMP=1\nDECIDES_INDEX=1\nDECIDES_STRING=_b\n";
    run = Run({"--set", "PIC_SAVE/DECIDES_STRING=_c", a});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, (dir_ / "colour_c.bmp").string() + "\n");
}

// Named like pictures but a pipe (which would wait for a writer for good), a
// device that never ends, and a folder: each fails at once, in its turn.
TEST_F(BatchProgram, SpecialFilesFailWithoutWaiting) {
    const std::string ok = Photo("jpeg/colour.jpg", "ok.jpg");
    ASSERT_EQ(mkfifo((dir_ / "p.jpg").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir_ / "z.bmp");
    fs::create_directory(dir_ / "d.png");
    TRun run = Run({ok, (dir_ / "p.jpg").string()}, 30000);
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Out, (dir_ / "s-ok.jpg").string() + "\n");
    EXPECT_NE(run.Err.find("[p.jpg]の処理に失敗しました"), std::string::npos);
    EXPECT_EQ(Run({(dir_ / "z.bmp").string()}, 30000).Exit, 1);
    EXPECT_EQ(Run({(dir_ / "d.png").string()}, 30000).Exit, 1);
}

// --null ends every written path with NUL, so a name with a newline in it
// stays one name.
TEST_F(BatchProgram, NullSeparatesWrittenPaths) {
    const std::string a = Photo("jpeg/colour.jpg", "two\nlines.jpg");
    const TRun run = Run({"--null", a});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, (dir_ / "s-two\nlines.jpg").string() + std::string(1, '\0'));
    EXPECT_NE(BatchHelp().find("--null"), std::string::npos);
}

// SIGTERM while a big PNG is being written: the program stops, exits 143 as
// shells expect, and leaves nothing but the source.
TEST_F(BatchProgram, ASignalMidSaveLeavesNothingBehind) {
    const fs::path source = dir_ / "noise.bmp";
    WriteNoiseBmp(source, 4000, 3000);
    QProcess process;
    Start(process,
          {"--set", "PIC_SAVE/TYPE_JPEG=0", "--set", "PIC_SAVE/TYPE_PNG=1", source.string()});
    ASSERT_TRUE(process.waitForStarted());
    // The save is under way once the program holds a file in the folder
    // other than the source.
    const pid_t pid = pid_t(process.processId());
    bool saving = false;
    for (int i = 0; i < 3000 && !saving && process.state() == QProcess::Running; ++i) {
        saving = WritesInto(pid, source);
        if (!saving) QThread::msleep(10);
    }
    ASSERT_TRUE(saving);
    kill(pid, SIGTERM);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 143);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"home", "noise.bmp"}));
    EXPECT_NE(process.readAllStandardError().toStdString().find("[noise.bmp]の処理を中止しました"),
              std::string::npos);
}

// Ctrl-C while a large progressive JPEG is decoded into a box: the decode
// gives up at once, so the program ends long before the decode would have
// (its time is measured in the same run), exits 130 and leaves only the
// source.
TEST_F(BatchProgram, AStopEndsTheDecodeUnderWay) {
    const fs::path source = dir_ / "big.jpg";
    WriteNoiseProgressiveJpeg(source, 3000, 2000);
    const std::vector<std::string> args = {"--set", "PIC_SIZE/USE_PIC_SIZE=1", "--set",
                                           "PIC_SIZE/REGULAR_SIZE=1", source.string()};
    QElapsedTimer clock;
    QProcess whole;
    Start(whole, args);
    std::string err;
    ASSERT_TRUE(WaitForStatus(whole, "[big.jpg]を処理しています", err));
    clock.start();
    ASSERT_TRUE(whole.waitForFinished(120000));
    const qint64 convertMs = clock.elapsed();
    ASSERT_EQ(whole.exitCode(), 0);
    fs::remove(dir_ / "s-big.jpg");

    QProcess process;
    Start(process, args);
    err.clear();
    ASSERT_TRUE(WaitForStatus(process, "[big.jpg]を処理しています", err));
    QThread::msleep(std::uint64_t(convertMs / 5));
    clock.start();
    kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(120000));
    const qint64 stopMs = clock.elapsed();
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_LT(stopMs, convertMs / 4) << "the conversion alone took " << convertMs << " ms";
    EXPECT_EQ(Entries(), (std::vector<std::string>{"big.jpg", "home"}));
    err += process.readAllStandardError().toStdString();
    EXPECT_NE(err.find("[big.jpg]の処理を中止しました"), std::string::npos) << err;
}
