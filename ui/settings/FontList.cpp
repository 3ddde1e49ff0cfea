#include "FontList.h"

#include <QCollator>
#include <QFontDatabase>
#include <QLocale>
#include <algorithm>

namespace {
QCollator FaceCollator() {
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}
}  // namespace

int FontEnumCallback(const TFontDescription& font, QStringList& list) {
    if (!font.Scalable || !font.Japanese) return 1;
    const QCollator collator = FaceCollator();
    const auto at = std::lower_bound(
        list.begin(), list.end(), font.FaceName,
        [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    if (at == list.end() || collator.compare(*at, font.FaceName) != 0)
        list.insert(at, font.FaceName);
    return 1;
}

void BuildFontList(const QList<TFontDescription>& fonts, QStringList& list) {
    QStringList sorted;
    for (const TFontDescription& font : fonts) FontEnumCallback(font, sorted);
    // Vertical-writing variants of Japanese faces carry an "@" in their names.
    sorted.removeIf([](const QString& face) { return face.contains(u'@'); });
    list = sorted;
}

void BuildFontList(QStringList& list) {
    QList<TFontDescription> fonts;
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(family)) continue;
        fonts.append({family, QFontDatabase::isSmoothlyScalable(family),
                      QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese)});
    }
    BuildFontList(fonts, list);
}
