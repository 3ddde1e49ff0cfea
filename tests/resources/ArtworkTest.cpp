#include <QImageReader>
#include <QTest>

#include "resources/Artwork.h"

using namespace tovali;

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

    // Each picture is drawn again for finer screens and for dark desktops, at
    // its window size times the scale, and chosen by the device pixel ratio.
    void everyPictureHasItsScalesAndDarkTheme() {
        for (const char* name : {"bg", "btn_qa_down"}) {
            const QSize size = LoadArtwork(name).size();
            for (const bool dark : {false, true})
                for (const qreal scale : ArtworkScales()) {
                    const QImage image = LoadArtwork(name, scale, dark);
                    QCOMPARE(image.size(), (QSizeF(size) * scale).toSize());
                    QCOMPARE(image.devicePixelRatio(), scale);
                    QCOMPARE(image.deviceIndependentSize().toSize(), size);
                }
        }
        QCOMPARE(LoadArtwork("bg", 1.1, false).devicePixelRatio(), 1.25);
        QCOMPARE(LoadArtwork("bg", 3, false).devicePixelRatio(), 2.0);
        QCOMPARE(LoadArtwork("icon_16").size(), QSize(16, 16));
    }

    // Drawn, not upscaled: a smooth 2x enlargement of the 1x picture blurs
    // the edges of text and lines, the 2x drawing keeps them.
    void finerScalesAreDrawnNotEnlarged() {
        for (const char* name : {"bg", "btn_date"}) {
            const QImage fine = LoadArtwork(name, 2, false).convertToFormat(QImage::Format_ARGB32);
            const QImage enlarged =
                LoadArtwork(name)
                    .scaled(fine.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_ARGB32);
            int edges = 0;
            for (int y = 0; y < fine.height(); ++y)
                for (int x = 0; x < fine.width(); ++x)
                    edges += qAbs(qGray(fine.pixel(x, y)) - qGray(enlarged.pixel(x, y))) > 48;
            QVERIFY2(edges > 200, qPrintable(QStringLiteral("%1: %2").arg(name).arg(edges)));
        }
    }

    void darkPaletteSelectsTheDarkTheme() {
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEC));
        QPalette light;
        light.setColor(QPalette::Window, QColor(0xF6, 0xF5, 0xF4));
        light.setColor(QPalette::WindowText, QColor(0x2E, 0x34, 0x36));
        QVERIFY(PrefersDarkArtwork(dark));
        QVERIFY(!PrefersDarkArtwork(light));
        // The dark panel is dark, its headings light.
        const QImage panel = LoadArtwork("bg", 1, true);
        QVERIFY(qGray(panel.pixel(500, 400)) < 80);
        QVERIFY(qGray(LoadArtwork("bg").pixel(500, 400)) > 200);
    }

    // The Windows programs' icon file holds every side Windows asks for,
    // from 16 to 256 pixels, each the drawn icon at that side.
    void theIconFileHoldsTheIconAtEverySideWindowsAsksFor() {
        QImageReader reader(QStringLiteral(TOVALI_PROGRAM_ICO), "ico");
        QList<int> sides;
        for (int i = 0; i < reader.imageCount(); ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
            QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
            QCOMPARE(image.height(), image.width());
            sides.append(image.width());
            const QImage drawn =
                LoadArtwork(image.width() == 256 ? QStringLiteral("icon")
                                                 : QStringLiteral("icon_%1").arg(image.width()));
            if (!drawn.isNull()) QCOMPARE(image, drawn.convertToFormat(QImage::Format_ARGB32));
        }
        QCOMPARE(sides, (QList<int>{16, 20, 24, 32, 40, 48, 64, 96, 128, 256}));
    }

    void unknownNameGivesNoPicture() { QVERIFY(LoadArtwork("no_such_picture").isNull()); }
};

QTEST_MAIN(ArtworkTest)
#include "ArtworkTest.moc"
