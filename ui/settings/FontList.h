// The faces offered by the two font lists and used to resolve stored faces.
#pragma once

#include <string>
#include <vector>

// The installed scalable faces that support Japanese, through Qt's font
// database: vertical "@" faces removed, each face once, sorted ignoring
// letter case in the user's locale. Needs a QGuiApplication.
std::vector<std::string> BuildFontList();
