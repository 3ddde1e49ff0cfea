#include "MessageBox.h"

#include <utility>

namespace {
TMessageBoxHook& Hook() {
    static TMessageBoxHook hook;
    return hook;
}
}  // namespace

QMessageBox::StandardButton ShowAppMessage(QWidget* parent, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
    if (Hook()) return Hook()(text, buttons);
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle), text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}

void SetMessageBoxHook(TMessageBoxHook hook) {
    Hook() = std::move(hook);
}
