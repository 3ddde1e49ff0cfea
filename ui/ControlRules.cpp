// The rules that enable the main window's controls and grey their labels as
// the switches change, and the key filter of the numeric boxes.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include "ui/FormMain.h"
#include "ui/Shape.h"
#include "widgets/pngextra.h"

namespace tovali {

namespace {

// Grey: the system's disabled-text colour; normal: its window-text colour.
// Labels change their text colour, edit boxes the colour of the typed text;
// neither is disabled by this.
void SetGrey(QWidget* widget, bool grey) {
    const QPalette::ColorRole role =
        qobject_cast<QLineEdit*>(widget) ? QPalette::Text : QPalette::WindowText;
    const QColor color =
        QApplication::palette().color(grey ? QPalette::Disabled : QPalette::Active, role);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, role, color);
    palette.setColor(QPalette::Inactive, role, color);
    widget->setPalette(palette);
}

void SetEnabled(std::initializer_list<QWidget*> widgets, bool enabled) {
    for (QWidget* widget : widgets) widget->setEnabled(enabled);
}

// Runs rule whenever a check box or radio button changes state, by the user
// or by the program.
template <class Button, class Rule>
void OnToggle(std::initializer_list<Button*> buttons, TFormMain* form, Rule rule) {
    for (Button* button : buttons)
        QObject::connect(button, &Button::toggled, form, [form, rule] { (form->*rule)(); });
}

// A key that types a character (Delete and the cursor keys type none).
bool TypesCharacter(const QKeyEvent& key) {
    return !key.text().isEmpty() && key.text() != QStringLiteral("\x7f");
}

}  // namespace

void TFormMain::BindRules() {
    OnToggle({CBPicSize}, this, &TFormMain::UpdateFormPicSize);
    OnToggle({RBRegularSize, RBInputPicSize}, this, &TFormMain::UpdateFormPicSize);
    OnToggle({CBQuality}, this, &TFormMain::UpdateFormQuality);
    OnToggle({RBQuality, RBFileSize}, this, &TFormMain::UpdateFormQuality);
    OnToggle({CBFilter, CBContrast, CBBrightness}, this, &TFormMain::UpdateFormFilter);
    connect(TBContrast, &QSlider::valueChanged, this, &TFormMain::TBContrastChange);
    OnToggle({RBDecidesName, RBMakeDir, RBJpeg, RBPng, RBGif, RBBMP, RBWebp, RBAvif}, this,
             &TFormMain::UpdateFormSaveConf);
    OnToggle({CBDate}, this, &TFormMain::UpdateFormDateConf);
    OnToggle({RBGetDateFromPic, RBInputDate}, this, &TFormMain::UpdateFormDateConf);
    OnToggle({CBComment}, this, &TFormMain::UpdateFormCommentConf);

    for (QLineEdit* edit : {EditPicWidth, EditPicHeight, EditFileSize})
        edit->installEventFilter(this);
    for (TShape* shape : {ShapeDateFontColorOuter, ShapeDateFontColorInner,
                          ShapeCommentFontColorOuter, ShapeCommentFontColorInner})
        connect(shape, &TShape::mouseUp, this, &TFormMain::ShapeFontColorOuterMouseUp);
    for (TPNGButton* button :
         {pngBtnPicSize, pngBtnFilter, pngBtnDate, pngBtnComment, pngBtnSave, pngBtnJpeg})
        connect(button, &TPNGButton::clicked, this, [this, button] { pngBtnConfigClick(button); });
    connect(pngBtnManual, &TPNGButton::clicked, this, &TFormMain::pngBtnManualClick);
    connect(pngBtnQA, &TPNGButton::clicked, this, &TFormMain::pngBtnQAClick);
}

void TFormMain::UpdateFormPicSize() {
    const bool on = CBPicSize->isChecked();
    // The entry labels read grey unless an entered size is in use.
    const bool entryGrey = !on || RBRegularSize->isChecked();
    RBRegularSize->setEnabled(on);
    RBInputPicSize->setEnabled(on);
    CBSizeList->setEnabled(on && RBRegularSize->isChecked());
    SetEnabled({EditPicWidth, EditPicHeight}, on && !RBRegularSize->isChecked());
    SetGrey(LblPicWidth, entryGrey);
    SetGrey(LblPicHeight, entryGrey);
}

