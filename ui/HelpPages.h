// The help pages shipped with the program (the manual and the questions and
// answers), opened in the user's default browser.
#pragma once

#include <QString>

namespace tovali {

// The full path of the help page fileName: the installed copy beside the
// program's install prefix, else the source tree's; empty when neither exists.
QString FindHelpPage(const QString& fileName);

// Opens the help page fileName in the default browser; a missing page or a
// failed start is not reported.
void OpenHelpPage(const QString& fileName);

}  // namespace tovali
