// The program as a user meets it: pictures dropped on the main window go
// through intake, a job thread converts them with the window's settings while
// the progress window follows, and the main window stays disabled until
// "閉じる". Real files in a temporary folder, on the offscreen platform.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/UnitMain.h"
#include "app/UnitStatus.h"
#include "tests/ScratchSettings.h"
#include "ui/MessageBox.h"

using namespace tovali;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

constexpr int kJobTimeoutMs = 60000;

class UrlCatcher : public QObject {
    Q_OBJECT

  public:
    QList<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

}  // namespace

class ProgramFlowTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void droppedPicturesAreConvertedWithProgressToTheEnd();
    void anUnreadableFileStopsTheJobAtIt();
    void aFolderDropShowsTheSummaryAndStartsNothing();
    void itemsThatAreNotLocalFilesAreReportedAsUnsupported();
    void aFailedInputCheckShowsItsMessageAndStartsNothing();
    void twoJobsInARowStartFromACleanProgressWindow();
    void theJobUsesTheChoicesOnThePages();
    void aSnapshotFailureStopsTheJobAtTheFirstFile();
    void aDisabledWindowTakesNoDrops();
    void commandLinePathsGoThroughIntake();
    void closingTheWindowDuringAJobStopsIt();
    void theSessionsEndStopsAJobAndSavesWithoutAQuestion();
    void stopKeepsTheWrittenFilesAndOffersTheirFolder();
    void aStopBeforeTheFirstFileWritesNothing();
    void namesThatAreNotUtf8AreConvertedAndTheirFolderOpens();
    void aJobThreadThatCannotStartFailsTheJob();
    void aCommentTheFileCannotKeepIsToldOnceAtTheSave();

  private:
    QStringList AddPhotos(int count) const;
    QString AddPicture(const QString& source, const QString& name) const;
    QString AddGarbage(const QString& name) const;
    QString Output(const QString& name) const { return dir->filePath(name); }
    void Drop(const QList<QUrl>& urls);
    void DropFiles(const QStringList& paths);
    bool WaitForJobEnd();
    static TPathList Paths(const QStringList& paths);

    TScratchSettings settings;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TFormMainJob> form;
    std::unique_ptr<TFormStatus> status;
    QStringList messages;
};

void ProgramFlowTest::init() {
    settings.Clear();
    dir = std::make_unique<QTemporaryDir>();
    messages.clear();
    SetMessageBoxHook([this](const QString& text, QMessageBox::StandardButtons) {
        messages.append(text);
        return QMessageBox::Ok;
    });
    form = std::make_unique<TFormMainJob>();
    FormMain = form.get();
    status = std::make_unique<TFormStatus>();
    FormStatus = status.get();
    status->SetMainWindow(form.get());
    form->SetStatusWindow(status.get());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

void ProgramFlowTest::cleanup() {
    form.reset();
    status.reset();
    FormStatus = nullptr;
    SetMessageBoxHook({});
    dir.reset();
}

QString ProgramFlowTest::AddPicture(const QString& source, const QString& name) const {
    const QString path = dir->filePath(name);
    QFile::copy(QStringLiteral(TOVALI_TEST_DATA "/") + source, path);
    return path;
}

// Photos big enough that a job over them takes a while.
QStringList ProgramFlowTest::AddPhotos(int count) const {
    QImage photo(2400, 1600, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    QStringList pictures = {dir->filePath("p0.jpg")};
    if (!photo.save(pictures[0], "JPEG", 90)) return {};
    for (int i = 1; i < count; ++i) {
        pictures.append(dir->filePath(QStringLiteral("p%1.jpg").arg(i)));
        if (!QFile::copy(pictures[0], pictures.last())) return {};
    }
    return pictures;
}

QString ProgramFlowTest::AddGarbage(const QString& name) const {
    const QString path = dir->filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(4000, '\x5a'));
    return path;
}

// A drop through the window system onto the page area, then the intake that
// runs once the drop has completed.
void ProgramFlowTest::Drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = form->PGConfig->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->windowHandle(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->windowHandle(), &drop);
    QCoreApplication::processEvents();
}

void ProgramFlowTest::DropFiles(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
    Drop(urls);
}

TPathList ProgramFlowTest::Paths(const QStringList& paths) {
    TPathList list;
    for (const QString& path : paths) list.push_back(QFile::encodeName(path).toStdString());
    return list;
}

