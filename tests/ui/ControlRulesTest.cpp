// The control-state rules of the main window and the key filter of its
// numeric boxes, driven through the controls as a user (or the settings
// load) would drive them.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>
#include <memory>

#include "tests/ScratchSettings.h"
#include "ui/FormMain.h"
#include "ui/Shape.h"

using namespace tovali;

namespace {

bool IsGrey(QWidget* widget) {
    const QPalette::ColorRole role =
        qobject_cast<QLineEdit*>(widget) ? QPalette::Text : QPalette::WindowText;
    return widget->palette().color(QPalette::Active, role) ==
           QApplication::palette().color(QPalette::Disabled, role);
}

bool IsNormal(QWidget* widget) {
    const QPalette::ColorRole role =
        qobject_cast<QLineEdit*>(widget) ? QPalette::Text : QPalette::WindowText;
    return widget->palette().color(QPalette::Active, role) ==
           QApplication::palette().color(QPalette::Active, role);
}

bool AllEnabled(const QList<QWidget*>& widgets, bool enabled) {
    for (QWidget* widget : widgets)
        if (widget->isEnabled() != enabled) {
            qWarning() << widget->objectName() << "enabled" << widget->isEnabled();
            return false;
        }
    return true;
}

// Leaves both buttons of a radio group unchecked, as a settings file whose
// keys all read false does.
void UncheckGroup(std::initializer_list<QRadioButton*> buttons) {
    for (QRadioButton* button : buttons) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}

}  // namespace

class ControlRulesTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        settings.Clear();
        form = std::make_unique<TFormMain>();
    }
    void cleanup() { form.reset(); }

    void sizeOffDisablesEverythingAndGreysTheLabels_data();
    void sizeOffDisablesEverythingAndGreysTheLabels();
    void sizeOnFollowsTheRadioButtons();
    void sizeOnWithNeitherButtonTakesTheEnteredSizeBranch();
    void disabledControlsKeepTheirValues();

    void qualityOffDisablesAndGreysTheSizeBox();
    void qualityOnFollowsTheRadioButtons();
    void otherOutputTypesDisableTheJpegPage_data();
    void otherOutputTypesDisableTheJpegPage();
    void jpegAgainRestoresTheQualityRule();
    void webpAndAvifTakeTheQualityButNotProgressive_data();
    void webpAndAvifTakeTheQualityButNotProgressive();
    void nameOrFolderChoiceEnablesItsOwnBoxes();

    void effectsFollowTheSwitchAndContrastTheBox();
    void contrastLabelShowsThePosition();

    void datePickerOnlyWithAnEnteredDate();
    void commentControlsFollowTheSwitch();
    void switchesGroupBoxesAndLabelsAreNeverDisabled();

    void numericBoxesTakeDigitsFullStopAndBackspaceOnly_data();
    void numericBoxesTakeDigitsFullStopAndBackspaceOnly();
    void numericBoxesDropShortcutsButNotCursorKeys();
    void contextMenuPasteIsNotFiltered();
    void numericBoxesHaveLengthLimitsAndNoInputMethod();
    void otherEditBoxesTakeAnyText();

  private:
    QLineEdit* EnabledNumericBox(const QString& name);
    TScratchSettings settings;
    std::unique_ptr<TFormMain> form;
};

void ControlRulesTest::sizeOffDisablesEverythingAndGreysTheLabels_data() {
    QTest::addColumn<bool>("inputSize");
    QTest::newRow("listed size chosen") << false;
    QTest::newRow("entered size chosen") << true;
}

void ControlRulesTest::sizeOffDisablesEverythingAndGreysTheLabels() {
    QFETCH(bool, inputSize);
    form->CBPicSize->setChecked(true);
    (inputSize ? form->RBInputPicSize : form->RBRegularSize)->setChecked(true);
    form->CBPicSize->setChecked(false);
    QVERIFY(AllEnabled({form->RBRegularSize, form->CBSizeList, form->RBInputPicSize,
                        form->EditPicWidth, form->EditPicHeight},
                       false));
    QVERIFY(IsGrey(form->LblPicWidth));
    QVERIFY(IsGrey(form->LblPicHeight));
}

