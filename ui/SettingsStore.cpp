// The settings store of the main window: config.ini read into the controls
// at creation and written back from them at destruction. The file format and
// its value rules live in the settings library; this file only binds each
// stored key to its control, in the file's order.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <variant>

#include "Cp932.h"
#include "FormMain.h"
#include "MessageBox.h"
#include "SettingsDir.h"
#include "Shape.h"

namespace {

template <class Control>
using TControlOf = Control* (*)(const TFormMain&);

// The control member M of the window as a Control, through a plain function
// so that rows of one kind can name controls of different classes.
template <class Control, auto M>
Control* ControlOf(const TFormMain& form) {
    return form.*M;
}

// One stored key: the TSettings field and the control that holds it.
struct TFlagRow {  // check state of a check box or radio button
    bool TSettings::*Value;
    TControlOf<QAbstractButton> Control;
    using TControl = QAbstractButton;
};
struct TIndexRow {  // selected index of a list, -1 for none
    int TSettings::*Value;
    TControlOf<QComboBox> Control;
    using TControl = QComboBox;
};
struct TFaceRow {  // the selected font face's text
    std::string TSettings::*Value;
    TControlOf<QComboBox> Control;
    using TControl = QComboBox;
};
struct TTextRow {
    std::string TSettings::*Value;
    TControlOf<QLineEdit> Control;
    using TControl = QLineEdit;
};
struct TColourRow {  // a colour shape's brush
    TColor TSettings::*Value;
    TControlOf<TShape> Control;
    using TControl = TShape;
};
struct TTrackRow {
    int TSettings::*Value;
    TControlOf<QSlider> Control;
    using TControl = QSlider;
};
using TRow = std::variant<TFlagRow, TIndexRow, TFaceRow, TTextRow, TColourRow, TTrackRow>;

// Settings fields carry the names of their controls.
#define TOVALI_ROW(Kind, name)                                         \
    Kind {                                                             \
        &TSettings::name, &ControlOf<Kind::TControl, &TFormMain::name> \
    }

// The keys of config.ini in file order (CBContrast and DTPDate are not kept).
const TRow kRows[] = {
    // PIC_SIZE
    TOVALI_ROW(TFlagRow, CBPicSize),
    TOVALI_ROW(TFlagRow, RBRegularSize),
    TOVALI_ROW(TIndexRow, CBSizeList),
    TOVALI_ROW(TFlagRow, RBInputPicSize),
    TOVALI_ROW(TTextRow, EditPicWidth),
    TOVALI_ROW(TTextRow, EditPicHeight),
    // PIC_QUALITY
    TOVALI_ROW(TFlagRow, CBQuality),
    TOVALI_ROW(TFlagRow, RBQuality),
    TOVALI_ROW(TIndexRow, CBQualityLevel),
    TOVALI_ROW(TFlagRow, RBFileSize),
    TOVALI_ROW(TTextRow, EditFileSize),
    // PIC_FILTER
    TOVALI_ROW(TFlagRow, CBFilter),
    TOVALI_ROW(TTrackRow, TBContrast),
    TOVALI_ROW(TFlagRow, CBVivid),
    TOVALI_ROW(TFlagRow, CBBrightness),
    TOVALI_ROW(TFlagRow, RBBrightnessUP),
    TOVALI_ROW(TFlagRow, RBBrightnessDown),
    TOVALI_ROW(TFlagRow, CBMonochrome),
    TOVALI_ROW(TFlagRow, CBWhiteFrame),
    // PIC_SAVE
    TOVALI_ROW(TFlagRow, RBDecidesName),
    TOVALI_ROW(TIndexRow, CBSelectNamePos),
    TOVALI_ROW(TTextRow, EditFileName),
    TOVALI_ROW(TFlagRow, RBMakeDir),
    TOVALI_ROW(TTextRow, EditDirName),
    TOVALI_ROW(TFlagRow, CBProgressive),
    TOVALI_ROW(TFlagRow, RBJpeg),
    TOVALI_ROW(TFlagRow, RBPng),
    TOVALI_ROW(TFlagRow, RBGif),
    TOVALI_ROW(TFlagRow, RBBMP),
    TOVALI_ROW(TFlagRow, RBWebp),
    TOVALI_ROW(TFlagRow, RBAvif),
    // PIC_DATE
    TOVALI_ROW(TFlagRow, CBDate),
    TOVALI_ROW(TFlagRow, RBGetDateFromPic),
    TOVALI_ROW(TFlagRow, RBInputDate),
    TOVALI_ROW(TColourRow, ShapeDateFontColorOuter),
    TOVALI_ROW(TColourRow, ShapeDateFontColorInner),
    TOVALI_ROW(TFaceRow, CBDateFontName),
    TOVALI_ROW(TIndexRow, CBDateFontSize),
    TOVALI_ROW(TFlagRow, RBDrawPosDateLeftTop),
    TOVALI_ROW(TFlagRow, RBDrawPosDateTop),
    TOVALI_ROW(TFlagRow, RBDrawPosDateRightTop),
    TOVALI_ROW(TFlagRow, RBDrawPosDateLeft),
    TOVALI_ROW(TFlagRow, RBDrawPosDateCenter),
    TOVALI_ROW(TFlagRow, RBDrawPosDateRight),
    TOVALI_ROW(TFlagRow, RBDrawPosDateLeftBottom),
    TOVALI_ROW(TFlagRow, RBDrawPosDateBottom),
    TOVALI_ROW(TFlagRow, RBDrawPosDateRightBottom),
    // PIC_COMMENT
    TOVALI_ROW(TFlagRow, CBComment),
    TOVALI_ROW(TTextRow, EditComment),
    TOVALI_ROW(TColourRow, ShapeCommentFontColorOuter),
    TOVALI_ROW(TColourRow, ShapeCommentFontColorInner),
    TOVALI_ROW(TFaceRow, CBCommentFontName),
    TOVALI_ROW(TIndexRow, CBCommentFontSize),
    TOVALI_ROW(TFlagRow, RBDrawPosCommentLeftTop),
    TOVALI_ROW(TFlagRow, RBDrawPosCommentTop),
    TOVALI_ROW(TFlagRow, RBDrawPosCommentRightTop),
    TOVALI_ROW(TFlagRow, RBDrawPosCommentLeft),
    TOVALI_ROW(TFlagRow, RBDrawPosCommentCenter),
    TOVALI_ROW(TFlagRow, RBDrawPosCommentRight),
    TOVALI_ROW(TFlagRow, RBDrawPosCommentLeftBottom),
    TOVALI_ROW(TFlagRow, RBDrawPosCommentBottom),
    TOVALI_ROW(TFlagRow, RBDrawPosCommentRightBottom),
};

#undef TOVALI_ROW

// Unchecking the checked radio button of a group leaves the group with none
// checked, as a stored group whose keys all read false asks for; Qt only
// allows that while the button is not exclusive.
void SetChecked(QAbstractButton* button, bool checked) {
    if (checked || !button->isChecked() || !qobject_cast<QRadioButton*>(button)) {
        button->setChecked(checked);
        return;
    }
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

// The face's item; the first item when the face is not listed.
int FaceIndex(const QComboBox* list, const std::string& face) {
    const int index = list->findText(QString::fromStdString(face));
    return index >= 0 || list->count() == 0 ? index : 0;
}

QColor ToQColor(TColor c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

TColor ToTColor(const QColor& c) {
    return RGBColor(std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue()));
}

struct TShow {
    const TFormMain& Form;
    const TSettings& S;
    void operator()(const TFlagRow& r) const { SetChecked(r.Control(Form), S.*r.Value); }
    void operator()(const TIndexRow& r) const { r.Control(Form)->setCurrentIndex(S.*r.Value); }
    void operator()(const TFaceRow& r) const {
        QComboBox* list = r.Control(Form);
        list->setCurrentIndex(FaceIndex(list, S.*r.Value));
    }
    void operator()(const TTextRow& r) const {
        r.Control(Form)->setText(QString::fromStdString(S.*r.Value));
    }
    void operator()(const TColourRow& r) const {
        r.Control(Form)->SetBrushColor(ToQColor(S.*r.Value));
    }
    void operator()(const TTrackRow& r) const { r.Control(Form)->setValue(S.*r.Value); }
};

struct TRead {
    const TFormMain& Form;
    TSettings& S;
    void operator()(const TFlagRow& r) const { S.*r.Value = r.Control(Form)->isChecked(); }
    void operator()(const TIndexRow& r) const { S.*r.Value = r.Control(Form)->currentIndex(); }
    void operator()(const TFaceRow& r) const {
        const QComboBox* list = r.Control(Form);
        S.*r.Value = list->currentIndex() < 0 ? std::string() : list->currentText().toStdString();
    }
    void operator()(const TTextRow& r) const { S.*r.Value = r.Control(Form)->text().toStdString(); }
    void operator()(const TColourRow& r) const {
        S.*r.Value = ToTColor(r.Control(Form)->BrushColor());
    }
    void operator()(const TTrackRow& r) const { S.*r.Value = r.Control(Form)->value(); }
};

// The file keeps texts in code page 932; what it cannot hold comes back as
// "?" at the next start.
constexpr const char* kCommentNotKeptMessage =
    "コメントには設定ファイルに保存できない文字が含まれています。\n"
    "次回の起動時には、それらの文字は「?」に置き換わります。";

std::vector<std::string> Faces(const QStringList& fontList) {
    std::vector<std::string> faces;
    for (const QString& face : fontList) faces.push_back(face.toStdString());
    return faces;
}

}  // namespace

void TFormMain::MakeSettingsDir() {
    SettingsDir = ::MakeSettingsDir();
}

void TFormMain::LoadSettings() {
    // No folder: nothing to read, every default (and nothing will be kept).
    const TSettingsFile file(SettingsDir ? SettingsFilePath(*SettingsDir)
                                         : std::filesystem::path());
    const TSettings settings = file.Read(Faces(FontList));
    ShowSettings(settings);
    if (!SettingsDir)
        ShowAppMessage(this, QString::fromUtf8(kNoSettingsDirMessage));
    else if (!file.ReadProblem().empty())
        ShowAppMessage(this, QString::fromStdString(file.ReadProblem()));
}

void TFormMain::SaveSettings() {
    if (!SettingsDir) return;
    const TSettings settings = ReadSettings();
    SaveSettingsFile(SettingsFilePath(*SettingsDir), settings);
    if (!QuietSave && !Cp932Keeps(settings.EditComment))
        ShowAppMessage(nullptr, QString::fromUtf8(kCommentNotKeptMessage));
}

TSettings TFormMain::ReadSettings() const {
    TSettings settings;
    for (const TRow& row : kRows) std::visit(TRead{*this, settings}, row);
    return settings;
}

void TFormMain::ShowSettings(const TSettings& settings) {
    for (const TRow& row : kRows) std::visit(TShow{*this, settings}, row);
}
