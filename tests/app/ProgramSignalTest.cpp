// The built program as a separate process, given names as raw bytes: a
// Shift-JIS name from the command line is converted, a pipe named like a
// picture keeps nothing waiting, and SIGTERM ends the program as a close
// does (the settings saved), with the shell's status 143.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Starts the program with these argument bytes; the environment is ours
// plus the given variables.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<char*> argv{const_cast<char*>(TOVALI3_PROGRAM)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// The exit status, or -1 when the process was still running after the time
// limit (it is killed then) or ended by a signal.
int WaitExit(pid_t pid, int limitMs) {
    int status = 0;
    for (int waited = 0; waited < limitMs; waited += 20) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        usleep(20000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

bool WaitExists(const fs::path& path, int limitMs) {
    for (int waited = 0; waited < limitMs && !fs::exists(path); waited += 20) usleep(20000);
    return fs::exists(path);
}

}  // namespace

class ProgramSignalTest : public QObject {
    Q_OBJECT

  private slots:
    void aSignalClosesTheWindowAndSavesItsSettings();
};

void ProgramSignalTest::aSignalClosesTheWindowAndSavesItsSettings() {
    const fs::path home = fs::temp_directory_path() / ("tovali-signal-" + std::to_string(getpid()));
    fs::remove_all(home);
    fs::create_directories(home / "run");
    const fs::path picture = home / "\x82\xa0.jpg";  // "あ" in Shift-JIS
    fs::copy_file(TOVALI_TEST_DATA "/jpeg/colour.jpg", picture);
    const fs::path pipe = home / "p.jpg";
    QCOMPARE(mkfifo(pipe.c_str(), 0600), 0);
    const pid_t pid =
        Spawn({picture.string(), pipe.string()},
              {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + (home / "config").string(),
               "XDG_RUNTIME_DIR=" + (home / "run").string(),
               "TOVALI3_MESSAGE_LOG=" + (home / "messages.log").string()});
    QVERIFY(pid > 0);
    QVERIFY(WaitExists(home / "s-\x82\xa0.jpg", 30000));
    usleep(200000);  // the job moves on to the pipe
    kill(pid, SIGTERM);
    QCOMPARE(WaitExit(pid, 20000), 143);
    QVERIFY(fs::exists(home / "config/Quorbel/Tovali3/config.ini"));
    QVERIFY(!fs::exists(home / "messages.log"));  // nobody was asked anything
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(home)) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    QCOMPARE(left, (std::vector<std::string>{"config", "p.jpg", "run", "s-\x82\xa0.jpg",
                                             "\x82\xa0.jpg"}));
    fs::remove_all(home);
}

QTEST_GUILESS_MAIN(ProgramSignalTest)
#include "ProgramSignalTest.moc"
