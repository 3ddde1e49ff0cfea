// The main window: its controls and their texts, navigation between pages,
// the colour choice, the close question, the progress window's place, drops
// and the help buttons.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QtTest>
#include <memory>

#include "tests/ScratchSettings.h"
#include "ui/FormMain.h"
#include "ui/MessageBox.h"
#include "ui/Shape.h"
#include "ui/settings/FontList.h"
#include "widgets/pngextra.h"

using namespace tovali;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items.append(list->itemText(i));
    return items;
}

// Receives the URLs that QDesktopServices would hand to the browser.
class UrlCatcher : public QObject {
    Q_OBJECT

  public:
    QList<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

}  // namespace

class FormMainTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        settings.Clear();
        form = std::make_unique<TFormMain>();
        dialogsOpened = 0;
    }
    void cleanup() {
        SetMessageBoxHook({});
        form.reset();
    }

    void windowIsFixedWithMinimiseOnly();
    void controlsCarryTheirNamesAndCaptions_data();
    void controlsCarryTheirNamesAndCaptions();
    void listsHoldTheirItemsAndInitialChoice();
    void initialStatesAndLimits();
    void topLevelControlsSitWhereTheLayoutSays();
    void radioButtonsFormTheirGroups();
    void pagesTabInReadingOrder_data();
    void pagesTabInReadingOrder();

    void startsOnTheGuideWithoutTabs();
    void pageButtonsOpenTheirPages();
    void otherSendersChangeNoPage();

    void bothFontListsHoldTheInstalledJapaneseFaces();

    void colourDialogSetsTheShapeOnlyWhenConfirmed();
    void anyMouseButtonOpensTheDialogButNotOnADisabledShape();

    void closeAsksEveryTimeAndNoKeepsTheWindow();
    void restoringCentresAndRaisesTheShownProgressWindow();
    void filesDroppedAnywhereReachTheWindow();
    void helpButtonsOpenTheShippedPages();
    void followsTheDesktopBetweenLightAndDark();
    void screenReadersHearTheCaptionsOnScreen();

  private:
    // Answers the next colour dialog with colour, or cancels it when invalid;
    // counts the dialogs that opened.
    void AnswerColourDialog(QColor colour);
    int dialogsOpened = 0;
    TScratchSettings settings;
    std::unique_ptr<TFormMain> form;
};

void FormMainTest::windowIsFixedWithMinimiseOnly() {
    QCOMPARE(form->windowTitle(), QString("Tovali 3"));
    QCOMPARE(form->size(), QSize(762, 421));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
}

