#include "ui/FormMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QWindow>
#include <algorithm>
#include <limits>
#include <utility>

#include "resources/Artwork.h"
#include "ui/HelpPages.h"
#include "ui/MessageBox.h"
#include "ui/Shape.h"
#include "ui/settings/FontList.h"
#include "ui/settings/ListChoices.h"
#include "widgets/pngextra.h"

namespace tovali {

namespace {

// Heights of one line of a check box or radio button, and of lists and edit boxes.
constexpr int kLineHeight = 20;
constexpr int kBoxHeight = 22;
// Window font: a Japanese proportional gothic, preferring the classic face.
constexpr int kFontPixels = 12;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

template <class W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// Check boxes, radio buttons and labels take the width their caption needs.
template <class W>
W* NewCaptioned(QWidget* parent, const char* name, const char* caption, int x, int y,
                int height = kLineHeight) {
    auto* widget = Named(new W(Text(caption), parent), name);
    widget->move(x, y);
    widget->resize(widget->sizeHint().width(), height);
    return widget;
}

QLabel* NewLabel(QWidget* parent, const char* name, const char* caption, int x, int y) {
    auto* label = NewCaptioned<QLabel>(parent, name, caption, x, y, kBoxHeight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QGroupBox* NewGroup(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* group = Named(new QGroupBox(Text(caption), parent), name);
    group->setGeometry(geometry);
    return group;
}

// A drop-down list that accepts no typing.
QComboBox* NewList(QWidget* parent, const char* name, const QStringList& items, QRect geometry,
                   int index) {
    auto* list = Named(new QComboBox(parent), name);
    list->addItems(items);
    list->setCurrentIndex(index);
    list->setGeometry(geometry);
    return list;
}

QStringList Items(std::initializer_list<const char*> texts) {
    QStringList items;
    for (const char* text : texts) items.append(Text(text));
    return items;
}

// The captions of a list's items (ListChoices.h).
template <class Choice, std::size_t N>
QStringList Captions(const Choice (&choices)[N]) {
    QStringList items;
    for (const Choice& choice : choices) items.append(Text(choice.Caption));
    return items;
}

QLineEdit* NewEdit(QWidget* parent, const char* name, QRect geometry, const char* text) {
    auto* edit = Named(new QLineEdit(Text(text), parent), name);
    edit->setGeometry(geometry);
    return edit;
}

// A numeric box: a short length limit, no input method, digits expected.
QLineEdit* NewNumberEdit(QWidget* parent, const char* name, QRect geometry, int maxLength) {
    auto* edit = NewEdit(parent, name, geometry, "800");
    edit->setMaxLength(maxLength);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setInputMethodHints(Qt::ImhDigitsOnly);
    return edit;
}

// A page's switch, sitting on the top edge of the group box at box: its own
// background, in the panel's colour (a button's would be the Button one),
// hides the frame line behind the caption.
QCheckBox* NewSwitch(QWidget* parent, const char* name, const char* caption, QRect box) {
    auto* check = NewCaptioned<QCheckBox>(parent, name, caption, box.x() + 8, 0, 16);
    check->move(check->x(), std::max(0, box.y() - check->height() / 2));
    check->setBackgroundRole(QPalette::Window);
    check->setAutoFillBackground(true);
    return check;
}

TShape* NewShape(QWidget* parent, const char* name, QColor color) {
    auto* shape = Named(new TShape(parent), name);
    shape->setGeometry(9, 18, 30, 30);
    shape->SetBrushColor(color);
    return shape;
}

// An image button for the art btn_<art> (ApplyArtwork gives it its pictures),
// named for screen readers as its picture reads.
TPNGButton* NewImageButton(QWidget* parent, const char* name, QRect geometry, const char* art,
                           const char* caption, int tag) {
    auto* button = Named(new TPNGButton(parent), name);
    button->setGeometry(geometry);
    button->SetButtonStyle(pbsNoFrame);
    button->SetButtonLayout(pbsImageAbove);
    button->setProperty("art", QByteArray(art));
    button->setAccessibleName(Text(caption));
    button->SetTag(tag);
    return button;
}

// The image button's three pictures for the theme and device pixel ratio.
void ShowButtonArt(TPNGButton* button, qreal scale, bool dark) {
    const QString base =
        QStringLiteral("btn_") + QString::fromLatin1(button->property("art").toByteArray());
    button->SetImageNormal(LoadArtwork(base, scale, dark));
    button->SetImageDown(LoadArtwork(base + QStringLiteral("_down"), scale, dark));
    button->SetImageOver(LoadArtwork(base + QStringLiteral("_over"), scale, dark));
}

// The controls that the date and comment pages share, below their own first box.
struct TTextControls {
    QGroupBox* FontNameBox;
    QComboBox* FontName;
    QGroupBox* FontSizeBox;
    QComboBox* FontSize;
    QGroupBox* ColorBox;
    QGroupBox* OuterBox;
    TShape* Outer;
    QGroupBox* InnerBox;
    TShape* Inner;
    QGroupBox* PosBox;
    QRadioButton* Pos[9];
};

// Object names of one text kind ("Date" or "Comment").
struct TTextNames {
    const char* FontNameBox;
    const char* FontNameCaption;
    const char* FontName;
    const char* FontSizeBox;
    const char* FontSize;
    const char* ColorBox;
    const char* OuterBox;
    const char* Outer;
    const char* InnerBox;
    const char* Inner;
    const char* PosBox;
    const char* Pos[9];
};

// Default outline and fill colours of the date and the comment.
const QColor kDefaultOuter(255, 255, 255);
const QColor kDefaultInner(255, 128, 255);

TTextControls NewTextControls(QWidget* box, int top, const TTextNames& names) {
    TTextControls c{};
    c.FontNameBox = NewGroup(box, names.FontNameBox, names.FontNameCaption, {10, top, 182, 46});
    c.FontName = NewList(c.FontNameBox, names.FontName, {}, {8, 17, 166, kBoxHeight}, -1);
    c.FontSizeBox = NewGroup(box, names.FontSizeBox, "サイズ", {198, top, 92, 46});
    c.FontSize = NewList(c.FontSizeBox, names.FontSize, Items({"特大", "大", "中", "小", "極小"}),
                         {8, 17, 76, kBoxHeight}, 3);
    c.ColorBox = NewGroup(box, names.ColorBox, "文字色設定", {10, top + 50, 116, 76});
    c.OuterBox = NewGroup(c.ColorBox, names.OuterBox, "外側", {8, 16, 48, 54});
    c.Outer = NewShape(c.OuterBox, names.Outer, kDefaultOuter);
    c.InnerBox = NewGroup(c.ColorBox, names.InnerBox, "内側", {60, 16, 48, 54});
    c.Inner = NewShape(c.InnerBox, names.Inner, kDefaultInner);
    c.PosBox = NewGroup(box, names.PosBox, "描画位置", {132, top + 50, 158, 76});
    static const char* const kPosCaptions[9] = {"左上", "上",   "右上", "左",  "中",
                                                "右",   "左下", "下",   "右下"};
    for (int i = 0; i < 9; ++i)
        c.Pos[i] = NewCaptioned<QRadioButton>(c.PosBox, names.Pos[i], kPosCaptions[i],
                                              8 + i % 3 * 50, 15 + i / 3 * 19, 19);
    return c;
}

}  // namespace

TFormMain::TFormMain(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(762, 421);
    QFont font;
    font.setFamilies(WindowFontFamilies());
    font.setPixelSize(kFontPixels);
    setFont(font);

    CreateFrame();
    CreatePageButtons();
    CreatePages();
    ColorDialogFont = Named(new QColorDialog(this), "ColorDialogFont");
    ApplyArtwork();
    SetAccessibleNames();
    BindRules();
    FormCreate();
}

// The settings are saved here, after the confirmed close; a file that cannot
// be written is reported and the window goes all the same.
TFormMain::~TFormMain() {
    SaveSettingsAtEnd();
}

void TFormMain::SaveSettingsAtEnd() {
    try {
        SaveSettings();
    } catch (const std::exception& e) {
        if (QuietSave)
            qWarning("%s", e.what());
        else
            ShowAppMessage(nullptr, QString::fromStdString(e.what()));
    }
}

void TFormMain::CreateFrame() {
    imgBG = Named(new QLabel(this), "imgBG");
    imgBG->setGeometry(0, 0, 561, 422);
    imgDropArea = Named(new QLabel(this), "imgDropArea");
    imgDropArea->setGeometry(568, 0, 197, 422);
    imgDropArea->setScaledContents(true);
    imgDropArea->setAccessibleName(
        Text("画像ファイルをドラッグ＆ドロップしてください。（複数可）"));
}

void TFormMain::CreatePageButtons() {
    pngBtnPicSize =
        NewImageButton(this, "pngBtnPicSize", {17, 54, 100, 100}, "picsize", "縮小サイズ", 1);
    pngBtnFilter = NewImageButton(this, "pngBtnFilter", {121, 54, 100, 100}, "filter", "効果", 2);
    pngBtnDate = NewImageButton(this, "pngBtnDate", {17, 157, 100, 100}, "date", "日付", 3);
    pngBtnComment =
        NewImageButton(this, "pngBtnComment", {121, 157, 100, 100}, "comment", "コメント", 4);
    pngBtnSave = NewImageButton(this, "pngBtnSave", {17, 260, 100, 100}, "save", "保存", 5);
    pngBtnJpeg = NewImageButton(this, "pngBtnJpeg", {121, 260, 100, 100}, "jpeg", "JPEG設定", 6);
    pngBtnManual = NewImageButton(this, "pngBtnManual", {18, 365, 98, 41}, "manual", "操作方法", 0);
    pngBtnQA = NewImageButton(this, "pngBtnQA", {122, 365, 98, 41}, "qa", "Q&A", 0);
}

void TFormMain::ApplyArtwork() {
    const bool dark = PrefersDarkArtwork(QGuiApplication::palette());
    const qreal scale = devicePixelRatioF();
    if (artScale_ == scale && artDark_ == dark) return;
    artScale_ = scale;
    artDark_ = dark;
    const QImage background = LoadArtwork("bg", scale, dark);
    imgBG->setPixmap(QPixmap::fromImage(background));
    // The pages show the art's panel; the switches on their box edges fill
    // their background with the same colour, taken from a plain corner.
    if (!background.isNull()) {
        QPalette panel = palette();
        panel.setColor(QPalette::Window,
                       background.pixelColor(background.width() - 8, background.height() - 8));
        setPalette(panel);
    }
    imgDropArea->setPixmap(QPixmap::fromImage(LoadArtwork("droparea", scale, dark)));
    ImgConfigTop->setPixmap(QPixmap::fromImage(LoadArtwork("configtop", scale, dark)));
    for (TPNGButton* button : findChildren<TPNGButton*>()) ShowButtonArt(button, scale, dark);
}

void TFormMain::CreatePages() {
    PGConfig = Named(new QStackedWidget(this), "PGConfig");
    PGConfig->setGeometry(233, 42, 323, 401);
    for (QWidget* page :
         {CreateTopPage(), CreatePicSizePage(), CreateFilterPage(), CreateDatePage(),
          CreateCommentPage(), CreateSavePage(), CreateJpegPage()})
        PGConfig->addWidget(page);
}

QWidget* TFormMain::CreateTopPage() {
    TabSheetTop = Named(new QWidget(PGConfig), "TabSheetTop");
    ImgConfigTop = Named(new QLabel(TabSheetTop), "ImgConfigTop");
    ImgConfigTop->setGeometry(23, 55, 274, 213);
    ImgConfigTop->setAccessibleName(
        Text("STEP 1 設定・機能を選び、詳細設定を行います。 STEP 2 "
             "設定後、縮小したい画像を右のエリアにドラッグ＆ドロップします。"));
    return TabSheetTop;
}

QWidget* TFormMain::CreatePicSizePage() {
    auto* page = TabSheetPicSize = Named(new QWidget(PGConfig), "TabSheetPicSize");
    const QRect box(13, 7, 300, 163);
    CBPicSize = NewSwitch(page, "CBPicSize", "画像サイズ設定", box);
    GBPicSize = NewGroup(page, "GBPicSize", "", box);
    RBRegularSize = NewCaptioned<QRadioButton>(GBPicSize, "RBRegularSize",
                                               "規定サイズに収まるように縮小", 16, 24);
    RBRegularSize->setChecked(true);
    CBSizeList =
        NewList(GBPicSize, "CBSizeList", Captions(kBoxChoices), {36, 48, 130, kBoxHeight}, 0);
    RBInputPicSize = NewCaptioned<QRadioButton>(GBPicSize, "RBInputPicSize",
                                                "指定サイズに収まるように縮小", 16, 86);
    LblPicWidth = NewLabel(GBPicSize, "LblPicWidth", "幅", 36, 112);
    EditPicWidth = NewNumberEdit(GBPicSize, "EditPicWidth", {62, 112, 64, kBoxHeight}, 5);
    LblPicHeight = NewLabel(GBPicSize, "LblPicHeight", "高さ", 146, 112);
    EditPicHeight = NewNumberEdit(GBPicSize, "EditPicHeight", {178, 112, 64, kBoxHeight}, 5);
    CBPicSize->raise();
    return page;
}

QWidget* TFormMain::CreateFilterPage() {
    auto* page = TabSheetFilter = Named(new QWidget(PGConfig), "TabSheetFilter");
    const QRect box(13, 7, 300, 268);
    CBFilter = NewSwitch(page, "CBFilter", "効果設定", box);
    GBFilter = NewGroup(page, "GBFilter", "", box);

    GBContrast = NewGroup(GBFilter, "GBContrast", "", {12, 22, 276, 92});
    CBContrast = NewCaptioned<QCheckBox>(GBContrast, "CBContrast", "コントラストを調整", 10, 6);
    TBContrast = Named(new QSlider(Qt::Horizontal, GBContrast), "TBContrast");
    TBContrast->setGeometry(10, 30, 256, 30);
    TBContrast->setRange(0, 100);
    TBContrast->setValue(50);
    TBContrast->setPageStep(10);
    TBContrast->setTickInterval(5);
    TBContrast->setTickPosition(QSlider::TicksBelow);
    lblContrastValue = Named(new QLabel(GBContrast), "lblContrastValue");
    lblContrastValue->setGeometry(0, 64, 276, 18);
    lblContrastValue->setAlignment(Qt::AlignCenter);

    GBBrightness = NewGroup(GBFilter, "GBBrightness", "", {12, 122, 276, 60});
    CBBrightness = NewCaptioned<QCheckBox>(GBBrightness, "CBBrightness", "明るさを調整", 10, 6);
    RBBrightnessUP = NewCaptioned<QRadioButton>(GBBrightness, "RBBrightnessUP", "明るく", 30, 32);
    RBBrightnessUP->setChecked(true);
    RBBrightnessDown =
        NewCaptioned<QRadioButton>(GBBrightness, "RBBrightnessDown", "暗く", 130, 32);

    CBVivid = NewCaptioned<QCheckBox>(GBFilter, "CBVivid", "彩度を上げる", 18, 192);
    CBMonochrome = NewCaptioned<QCheckBox>(GBFilter, "CBMonochrome", "モノクロに変換", 18, 216);
    CBWhiteFrame = NewCaptioned<QCheckBox>(GBFilter, "CBWhiteFrame", "画像に白枠を描画", 18, 240);
    CBFilter->raise();
    return page;
}

QWidget* TFormMain::CreateDatePage() {
    auto* page = TabSheetDate = Named(new QWidget(PGConfig), "TabSheetDate");
    const QRect box(13, 7, 300, 248);
    CBDate = NewSwitch(page, "CBDate", "日付描画設定", box);
    GBDate = NewGroup(page, "GBDate", "", box);
    GBConfigDate = NewGroup(GBDate, "GBConfigDate", "日付設定", {10, 18, 280, 72});
    RBGetDateFromPic = NewCaptioned<QRadioButton>(GBConfigDate, "RBGetDateFromPic",
                                                  "画像から取得(Exif情報又は作成日)", 10, 18);
    RBGetDateFromPic->setChecked(true);
    RBInputDate = NewCaptioned<QRadioButton>(GBConfigDate, "RBInputDate", "日付を指定", 10, 44);
    DTPDate = Named(new QDateEdit(GBConfigDate), "DTPDate");
    DTPDate->setGeometry(110, 43, 110, kBoxHeight);
    DTPDate->setCalendarPopup(true);
    DTPDate->setDisplayFormat("yyyy/MM/dd");

    const TTextControls c = NewTextControls(
        GBDate, 94,
        {"GBDateFontName",
         "フォント名",
         "CBDateFontName",
         "GBDateFontSize",
         "CBDateFontSize",
         "GBDateFontColor",
         "GBDateFontColorOuter",
         "ShapeDateFontColorOuter",
         "GBDateFontColorInner",
         "ShapeDateFontColorInner",
         "GBDrawPosDate",
         {"RBDrawPosDateLeftTop", "RBDrawPosDateTop", "RBDrawPosDateRightTop", "RBDrawPosDateLeft",
          "RBDrawPosDateCenter", "RBDrawPosDateRight", "RBDrawPosDateLeftBottom",
          "RBDrawPosDateBottom", "RBDrawPosDateRightBottom"}});
    GBDateFontName = c.FontNameBox;
    CBDateFontName = c.FontName;
    GBDateFontSize = c.FontSizeBox;
    CBDateFontSize = c.FontSize;
    GBDateFontColor = c.ColorBox;
    GBDateFontColorOuter = c.OuterBox;
    ShapeDateFontColorOuter = c.Outer;
    GBDateFontColorInner = c.InnerBox;
    ShapeDateFontColorInner = c.Inner;
    GBDrawPosDate = c.PosBox;
    QRadioButton** pos[9] = {
        &RBDrawPosDateLeftTop,    &RBDrawPosDateTop,    &RBDrawPosDateRightTop,
        &RBDrawPosDateLeft,       &RBDrawPosDateCenter, &RBDrawPosDateRight,
        &RBDrawPosDateLeftBottom, &RBDrawPosDateBottom, &RBDrawPosDateRightBottom};
    for (int i = 0; i < 9; ++i) *pos[i] = c.Pos[i];
    RBDrawPosDateRightBottom->setChecked(true);
    CBDate->raise();
    return page;
}

QWidget* TFormMain::CreateCommentPage() {
    auto* page = TabSheetComment = Named(new QWidget(PGConfig), "TabSheetComment");
    const QRect box(13, 7, 300, 202);
    CBComment = NewSwitch(page, "CBComment", "コメント描画設定", box);
    GBComment = NewGroup(page, "GBComment", "", box);
    GBDrawComment = NewGroup(GBComment, "GBDrawComment", "コメント", {10, 18, 280, 46});
    EditComment = NewEdit(GBDrawComment, "EditComment", {8, 17, 264, kBoxHeight}, "");
    EditComment->setMaxLength(std::numeric_limits<int>::max());

    const TTextControls c = NewTextControls(
        GBComment, 68,
        {"GBCommentFontName",
         "フォント",
         "CBCommentFontName",
         "GBCommentFontSize",
         "CBCommentFontSize",
         "GBCommentFontColor",
         "GBCommentFontColorOuter",
         "ShapeCommentFontColorOuter",
         "GBCommentFontColorInner",
         "ShapeCommentFontColorInner",
         "GBDrawPosComment",
         {"RBDrawPosCommentLeftTop", "RBDrawPosCommentTop", "RBDrawPosCommentRightTop",
          "RBDrawPosCommentLeft", "RBDrawPosCommentCenter", "RBDrawPosCommentRight",
          "RBDrawPosCommentLeftBottom", "RBDrawPosCommentBottom", "RBDrawPosCommentRightBottom"}});
    GBCommentFontName = c.FontNameBox;
    CBCommentFontName = c.FontName;
    GBCommentFontSize = c.FontSizeBox;
    CBCommentFontSize = c.FontSize;
    GBCommentFontColor = c.ColorBox;
    GBCommentFontColorOuter = c.OuterBox;
    ShapeCommentFontColorOuter = c.Outer;
    GBCommentFontColorInner = c.InnerBox;
    ShapeCommentFontColorInner = c.Inner;
    GBDrawPosComment = c.PosBox;
    QRadioButton** pos[9] = {
        &RBDrawPosCommentLeftTop,    &RBDrawPosCommentTop,    &RBDrawPosCommentRightTop,
        &RBDrawPosCommentLeft,       &RBDrawPosCommentCenter, &RBDrawPosCommentRight,
        &RBDrawPosCommentLeftBottom, &RBDrawPosCommentBottom, &RBDrawPosCommentRightBottom};
    for (int i = 0; i < 9; ++i) *pos[i] = c.Pos[i];
    RBDrawPosCommentLeftTop->setChecked(true);
    CBComment->raise();
    return page;
}

QWidget* TFormMain::CreateSavePage() {
    auto* page = TabSheetSave = Named(new QWidget(PGConfig), "TabSheetSave");
    GBOutputConfig = NewGroup(page, "GBOutputConfig", "保存設定", {13, 7, 300, 234});
    GBSave = NewGroup(GBOutputConfig, "GBSave", "ファイル名・保存先の設定", {10, 20, 280, 122});
    RBDecidesName = NewCaptioned<QRadioButton>(GBSave, "RBDecidesName", "ファイル名の", 10, 20);
    RBDecidesName->setChecked(true);
    CBSelectNamePos = NewList(GBSave, "CBSelectNamePos", Items({"前に", "後に"}),
                              {RBDecidesName->geometry().right() + 6, 19, 60, kBoxHeight}, 0);
    EditFileName = NewEdit(GBSave, "EditFileName", {28, 46, 130, kBoxHeight}, "s-");
    LblSelectFileName = NewLabel(GBSave, "LblSelectFileName", "を付けて保存する", 164, 46);
    RBMakeDir =
        NewCaptioned<QRadioButton>(GBSave, "RBMakeDir", "フォルダを作成しその中に保存する", 10, 74);
    LblDirName = NewLabel(GBSave, "LblDirName", "フォルダ名", 28, 96);
    EditDirName = NewEdit(GBSave, "EditDirName",
                          {LblDirName->geometry().right() + 8, 96, 130, kBoxHeight}, "Reduction");

    GBFileType = NewGroup(GBOutputConfig, "GBFileType", "ファイル形式", {10, 148, 280, 80});
    RBJpeg = NewCaptioned<QRadioButton>(GBFileType, "RBJpeg", "JPEG形式", 20, 17);
    RBJpeg->setChecked(true);
    RBPng = NewCaptioned<QRadioButton>(GBFileType, "RBPng", "PNG形式", 150, 17);
    RBBMP = NewCaptioned<QRadioButton>(GBFileType, "RBBMP", "BMP形式", 20, 37);
    RBGif = NewCaptioned<QRadioButton>(GBFileType, "RBGif", "GIF形式", 150, 37);
    RBWebp = NewCaptioned<QRadioButton>(GBFileType, "RBWebp", "WebP形式", 20, 57);
    RBAvif = NewCaptioned<QRadioButton>(GBFileType, "RBAvif", "AVIF形式", 150, 57);
    return page;
}

QWidget* TFormMain::CreateJpegPage() {
    auto* page = TabSheetJpeg = Named(new QWidget(PGConfig), "TabSheetJpeg");
    GBJpegConfig =
        NewGroup(page, "GBJpegConfig", "JPEG・WebP・AVIF形式で保存する際の設定", {13, 7, 300, 203});
    const QRect inner(10, 30, 280, 124);
    CBQuality = NewSwitch(GBJpegConfig, "CBQuality", "品質設定", inner);
    GBFileSize = NewGroup(GBJpegConfig, "GBFileSize", "", inner);
    RBQuality = NewCaptioned<QRadioButton>(GBFileSize, "RBQuality", "画質で設定する", 12, 18);
    RBQuality->setChecked(true);
    CBQualityLevel = NewList(GBFileSize, "CBQualityLevel", Captions(kQualityChoices),
                             {32, 42, 120, kBoxHeight}, 1);
    RBFileSize =
        NewCaptioned<QRadioButton>(GBFileSize, "RBFileSize", "ファイルサイズで設定する", 12, 72);
    EditFileSize = NewNumberEdit(GBFileSize, "EditFileSize", {32, 96, 80, kBoxHeight}, 6);
    LblKB = NewLabel(GBFileSize, "LblKB", "KB", 118, 96);
    CBQuality->raise();
    CBProgressive =
        NewCaptioned<QCheckBox>(GBJpegConfig, "CBProgressive", "プログレッシブ形式で保存", 18, 166);
    return page;
}

// Screen readers hear each control by the caption a user sees with it: its
// group box's title, the radio button or label beside it, or the switch on
// an untitled box's edge (Qt would otherwise announce a box's controls by an
// outer box's title, or not at all).
void TFormMain::SetAccessibleNames() {
    for (TShape* shape : findChildren<TShape*>())
        shape->setAccessibleName(static_cast<QGroupBox*>(shape->parentWidget())->title());
    for (QComboBox* list : {CBDateFontName, CBDateFontSize, CBCommentFontName, CBCommentFontSize})
        list->setAccessibleName(static_cast<QGroupBox*>(list->parentWidget())->title());
    EditComment->setAccessibleName(GBDrawComment->title());
    const std::pair<QWidget*, QAbstractButton*> byButton[] = {{CBSizeList, RBRegularSize},
                                                              {GBPicSize, CBPicSize},
                                                              {GBFilter, CBFilter},
                                                              {GBContrast, CBContrast},
                                                              {TBContrast, CBContrast},
                                                              {GBBrightness, CBBrightness},
                                                              {GBDate, CBDate},
                                                              {DTPDate, RBInputDate},
                                                              {GBComment, CBComment},
                                                              {CBSelectNamePos, RBDecidesName},
                                                              {GBFileSize, CBQuality},
                                                              {CBQualityLevel, RBQuality},
                                                              {EditFileSize, RBFileSize}};
    for (const auto& [control, button] : byButton) control->setAccessibleName(button->text());
    const std::pair<QWidget*, QLabel*> byLabel[] = {{EditPicWidth, LblPicWidth},
                                                    {EditPicHeight, LblPicHeight},
                                                    {EditFileName, LblSelectFileName},
                                                    {EditDirName, LblDirName}};
    for (const auto& [control, label] : byLabel) control->setAccessibleName(label->text());
}

void TFormMain::FormCreate() {
    PGConfig->setCurrentWidget(TabSheetTop);
    BuildFontList(FontList);
    CBDateFontName->addItems(FontList);
    CBCommentFontName->addItems(FontList);
    // A drop anywhere on the window counts; edit boxes pass drops on to it.
    setAcceptDrops(true);
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setAcceptDrops(false);
    MakeSettingsDir();
    LoadSettings();
    UpdateFormPicSize();
    UpdateFormQuality();
    UpdateFormFilter();
    UpdateFormSaveConf();
    UpdateFormDateConf();
    UpdateFormCommentConf();
    DTPDate->setDate(QDate::currentDate());
}

void TFormMain::pngBtnConfigClick(QObject* Sender) {
    auto* button = qobject_cast<TPNGButton*>(Sender);
    const int tag = button ? button->Tag() : 0;
    // Page n of PGConfig belongs to the button with tag n; page 0 is the start page.
    if (tag >= 1 && tag <= 6) PGConfig->setCurrentIndex(tag);
}

void TFormMain::pngBtnManualClick() {
    OpenHelpPage("manual.html");
}

void TFormMain::pngBtnQAClick() {
    OpenHelpPage("qa.html");
}

void TFormMain::ShapeFontColorOuterMouseUp(TShape* Sender) {
    if (!Sender->isEnabled()) return;
    ColorDialogFont->setCurrentColor(Sender->BrushColor());
    if (ColorDialogFont->exec() == QDialog::Accepted)
        Sender->SetBrushColor(ColorDialogFont->selectedColor());
}

bool TFormMain::FormCloseQuery() {
    return ShowAppMessage(this, Text("終了してよろしいですか？"),
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TFormMain::FormResize() {
    if (!statusWindow_ || !statusWindow_->isVisible()) return;
    const QRect screen = this->screen()->geometry();
    const QSize size = statusWindow_->frameGeometry().size();
    // C++ division truncates toward zero.
    statusWindow_->move(screen.x() + (screen.width() - size.width()) / 2,
                        screen.y() + (screen.height() - size.height()) / 2);
    // The window manager minimises the progress window with this one (it is
    // a transient of it); raising it now would bring it back alone.
    if (isMinimized()) return;
    // Minimised on its own, it would leave this disabled window with nothing to press.
    if (statusWindow_->isMinimized()) statusWindow_->showNormal();
    statusWindow_->raise();
    statusWindow_->activateWindow();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    event->setAccepted(!AskBeforeClose || FormCloseQuery());
}

// The window has a fixed size: it "resizes" when minimised or restored. A
// new desktop palette (a switch between light and dark) or another screen
// brings the artwork drawn for it.
void TFormMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
        case QEvent::WindowStateChange:
            FormResize();
            break;
        case QEvent::ApplicationPaletteChange:
        case QEvent::PaletteChange:
        case QEvent::ThemeChange:
        case QEvent::StyleChange:
            ApplyArtwork();
            break;
        default:
            break;
    }
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

// Centred on the screen when first shown.
void TFormMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (placed_) return;
    placed_ = true;
    // The window's own screen decides the scale; moving to another may change it.
    connect(windowHandle(), &QWindow::screenChanged, this, &TFormMain::ApplyArtwork);
    ApplyArtwork();
    const QRect screen = this->screen()->availableGeometry();
    const QSize size = frameGeometry().size();
    move(screen.x() + (screen.width() - size.width()) / 2,
         screen.y() + (screen.height() - size.height()) / 2);
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    const QMimeData* data = event->mimeData();
    emit filesDropped(data->urls(), data->data(QStringLiteral("text/uri-list")));
}

}  // namespace tovali