void ControlRulesTest::sizeOnFollowsTheRadioButtons() {
    form->CBPicSize->setChecked(true);
    QVERIFY(AllEnabled({form->RBRegularSize, form->RBInputPicSize, form->CBSizeList}, true));
    QVERIFY(AllEnabled({form->EditPicWidth, form->EditPicHeight}, false));
    QVERIFY(IsGrey(form->LblPicWidth) && IsGrey(form->LblPicHeight));

    form->RBInputPicSize->setChecked(true);
    QVERIFY(!form->CBSizeList->isEnabled());
    QVERIFY(AllEnabled({form->EditPicWidth, form->EditPicHeight}, true));
    QVERIFY(IsNormal(form->LblPicWidth) && IsNormal(form->LblPicHeight));

    form->RBRegularSize->setChecked(true);
    QVERIFY(form->CBSizeList->isEnabled());
    QVERIFY(AllEnabled({form->EditPicWidth, form->EditPicHeight}, false));
    QVERIFY(IsGrey(form->LblPicWidth) && IsGrey(form->LblPicHeight));
}

void ControlRulesTest::sizeOnWithNeitherButtonTakesTheEnteredSizeBranch() {
    UncheckGroup({form->RBRegularSize, form->RBInputPicSize});
    form->CBPicSize->setChecked(true);
    QVERIFY(!form->CBSizeList->isEnabled());
    QVERIFY(AllEnabled({form->EditPicWidth, form->EditPicHeight}, true));
    QVERIFY(IsNormal(form->LblPicWidth));
}

void ControlRulesTest::disabledControlsKeepTheirValues() {
    form->CBPicSize->setChecked(true);
    form->CBSizeList->setCurrentIndex(4);
    form->EditPicWidth->setText("1200");
    form->CBQuality->setChecked(true);
    form->RBFileSize->setChecked(true);
    form->RBGif->setChecked(true);
    form->CBPicSize->setChecked(false);
    QCOMPARE(form->CBSizeList->currentIndex(), 4);
    QCOMPARE(form->EditPicWidth->text(), QString("1200"));
    QVERIFY(form->RBRegularSize->isChecked());
    QVERIFY(form->CBQuality->isChecked());
    QVERIFY(form->RBFileSize->isChecked());
}

void ControlRulesTest::qualityOffDisablesAndGreysTheSizeBox() {
    form->CBQuality->setChecked(true);
    form->RBFileSize->setChecked(true);
    form->CBQuality->setChecked(false);
    QVERIFY(form->CBQuality->isEnabled());
    QVERIFY(AllEnabled(
        {form->RBQuality, form->RBFileSize, form->CBQualityLevel, form->EditFileSize}, false));
    QVERIFY(IsGrey(form->EditFileSize));
    QVERIFY(IsGrey(form->LblKB));
}

void ControlRulesTest::qualityOnFollowsTheRadioButtons() {
    form->CBQuality->setChecked(true);
    QVERIFY(AllEnabled({form->RBQuality, form->RBFileSize, form->CBQualityLevel}, true));
    QVERIFY(!form->EditFileSize->isEnabled());
    QVERIFY(IsGrey(form->EditFileSize) && IsGrey(form->LblKB));

    form->RBFileSize->setChecked(true);
    QVERIFY(!form->CBQualityLevel->isEnabled());
    QVERIFY(form->EditFileSize->isEnabled());
    QVERIFY(IsNormal(form->EditFileSize) && IsNormal(form->LblKB));
}

void ControlRulesTest::otherOutputTypesDisableTheJpegPage_data() {
    QTest::addColumn<QString>("type");
    QTest::newRow("PNG") << "RBPng";
    QTest::newRow("GIF") << "RBGif";
    QTest::newRow("BMP") << "RBBMP";
}

