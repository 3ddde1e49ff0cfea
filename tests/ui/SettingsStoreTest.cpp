// config.ini read into the main window's controls at creation and written
// back at destruction: defaults, the odd values a hand-edited file may hold,
// what a save keeps of the file, and what is never stored.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>
#include <memory>

#include "tests/ScratchSettings.h"
#include "ui/FormMain.h"
#include "ui/MessageBox.h"
#include "ui/Shape.h"
#include "ui/settings/Cp932.h"
#include "ui/settings/FontList.h"

using namespace tovali;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The file as a map "SECTION/KEY" -> value (UTF-8), and the key order.
struct TIniText {
    QStringList Order;
    QMap<QString, QString> Values;
    QStringList Sections;
};

TIniText ParseIni(const QByteArray& cp932) {
    TIniText ini;
    const QString text = QString::fromStdString(Cp932ToUtf8(cp932.toStdString()));
    QString section;
    for (QString line : text.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            section = line.mid(1, line.size() - 2);
            ini.Sections.append(section);
        } else if (const qsizetype eq = line.indexOf('='); eq > 0 && !line.startsWith(';')) {
            const QString key = section + '/' + line.left(eq);
            ini.Order.append(key);
            ini.Values[key] = line.mid(eq + 1);
        }
    }
    return ini;
}

}  // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void withoutAFileTheDefaultsShowAndTheFileIsMadeAtTheEnd();
    void oddValuesGoThroughTheControlsAndBack_data();
    void oddValuesGoThroughTheControlsAndBack();
    void aSecondRoundChangesNothing();
    void otherSectionsAndCommentsSurviveASave();
    void fontFacesFallBackToTheListedOnes();
    void contrastBoxAndDatePickerAreNotKept();
    void aFileThatCannotBeReadIsReportedAndNotOverwritten();

  private:
    void WriteFile(const QString& utf8Text) const;
    TIniText ReadFile() const;
    void Restart();

    TScratchSettings settings;
    std::unique_ptr<TFormMain> form;
    QStringList messages;
    QStringList faces;
};

void SettingsStoreTest::initTestCase() {
    SetMessageBoxHook([this](const QString& text, QMessageBox::StandardButtons) {
        messages.append(text);
        return QMessageBox::Ok;
    });
    settings.Clear();
    TFormMain probe;
    for (int i = 0; i < probe.CBDateFontName->count(); ++i)
        faces.append(probe.CBDateFontName->itemText(i));
}

void SettingsStoreTest::init() {
    settings.Clear();
    messages.clear();
}

void SettingsStoreTest::cleanup() {
    form.reset();
}

void SettingsStoreTest::WriteFile(const QString& utf8Text) const {
    QDir().mkpath(QFileInfo(settings.File()).path());
    QFile file(settings.File());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray::fromStdString(Utf8ToCp932(utf8Text.toStdString())));
}

TIniText SettingsStoreTest::ReadFile() const {
    QFile file(settings.File());
    return file.open(QIODevice::ReadOnly) ? ParseIni(file.readAll()) : TIniText();
}

// Ends the program (the window goes, saving) and starts it again.
void SettingsStoreTest::Restart() {
    form.reset();
    form = std::make_unique<TFormMain>();
}