// The end of a job: "閉じる" enabled and the thread gone.
bool ProgramFlowTest::WaitForJobEnd() {
    return QTest::qWaitFor(
        [this] { return status->BtnClose->isEnabled() && !form->IsConverting(); }, kJobTimeoutMs);
}

void ProgramFlowTest::droppedPicturesAreConvertedWithProgressToTheEnd() {
    const QStringList pictures = {AddPicture("jpeg/colour.jpg", "a.jpg"),
                                  AddPicture("png/basn2c08.png", "b.png"),
                                  AddPicture("bmp/rgb24.bmp", "c.bmp")};
    DropFiles(pictures);
    QVERIFY(status->isVisible());
    QVERIFY(!form->isEnabled());
    QVERIFY(WaitForJobEnd());

    QCOMPARE(status->LabelStatus->text(), U("3枚の画像処理が完了しました"));
    QCOMPARE(status->ProgressBarStatus->maximum(), 17);
    QCOMPARE(status->ProgressBarStatus->value(), 17);
    QVERIFY(status->BtnOpenDir->isEnabled());
    QCOMPARE(QDir(status->SaveDir()), QDir(dir->path()));
    for (const char* name : {"s-a.jpg", "s-b.jpg", "s-c.jpg"}) {
        QImageReader reader(Output(U(name)));
        QVERIFY2(reader.canRead(), name);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
    }
    QVERIFY(messages.isEmpty());

    // Still disabled after the end, until "閉じる".
    QVERIFY(!form->isEnabled());
    status->BtnClose->click();
    QVERIFY(!status->isVisible());
    QVERIFY(form->isEnabled());
}

void ProgramFlowTest::anUnreadableFileStopsTheJobAtIt() {
    const QString third = AddPicture("jpeg/colour.jpg", "c.jpg");
    const QByteArray thirdBytes = ReadAll(third);
    DropFiles({AddPicture("jpeg/colour.jpg", "a.jpg"), AddGarbage("b.jpg"), third});
    QVERIFY(WaitForJobEnd());

    QCOMPARE(status->LabelStatus->text(), U("[b.jpg]の処理に失敗しました"));
    // The status line's tooltip says why, as tovali3-batch does; the next
    // job starts without it.
    QVERIFY2(status->LabelStatus->toolTip().startsWith(U("[b.jpg] 読込み (load): JPEG: ")),
             qPrintable(status->LabelStatus->toolTip()));
    QCOMPARE(status->ProgressBarStatus->value(), 6);
    QVERIFY(status->BtnClose->isEnabled());
    QVERIFY(!status->BtnOpenDir->isEnabled());
    QVERIFY(QFileInfo::exists(Output("s-a.jpg")));
    QVERIFY(!QFileInfo::exists(Output("s-b.jpg")));
    QVERIFY(!QFileInfo::exists(Output("s-c.jpg")));
    QCOMPARE(ReadAll(third), thirdBytes);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 4);
    QVERIFY(!form->isEnabled());
    status->BtnClose->click();
    QVERIFY(form->isEnabled());
    DropFiles({AddPicture("jpeg/colour.jpg", "d.jpg")});
    QVERIFY(WaitForJobEnd());
    QCOMPARE(status->LabelStatus->toolTip(), QString());
}

void ProgramFlowTest::aFolderDropShowsTheSummaryAndStartsNothing() {
    QVERIFY(QDir(dir->path()).mkdir("Photos"));
    DropFiles({AddPicture("jpeg/colour.jpg", "a.jpg"), dir->filePath("Photos")});
    QCOMPARE(messages, QStringList{U("■フォルダのドロップには対応していません\r\n　　Photos\r\n")});
    QVERIFY(!status->isVisible());
    QVERIFY(form->isEnabled());
    QVERIFY(!form->IsConverting());
    QVERIFY(!QFileInfo::exists(Output("s-a.jpg")));
}

void ProgramFlowTest::itemsThatAreNotLocalFilesAreReportedAsUnsupported() {
    Drop({QUrl::fromLocalFile(AddPicture("jpeg/colour.jpg", "a.jpg")),
          QUrl(QStringLiteral("https://example.org/pictures/x.jpg")),
          QUrl::fromLocalFile(dir->filePath("notes.txt"))});
    QCOMPARE(messages,
             QStringList{U("■「JPEG形式、GIF形式、PNG形式、BMP形式、HEIC形式、AVIF形式、WebP形式」"
                           "以外の形式には対応していません\r\n　　notes.txt\r\n　　x.jpg\r\n")});
    QVERIFY(!form->IsConverting());
}

