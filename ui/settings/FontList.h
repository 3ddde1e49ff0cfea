// The font faces offered by the date and comment font lists: installed
// scalable faces that cover Japanese, without vertical-writing ("@") faces,
// each once, sorted ignoring letter case in the user's locale.
#pragma once

#include <QString>
#include <QStringList>

namespace tovali {

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

// The names (every language's) of the installed face that fontconfig puts in
// place of face for Japanese text, as `fc-match "face:lang=ja"` does; empty
// when it finds nothing. Windows faces such as "ＭＳ ゴシック" thus find their
// metric-compatible substitutes. Windows has no fontconfig: there every face
// gets the chain ＭＳ ゴシック, MS Gothic, Yu Gothic, 游ゴシック, Meiryo, メイリオ,
// IPAGothic (Wine's), the first installed one to be taken.
QStringList FontSubstitutes(const QString& face);

// The window font's faces in order of preference: the classic Windows face,
// the installed proportional gothics of the same design the windows were laid
// out for, then the substitutes for the Windows face.
QStringList WindowFontFamilies();

}  // namespace tovali