void SettingsStoreTest::withoutAFileTheDefaultsShowAndTheFileIsMadeAtTheEnd() {
    form = std::make_unique<TFormMain>();
    QVERIFY(!QFile::exists(settings.File()));
    QVERIFY(!form->CBPicSize->isChecked());
    QVERIFY(form->RBRegularSize->isChecked());
    QCOMPARE(form->CBSizeList->currentIndex(), 0);
    QCOMPARE(form->EditPicWidth->text(), QString("800"));
    QCOMPARE(form->CBQualityLevel->currentIndex(), 1);
    QCOMPARE(form->TBContrast->value(), 50);
    QVERIFY(form->RBBrightnessUP->isChecked());
    QCOMPARE(form->EditFileName->text(), QString("s-"));
    QCOMPARE(form->EditDirName->text(), QString("Reduction"));
    QVERIFY(form->RBJpeg->isChecked());
    QCOMPARE(form->ShapeDateFontColorOuter->BrushColor(), QColor(255, 255, 255));
    QCOMPARE(form->ShapeDateFontColorInner->BrushColor(), QColor(255, 128, 255));
    QCOMPARE(form->CBDateFontSize->currentIndex(), 3);
    QVERIFY(form->RBDrawPosDateRightBottom->isChecked());
    QVERIFY(form->RBDrawPosCommentLeftTop->isChecked());
    QCOMPARE(form->EditComment->text(), QString());
    QVERIFY(messages.isEmpty());

    form.reset();
    const TIniText ini = ReadFile();
    QCOMPARE(ini.Sections, QStringList({"PIC_SIZE", "PIC_QUALITY", "PIC_FILTER", "PIC_SAVE",
                                        "PIC_DATE", "PIC_COMMENT"}));
    QCOMPARE(ini.Order.size(), 62);
    QCOMPARE(ini.Order.first(), QString("PIC_SIZE/USE_PIC_SIZE"));
    QCOMPARE(ini.Order.last(), QString("PIC_COMMENT/POS_RIGHT_BOTTOM"));
    QCOMPARE(ini.Values["PIC_DATE/COL_INNER"], QString("16744703"));
    QCOMPARE(ini.Values["PIC_COMMENT/USE_DATE"], QString("0"));
    QCOMPARE(ini.Values["PIC_SAVE/USE_PROGRESSIVE"], QString("0"));
}