void ProgramFlowTest::aFailedInputCheckShowsItsMessageAndStartsNothing() {
    form->CBPicSize->setChecked(true);
    form->RBInputPicSize->setChecked(true);
    form->EditPicWidth->setText("9");
    DropFiles({AddPicture("jpeg/colour.jpg", "a.jpg")});
    QCOMPARE(messages, QStringList{U("幅は10以上の整数で入力してください")});
    QVERIFY(!status->isVisible());
    QVERIFY(form->isEnabled());
    QVERIFY(!QFileInfo::exists(Output("s-a.jpg")));
}

void ProgramFlowTest::twoJobsInARowStartFromACleanProgressWindow() {
    DropFiles({AddPicture("jpeg/colour.jpg", "a.jpg"), AddPicture("jpeg/colour.jpg", "b.jpg"),
               AddPicture("jpeg/colour.jpg", "c.jpg")});
    QVERIFY(WaitForJobEnd());
    QVERIFY(status->BtnOpenDir->isEnabled());
    status->BtnClose->click();

    // Intake called directly: the job cannot report before this thread
    // serves its first hand-over, so the starting state can be read here.
    form->DropFiles({QUrl::fromLocalFile(AddPicture("jpeg/colour.jpg", "d.jpg"))});
    QVERIFY(status->isVisible());
    QCOMPARE(status->ProgressBarStatus->minimum(), 0);
    QCOMPARE(status->ProgressBarStatus->maximum(), 5);
    QCOMPARE(status->ProgressBarStatus->value(), 0);
    QCOMPARE(status->LabelStatus->text(), U("初期化中････"));
    // The first job's "閉じる" is "中止" again, ready to stop this one.
    QCOMPARE(status->BtnClose->text(), U("中止"));
    QVERIFY(status->BtnClose->isEnabled());
    QVERIFY(!status->BtnOpenDir->isEnabled());
    QVERIFY(!form->isEnabled());

    QVERIFY(WaitForJobEnd());
    QCOMPARE(status->LabelStatus->text(), U("1枚の画像処理が完了しました"));
    QCOMPARE(status->ProgressBarStatus->value(), 5);
    QVERIFY(QFileInfo::exists(Output("s-d.jpg")));
}

void ProgramFlowTest::theJobUsesTheChoicesOnThePages() {
    form->CBPicSize->setChecked(true);
    form->CBSizeList->setCurrentIndex(6);  // 160 x 160
    form->RBPng->setChecked(true);
    form->RBMakeDir->setChecked(true);
    form->EditDirName->setText(U("縮小"));
    AddPicture("exif/BlueSquare.jpg", "photo.JPEG");  // 360 x 216
    DropFiles({dir->filePath("photo.JPEG")});
    QVERIFY(WaitForJobEnd());

    QCOMPARE(status->LabelStatus->text(), U("1枚の画像処理が完了しました"));
    const QString output = dir->filePath(U("縮小/photo.png"));
    QImageReader reader(output);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QSize size = reader.size();
    QCOMPARE(std::max(size.width(), size.height()), 160);
    // "保存先を開く" opens the new sub-folder.
    QCOMPARE(QDir(status->SaveDir()), QDir(dir->filePath(U("縮小"))));
}

// Not left unreported: the job names the file it stopped at.
void ProgramFlowTest::aSnapshotFailureStopsTheJobAtTheFirstFile() {
    TSettings noDatePosition = form->ReadSettings();
    noDatePosition.Date.Pos = kNoDrawPos;  // the one checked at start
    form->ShowSettings(noDatePosition);
    QVERIFY(!form->RBDrawPosDateRightBottom->isChecked());
    DropFiles({AddPicture("jpeg/colour.jpg", "a.jpg"), AddPicture("jpeg/colour.jpg", "b.jpg")});
    QVERIFY(WaitForJobEnd());

    QCOMPARE(status->LabelStatus->text(), U("[a.jpg]の処理に失敗しました"));
    QCOMPARE(status->ProgressBarStatus->value(), 0);
    QVERIFY(!status->BtnOpenDir->isEnabled());
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 2);
}

void ProgramFlowTest::aDisabledWindowTakesNoDrops() {
    DropFiles({AddPicture("jpeg/colour.jpg", "a.jpg")});
    QVERIFY(WaitForJobEnd());
    // Before "閉じる": a second drop is not taken, not even to be refused.
    form->DropFiles({QUrl::fromLocalFile(AddPicture("jpeg/colour.jpg", "b.jpg")),
                     QUrl::fromLocalFile(dir->path())});
    QVERIFY(messages.isEmpty());
    QVERIFY(!form->IsConverting());
    QVERIFY(!QFileInfo::exists(Output("s-b.jpg")));
    QCOMPARE(status->LabelStatus->text(), U("1枚の画像処理が完了しました"));
}

