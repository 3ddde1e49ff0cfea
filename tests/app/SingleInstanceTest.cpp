// One instance per user session: the lock file, and the built program started
// as separate processes (a second start is refused while the first runs; a
// killed first instance blocks nothing).
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/SingleInstance.h"

using namespace tovali;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Restores an environment variable when the test ends.
class TEnvGuard {
  public:
    explicit TEnvGuard(const char* name)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {}
    ~TEnvGuard() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

  private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

  private slots:
    void lockFileLivesInTheRuntimeFolder();
    void withoutARuntimeFolderTheTempFolderNamesTheUser();
    void aSecondHolderIsRefusedUntilTheFirstLetsGo();
    void aPlantedLinkIsNotFollowed();
    void aSecondStartIsRefusedWhileTheFirstRuns();

  private:
    std::unique_ptr<QProcess> Start(const QTemporaryDir& home, const QString& log,
                                    const QStringList& arguments) const;
};

void SingleInstanceTest::lockFileLivesInTheRuntimeFolder() {
    TEnvGuard guard("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/run/user/1234");
    QCOMPARE(QString::fromStdString(InstanceLockPath().string()),
             QString("/run/user/1234/QUORBEL_TOVALI3.lock"));
}

void SingleInstanceTest::withoutARuntimeFolderTheTempFolderNamesTheUser() {
    TEnvGuard guard("XDG_RUNTIME_DIR");
    const QString expected =
        QDir::tempPath() + QStringLiteral("/QUORBEL_TOVALI3-%1.lock").arg(getuid());
    qunsetenv("XDG_RUNTIME_DIR");
    QCOMPARE(QString::fromStdString(InstanceLockPath().string()), expected);
    qputenv("XDG_RUNTIME_DIR", "relative/run");  // not a valid runtime folder
    QCOMPARE(QString::fromStdString(InstanceLockPath().string()), expected);
}

void SingleInstanceTest::aSecondHolderIsRefusedUntilTheFirstLetsGo() {
    QTemporaryDir dir;
    const std::filesystem::path path = dir.filePath("lock").toStdString();
    auto first = std::make_unique<TInstanceLock>();
    TInstanceLock second;
    QVERIFY(first->Acquire(path));
    QVERIFY(!second.Acquire(path));
    first.reset();
    QVERIFY(second.Acquire(path));
}

void SingleInstanceTest::aPlantedLinkIsNotFollowed() {
    QTemporaryDir dir;
    const QString target = dir.filePath("elsewhere");
    QVERIFY(QFile::link(target, dir.filePath("lock")));
    TInstanceLock lock;
    QVERIFY(lock.Acquire(dir.filePath("lock").toStdString()));  // runs unguarded
    QVERIFY(!QFileInfo::exists(target));
}

std::unique_ptr<QProcess> SingleInstanceTest::Start(const QTemporaryDir& home, const QString& log,
                                                    const QStringList& arguments) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("run"));
    env.insert("TOVALI3_MESSAGE_LOG", log);
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(QStringLiteral(TOVALI3_PROGRAM), arguments);
    return process;
}

void SingleInstanceTest::aSecondStartIsRefusedWhileTheFirstRuns() {
    QTemporaryDir home;
    QVERIFY(QDir(home.path()).mkpath("run"));
    const QString picture = home.filePath("a.jpg");
    QVERIFY(QFile::copy(TOVALI_TEST_DATA "/jpeg/colour.jpg", picture));

    auto first = Start(home, home.filePath("first.log"), {});
    QVERIFY(first->waitForStarted());
    // The settings folder is made by the main window, after the lock is taken.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(home.filePath("config/Quorbel/Tovali3")).isDir(), 30000);

    auto second = Start(home, home.filePath("second.log"), {picture});
    QVERIFY(second->waitForFinished(30000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 1);
    QCOMPARE(ReadText(home.filePath("second.log")), U("既に起動しています\n"));
    QVERIFY(!QFileInfo::exists(home.filePath("s-a.jpg")));
    QCOMPARE(first->state(), QProcess::Running);

    // Killed without any chance to let go of the lock.
    first->kill();
    QVERIFY(first->waitForFinished());
    auto third = Start(home, home.filePath("third.log"), {picture});
    QVERIFY(third->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(home.filePath("s-a.jpg")), 30000);
    QCOMPARE(third->state(), QProcess::Running);
    QVERIFY(!QFileInfo::exists(home.filePath("third.log")));
    QVERIFY(!QFileInfo::exists(home.filePath("first.log")));
    third->kill();
    QVERIFY(third->waitForFinished());
}

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
