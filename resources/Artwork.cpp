#include "resources/Artwork.h"

#include <QPixmap>
#include <iterator>

namespace tovali {

namespace {

// The scales artgen draws and the suffixes of their names.
struct TScale {
    qreal Factor;
    const char* Suffix;
};
constexpr TScale kScales[] = {{1, ""}, {1.25, "@1.25x"}, {1.5, "@1.5x"}, {2, "@2x"}};

const TScale& ScaleFor(qreal devicePixelRatio) {
    for (const TScale& scale : kScales)
        if (scale.Factor >= devicePixelRatio - 0.01) return scale;
    return kScales[std::size(kScales) - 1];
}

}  // namespace

QImage LoadArtwork(const QString& name) {
    return QImage(QStringLiteral(":/art/%1.png").arg(name));
}

QImage LoadArtwork(const QString& name, qreal devicePixelRatio, bool dark) {
    const TScale& scale = ScaleFor(devicePixelRatio);
    QImage image = LoadArtwork(name + (dark ? QStringLiteral("_dark") : QString()) +
                               QLatin1String(scale.Suffix));
    image.setDevicePixelRatio(scale.Factor);
    return image;
}

QList<qreal> ArtworkScales() {
    QList<qreal> factors;
    for (const TScale& scale : kScales) factors.append(scale.Factor);
    return factors;
}

bool PrefersDarkArtwork(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 512})
        icon.addPixmap(QPixmap::fromImage(LoadArtwork(QStringLiteral("icon_%1").arg(side))));
    icon.addPixmap(QPixmap::fromImage(LoadArtwork(QStringLiteral("icon"))));
    return icon;
}

}  // namespace tovali