void ProgramFlowTest::commandLinePathsGoThroughIntake() {
    const QString picture = AddPicture("jpeg/colour.jpg", "a.jpg");
    // The same path twice is converted twice, the second under a numbered name.
    form->ConvertFiles(Paths({picture, picture}));
    QVERIFY(WaitForJobEnd());
    QCOMPARE(status->LabelStatus->text(), U("2枚の画像処理が完了しました"));
    QVERIFY(QFileInfo::exists(Output("s-a.jpg")));
    QVERIFY(QFileInfo::exists(Output("s-a(1).jpg")));
    status->BtnClose->click();

    form->ConvertFiles(Paths({dir->filePath("missing.txt")}));
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].endsWith(U("\r\n　　missing.txt\r\n")));
    QVERIFY(!form->IsConverting());
}

// The window goes (the program ends) while a job runs: the job stops after
// its current step, nothing is left half written, and the settings are saved.
void ProgramFlowTest::closingTheWindowDuringAJobStopsIt() {
    const QStringList pictures = AddPhotos(20);
    QCOMPARE(pictures.size(), 20);
    form->ConvertFiles(Paths(pictures));
    QVERIFY(form->IsConverting());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(Output("s-p0.jpg")), kJobTimeoutMs);
    form.reset();

    QVERIFY(QFileInfo::exists(settings.File()));
    const QStringList outputs = QDir(dir->path()).entryList({"s-*"}, QDir::Files);
    QVERIFY(outputs.size() < pictures.size());
    for (const QString& output : outputs) QVERIFY(!QImage(dir->filePath(output)).isNull());
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), pictures.size() + outputs.size());
}

// Log-off or shut-down during a job: stopped as with "中止", the settings on
// disk at once, no message box; the windows' close that follows, when the
// session does end, goes through unasked.
void ProgramFlowTest::theSessionsEndStopsAJobAndSavesWithoutAQuestion() {
    const QStringList pictures = AddPhotos(20);
    QCOMPARE(pictures.size(), 20);
    form->ConvertFiles(Paths(pictures));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(Output("s-p0.jpg")), kJobTimeoutMs);
    QVERIFY(!QFileInfo::exists(settings.File()));
    form->EndSession();

    QVERIFY(QFileInfo::exists(settings.File()));
    QVERIFY(status->LabelStatus->text().endsWith(U("の処理を中止しました")));
    QVERIFY(status->BtnClose->isEnabled() && status->BtnOpenDir->isEnabled());
    const QStringList outputs = QDir(dir->path()).entryList({"s-*"}, QDir::Files);
    QVERIFY(outputs.size() < pictures.size());
    for (const QString& output : outputs) QVERIFY(!QImage(dir->filePath(output)).isNull());
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), pictures.size() + outputs.size());
    QVERIFY(messages.isEmpty());
    QVERIFY(!form->QuietSave);

    form->AskBeforeClose = false;
    QVERIFY(form->close());
    QVERIFY(messages.isEmpty());
}

void ProgramFlowTest::stopKeepsTheWrittenFilesAndOffersTheirFolder() {
    const QStringList pictures = AddPhotos(20);
    QCOMPARE(pictures.size(), 20);
    form->ConvertFiles(Paths(pictures));
    QCOMPARE(status->BtnClose->text(), U("中止"));
    QVERIFY(status->BtnClose->isEnabled() && !status->BtnOpenDir->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(Output("s-p1.jpg")), kJobTimeoutMs);
    QTest::keyClick(status.get(), Qt::Key_Escape);
    QVERIFY(!status->BtnClose->isEnabled());
    QVERIFY(WaitForJobEnd());

    const QStringList outputs = QDir(dir->path()).entryList({"s-*"}, QDir::Files);
    QVERIFY(outputs.size() >= 2 && outputs.size() < pictures.size());
    for (const QString& output : outputs) QVERIFY(!QImage(dir->filePath(output)).isNull());
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), pictures.size() + outputs.size());
    // Stopped at the first file not written.
    const QString next = QStringLiteral("p%1.jpg").arg(outputs.size());
    QCOMPARE(status->LabelStatus->text(), U("[%1]の処理を中止しました").arg(next));
    QCOMPARE(status->BtnClose->text(), U("閉じる"));
    QVERIFY(status->BtnOpenDir->isEnabled());
    QCOMPARE(QDir(status->SaveDir()), QDir(dir->path()));
    QVERIFY(!form->isEnabled());
    status->BtnClose->click();
    QVERIFY(!status->isVisible() && form->isEnabled());
}