void FormMainTest::controlsCarryTheirNamesAndCaptions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const char* const rows[][2] = {
        {"CBPicSize", "画像サイズ設定"},
        {"RBRegularSize", "規定サイズに収まるように縮小"},
        {"RBInputPicSize", "指定サイズに収まるように縮小"},
        {"LblPicWidth", "幅"},
        {"LblPicHeight", "高さ"},
        {"CBFilter", "効果設定"},
        {"CBContrast", "コントラストを調整"},
        {"CBBrightness", "明るさを調整"},
        {"RBBrightnessUP", "明るく"},
        {"RBBrightnessDown", "暗く"},
        {"CBVivid", "彩度を上げる"},
        {"CBMonochrome", "モノクロに変換"},
        {"CBWhiteFrame", "画像に白枠を描画"},
        {"CBDate", "日付描画設定"},
        {"GBConfigDate", "日付設定"},
        {"RBGetDateFromPic", "画像から取得(Exif情報又は作成日)"},
        {"RBInputDate", "日付を指定"},
        {"GBDateFontName", "フォント名"},
        {"GBDateFontSize", "サイズ"},
        {"GBDateFontColor", "文字色設定"},
        {"GBDateFontColorOuter", "外側"},
        {"GBDateFontColorInner", "内側"},
        {"GBDrawPosDate", "描画位置"},
        {"RBDrawPosDateLeftTop", "左上"},
        {"RBDrawPosDateTop", "上"},
        {"RBDrawPosDateRightTop", "右上"},
        {"RBDrawPosDateLeft", "左"},
        {"RBDrawPosDateCenter", "中"},
        {"RBDrawPosDateRight", "右"},
        {"RBDrawPosDateLeftBottom", "左下"},
        {"RBDrawPosDateBottom", "下"},
        {"RBDrawPosDateRightBottom", "右下"},
        {"CBComment", "コメント描画設定"},
        {"GBDrawComment", "コメント"},
        {"GBCommentFontName", "フォント"},
        {"GBCommentFontSize", "サイズ"},
        {"GBCommentFontColor", "文字色設定"},
        {"GBCommentFontColorOuter", "外側"},
        {"GBCommentFontColorInner", "内側"},
        {"GBDrawPosComment", "描画位置"},
        {"RBDrawPosCommentLeftTop", "左上"},
        {"RBDrawPosCommentCenter", "中"},
        {"RBDrawPosCommentRightBottom", "右下"},
        {"GBOutputConfig", "保存設定"},
        {"GBSave", "ファイル名・保存先の設定"},
        {"RBDecidesName", "ファイル名の"},
        {"LblSelectFileName", "を付けて保存する"},
        {"RBMakeDir", "フォルダを作成しその中に保存する"},
        {"LblDirName", "フォルダ名"},
        {"GBFileType", "ファイル形式"},
        {"RBJpeg", "JPEG形式"},
        {"RBPng", "PNG形式"},
        {"RBBMP", "BMP形式"},
        {"RBGif", "GIF形式"},
        {"RBWebp", "WebP形式"},
        {"RBAvif", "AVIF形式"},
        {"GBJpegConfig", "JPEG・WebP・AVIF形式で保存する際の設定"},
        {"CBQuality", "品質設定"},
        {"RBQuality", "画質で設定する"},
        {"RBFileSize", "ファイルサイズで設定する"},
        {"LblKB", "KB"},
        {"CBProgressive", "プログレッシブ形式で保存"},
        {"GBPicSize", ""},
        {"GBFilter", ""},
        {"GBContrast", ""},
        {"GBBrightness", ""},
        {"GBDate", ""},
        {"GBComment", ""},
        {"GBFileSize", ""},
    };
    for (const auto& row : rows) QTest::newRow(row[0]) << QString(row[0]) << U(row[1]);
}

void FormMainTest::controlsCarryTheirNamesAndCaptions() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QObject* control = form->findChild<QObject*>(name);
    QVERIFY2(control, qPrintable(name));
    const char* property = qobject_cast<QGroupBox*>(control) ? "title" : "text";
    QCOMPARE(control->property(property).toString(), caption);
    // Captions fit their controls.
    if (auto* widget = qobject_cast<QWidget*>(control);
        widget && !qobject_cast<QGroupBox*>(control))
        QVERIFY2(widget->width() >= widget->sizeHint().width(), qPrintable(name));
}

void FormMainTest::listsHoldTheirItemsAndInitialChoice() {
    QCOMPARE(Items(form->CBSizeList),
             QStringList({"1280 x 1280", "1024 x 1024", "800 x  800", "640 x 640", "400 x 400",
                          "320 x 320", "160 x 160"}));
    QCOMPARE(form->CBSizeList->currentIndex(), 0);
    QCOMPARE(Items(form->CBQualityLevel),
             QStringList({U("最高画質"), U("高画質"), U("中画質"), U("低画質"), U("最低画質")}));
    QCOMPARE(form->CBQualityLevel->currentIndex(), 1);
    QCOMPARE(Items(form->CBSelectNamePos), QStringList({U("前に"), U("後に")}));
    QCOMPARE(form->CBSelectNamePos->currentIndex(), 0);
    const QStringList sizes = {U("特大"), U("大"), U("中"), U("小"), U("極小")};
    QCOMPARE(Items(form->CBDateFontSize), sizes);
    QCOMPARE(Items(form->CBCommentFontSize), sizes);
    for (QComboBox* list : form->findChildren<QComboBox*>())
        QVERIFY2(!list->isEditable(), qPrintable(list->objectName()));
}

