#include <QTest>

#include "Artwork.h"

// The main window places these pictures at fixed sizes; a drawing that
// drifts from them, or a name that goes missing, shows here.
class ArtworkTest : public QObject {
    Q_OBJECT

  private slots:
    void everyPictureIsEmbeddedAtItsSize_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::newRow("bg") << "bg" << QSize(561, 422);
        QTest::newRow("droparea") << "droparea" << QSize(197, 422);
        QTest::newRow("configtop") << "configtop" << QSize(274, 213);
        QTest::newRow("icon") << "icon" << QSize(256, 256);
        const char* pages[] = {"picsize", "filter", "date", "comment", "save", "jpeg"};
        const char* helps[] = {"manual", "qa"};
        for (const char* suffix : {"", "_down", "_over"}) {
            for (const char* id : pages) {
                const QString name = QStringLiteral("btn_%1%2").arg(id, suffix);
                QTest::newRow(qPrintable(name)) << name << QSize(97, 97);
            }
            for (const char* id : helps) {
                const QString name = QStringLiteral("btn_%1%2").arg(id, suffix);
                QTest::newRow(qPrintable(name)) << name << QSize(97, 40);
            }
        }
    }

    void everyPictureIsEmbeddedAtItsSize() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        const QImage image = LoadArtwork(name);
        QCOMPARE(image.size(), size);
        QVERIFY(image.hasAlphaChannel());
    }

    // Tiles have see-through rounded corners; the three looks of one button differ.
    void buttonStatesAreDistinctTilesWithClearCorners() {
        for (const char* id : {"date", "qa"}) {
            const QImage normal = LoadArtwork(QStringLiteral("btn_%1").arg(id));
            const QImage down = LoadArtwork(QStringLiteral("btn_%1_down").arg(id));
            const QImage over = LoadArtwork(QStringLiteral("btn_%1_over").arg(id));
            QCOMPARE(qAlpha(normal.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(normal.pixel(normal.width() / 2, normal.height() / 2)), 255);
            QVERIFY(normal != down && normal != over && down != over);
            // Pressed is tinted green.
            const QRgb tint = down.pixel(down.width() / 2, 4);
            QVERIFY(qGreen(tint) > qRed(tint) + 10);
        }
    }

    void unknownNameGivesNoPicture() { QVERIFY(LoadArtwork("no_such_picture").isNull()); }
};

QTEST_MAIN(ArtworkTest)
#include "ArtworkTest.moc"
