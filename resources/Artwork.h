// The window artwork, drawn at build time (resources/artgen) and embedded by
// the library tovali_resources as ":/art/<name><theme><scale>.png":
//   "bg" 561 x 422, "droparea" 197 x 422, "configtop" 274 x 213;
//   image buttons "btn_<id>" (normal), "btn_<id>_down", "btn_<id>_over" with
//   id picsize, filter, date, comment, save, jpeg (97 x 97) and manual, qa (97 x 40);
//   theme "" (light) or "_dark", scale "" (1x), "@1.25x", "@1.5x" or "@2x" (sizes
//   in device pixels are the window sizes times the scale).
// The program icon: "icon" 256 x 256 and "icon_<side>" for the other sides of
// the hicolor theme, one look for every desktop.
#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QPalette>
#include <QString>

namespace tovali {

// The picture of that name, or a null image when there is none.
QImage LoadArtwork(const QString& name);

// The picture drawn for the device pixel ratio (the smallest scale at least
// as fine, else the finest) in the light or dark theme, with its device pixel
// ratio set so that Qt shows it at its window size.
QImage LoadArtwork(const QString& name, qreal devicePixelRatio, bool dark);

// The scales the pictures are drawn at, in increasing order.
QList<qreal> ArtworkScales();

// True when the palette is a dark desktop's: its window is darker than its text.
bool PrefersDarkArtwork(const QPalette& palette);

// The program icon at every size drawn.
QIcon ProgramIcon();

}  // namespace tovali