void FormMainTest::initialStatesAndLimits() {
    QVERIFY(form->RBRegularSize->isChecked());
    QVERIFY(form->RBQuality->isChecked());
    QVERIFY(form->RBGetDateFromPic->isChecked());
    QVERIFY(!form->CBContrast->isChecked());
    QCOMPARE(form->TBContrast->minimum(), 0);
    QCOMPARE(form->TBContrast->maximum(), 100);
    QCOMPARE(form->TBContrast->value(), 50);
    QCOMPARE(form->TBContrast->pageStep(), 10);
    QCOMPARE(form->TBContrast->tickInterval(), 5);
    QCOMPARE(form->TBContrast->tickPosition(), QSlider::TicksBelow);
    QCOMPARE(form->DTPDate->date(), QDate::currentDate());
    QCOMPARE(form->DTPDate->displayFormat(), QString("yyyy/MM/dd"));
    QVERIFY(form->DTPDate->calendarPopup());
    QCOMPARE(form->EditPicWidth->maxLength(), 5);
    QCOMPARE(form->EditPicHeight->maxLength(), 5);
    QCOMPARE(form->EditFileSize->maxLength(), 6);
    for (TShape* shape : {form->ShapeDateFontColorOuter, form->ShapeDateFontColorInner,
                          form->ShapeCommentFontColorOuter, form->ShapeCommentFontColorInner}) {
        QCOMPARE(shape->size(), QSize(30, 30));
        QCOMPARE(shape->cursor().shape(), Qt::PointingHandCursor);
    }
}

void FormMainTest::topLevelControlsSitWhereTheLayoutSays() {
    const std::pair<const char*, QRect> places[] = {
        {"imgBG", {0, 0, 561, 422}},           {"imgDropArea", {568, 0, 197, 422}},
        {"pngBtnPicSize", {17, 54, 100, 100}}, {"pngBtnFilter", {121, 54, 100, 100}},
        {"pngBtnDate", {17, 157, 100, 100}},   {"pngBtnComment", {121, 157, 100, 100}},
        {"pngBtnSave", {17, 260, 100, 100}},   {"pngBtnJpeg", {121, 260, 100, 100}},
        {"pngBtnManual", {18, 365, 98, 41}},   {"pngBtnQA", {122, 365, 98, 41}},
        {"PGConfig", {233, 42, 323, 401}},     {"ImgConfigTop", {23, 55, 274, 213}},
    };
    for (const auto& [name, place] : places) {
        auto* widget = form->findChild<QWidget*>(name);
        QVERIFY2(widget, name);
        QCOMPARE(widget->geometry(), place);
    }
    const char* const pageButtons[] = {"pngBtnPicSize", "pngBtnFilter", "pngBtnDate",
                                       "pngBtnComment", "pngBtnSave",   "pngBtnJpeg"};
    for (int tag = 1; tag <= 6; ++tag) {
        auto* button = form->findChild<TPNGButton*>(pageButtons[tag - 1]);
        QCOMPARE(button->Tag(), tag);
        QCOMPARE(button->ButtonStyle(), pbsNoFrame);
        QCOMPARE(button->ButtonLayout(), pbsImageAbove);
    }
}

void FormMainTest::radioButtonsFormTheirGroups() {
    // Checking one button clears only the others of its own group.
    const QList<QList<QRadioButton*>> groups = {
        {form->RBRegularSize, form->RBInputPicSize},
        {form->RBQuality, form->RBFileSize},
        {form->RBBrightnessUP, form->RBBrightnessDown},
        {form->RBDecidesName, form->RBMakeDir},
        {form->RBJpeg, form->RBPng, form->RBGif, form->RBBMP, form->RBWebp, form->RBAvif},
        {form->RBGetDateFromPic, form->RBInputDate},
        {form->RBDrawPosDateLeftTop, form->RBDrawPosDateCenter, form->RBDrawPosDateRightBottom},
        {form->RBDrawPosCommentLeftTop, form->RBDrawPosCommentCenter,
         form->RBDrawPosCommentRightBottom},
    };
    for (const auto& group : groups) {
        for (QRadioButton* chosen : group) {
            chosen->setChecked(true);
            for (QRadioButton* other : group) QCOMPARE(other->isChecked(), other == chosen);
        }
    }
    int checked = 0;
    for (const auto& group : groups)
        for (QRadioButton* button : group) checked += button->isChecked();
    QCOMPARE(checked, groups.size());
}

