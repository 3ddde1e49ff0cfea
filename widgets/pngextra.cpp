#include "widgets/pngextra.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace tovali {

QImage MakeDisabledImage(const QImage& source) {
    // Palette pictures (Qt's colour table already holds their opacity) stay as they are.
    if (source.isNull() || source.format() == QImage::Format_Indexed8 ||
        source.format() == QImage::Format_Mono || source.format() == QImage::Format_MonoLSB)
        return source.copy();
    // Straight (not premultiplied) alpha, so every alpha value is divided exactly.
    QImage faded = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < faded.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(faded.scanLine(y));
        for (int x = 0; x < faded.width(); ++x)
            row[x] = qRgba(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), qAlpha(row[x]) / 3);
    }
    return faded;
}

TPNGButtonPlacement PlacePictureAndCaption(QSize button, QSize picture, QSize text,
                                           TPNGButtonLayout layout, bool pressed) {
    const int w = button.width(), h = button.height();
    const bool caption = text.isValid();
    const int pw = picture.width(), tw = caption ? text.width() : 0,
              th = caption ? text.height() : 0;
    // A caption stands 4 pixels away from the picture.
    const int ph = picture.height() + (caption ? 4 : 0);
    const int shift = pressed ? 2 : 0;
    // C++ division truncates toward zero, as the layout needs.
    TPNGButtonPlacement p{(w - pw) / 2 + shift, (h - ph) / 2, (w - tw) / 2 + shift, (h - th) / 2};
    switch (layout) {
        case pbsImageAbove:
            p.PY = (h - ph - th) / 2;
            p.TY = p.PY + ph;
            break;
        case pbsImageBellow:
            p.TY = (h - ph - th) / 2;
            p.PY = p.TY + th;
            break;
        case pbsImageLeft:
            p.PX = (w - pw - tw) / 2;
            p.TX = p.PX + pw + 5;
            break;
        case pbsImageRight:
            p.TX = (w - pw - tw) / 2;
            p.PX = p.TX + tw + 5;
            break;
    }
    p.PY += shift;
    p.TY += shift;
    return p;
}

TPNGButton::TPNGButton(QWidget* parent) : QWidget(parent) {
    // Moves without a held button are needed for the hover rule.
    setMouseTracking(true);
    resize(23, 23);
}

void TPNGButton::SetButtonLayout(TPNGButtonLayout layout) {
    buttonLayout_ = layout;
    update();
}

void TPNGButton::SetButtonStyle(TPNGButtonStyle style) {
    buttonStyle_ = style;
    update();
}

void TPNGButton::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void TPNGButton::SetImageNormal(const QImage& image) {
    imageNormal_ = image.copy();
    imageDisabled_ = MakeDisabledImage(imageNormal_);
    update();
}

void TPNGButton::SetImageDown(const QImage& image) {
    imageDown_ = image.copy();
    update();
}

void TPNGButton::SetImageOver(const QImage& image) {
    imageOver_ = image.copy();
    update();
}

void TPNGButton::SetButtonState(std::uint8_t state) {
    buttonState_ = state;
    update();
}

const QImage& TPNGButton::PictureToPaint() const {
    if (Pressed() && !imageDown_.isNull()) return imageDown_;
    if (mouseOver_ && !imageOver_.isNull() && isEnabled()) return imageOver_;
    if (buttonState_ == bsDisabled && !imageDisabled_.isNull()) return imageDisabled_;
    return imageNormal_;
}

void TPNGButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    const QImage& picture = PictureToPaint();
    const QFontMetrics metrics(font());
    const QSize text =
        caption_.isEmpty() ? QSize() : QSize(metrics.horizontalAdvance(caption_), metrics.height());
    // Pictures drawn for a finer screen are placed by their size in window pixels.
    const QSize pictureSize = picture.deviceIndependentSize().toSize();
    const TPNGButtonPlacement at =
        PlacePictureAndCaption(size(), pictureSize, text, buttonLayout_, Pressed());
    const QRect r = DrawFrame(painter, rect());
    painter.drawImage(QPoint(at.PX, at.PY), picture);  // source-over: blends the alpha
    if (caption_.isEmpty()) return;
    const QPalette::ColorGroup group =
        buttonState_ == bsDisabled ? QPalette::Disabled : QPalette::Active;
    painter.setPen(palette().color(group, QPalette::WindowText));
    painter.setClipRect(r);
    painter.drawText(QPoint(at.TX, at.TY + metrics.ascent()), caption_);
}

// Draws the frame of the button style and returns the area left inside it.
QRect TPNGButton::DrawFrame(QPainter& painter, QRect r) const {
    const bool pressed = Pressed();
    if (buttonStyle_ == pbsDefault) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = r;
        option.state &= ~QStyle::State_HasFocus;
        option.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
        return r;
    }
    if (buttonStyle_ != pbsFlat || buttonState_ == bsDisabled) return r;
    if (!pressed && !mouseOver_ && buttonState_ != bsDown) return r;
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor highlight = palette().color(QPalette::Light);
    // Sunken when pressed, raised otherwise: top and left, then bottom and right.
    painter.setPen(pressed ? shadow : highlight);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(pressed ? highlight : shadow);
    painter.drawLine(r.topRight(), r.bottomRight());
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    return r.adjusted(1, 1, -1, -1);
}

void TPNGButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    clickArmed_ = true;
    if (buttonState_ == bsUp) SetButtonState(bsDown);
}

// The second press of a double click presses the button but arms no click.
void TPNGButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (buttonState_ == bsUp) SetButtonState(bsDown);
    emit doubleClicked();
}

void TPNGButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && clickArmed_) {
        clickArmed_ = false;
        if (rect().contains(event->position().toPoint())) Click();
    }
    if (buttonState_ == bsDown) SetButtonState(bsUp);
}

void TPNGButton::Click() {
    if (buttonState_ == bsDown) SetButtonState(bsUp);
    emit clicked();
}

void TPNGButton::mouseMoveEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    // Qt sends no enter or leave to the widget that holds the mouse grab.
    if (event->buttons() != Qt::NoButton) inside ? PointerEntered() : PointerLeft();
    if (inside && !mouseOver_ && buttonState_ != bsDown) {
        mouseOver_ = true;
        update();
    }
}

void TPNGButton::enterEvent(QEnterEvent*) {
    PointerEntered();
}

void TPNGButton::leaveEvent(QEvent*) {
    PointerLeft();
}

void TPNGButton::PointerEntered() {
    if (pointerInside_) return;
    pointerInside_ = true;
    if (!isEnabled()) return;
    emit mouseEnter(this);
    mouseOver_ = true;
    update();
}

void TPNGButton::PointerLeft() {
    if (!pointerInside_) return;
    pointerInside_ = false;
    if (!isEnabled()) return;
    emit mouseExit(this);
    mouseOver_ = false;
    update();
}

void TPNGButton::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::EnabledChange) return;
    if (isEnabled()) {
        SetButtonState(bsUp);
        return;
    }
    imageDisabled_ = MakeDisabledImage(imageNormal_);
    SetButtonState(bsDisabled);
}

}  // namespace tovali
