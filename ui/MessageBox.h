// The program's modal message boxes: titled with the application title, no
// icon. Tests replace the box with a hook that answers in its place.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

namespace tovali {

// The product display name, also the application title.
inline const char* const kAppTitle = "Tovali 3";

using TMessageBoxHook = std::function<QMessageBox::StandardButton(
    const QString& text, QMessageBox::StandardButtons buttons)>;

// Shows text with the given buttons and returns the one chosen.
QMessageBox::StandardButton ShowAppMessage(QWidget* parent, const QString& text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);
// The same under another caption.
QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& caption,
                                        const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Routes every later message to hook; an empty hook restores the real box.
void SetMessageBoxHook(TMessageBoxHook hook);

}  // namespace tovali