void FormMainTest::pagesTabInReadingOrder_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("size") << "TabSheetPicSize"
                          << QStringList{"CBPicSize",      "RBRegularSize", "CBSizeList",
                                         "RBInputPicSize", "EditPicWidth",  "EditPicHeight"};
    QTest::newRow("save") << "TabSheetSave"
                          << QStringList{"RBDecidesName", "CBSelectNamePos", "EditFileName",
                                         "RBMakeDir",     "EditDirName",     "RBJpeg",
                                         "RBPng",         "RBBMP",           "RBGif",
                                         "RBWebp",        "RBAvif"};
    QTest::newRow("jpeg") << "TabSheetJpeg"
                          << QStringList{"CBQuality",  "RBQuality",    "CBQualityLevel",
                                         "RBFileSize", "EditFileSize", "CBProgressive"};
}

void FormMainTest::pagesTabInReadingOrder() {
    QFETCH(QString, page);
    QFETCH(QStringList, order);
    auto* sheet = form->findChild<QWidget*>(page);
    QStringList found;
    for (QWidget* w = sheet->nextInFocusChain(); w != sheet; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus && sheet->isAncestorOf(w))
            found.append(w->objectName());
    QCOMPARE(found, order);
}

void FormMainTest::startsOnTheGuideWithoutTabs() {
    QCOMPARE(form->PGConfig->currentWidget(), form->TabSheetTop);
    QCOMPARE(form->PGConfig->count(), 7);
    QVERIFY(form->findChildren<QTabBar*>().isEmpty());
    QVERIFY(form->ImgConfigTop->isVisibleTo(form->TabSheetTop));
}

void FormMainTest::pageButtonsOpenTheirPages() {
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const std::pair<TPNGButton*, QWidget*> pages[] = {
        {form->pngBtnPicSize, form->TabSheetPicSize}, {form->pngBtnFilter, form->TabSheetFilter},
        {form->pngBtnDate, form->TabSheetDate},       {form->pngBtnComment, form->TabSheetComment},
        {form->pngBtnSave, form->TabSheetSave},       {form->pngBtnJpeg, form->TabSheetJpeg},
    };
    for (const auto& [button, page] : pages) {
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(form->PGConfig->currentWidget(), page);
    }
    QTest::mouseClick(form->pngBtnDate, Qt::LeftButton);
    QTest::mouseClick(form->pngBtnDate, Qt::LeftButton);
    QCOMPARE(form->PGConfig->currentWidget(), form->TabSheetDate);
    // The JPEG page opens whatever the output type.
    form->RBPng->setChecked(true);
    QTest::mouseClick(form->pngBtnJpeg, Qt::LeftButton);
    QCOMPARE(form->PGConfig->currentWidget(), form->TabSheetJpeg);
}

void FormMainTest::otherSendersChangeNoPage() {
    form->pngBtnConfigClick(form->pngBtnSave);
    QCOMPARE(form->PGConfig->currentWidget(), form->TabSheetSave);
    TPNGButton stray;
    for (int tag : {0, 7, -1}) {
        stray.SetTag(tag);
        form->pngBtnConfigClick(&stray);
        QCOMPARE(form->PGConfig->currentWidget(), form->TabSheetSave);
    }
    form->pngBtnConfigClick(form->CBDate);
    form->pngBtnConfigClick(nullptr);
    QCOMPARE(form->PGConfig->currentWidget(), form->TabSheetSave);
}

void FormMainTest::bothFontListsHoldTheInstalledJapaneseFaces() {
    QStringList faces;
    BuildFontList(faces);
    QVERIFY2(!faces.isEmpty(), "no Japanese font installed (fonts-ipafont-gothic)");
    QCOMPARE(Items(form->CBDateFontName), faces);
    QCOMPARE(Items(form->CBCommentFontName), faces);
}

void FormMainTest::AnswerColourDialog(QColor colour) {
    QTimer::singleShot(0, this, [this, colour] {
        QColorDialog* dialog = form->ColorDialogFont;
        if (!dialog->isVisible()) return;
        ++dialogsOpened;
        if (colour.isValid()) {
            dialog->setCurrentColor(colour);
            dialog->accept();
        } else {
            dialog->setCurrentColor(Qt::black);
            dialog->reject();
        }
    });
}

