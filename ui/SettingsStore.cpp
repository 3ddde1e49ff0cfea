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

#include "ui/FormMain.h"
#include "ui/MessageBox.h"
#include "ui/Shape.h"
#include "ui/settings/Cp932.h"
#include "ui/settings/SettingsDir.h"

namespace tovali {

namespace {

template <class Control>
using TControlOf = Control* (*)(const TFormMain&);

// The control member M of the window as a Control, through a plain function
// so that rows of one kind can name controls of different classes.
template <class Control, auto M>
Control* ControlOf(const TFormMain& form) {
    return form.*M;
}

template <class T>
using TField = TSettingsField<T>;

// One stored key: the TSettings field and the control that holds it.
struct TFlagRow {  // check state of a check box or radio button
    TField<bool> Value;
    TControlOf<QAbstractButton> Control;
    using TControl = QAbstractButton;
};
struct TIndexRow {  // selected index of a list, -1 for none
    TField<int> Value;
    TControlOf<QComboBox> Control;
    using TControl = QComboBox;
};
struct TSizeRow {  // a text's size: the selected index of its list
    TField<TTextSizeLevel> Value;
    TControlOf<QComboBox> Control;
    using TControl = QComboBox;
};
struct TFaceRow {  // the selected font face's text
    TField<std::string> Value;
    TControlOf<QComboBox> Control;
    using TControl = QComboBox;
};
struct TTextRow {
    TField<std::string> Value;
    TControlOf<QLineEdit> Control;
    using TControl = QLineEdit;
};
struct TColourRow {  // a colour shape's brush
    TField<TColor> Value;
    TControlOf<TShape> Control;
    using TControl = TShape;
};
struct TTrackRow {
    TField<int> Value;
    TControlOf<QSlider> Control;
    using TControl = QSlider;
};
struct TPosRow {  // one of a text's nine position buttons
    TField<TDrawPos> Value;
    TDrawPos Pos;
    TControlOf<QAbstractButton> Control;
};
using TRow =
    std::variant<TFlagRow, TIndexRow, TSizeRow, TFaceRow, TTextRow, TColourRow, TTrackRow, TPosRow>;

// Settings fields carry the names of their controls; the fields of the two
// text pages are their stamps'.
#define TOVALI_ROW(Kind, name)                                                   \
    Kind {                                                                       \
        &FieldOf<&TSettings::name>, &ControlOf<Kind::TControl, &TFormMain::name> \
    }
#define TOVALI_STAMP_ROW(Kind, stamp, field, name)       \
    Kind {                                               \
        &FieldOf<&TSettings::stamp, &TTextStamp::field>, \
            &ControlOf<Kind::TControl, &TFormMain::name> \
    }
#define TOVALI_POS_ROW(stamp, pos)                                         \
    TPosRow {                                                              \
        &FieldOf<&TSettings::stamp, &TTextStamp::Pos>, dp##pos,            \
            &ControlOf<QAbstractButton, &TFormMain::RBDrawPos##stamp##pos> \
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
    TOVALI_STAMP_ROW(TFlagRow, Date, Use, CBDate),
    TOVALI_ROW(TFlagRow, RBGetDateFromPic),
    TOVALI_ROW(TFlagRow, RBInputDate),
    TOVALI_STAMP_ROW(TColourRow, Date, ColorOuter, ShapeDateFontColorOuter),
    TOVALI_STAMP_ROW(TColourRow, Date, ColorInner, ShapeDateFontColorInner),
    TOVALI_STAMP_ROW(TFaceRow, Date, FontName, CBDateFontName),
    TOVALI_STAMP_ROW(TSizeRow, Date, FontSize, CBDateFontSize),
    TOVALI_POS_ROW(Date, LeftTop),
    TOVALI_POS_ROW(Date, Top),
    TOVALI_POS_ROW(Date, RightTop),
    TOVALI_POS_ROW(Date, Left),
    TOVALI_POS_ROW(Date, Center),
    TOVALI_POS_ROW(Date, Right),
    TOVALI_POS_ROW(Date, LeftBottom),
    TOVALI_POS_ROW(Date, Bottom),
    TOVALI_POS_ROW(Date, RightBottom),
    // PIC_COMMENT
    TOVALI_STAMP_ROW(TFlagRow, Comment, Use, CBComment),
    TOVALI_STAMP_ROW(TTextRow, Comment, Text, EditComment),
    TOVALI_STAMP_ROW(TColourRow, Comment, ColorOuter, ShapeCommentFontColorOuter),
    TOVALI_STAMP_ROW(TColourRow, Comment, ColorInner, ShapeCommentFontColorInner),
    TOVALI_STAMP_ROW(TFaceRow, Comment, FontName, CBCommentFontName),
    TOVALI_STAMP_ROW(TSizeRow, Comment, FontSize, CBCommentFontSize),
    TOVALI_POS_ROW(Comment, LeftTop),
    TOVALI_POS_ROW(Comment, Top),
    TOVALI_POS_ROW(Comment, RightTop),
    TOVALI_POS_ROW(Comment, Left),
    TOVALI_POS_ROW(Comment, Center),
    TOVALI_POS_ROW(Comment, Right),
    TOVALI_POS_ROW(Comment, LeftBottom),
    TOVALI_POS_ROW(Comment, Bottom),
    TOVALI_POS_ROW(Comment, RightBottom),
};

#undef TOVALI_ROW
#undef TOVALI_STAMP_ROW
#undef TOVALI_POS_ROW

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

// Shows the settings in the controls. The rows reach their fields through a
// record they may change: a copy of the settings.
struct TShow {
    const TFormMain& Form;
    TSettings& S;
    void operator()(const TFlagRow& r) const { SetChecked(r.Control(Form), r.Value(S)); }
    void operator()(const TIndexRow& r) const { r.Control(Form)->setCurrentIndex(r.Value(S)); }
    void operator()(const TSizeRow& r) const {
        r.Control(Form)->setCurrentIndex(std::int8_t(r.Value(S)));
    }
    void operator()(const TFaceRow& r) const {
        QComboBox* list = r.Control(Form);
        list->setCurrentIndex(FaceIndex(list, r.Value(S)));
    }
    void operator()(const TTextRow& r) const {
        r.Control(Form)->setText(QString::fromStdString(r.Value(S)));
    }
    void operator()(const TColourRow& r) const {
        r.Control(Form)->SetBrushColor(ToQColor(r.Value(S)));
    }
    void operator()(const TTrackRow& r) const { r.Control(Form)->setValue(r.Value(S)); }
    void operator()(const TPosRow& r) const { SetChecked(r.Control(Form), r.Value(S) == r.Pos); }
};

struct TRead {
    const TFormMain& Form;
    TSettings& S;
    void operator()(const TFlagRow& r) const { r.Value(S) = r.Control(Form)->isChecked(); }
    void operator()(const TIndexRow& r) const { r.Value(S) = r.Control(Form)->currentIndex(); }
    // No selection (-1) becomes a size no level has, kept as -1 in the file.
    void operator()(const TSizeRow& r) const {
        r.Value(S) = TTextSizeLevel(std::uint8_t(r.Control(Form)->currentIndex()));
    }
    void operator()(const TFaceRow& r) const {
        const QComboBox* list = r.Control(Form);
        r.Value(S) = list->currentIndex() < 0 ? std::string() : list->currentText().toStdString();
    }
    void operator()(const TTextRow& r) const { r.Value(S) = r.Control(Form)->text().toStdString(); }
    void operator()(const TColourRow& r) const {
        r.Value(S) = ToTColor(r.Control(Form)->BrushColor());
    }
    void operator()(const TTrackRow& r) const { r.Value(S) = r.Control(Form)->value(); }
    // The text's position is the button checked; with none checked, none.
    void operator()(const TPosRow& r) const {
        if (r.Control(Form)->isChecked())
            r.Value(S) = r.Pos;
        else if (r.Value(S) == r.Pos)
            r.Value(S) = kNoDrawPos;
    }
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
    SettingsDir = tovali::MakeSettingsDir();
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
    if (!QuietSave && !Cp932Keeps(settings.Comment.Text))
        ShowAppMessage(nullptr, QString::fromUtf8(kCommentNotKeptMessage));
}

TSettings TFormMain::ReadSettings() const {
    TSettings settings;
    for (const TRow& row : kRows) std::visit(TRead{*this, settings}, row);
    return settings;
}

void TFormMain::ShowSettings(const TSettings& settings) {
    TSettings shown = settings;
    for (const TRow& row : kRows) std::visit(TShow{*this, shown}, row);
}

}  // namespace tovali
