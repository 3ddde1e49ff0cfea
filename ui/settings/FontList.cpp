#include "ui/settings/FontList.h"

#include <QCollator>
#include <QFontDatabase>
#include <QLocale>
#include <algorithm>

#ifdef TOVALI_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace tovali {

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

QStringList FontSubstitutes(const QString& face) {
    QStringList names;
#ifdef _WIN32
    // Windows has no fontconfig: the Japanese gothics a Windows machine has,
    // newest last, and the IPA face Wine is given.
    if (!face.isEmpty())
        names = {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                 QStringLiteral("Yu Gothic"),     QStringLiteral("游ゴシック"),
                 QStringLiteral("Meiryo"),        QStringLiteral("メイリオ"),
                 QStringLiteral("IPAGothic")};
#elif defined(TOVALI_HAVE_FONTCONFIG)
    if (face.isEmpty()) return names;
    const QByteArray family = face.toUtf8();
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.constData()));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* name = nullptr;
    for (int i = 0; match && FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
        names.append(QString::fromUtf8(reinterpret_cast<const char*>(name)));
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
#else
    Q_UNUSED(face);
#endif
    return names;
}

QStringList WindowFontFamilies() {
    const QString classic = QStringLiteral("ＭＳ Ｐゴシック");
    QStringList families{classic, QStringLiteral("IPAPGothic"), QStringLiteral("VL PGothic"),
                         QStringLiteral("Noto Sans CJK JP")};
    for (const QString& face : FontSubstitutes(classic))
        if (!families.contains(face)) families.append(face);
    return families;
}

}  // namespace tovali
