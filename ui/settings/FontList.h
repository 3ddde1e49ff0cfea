// The font faces offered by the date and comment font lists: installed
// scalable faces that cover Japanese, without vertical-writing ("@") faces,
// each once, sorted ignoring letter case in the user's locale.
#pragma once

#include <QString>
#include <QStringList>

// One typeface as the font enumeration reports it.
struct TFontDescription {
    QString FaceName;
    bool Scalable = false;  // an outline font, usable at every size
    bool Japanese = false;  // covers the Japanese writing system
};

// Adds a qualifying face to list, which it keeps sorted (ignoring letter
// case, in the user's locale) and free of equal entries. Returns 1 so that
// the enumeration runs to the end.
int FontEnumCallback(const TFontDescription& font, QStringList& list);

// Replaces list with the faces FontEnumCallback keeps from fonts, minus
// every face whose name holds "@".
void BuildFontList(const QList<TFontDescription>& fonts, QStringList& list);

// The same over the fonts installed on this system.
void BuildFontList(QStringList& list);
