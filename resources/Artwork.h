// The window artwork, drawn at build time (resources/artgen) and embedded by
// the library tovali_resources as ":/art/<name>.png":
//   "bg" 561 x 422, "droparea" 197 x 422, "configtop" 274 x 213, "icon" 256 x 256;
//   image buttons "btn_<id>" (normal), "btn_<id>_down", "btn_<id>_over" with
//   id picsize, filter, date, comment, save, jpeg (97 x 97) and manual, qa (97 x 40).
#pragma once

#include <QImage>
#include <QString>

// The picture of that name, or a null image when there is none.
QImage LoadArtwork(const QString& name);
