#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <memory>

#include "widgets/pngextra.h"

using namespace tovali;

namespace {

constexpr QRgb kBackground = qRgb(240, 240, 240);

QImage Solid(QRgb colour, int size = 20) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

bool Near(QRgb a, QRgb b) {
    return qAbs(qRed(a) - qRed(b)) <= 1 && qAbs(qGreen(a) - qGreen(b)) <= 1 &&
           qAbs(qBlue(a) - qBlue(b)) <= 1;
}

}  // namespace

// A 40 x 40 button at (50, 50) of a window filled with kBackground; its
// 20 x 20 pictures sit at (10, 10), or at (12, 12) while pressed.
class PngButtonTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QWidget> host_;
    TPNGButton* button_ = nullptr;
    const QRgb red_ = qRgb(255, 0, 0), green_ = qRgb(0, 255, 0), blue_ = qRgb(0, 0, 255);

    QWindow* Window() { return host_->windowHandle(); }
    QPoint Inside() const { return QPoint(70, 70); }
    QPoint Outside() const { return QPoint(150, 150); }
    void MoveTo(QPoint p) { QTest::mouseMove(Window(), p); }
    void Press(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(Window(), b, {}, p);
    }
    void Release(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseRelease(Window(), b, {}, p);
    }
    // The colour shown at a point of the button, read from the whole window.
    QRgb ColourAt(int x, int y) {
        return host_->grab().toImage().pixel(button_->pos() + QPoint(x, y)) | 0xFF000000u;
    }

  private slots:
    void init() {
        host_ = std::make_unique<QWidget>();
        host_->resize(200, 200);
        QPalette palette = host_->palette();
        palette.setColor(QPalette::Window, QColor(kBackground));
        host_->setPalette(palette);
        host_->setAutoFillBackground(true);
        button_ = new TPNGButton(host_.get());
        button_->setGeometry(50, 50, 40, 40);
        button_->SetButtonStyle(pbsNoFrame);
        button_->SetImageNormal(Solid(red_));
        button_->SetImageDown(Solid(green_));
        button_->SetImageOver(Solid(blue_));
        host_->show();
        QVERIFY(QTest::qWaitForWindowExposed(host_.get()));
        MoveTo(QPoint(5, 5));
    }

    void cleanup() { host_.reset(); }

    void startsUpWithDefaultsAndNoWindowOfItsOwn() {
        TPNGButton fresh(host_.get());
        QCOMPARE(fresh.size(), QSize(23, 23));
        QCOMPARE(fresh.ButtonStyle(), pbsDefault);
        QCOMPARE(fresh.ButtonLayout(), pbsImageAbove);
        QCOMPARE(fresh.ButtonState(), bsUp);
        QVERIFY(!fresh.MouseOver());
        QVERIFY(fresh.Caption().isEmpty());
        QVERIFY(fresh.ImageNormal().isNull() && fresh.ImageDisabled().isNull());
        QVERIFY(!button_->testAttribute(Qt::WA_NativeWindow));
        QCOMPARE(button_->internalWinId(), WId(0));
    }

    void hoverShowsTheOverPictureAndNotifiesOncePerCrossing() {
        QSignalSpy entered(button_, &TPNGButton::mouseEnter);
        QSignalSpy exited(button_, &TPNGButton::mouseExit);
        QCOMPARE(ColourAt(15, 15), red_);
        MoveTo(Inside());
        MoveTo(Inside() + QPoint(3, 3));
        QVERIFY(button_->MouseOver());
        QCOMPARE(entered.count(), 1);
        QCOMPARE(ColourAt(15, 15), blue_);
        MoveTo(Outside());
        QVERIFY(!button_->MouseOver());
        QCOMPARE(exited.count(), 1);
        QCOMPARE(ColourAt(15, 15), red_);
    }

    void leftPressShowsShiftedDownPictureAndReleaseClicks() {
        QSignalSpy clicked(button_, &TPNGButton::clicked);
        MoveTo(Inside());
        Press(Inside());
        QCOMPARE(button_->ButtonState(), bsDown);
        QVERIFY(button_->Pressed());
        QCOMPARE(button_->PictureToPaint(), button_->ImageDown());
        QCOMPARE(ColourAt(10, 10), kBackground | 0xFF000000u);
        QCOMPARE(ColourAt(12, 12), green_);
        QCOMPARE(ColourAt(31, 31), green_);
        Release(Inside());
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(button_->ButtonState(), bsUp);
        QCOMPARE(ColourAt(10, 10), blue_);
    }

    void draggedOffDrawsUnpressedAndReleaseOutsideDoesNotClick() {
        QSignalSpy clicked(button_, &TPNGButton::clicked);
        QSignalSpy entered(button_, &TPNGButton::mouseEnter);
        QSignalSpy exited(button_, &TPNGButton::mouseExit);
        MoveTo(Inside());
        Press(Inside());
        MoveTo(Outside());
        QCOMPARE(button_->ButtonState(), bsDown);
        QVERIFY(!button_->Pressed());
        QCOMPARE(ColourAt(10, 10), red_);
        QCOMPARE(exited.count(), 1);
        MoveTo(Inside());
        QVERIFY(button_->Pressed());
        QCOMPARE(entered.count(), 2);
        MoveTo(Outside());
        Release(Outside());
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(button_->ButtonState(), bsUp);
        QCOMPARE(exited.count(), 2);  // Qt's own leave after the release is not a second one
        QCOMPARE(ColourAt(15, 15), red_);
    }

    void rightButtonNeitherPressesNorClicks() {
        QSignalSpy clicked(button_, &TPNGButton::clicked);
        MoveTo(Inside());
        Press(Inside(), Qt::RightButton);
        QCOMPARE(button_->ButtonState(), bsUp);
        Release(Inside(), Qt::RightButton);
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(ColourAt(15, 15), blue_);
    }

    void doubleClickClicksOnceAndEndsUp() {
        QSignalSpy clicked(button_, &TPNGButton::clicked);
        QSignalSpy doubled(button_, &TPNGButton::doubleClicked);
        MoveTo(Inside());
        QTest::mouseDClick(Window(), Qt::LeftButton, {}, Inside());
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(doubled.count(), 1);
        QCOMPARE(button_->ButtonState(), bsUp);
    }

    void pressedWithoutDownPictureShowsOverPictureShifted() {
        button_->SetImageDown(QImage());
        MoveTo(Inside());
        Press(Inside());
        QCOMPARE(button_->PictureToPaint(), button_->ImageOver());
        QCOMPARE(ColourAt(10, 10), kBackground | 0xFF000000u);
        QCOMPARE(ColourAt(12, 12), blue_);
        Release(Inside());
    }

    void disabledButtonFadesAndIgnoresThePointer() {
        QSignalSpy entered(button_, &TPNGButton::mouseEnter);
        button_->setEnabled(false);
        QCOMPARE(button_->ButtonState(), bsDisabled);
        QCOMPARE(button_->PictureToPaint(), button_->ImageDisabled());
        // Red at alpha 85 over the light grey background.
        QVERIFY(Near(ColourAt(15, 15), qRgb(245, 160, 160)));
        MoveTo(Inside());
        QCOMPARE(entered.count(), 0);
        QVERIFY(!button_->MouseOver());
        Press(Inside());
        QCOMPARE(button_->ButtonState(), bsDisabled);
        Release(Inside());

        button_->SetImageNormal(Solid(qRgb(0, 0, 0)));
        QCOMPARE(qAlpha(button_->ImageDisabled().pixel(0, 0)), 85);
        QVERIFY(Near(ColourAt(15, 15), qRgb(160, 160, 160)));

        button_->setEnabled(true);
        QCOMPARE(button_->ButtonState(), bsUp);
        QCOMPARE(button_->PictureToPaint(), button_->ImageNormal());
        // Already inside: the first move brings the hover look, with no enter.
        MoveTo(Inside() + QPoint(1, 1));
        QVERIFY(button_->MouseOver());
        QCOMPARE(entered.count(), 0);
        QCOMPARE(ColourAt(15, 15), blue_);
    }

    void disabledWhileHoveredKeepsTheFadedPicture() {
        MoveTo(Inside());
        button_->setEnabled(false);
        QVERIFY(button_->MouseOver());
        QCOMPARE(button_->PictureToPaint(), button_->ImageDisabled());
    }

    void placementHalvesTowardZero_data() {
        QTest::addColumn<QSize>("button");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("text");
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("pressed");
        QTest::addColumn<QList<int>>("expected");  // PX, PY, TX, TY
        const QSize none;
        QTest::newRow("picture larger than the button")
            << QSize(23, 23) << QSize(30, 30) << none << int(pbsImageAbove) << false
            << QList<int>{-3, -3, 11, 27};
        QTest::newRow("odd negative halves toward zero")
            << QSize(10, 10) << QSize(15, 15) << none << int(pbsImageAbove) << true
            << QList<int>{0, 0, 7, 15};
        const QSize b(100, 100), p(50, 50), t(40, 10);
        QTest::newRow("above") << b << p << t << int(pbsImageAbove) << false
                               << QList<int>{25, 18, 30, 72};
        QTest::newRow("above pressed")
            << b << p << t << int(pbsImageAbove) << true << QList<int>{27, 20, 32, 74};
        QTest::newRow("below") << b << p << t << int(pbsImageBellow) << false
                               << QList<int>{25, 28, 30, 18};
        QTest::newRow("left") << b << p << t << int(pbsImageLeft) << false
                              << QList<int>{5, 23, 60, 45};
        QTest::newRow("left pressed moves down only")
            << b << p << t << int(pbsImageLeft) << true << QList<int>{5, 25, 60, 47};
        QTest::newRow("right") << b << p << t << int(pbsImageRight) << false
                               << QList<int>{50, 23, 5, 45};
        QTest::newRow("right pressed moves down only")
            << b << p << t << int(pbsImageRight) << true << QList<int>{50, 25, 5, 47};
    }

    void placementHalvesTowardZero() {
        QFETCH(QSize, button);
        QFETCH(QSize, picture);
        QFETCH(QSize, text);
        QFETCH(int, layout);
        QFETCH(bool, pressed);
        QFETCH(QList<int>, expected);
        const TPNGButtonPlacement at =
            PlacePictureAndCaption(button, picture, text, TPNGButtonLayout(layout), pressed);
        QCOMPARE((QList<int>{at.PX, at.PY, at.TX, at.TY}), expected);
    }

    void flatFrameRaisesOnHoverSinksWhenPressedAndVanishesWhenDisabled() {
        const QRgb light = qRgb(255, 0, 255), dark = qRgb(0, 128, 128);
        QPalette palette = button_->palette();
        palette.setColor(QPalette::Light, QColor(light));
        palette.setColor(QPalette::Dark, QColor(dark));
        button_->setPalette(palette);
        button_->SetButtonStyle(pbsFlat);
        const QRgb background = kBackground | 0xFF000000u;
        QCOMPARE(ColourAt(0, 0), background);
        MoveTo(Inside());
        QCOMPARE(ColourAt(0, 0), light);
        QCOMPARE(ColourAt(39, 39), dark);
        Press(Inside());
        QCOMPARE(ColourAt(0, 0), dark);
        QCOMPARE(ColourAt(39, 39), light);
        Release(Inside());
        button_->setEnabled(false);
        QCOMPARE(ColourAt(0, 0), background);
    }

    void captionTurnsGreyWhenDisabled() {
        button_->SetImageNormal(QImage());
        button_->SetImageOver(QImage());
        button_->SetCaption("WM");
        QPalette palette = button_->palette();
        palette.setColor(QPalette::Active, QPalette::WindowText, Qt::red);
        palette.setColor(QPalette::Inactive, QPalette::WindowText, Qt::red);
        palette.setColor(QPalette::Disabled, QPalette::WindowText, Qt::blue);
        button_->setPalette(palette);
        auto inks = [this] {
            const QImage shot = host_->grab().toImage().copy(button_->geometry());
            int reds = 0, blues = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x) {
                    const QRgb c = shot.pixel(x, y);
                    reds += qRed(c) > 200 && qBlue(c) < 100;
                    blues += qBlue(c) > 200 && qRed(c) < 100;
                }
            return std::pair(reds, blues);
        };
        const auto [redsEnabled, bluesEnabled] = inks();
        QVERIFY(redsEnabled > 0);
        QCOMPARE(bluesEnabled, 0);
        button_->setEnabled(false);
        const auto [redsDisabled, bluesDisabled] = inks();
        QCOMPARE(redsDisabled, 0);
        QVERIFY(bluesDisabled > 0);
    }

    // A picture drawn for a 2x screen is placed and shown at its window size.
    void aFinerPictureIsPlacedByItsWindowSize() {
        QImage fine(40, 40, QImage::Format_ARGB32);
        fine.fill(red_);
        fine.setDevicePixelRatio(2);
        button_->SetImageNormal(fine);
        QCOMPARE(ColourAt(10, 10), red_);
        QCOMPARE(ColourAt(29, 29), red_);
        QCOMPARE(ColourAt(9, 9), kBackground | 0xFF000000u);
        QCOMPARE(ColourAt(30, 30), kBackground | 0xFF000000u);
    }

    void pictureAlphaBlendsOverTheParent() {
        button_->SetImageNormal(Solid(qRgba(255, 0, 0, 128)));
        QVERIFY(Near(ColourAt(15, 15), qRgb(248, 120, 120)));
    }

    void disabledImageDividesAlphaByThree() {
        QImage source(4, 1, QImage::Format_ARGB32);
        const int alphas[] = {255, 200, 2, 0};
        for (int x = 0; x < 4; ++x) source.setPixel(x, 0, qRgba(10, 20, 30, alphas[x]));
        const QImage faded = MakeDisabledImage(source);
        const int expected[] = {85, 66, 0, 0};
        for (int x = 0; x < 4; ++x) {
            QCOMPARE(qAlpha(faded.pixel(x, 0)), expected[x]);
            if (expected[x] > 0) QCOMPARE(qRed(faded.pixel(x, 0)), 10);
        }
        QCOMPARE(qAlpha(source.pixel(1, 0)), 200);  // the source is left alone
    }

    void disabledImageTreatsMissingAlphaAsOpaque() {
        QImage rgb(2, 2, QImage::Format_RGB32);
        rgb.fill(qRgb(1, 2, 3));
        QImage grey(2, 2, QImage::Format_Grayscale8);
        grey.fill(77);
        for (const QImage& source : {rgb, grey}) {
            const QImage faded = MakeDisabledImage(source);
            QVERIFY(faded.hasAlphaChannel());
            QCOMPARE(qAlpha(faded.pixel(1, 1)), 85);
            QCOMPARE(qBlue(faded.pixel(1, 1)), qBlue(source.pixel(1, 1)));
        }
    }

    void disabledImageKeepsPremultipliedColours() {
        QImage source(1, 1, QImage::Format_ARGB32_Premultiplied);
        source.setPixel(0, 0, qPremultiply(qRgba(200, 100, 50, 150)));
        const QRgb faded = MakeDisabledImage(source).pixel(0, 0);
        QCOMPARE(qAlpha(faded), 50);
        QVERIFY(qAbs(qRed(faded) - 200) <= 1 && qAbs(qGreen(faded) - 100) <= 1);
    }

    void disabledImageLeavesPalettePicturesUnfaded() {
        QImage indexed(2, 1, QImage::Format_Indexed8);
        indexed.setColorTable({qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 90)});
        indexed.setPixel(0, 0, 0);
        indexed.setPixel(1, 0, 1);
        QImage mono(8, 1, QImage::Format_Mono);
        mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        mono.fill(1);
        for (const QImage& source : {indexed, mono}) {
            const QImage faded = MakeDisabledImage(source);
            QCOMPARE(faded.format(), source.format());
            QCOMPARE(faded.colorTable(), source.colorTable());
            QCOMPARE(faded, source);
        }
        QVERIFY(MakeDisabledImage(QImage()).isNull());
    }

    void tagIsAProperty() {
        button_->setProperty("Tag", 4);
        QCOMPARE(button_->Tag(), 4);
    }
};

QTEST_MAIN(PngButtonTest)
#include "PngButtonTest.moc"
