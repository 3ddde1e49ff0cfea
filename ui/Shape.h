// TShape: a colour swatch, a rectangle filled with its brush colour and
// framed by a one-pixel black pen. It reports the release of any mouse
// button; a disabled swatch receives no mouse input and so reports nothing.
#pragma once

#include <QColor>
#include <QWidget>

namespace tovali {

class TShape : public QWidget {
    Q_OBJECT

  public:
    explicit TShape(QWidget* parent = nullptr);

    QColor BrushColor() const { return brushColor_; }
    void SetBrushColor(const QColor& color);

  signals:
    void mouseUp(TShape* sender);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QColor brushColor_ = Qt::white;
};

}  // namespace tovali
