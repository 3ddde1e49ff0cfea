#include "ui/Shape.h"

#include <QMouseEvent>
#include <QPainter>

namespace tovali {

TShape::TShape(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TShape::SetBrushColor(const QColor& color) {
    brushColor_ = color;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(brushColor_);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TShape::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    emit mouseUp(this);
}

}  // namespace tovali
