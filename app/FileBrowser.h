// The system's file browser, opened on the folder of a finished job's output.
#pragma once

#include <string>

class QWidget;

namespace tovali {

// Opens folder (a path in the program's form, ending in its delimiter) in
// the file browser. On Windows, Explorer opens with selectFile (the job's
// last written file, in that folder) selected where the shell allows, else
// on the folder; Linux's file managers are only asked for the folder.
// owner is the window anything the shell shows belongs to. Failures are not
// reported.
void ShowInFileBrowser(const std::string& folder, const std::string& selectFile, QWidget* owner);

}  // namespace tovali
