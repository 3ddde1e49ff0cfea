// TPNGButton: a push button without a window of its own that paints one of
// four PNG pictures (with alpha, over the parent's background) by state, with
// an optional caption. The main window's page and help buttons are instances.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace tovali {

enum TPNGButtonLayout : std::uint8_t {
    pbsImageAbove = 0,
    pbsImageBellow = 1,
    pbsImageLeft = 2,
    pbsImageRight = 3,
};

enum TPNGButtonStyle : std::uint8_t { pbsDefault = 0, pbsFlat = 1, pbsNoFrame = 2 };

// ButtonState values.
enum : std::uint8_t { bsUp = 0, bsDown = 1, bsDisabled = 2 };

// A faded copy for the disabled look: every alpha value divided by 3
// (integer division); a picture without alpha counts as opaque. Palette
// pictures come back unfaded.
QImage MakeDisabledImage(const QImage& source);

// Where Paint puts the picture (PX, PY) and the caption's top left (TX, TY).
struct TPNGButtonPlacement {
    int PX, PY, TX, TY;
};

// Centres picture and caption in the button by layout: a caption keeps 4
// pixels from a picture above or below it and 5 beside it, halves round
// toward zero, and a pressed button moves 2 pixels (down, and right unless
// the layout is left or right). An invalid text size means no caption.
TPNGButtonPlacement PlacePictureAndCaption(QSize button, QSize picture, QSize text,
                                           TPNGButtonLayout layout, bool pressed);

class TPNGButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int ButtonLayout READ ButtonLayout WRITE SetButtonLayoutValue)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QImage ImageNormal READ ImageNormal WRITE SetImageNormal)
    Q_PROPERTY(QImage ImageDown READ ImageDown WRITE SetImageDown)
    Q_PROPERTY(QImage ImageOver READ ImageOver WRITE SetImageOver)
    Q_PROPERTY(int ButtonStyle READ ButtonStyle WRITE SetButtonStyleValue)
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)

  public:
    explicit TPNGButton(QWidget* parent = nullptr);

    TPNGButtonLayout ButtonLayout() const { return buttonLayout_; }
    void SetButtonLayout(TPNGButtonLayout layout);
    TPNGButtonStyle ButtonStyle() const { return buttonStyle_; }
    void SetButtonStyle(TPNGButtonStyle style);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    const QImage& ImageNormal() const { return imageNormal_; }
    // Also rebuilds the disabled picture from the new one.
    void SetImageNormal(const QImage& image);
    const QImage& ImageDown() const { return imageDown_; }
    void SetImageDown(const QImage& image);
    const QImage& ImageOver() const { return imageOver_; }
    void SetImageOver(const QImage& image);
    const QImage& ImageDisabled() const { return imageDisabled_; }

    std::uint8_t ButtonState() const { return buttonState_; }
    bool MouseOver() const { return mouseOver_; }
    // Drawn as pressed: held down with the pointer over it.
    bool Pressed() const { return buttonState_ == bsDown && mouseOver_; }
    // The picture Paint draws in the current state.
    const QImage& PictureToPaint() const;

    // Identifies the button to a handler shared by several (page 1 to 6).
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

  signals:
    void clicked();
    void doubleClicked();
    void mouseEnter(TPNGButton* sender);
    void mouseExit(TPNGButton* sender);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void SetButtonLayoutValue(int layout) { SetButtonLayout(TPNGButtonLayout(layout)); }
    void SetButtonStyleValue(int style) { SetButtonStyle(TPNGButtonStyle(style)); }
    void SetButtonState(std::uint8_t state);
    void Click();
    void PointerEntered();
    void PointerLeft();
    QRect DrawFrame(QPainter& painter, QRect r) const;

    TPNGButtonStyle buttonStyle_ = pbsDefault;
    bool mouseOver_ = false;
    QString caption_;
    TPNGButtonLayout buttonLayout_ = pbsImageAbove;
    std::uint8_t buttonState_ = bsUp;
    QImage imageDown_;
    QImage imageNormal_;
    QImage imageDisabled_;
    QImage imageOver_;
    int tag_ = 0;
    // A left press arms a click for its release (a double click's press does not).
    bool clickArmed_ = false;
    // Where the pointer is, from enter and leave events and, while a mouse
    // button is held, from the moves; one notification per crossing.
    bool pointerInside_ = false;
};

}  // namespace tovali