void ControlRulesTest::otherOutputTypesDisableTheJpegPage() {
    QFETCH(QString, type);
    form->CBQuality->setChecked(true);
    form->RBFileSize->setChecked(true);
    form->CBProgressive->setChecked(true);
    form->findChild<QRadioButton*>(type)->setChecked(true);
    QVERIFY(AllEnabled({form->CBQuality, form->CBProgressive, form->RBQuality, form->CBQualityLevel,
                        form->RBFileSize, form->EditFileSize},
                       false));
    // Values and colours stay as the JPEG choice left them.
    QVERIFY(form->CBQuality->isChecked() && form->RBFileSize->isChecked());
    QVERIFY(form->CBProgressive->isChecked());
    QVERIFY(IsNormal(form->EditFileSize) && IsNormal(form->LblKB));
}

void ControlRulesTest::jpegAgainRestoresTheQualityRule() {
    form->CBQuality->setChecked(true);
    form->RBPng->setChecked(true);
    form->RBJpeg->setChecked(true);
    QVERIFY(AllEnabled({form->CBQuality, form->CBProgressive, form->RBQuality, form->RBFileSize,
                        form->CBQualityLevel},
                       true));
    QVERIFY(!form->EditFileSize->isEnabled());

    form->CBQuality->setChecked(false);
    form->RBBMP->setChecked(true);
    form->RBJpeg->setChecked(true);
    QVERIFY(form->CBQuality->isEnabled());
    QVERIFY(AllEnabled(
        {form->RBQuality, form->RBFileSize, form->CBQualityLevel, form->EditFileSize}, false));
}

void ControlRulesTest::webpAndAvifTakeTheQualityButNotProgressive_data() {
    QTest::addColumn<QString>("type");
    QTest::newRow("WebP") << "RBWebp";
    QTest::newRow("AVIF") << "RBAvif";
}

void ControlRulesTest::webpAndAvifTakeTheQualityButNotProgressive() {
    QFETCH(QString, type);
    form->CBQuality->setChecked(true);
    form->RBFileSize->setChecked(true);
    form->CBProgressive->setChecked(true);
    form->RBPng->setChecked(true);
    form->findChild<QRadioButton*>(type)->setChecked(true);
    QVERIFY(
        AllEnabled({form->CBQuality, form->RBQuality, form->RBFileSize, form->EditFileSize}, true));
    QVERIFY(!form->CBQualityLevel->isEnabled());
    QVERIFY(!form->CBProgressive->isEnabled());
    QVERIFY2(form->CBProgressive->isChecked(), "kept for JPEG");
    form->CBQuality->setChecked(false);
    QVERIFY(form->CBQuality->isEnabled());
    QVERIFY(AllEnabled(
        {form->RBQuality, form->RBFileSize, form->CBQualityLevel, form->EditFileSize}, false));
}

void ControlRulesTest::nameOrFolderChoiceEnablesItsOwnBoxes() {
    QVERIFY(AllEnabled({form->CBSelectNamePos, form->EditFileName}, true));
    QVERIFY(!form->EditDirName->isEnabled());
    QVERIFY(IsNormal(form->LblSelectFileName) && IsGrey(form->LblDirName));

    form->RBMakeDir->setChecked(true);
    QVERIFY(AllEnabled({form->CBSelectNamePos, form->EditFileName}, false));
    QVERIFY(form->EditDirName->isEnabled());
    QVERIFY(IsGrey(form->LblSelectFileName) && IsNormal(form->LblDirName));

    UncheckGroup({form->RBDecidesName, form->RBMakeDir});
    form->UpdateFormSaveConf();
    QVERIFY(AllEnabled({form->CBSelectNamePos, form->EditFileName, form->EditDirName}, false));
    QVERIFY(IsGrey(form->LblSelectFileName) && IsNormal(form->LblDirName));
}