void FormMainTest::colourDialogSetsTheShapeOnlyWhenConfirmed() {
    TShape* shape = form->ShapeCommentFontColorInner;
    form->CBComment->setChecked(true);
    QCOMPARE(shape->BrushColor(), QColor(255, 128, 255));

    AnswerColourDialog(QColor());
    form->ShapeFontColorOuterMouseUp(shape);
    QCOMPARE(dialogsOpened, 1);
    QCOMPARE(shape->BrushColor(), QColor(255, 128, 255));

    AnswerColourDialog(QColor(10, 20, 30));
    form->ShapeFontColorOuterMouseUp(shape);
    QCOMPARE(dialogsOpened, 2);
    QCOMPARE(shape->BrushColor(), QColor(10, 20, 30));
    // The dialog starts from the shape's own colour.
    AnswerColourDialog(QColor());
    form->ShapeFontColorOuterMouseUp(form->ShapeCommentFontColorOuter);
    QCOMPARE(form->ColorDialogFont->currentColor(), QColor(Qt::black));
    QCOMPARE(form->ShapeCommentFontColorOuter->BrushColor(), QColor(255, 255, 255));
}

void FormMainTest::anyMouseButtonOpensTheDialogButNotOnADisabledShape() {
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->PGConfig->setCurrentWidget(form->TabSheetDate);
    TShape* shape = form->ShapeDateFontColorOuter;

    AnswerColourDialog(QColor(1, 2, 3));
    QTest::mouseClick(shape, Qt::LeftButton);
    QTest::qWait(20);
    QCOMPARE(dialogsOpened, 0);
    QCOMPARE(shape->BrushColor(), QColor(255, 255, 255));

    form->CBDate->setChecked(true);
    AnswerColourDialog(QColor(1, 2, 3));
    QTest::mouseClick(shape, Qt::RightButton);
    QCOMPARE(dialogsOpened, 1);
    QCOMPARE(shape->BrushColor(), QColor(1, 2, 3));
}

void FormMainTest::closeAsksEveryTimeAndNoKeepsTheWindow() {
    QStringList asked;
    QList<QMessageBox::StandardButtons> offered;
    QMessageBox::StandardButton answer = QMessageBox::No;
    SetMessageBoxHook([&](const QString& text, QMessageBox::StandardButtons buttons) {
        asked.append(text);
        offered.append(buttons);
        return answer;
    });
    form->show();
    QVERIFY(!form->close());
    QVERIFY(form->isVisible());
    QVERIFY(!form->close());
    QCOMPARE(asked, QStringList({U("終了してよろしいですか？"), U("終了してよろしいですか？")}));
    QCOMPARE(offered.first(), QMessageBox::Yes | QMessageBox::No);

    answer = QMessageBox::Yes;
    QVERIFY(form->close());
    QVERIFY(!form->isVisible());
    QCOMPARE(asked.size(), 3);
}

void FormMainTest::restoringCentresAndRaisesTheShownProgressWindow() {
    QWidget status;
    status.resize(395, 86);
    status.move(5, 5);
    form->SetStatusWindow(&status);
    form->show();
    QEvent restored(QEvent::WindowStateChange);

    QApplication::sendEvent(form.get(), &restored);
    QCOMPARE(status.pos(), QPoint(5, 5));

    status.show();
    QVERIFY(QTest::qWaitForWindowExposed(&status));
    QApplication::sendEvent(form.get(), &restored);
    const QRect screen = form->screen()->geometry();
    const QSize size = status.frameGeometry().size();
    QCOMPARE(status.frameGeometry().topLeft(),
             screen.topLeft() + QPoint((screen.width() - size.width()) / 2,
                                       (screen.height() - size.height()) / 2));
    // Minimised on its own, it comes back with the main window's restore.
    status.showMinimized();
    QTRY_VERIFY(status.isMinimized());
    QApplication::sendEvent(form.get(), &restored);
    QTRY_VERIFY(!status.isMinimized());
}

void FormMainTest::filesDroppedAnywhereReachTheWindow() {
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->PGConfig->setCurrentWidget(form->TabSheetComment);
    form->CBComment->setChecked(true);
    QSignalSpy dropped(form.get(), &TFormMain::filesDropped);
    QMimeData data;
    const QList<QUrl> urls = {QUrl::fromLocalFile("/tmp/a.jpg"),
                              QUrl::fromLocalFile("/tmp/b c.png"),
                              QUrl("https://example.org/x.jpg")};
    data.setUrls(urls);
    // File managers offer the paths as plain text too, which edit boxes take.
    data.setText("/tmp/a.jpg");
    // Dropped through the window system onto the drop area, a page button,
    // an edit box and an empty part of a page.
    for (QWidget* target : QList<QWidget*>{form->imgDropArea, form->pngBtnDate, form->EditComment,
                                           form->TabSheetComment}) {
        const QPoint at = target->mapTo(form.get(), QPoint(target->width() / 2, 3));
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->windowHandle(), &enter);
        QVERIFY2(enter.isAccepted(), qPrintable(target->objectName()));
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->windowHandle(), &drop);
    }
    QCOMPARE(dropped.size(), 4);
    QCOMPARE(dropped.last().first().value<QList<QUrl>>(), urls);
    QCOMPARE(form->EditComment->text(), QString());
}

