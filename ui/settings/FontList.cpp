#include "FontList.h"

#include <QCollator>
#include <QFontDatabase>
#include <QLocale>
#include <QStringList>
#include <algorithm>

std::vector<std::string> BuildFontList() {
    QStringList faces;
    for (const QString& family : QFontDatabase::families(QFontDatabase::Japanese)) {
        if (family.contains(u'@') || !QFontDatabase::isSmoothlyScalable(family)) continue;
        if (!faces.contains(family, Qt::CaseInsensitive)) faces.append(family);
    }
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(faces.begin(), faces.end(), [&](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
    std::vector<std::string> result;
    for (const QString& face : faces) result.push_back(face.toStdString());
    return result;
}
