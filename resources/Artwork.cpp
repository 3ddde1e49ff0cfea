#include "Artwork.h"

QImage LoadArtwork(const QString& name) {
    return QImage(QStringLiteral(":/art/%1.png").arg(name));
}
