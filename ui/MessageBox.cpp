#include "ui/MessageBox.h"

#include <utility>

namespace tovali {

namespace {
TMessageBoxHook& Hook() {
    static TMessageBoxHook hook;
    return hook;
}
}  // namespace

QMessageBox::StandardButton ShowAppMessage(QWidget* parent, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
    return ShowMessage(parent, QString::fromUtf8(kAppTitle), text, buttons);
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& caption,
                                        const QString& text, QMessageBox::StandardButtons buttons) {
    if (Hook()) return Hook()(text, buttons);
    // Texts end their lines in CRLF; the box breaks lines at LF alone.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A parent not yet on screen (intake of the command line runs before the
    // main window shows) would place the box in a corner: centre it instead.
    QMessageBox box(QMessageBox::NoIcon, caption, shown, buttons,
                    parent && parent->isVisible() ? parent : nullptr);
    box.setTextFormat(Qt::PlainText);
    return QMessageBox::StandardButton(box.exec());
}

void SetMessageBoxHook(TMessageBoxHook hook) {
    Hook() = std::move(hook);
}

}  // namespace tovali