void ProgramFlowTest::aStopBeforeTheFirstFileWritesNothing() {
    const QStringList pictures = AddPhotos(3);
    QCOMPARE(pictures.size(), 3);
    // The job's first hand-over waits for this thread: it cannot have begun a file.
    form->ConvertFiles(Paths(pictures));
    status->BtnClose->click();
    QVERIFY(WaitForJobEnd());
    QCOMPARE(status->LabelStatus->text(), U("[p0.jpg]の処理を中止しました"));
    QCOMPARE(status->ProgressBarStatus->value(), 0);
    QVERIFY(status->BtnClose->isEnabled() && !status->BtnOpenDir->isEnabled());
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), pictures.size());
}

// Shift-JIS names, as from an old archive: the drop's escaped bytes reach the
// file, the output and "保存先を開く" unchanged.
void ProgramFlowTest::namesThatAreNotUtf8AreConvertedAndTheirFolderOpens() {
#ifdef _WIN32
    QSKIP("Windows names are UTF-16: none is a byte string of another code page");
#endif
    const std::string folder = QFile::encodeName(dir->path()).toStdString() + "/\x83\x74\x83\x48";
    QVERIFY(std::filesystem::create_directory(folder));
    const std::string picture = folder + "/\x82\xa0.jpg";
    QVERIFY(std::filesystem::copy_file(TOVALI_TEST_DATA "/jpeg/colour.jpg", picture));
    QMimeData data;
    data.setData("text/uri-list",
                 "file://" + QByteArray::fromStdString(picture).toPercentEncoding("/") + "\r\n");
    const QPoint at = form->PGConfig->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->windowHandle(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->windowHandle(), &drop);
    QCoreApplication::processEvents();
    QVERIFY(form->IsConverting());
    QVERIFY(WaitForJobEnd());
    QVERIFY(messages.isEmpty());
    QCOMPARE(status->LabelStatus->text(), U("1枚の画像処理が完了しました"));
    QVERIFY(std::filesystem::exists(folder + "/s-\x82\xa0.jpg"));
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    status->BtnOpenDir->click();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.opened.size(), 1);
    QCOMPARE(QByteArray::fromPercentEncoding(catcher.opened[0].toEncoded()),
             QByteArray::fromStdString("file://" + folder + "/"));
    std::filesystem::remove_all(folder);  // QTemporaryDir cannot name it
}

// The system gives no thread: the job fails at once and says so, instead of
// waiting for good with "を処理しています".
void ProgramFlowTest::aJobThreadThatCannotStartFailsTheJob() {
    StartJobThread = [](QThread&) {};  // as a failed start leaves the thread
    DropFiles({AddPicture("jpeg/colour.jpg", "a.jpg")});
    StartJobThread = StartThread;
    QVERIFY(!form->IsConverting());
    QVERIFY(status->BtnClose->isEnabled());
    QVERIFY(!status->BtnOpenDir->isEnabled());
    QCOMPARE(status->LabelStatus->text(), U(kThreadNotStartedText));
    QCOMPARE(messages, QStringList{U(kThreadNotStartedText)});
    status->BtnClose->click();
    DropFiles({dir->filePath("a.jpg")});  // the next job runs as usual
    QVERIFY(WaitForJobEnd());
    QVERIFY(QFileInfo::exists(Output("s-a.jpg")));
}

// The settings file keeps code page 932: a comment it cannot hold is told
// once when the window saves; an end by signal says nothing.
void ProgramFlowTest::aCommentTheFileCannotKeepIsToldOnceAtTheSave() {
    form->EditComment->setText(U("旅行😀"));
    form.reset();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].contains(U("コメント")));
    QVERIFY(QFileInfo::exists(settings.File()));
    messages.clear();
    form = std::make_unique<TFormMainJob>();
    QCOMPARE(form->EditComment->text(), U("旅行?"));
    form->EditComment->setText(U("𠮷"));
    form->QuietSave = true;
    form.reset();
    QVERIFY(messages.isEmpty());
    form = std::make_unique<TFormMainJob>();
    form->EditComment->setText(U("旅行"));
    form.reset();
    QVERIFY(messages.isEmpty());
}

QTEST_MAIN(ProgramFlowTest)
#include "ProgramFlowTest.moc"