void SettingsStoreTest::oddValuesGoThroughTheControlsAndBack_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("saved");  // "SECTION/KEY=value" the next save writes

    QTest::newRow("later output type wins")
        << "[PIC_SAVE]\nTYPE_JPEG=0\nTYPE_PNG=1\nTYPE_GIF=1\nTYPE_BMP=0\n"
        << QStringList{"PIC_SAVE/TYPE_PNG=0", "PIC_SAVE/TYPE_GIF=1", "PIC_SAVE/TYPE_JPEG=0"};
    QTest::newRow("WebP read after JPEG")
        << "[PIC_SAVE]\nTYPE_WEBP=1\nTYPE_JPEG=1\n"
        << QStringList{"PIC_SAVE/TYPE_JPEG=0", "PIC_SAVE/TYPE_WEBP=1", "PIC_SAVE/TYPE_AVIF=0"};
    QTest::newRow("no output type")
        << "[PIC_SAVE]\nTYPE_JPEG=0\nTYPE_PNG=0\nTYPE_GIF=0\nTYPE_BMP=0\n"
        << QStringList{"PIC_SAVE/TYPE_JPEG=0", "PIC_SAVE/TYPE_PNG=0", "PIC_SAVE/TYPE_GIF=0",
                       "PIC_SAVE/TYPE_BMP=0"};
    QTest::newRow("contrast above the range") << "[PIC_FILTER]\nFILTER_VALUE=150\n"
                                              << QStringList{"PIC_FILTER/FILTER_VALUE=100"};
    QTest::newRow("contrast below the range") << "[PIC_FILTER]\nFILTER_VALUE=-5\n"
                                              << QStringList{"PIC_FILTER/FILTER_VALUE=0"};
    QTest::newRow("contrast in hexadecimal") << "[PIC_FILTER]\nFILTER_VALUE=0x1E\n"
                                             << QStringList{"PIC_FILTER/FILTER_VALUE=30"};
    QTest::newRow("size index off the list") << "[PIC_SIZE]\nREGULAR_INDEX=9\n"
                                             << QStringList{"PIC_SIZE/REGULAR_INDEX=-1"};
    QTest::newRow("Booleans yes and 2")
        << "[PIC_SIZE]\nUSE_PIC_SIZE=yes\n[PIC_QUALITY]\nUSE_PIC_QUALITY=2\n"
        << QStringList{"PIC_SIZE/USE_PIC_SIZE=0", "PIC_QUALITY/USE_PIC_QUALITY=1"};
    QTest::newRow("font size off the list")
        << "[PIC_DATE]\nFONT_SIZE=7\n[PIC_COMMENT]\nFONT_SIZE=-1\n"
        << QStringList{"PIC_DATE/FONT_SIZE=3", "PIC_COMMENT/FONT_SIZE=3"};
    QTest::newRow("sizes are texts")
        << "[PIC_SIZE]\nWIDTH=abc\nHEIGHT=\n[PIC_QUALITY]\nSIZE=12.5\n"
        << QStringList{"PIC_SIZE/WIDTH=abc", "PIC_SIZE/HEIGHT=", "PIC_QUALITY/SIZE=12.5"};
    QTest::newRow("Japanese texts")
        << U("[PIC_COMMENT]\nCOMMENT=夏休み・海①\n[PIC_SAVE]\nDIR_NAME=縮小済み\n")
        << QStringList{U("PIC_COMMENT/COMMENT=夏休み・海①"), U("PIC_SAVE/DIR_NAME=縮小済み")};
    QTest::newRow("no date position")
        << "[PIC_DATE]\nPOS_RIGHT_BOTTOM=0\n"
        << QStringList{"PIC_DATE/POS_RIGHT_BOTTOM=0", "PIC_DATE/POS_LEFT_TOP=0"};
    QTest::newRow("comment position: the last set in key order")
        << "[PIC_COMMENT]\nPOS_RIGHT=1\nPOS_CENTER=1\n"
        << QStringList{"PIC_COMMENT/POS_LEFT_TOP=0", "PIC_COMMENT/POS_CENTER=0",
                       "PIC_COMMENT/POS_RIGHT=1"};
    QTest::newRow("colours") << "[PIC_COMMENT]\nCOL_OUTER=255\nCOL_INNER=0x00FF00\n"
                             << QStringList{"PIC_COMMENT/COL_OUTER=255",
                                            "PIC_COMMENT/COL_INNER=65280"};
}

void SettingsStoreTest::oddValuesGoThroughTheControlsAndBack() {
    QFETCH(QString, file);
    QFETCH(QStringList, saved);
    WriteFile(file);
    form = std::make_unique<TFormMain>();
    form.reset();
    const TIniText ini = ReadFile();
    QCOMPARE(ini.Order.size(), 62);
    for (const QString& entry : saved) {
        const QString key = entry.section('=', 0, 0);
        QCOMPARE(key + '=' + ini.Values.value(key, "(missing)"), entry);
    }
}

// file -> controls -> file -> controls -> file: the second file is the first.
void SettingsStoreTest::aSecondRoundChangesNothing() {
    WriteFile(
        U("[PIC_SIZE]\nUSE_PIC_SIZE=1\nREGULAR_SIZE=0\nINPUT_SIZE=1\nWIDTH=1200\n"
          "[PIC_QUALITY]\nFILE_SIZE=1\nSIZE=300\nQUALITY_INDEX=4\n"
          "[PIC_FILTER]\nUSE_PIC_FILTER=1\nFILTER_VALUE=73\nBRIGHTNESS_DOWN=1\n"
          "[PIC_SAVE]\nUSE_MAKE_DIR=1\nDECIDES_INDEX=1\nUSE_PROGRESSIVE=1\nTYPE_BMP=1\n"
          "[PIC_DATE]\nUSE_DATE=1\nFROM_INPUT=1\nPOS_TOP=1\nPOS_RIGHT_BOTTOM=0\nCOL_OUTER=1193046\n"
          "[PIC_COMMENT]\nUSE_DATE=1\nCOMMENT=テスト, \"quoted\"\nPOS_CENTER=1\n"));
    form = std::make_unique<TFormMain>();
    QVERIFY(form->RBInputPicSize->isChecked());
    QVERIFY(form->EditPicWidth->isEnabled());
    QVERIFY(form->RBMakeDir->isChecked());
    QVERIFY(form->RBBMP->isChecked());
    QVERIFY(form->RBDrawPosDateTop->isChecked());
    QVERIFY(!form->RBDrawPosDateRightBottom->isChecked());
    QCOMPARE(form->ShapeDateFontColorOuter->BrushColor(), QColor(0x56, 0x34, 0x12));
    QCOMPARE(form->TBContrast->value(), 73);
    const TSettings first = form->ReadSettings();
    Restart();
    QFile file(settings.File());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray firstBytes = file.readAll();
    file.close();
    QCOMPARE(form->ReadSettings(), first);
    form.reset();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), firstBytes);
}

