// A window that drags the files named on its command line, as a file manager
// does, as soon as a mouse button is pressed on it: the desktop tests press
// it and release the button over the program's window (X11's XDND, which
// Wine turns into an Explorer drop for Windows programs).
//
// Built by the desktop test scripts with the system's Qt:
//   g++ -std=c++17 -fPIC drag_source.cpp $(pkg-config --cflags --libs Qt6Widgets)
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

class TDragSource : public QWidget {
  public:
    explicit TDragSource(QList<QUrl> urls) : urls_(std::move(urls)) {}

  protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls(urls_);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

  private:
    QList<QUrl> urls_;
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i)
        urls.append(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
    TDragSource source(urls);
    source.setWindowTitle(QStringLiteral("drag source"));
    source.resize(160, 160);
    source.move(0, 0);
    source.show();
    return app.exec();
}