void TFormMain::UpdateFormQuality() {
    const bool on = CBQuality->isChecked();
    const bool sizeGrey = !on || RBQuality->isChecked();
    RBQuality->setEnabled(on);
    RBFileSize->setEnabled(on);
    CBQualityLevel->setEnabled(on && RBQuality->isChecked());
    EditFileSize->setEnabled(on && !RBQuality->isChecked());
    SetGrey(EditFileSize, sizeGrey);
    SetGrey(LblKB, sizeGrey);
}

void TFormMain::UpdateFormFilter() {
    const bool on = CBFilter->isChecked();
    CBContrast->setEnabled(on);
    TBContrast->setEnabled(on && CBContrast->isChecked());
    // The brightness direction follows the effects switch alone.
    SetEnabled(
        {CBVivid, CBBrightness, RBBrightnessUP, RBBrightnessDown, CBMonochrome, CBWhiteFrame}, on);
    TBContrastChange();
}

void TFormMain::TBContrastChange() {
    lblContrastValue->setText(QString::number(TBContrast->value()));
}

void TFormMain::UpdateFormSaveConf() {
    const bool byName = RBDecidesName->isChecked();
    SetEnabled({CBSelectNamePos, EditFileName}, byName);
    EditDirName->setEnabled(RBMakeDir->isChecked());
    SetGrey(LblSelectFileName, !byName);
    SetGrey(LblDirName, byName);
    // WebP and AVIF take the JPEG page's quality; progressive is JPEG's own.
    const bool jpeg = RBJpeg->isChecked();
    const bool byQuality = jpeg || RBWebp->isChecked() || RBAvif->isChecked();
    CBQuality->setEnabled(byQuality);
    CBProgressive->setEnabled(jpeg);
    // Other types keep the quality controls' values and colours, only disabled.
    if (byQuality)
        UpdateFormQuality();
    else
        SetEnabled({RBQuality, CBQualityLevel, RBFileSize, EditFileSize}, false);
}

void TFormMain::UpdateFormDateConf() {
    const bool on = CBDate->isChecked();
    DTPDate->setEnabled(on && RBInputDate->isChecked());
    SetEnabled(
        {RBGetDateFromPic, RBInputDate, CBDateFontName, CBDateFontSize, ShapeDateFontColorOuter,
         ShapeDateFontColorInner, RBDrawPosDateLeftTop, RBDrawPosDateTop, RBDrawPosDateRightTop,
         RBDrawPosDateLeft, RBDrawPosDateCenter, RBDrawPosDateRight, RBDrawPosDateLeftBottom,
         RBDrawPosDateBottom, RBDrawPosDateRightBottom},
        on);
}

void TFormMain::UpdateFormCommentConf() {
    SetEnabled({EditComment, CBCommentFontName, CBCommentFontSize, ShapeCommentFontColorOuter,
                ShapeCommentFontColorInner, RBDrawPosCommentLeftTop, RBDrawPosCommentTop,
                RBDrawPosCommentRightTop, RBDrawPosCommentLeft, RBDrawPosCommentCenter,
                RBDrawPosCommentRight, RBDrawPosCommentLeftBottom, RBDrawPosCommentBottom,
                RBDrawPosCommentRightBottom},
               CBComment->isChecked());
}

bool TFormMain::EditNumOnlyKeyPress(const QKeyEvent& key) const {
    // Tab moves the focus on; it never reaches the box as a character.
    if (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab) return false;
    // Shortcuts (copy, cut, paste, undo, select all) do nothing here.
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return true;
    if (key.matches(QKeySequence::Paste) || key.matches(QKeySequence::Cut) ||
        key.matches(QKeySequence::Copy))
        return true;
    if (key.key() == Qt::Key_Backspace) return false;
    if (!TypesCharacter(key)) return false;
    const QString text = key.text();
    const bool digitOrStop =
        text.size() == 1 && ((text[0] >= u'0' && text[0] <= u'9') || text[0] == u'.');
    return !digitOrStop;
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    const bool numeric =
        watched == EditPicWidth || watched == EditPicHeight || watched == EditFileSize;
    if (numeric && event->type() == QEvent::KeyPress)
        return EditNumOnlyKeyPress(static_cast<const QKeyEvent&>(*event));
    return QWidget::eventFilter(watched, event);
}

}  // namespace tovali