void FormMainTest::helpButtonsOpenTheShippedPages() {
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    QTest::mouseClick(form->pngBtnManual, Qt::LeftButton);
    QTest::mouseClick(form->pngBtnQA, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.opened.size(), 2);
    QCOMPARE(QFileInfo(catcher.opened[0].toLocalFile()).fileName(), QString("manual.html"));
    QCOMPARE(QFileInfo(catcher.opened[1].toLocalFile()).fileName(), QString("qa.html"));
    for (const QUrl& url : catcher.opened) QVERIFY(QFileInfo(url.toLocalFile()).isFile());
    QCOMPARE(form->PGConfig->currentWidget(), form->TabSheetTop);
}

// A dark desktop palette brings the dark artwork, at start and on a change,
// and the pages' panel colour with it, behind the switches' captions too; a
// light one brings the light art back.
void FormMainTest::followsTheDesktopBetweenLightAndDark() {
    const QPalette desktop = QApplication::palette();
    auto panelGrey = [this] { return qGray(form->imgBG->pixmap().toImage().pixel(500, 400)); };
    auto switchOnPanel = [this] {
        const QColor panel = form->palette().color(QPalette::Window);
        for (QCheckBox* check : {form->CBPicSize, form->CBDate, form->CBQuality}) {
            if (check->palette().color(check->backgroundRole()) != panel) return false;
        }
        return true;
    };
    QVERIFY(panelGrey() > 200);
    QVERIFY(switchOnPanel());
    QPalette dark = desktop;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEC));
    QApplication::setPalette(dark);
    QTRY_VERIFY(panelGrey() < 80);
    QVERIFY(qGray(form->palette().color(QPalette::Window).rgb()) < 80);
    QVERIFY(switchOnPanel());
    QVERIFY(qGray(form->pngBtnDate->ImageNormal().pixel(48, 48)) < 100);
    QVERIFY(qGray(TFormMain().imgBG->pixmap().toImage().pixel(500, 400)) < 80);
    QApplication::setPalette(desktop);
    QTRY_VERIFY(panelGrey() > 200);
    QVERIFY(qGray(form->palette().color(QPalette::Window).rgb()) > 200);
}

void FormMainTest::screenReadersHearTheCaptionsOnScreen() {
    auto heard = [](QWidget* w) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        return a ? a->text(QAccessible::Name) : QString();
    };
    QCOMPARE(heard(form->ShapeDateFontColorOuter), U("外側"));
    QCOMPARE(heard(form->ShapeCommentFontColorInner), U("内側"));
    QCOMPARE(heard(form->DTPDate), U("日付を指定"));
    // Qt on Linux announces a list by its item and names it through its label.
    QCOMPARE(form->CBDateFontName->accessibleName(), U("フォント名"));
    QCOMPARE(form->CBCommentFontSize->accessibleName(), U("サイズ"));
    QCOMPARE(heard(form->pngBtnJpeg), U("JPEG設定"));
    // Every control that takes input has a name.
    for (QWidget* w : form->findChildren<QWidget*>()) {
        if (w->focusPolicy() == Qt::NoFocus && !qobject_cast<TPNGButton*>(w) &&
            !qobject_cast<TShape*>(w))
            continue;
        if (w->parentWidget() && qobject_cast<QAbstractSpinBox*>(w->parentWidget())) continue;
        if (w->isWindow() || qobject_cast<QColorDialog*>(w->window()) || w->window() != form.get())
            continue;
        QVERIFY2(!heard(w).isEmpty() || !w->accessibleName().isEmpty(),
                 qPrintable(w->objectName() + " " + w->metaObject()->className()));
    }
}

QTEST_MAIN(FormMainTest)
#include "FormMainTest.moc"