void SettingsStoreTest::otherSectionsAndCommentsSurviveASave() {
    WriteFile("; kept by hand\n[MINE]\nKEY=value\n[PIC_SIZE]\nUSE_PIC_SIZE=1\nEXTRA=2\n");
    form = std::make_unique<TFormMain>();
    form->CBPicSize->setChecked(false);
    form.reset();
    QFile file(settings.File());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("; kept by hand"));
    QVERIFY(text.contains("[MINE]\nKEY=value"));
    QVERIFY(text.contains("EXTRA=2"));
    QCOMPARE(ReadFile().Values["PIC_SIZE/USE_PIC_SIZE"], QString("0"));
}

void SettingsStoreTest::fontFacesFallBackToTheListedOnes() {
    if (faces.size() < 2) QSKIP("needs two Japanese font faces");
    const QString other = faces.last();
    WriteFile(QStringLiteral("[PIC_DATE]\nFONT_NAME=%1\n[PIC_COMMENT]\nFONT_NAME=No Such Face\n")
                  .arg(other.toUpper() == other ? other.toLower() : other.toUpper()));
    form = std::make_unique<TFormMain>();
    QCOMPARE(form->CBDateFontName->currentText(), other);
    // An unknown face gets fontconfig's Japanese face when it is listed, else the first.
    QString stand_in = faces.first();
    for (const QString& face : FontSubstitutes("No Such Face")) {
        if (!faces.contains(face)) continue;
        stand_in = face;
        break;
    }
    QCOMPARE(form->CBCommentFontName->currentText(), stand_in);
    form.reset();
    QCOMPARE(ReadFile().Values["PIC_DATE/FONT_NAME"], other);
    QCOMPARE(ReadFile().Values["PIC_COMMENT/FONT_NAME"], stand_in);
}

void SettingsStoreTest::contrastBoxAndDatePickerAreNotKept() {
    form = std::make_unique<TFormMain>();
    form->CBFilter->setChecked(true);
    form->CBContrast->setChecked(true);
    form->DTPDate->setDate(QDate(2008, 3, 5));
    Restart();
    QVERIFY(form->CBFilter->isChecked());
    QVERIFY(!form->CBContrast->isChecked());
    QCOMPARE(form->DTPDate->date(), QDate::currentDate());
    QCOMPARE(ReadFile().Order.size(), 62);
}

// A folder where the file should be: the window runs on the defaults, says
// so, and at the end says that the file could not be written.
void SettingsStoreTest::aFileThatCannotBeReadIsReportedAndNotOverwritten() {
    QVERIFY(QDir().mkpath(settings.File()));
    form = std::make_unique<TFormMain>();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].contains(U("を読み込めません")));
    QVERIFY(form->RBJpeg->isChecked());
    form.reset();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[1], settings.File() + U(" に書き込めません"));
    QVERIFY(QFileInfo(settings.File()).isDir());
    QDir(settings.File()).removeRecursively();
}

QTEST_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