void ControlRulesTest::effectsFollowTheSwitchAndContrastTheBox() {
    const QList<QWidget*> followers = {
        form->CBContrast,       form->CBVivid,      form->CBBrightness, form->RBBrightnessUP,
        form->RBBrightnessDown, form->CBMonochrome, form->CBWhiteFrame};
    QVERIFY(AllEnabled(followers, false));
    QVERIFY(!form->TBContrast->isEnabled());

    form->CBFilter->setChecked(true);
    QVERIFY(AllEnabled(followers, true));
    // Contrast off: the bar waits; brightness off: the directions stay usable.
    QVERIFY(!form->CBBrightness->isChecked());
    QVERIFY(!form->TBContrast->isEnabled());

    form->CBContrast->setChecked(true);
    QVERIFY(form->TBContrast->isEnabled());
    form->CBFilter->setChecked(false);
    QVERIFY(!form->TBContrast->isEnabled());
    QVERIFY(form->CBContrast->isChecked());
}

void ControlRulesTest::contrastLabelShowsThePosition() {
    QCOMPARE(form->lblContrastValue->text(), QString("50"));
    for (int value : {0, 7, 100}) {
        form->TBContrast->setValue(value);
        QCOMPARE(form->lblContrastValue->text(), QString::number(value));
    }
    QCOMPARE(form->lblContrastValue->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
}

void ControlRulesTest::datePickerOnlyWithAnEnteredDate() {
    const QList<QWidget*> followers = {form->RBGetDateFromPic,        form->RBInputDate,
                                       form->CBDateFontName,          form->CBDateFontSize,
                                       form->ShapeDateFontColorOuter, form->ShapeDateFontColorInner,
                                       form->RBDrawPosDateLeftTop,    form->RBDrawPosDateTop,
                                       form->RBDrawPosDateRightTop,   form->RBDrawPosDateLeft,
                                       form->RBDrawPosDateCenter,     form->RBDrawPosDateRight,
                                       form->RBDrawPosDateLeftBottom, form->RBDrawPosDateBottom,
                                       form->RBDrawPosDateRightBottom};
    form->RBInputDate->setChecked(true);
    QVERIFY(AllEnabled(followers, false));
    QVERIFY(!form->DTPDate->isEnabled());

    form->CBDate->setChecked(true);
    QVERIFY(AllEnabled(followers, true));
    QVERIFY(form->DTPDate->isEnabled());
    form->RBGetDateFromPic->setChecked(true);
    QVERIFY(!form->DTPDate->isEnabled());
    form->RBInputDate->setChecked(true);
    QVERIFY(form->DTPDate->isEnabled());
}

void ControlRulesTest::commentControlsFollowTheSwitch() {
    const QList<QWidget*> followers = {form->EditComment,
                                       form->CBCommentFontName,
                                       form->CBCommentFontSize,
                                       form->ShapeCommentFontColorOuter,
                                       form->ShapeCommentFontColorInner,
                                       form->RBDrawPosCommentLeftTop,
                                       form->RBDrawPosCommentTop,
                                       form->RBDrawPosCommentRightTop,
                                       form->RBDrawPosCommentLeft,
                                       form->RBDrawPosCommentCenter,
                                       form->RBDrawPosCommentRight,
                                       form->RBDrawPosCommentLeftBottom,
                                       form->RBDrawPosCommentBottom,
                                       form->RBDrawPosCommentRightBottom};
    QVERIFY(AllEnabled(followers, false));
    form->CBComment->setChecked(true);
    QVERIFY(AllEnabled(followers, true));
    form->CBComment->setChecked(false);
    QVERIFY(AllEnabled(followers, false));
}

void ControlRulesTest::switchesGroupBoxesAndLabelsAreNeverDisabled() {
    // Every switch off, then on, with the name choice and a non-JPEG type.
    for (bool on : {false, true}) {
        for (QCheckBox* box : {form->CBPicSize, form->CBFilter, form->CBDate, form->CBComment})
            box->setChecked(on);
        form->RBMakeDir->setChecked(true);
        form->RBPng->setChecked(true);
        QVERIFY(AllEnabled(
            {form->CBPicSize, form->CBFilter, form->CBDate, form->CBComment, form->RBDecidesName,
             form->RBMakeDir, form->RBJpeg, form->RBPng, form->RBGif, form->RBBMP},
            true));
        for (QGroupBox* group : form->findChildren<QGroupBox*>()) QVERIFY(group->isEnabled());
        for (QLabel* label : form->findChildren<QLabel*>()) QVERIFY(label->isEnabled());
    }
}

QLineEdit* ControlRulesTest::EnabledNumericBox(const QString& name) {
    form->CBPicSize->setChecked(true);
    form->RBInputPicSize->setChecked(true);
    form->CBQuality->setChecked(true);
    form->RBFileSize->setChecked(true);
    auto* box = form->findChild<QLineEdit*>(name);
    box->clear();
    return box;
}

void ControlRulesTest::numericBoxesTakeDigitsFullStopAndBackspaceOnly_data() {
    QTest::addColumn<QString>("box");
    QTest::newRow("width") << "EditPicWidth";
    QTest::newRow("height") << "EditPicHeight";
    QTest::newRow("file size") << "EditFileSize";
}

void ControlRulesTest::numericBoxesTakeDigitsFullStopAndBackspaceOnly() {
    QFETCH(QString, box);
    QLineEdit* edit = EnabledNumericBox(box);
    QTest::keyClicks(edit, "a- x,+e");
    QCOMPARE(edit->text(), QString());
    QTest::keyClicks(edit, "1.5");
    QCOMPARE(edit->text(), QString("1.5"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QString("1."));
    // Full-width digits are not the digits "0" to "9".
    QKeyEvent wide(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("１"));
    QApplication::sendEvent(edit, &wide);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(edit->text(), QString("1."));
}

void ControlRulesTest::numericBoxesDropShortcutsButNotCursorKeys() {
    QLineEdit* edit = EnabledNumericBox("EditPicWidth");
    QApplication::clipboard()->setText("77");
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(edit->text(), QString());

    QTest::keyClicks(edit, "12");
    // Control with backspace would delete the word before the cursor.
    QTest::keyClick(edit, Qt::Key_Backspace, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(edit->text(), QString("12"));
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_3);
    QCOMPARE(edit->text(), QString("132"));
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(edit->text(), QString("13"));

    const QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, "\t");
    QVERIFY(!form->EditNumOnlyKeyPress(tab));
}

void ControlRulesTest::contextMenuPasteIsNotFiltered() {
    QLineEdit* edit = EnabledNumericBox("EditFileSize");
    QApplication::clipboard()->setText("abc");
    // The context menu's Paste calls the box's paste directly.
    edit->paste();
    QCOMPARE(edit->text(), QString("abc"));
}

void ControlRulesTest::numericBoxesHaveLengthLimitsAndNoInputMethod() {
    for (const auto& [name, limit] :
         {std::pair{"EditPicWidth", 5}, {"EditPicHeight", 5}, {"EditFileSize", 6}}) {
        QLineEdit* edit = EnabledNumericBox(name);
        QTest::keyClicks(edit, "123456789");
        QCOMPARE(edit->text(), QString("123456789").left(limit));
        QVERIFY(!edit->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(edit->inputMethodHints() & Qt::ImhDigitsOnly);
        // Nothing composed reaches the box even if an input method sends it.
        QInputMethodEvent composed;
        composed.setCommitString(QString::fromUtf8("あ"));
        QApplication::sendEvent(edit, &composed);
        QCOMPARE(edit->text(), QString("123456789").left(limit));
    }
}

void ControlRulesTest::otherEditBoxesTakeAnyText() {
    form->RBMakeDir->setChecked(true);
    form->EditDirName->clear();
    QTest::keyClicks(form->EditDirName, "a-b c");
    QCOMPARE(form->EditDirName->text(), QString("a-b c"));
    QVERIFY(form->EditComment->maxLength() > 2047);
}

QTEST_MAIN(ControlRulesTest)
#include "ControlRulesTest.moc"
