// Draws every picture of the windows (background, drop area, start-page guide,
// image buttons in three states, program icon) into the folder named on the
// command line: each window picture in a light and a dark theme at several
// device pixel ratios, the icon at the sizes desktops ask for. Wording, colours and sizes live in
// the tables at the top, so a change of either is one edit here. Runs without a display.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// ---- Wording ---------------------------------------------------------------
const QString kHeadingButtons = QStringLiteral("設定・機能");
const QString kHeadingDetails = QStringLiteral("詳細");
const QString kDropText = QStringLiteral("画像ファイルを\nドラッグ＆ドロップ\nしてください。");
const QString kDropNote = QStringLiteral("（複数可）");
const QString kStep1 = QStringLiteral("設定・機能を選び、\n詳細設定を行います。");
const QString kStep2 =
    QStringLiteral("設定後、縮小したい画像を\n右のエリアにドラッグ＆ドロップ\nします。");

// ---- Colours ---------------------------------------------------------------
// One set per desktop look; the dark set keeps the green accents and turns
// panels, tiles and ink around so that Qt's controls on the window read as
// well as on the light set. Scale is the device pixel ratio drawn for.
struct TTheme {
    QColor Panel, Rule, Ink, InkSoft, TileTop, TileBottom, TileEdge, Green, GreenDeep, GreenTintTop,
        GreenTintBottom, GreenLight, DropTop, DropBottom, DropNote, Card;
    qreal Scale = 1;
};

const TTheme kLight{QColor(0xF3, 0xF4, 0xF6), QColor(0xD6, 0xDA, 0xDF), QColor(0x2E, 0x37, 0x40),
                    QColor(0x5B, 0x66, 0x72), QColor(0xEE, 0xF0, 0xF3), QColor(0xE2, 0xE6, 0xEA),
                    QColor(0xCF, 0xD5, 0xDC), QColor(0x2F, 0x9E, 0x64), QColor(0x1E, 0x75, 0x48),
                    QColor(0xE0, 0xF3, 0xE7), QColor(0xCB, 0xEA, 0xD6), QColor(0x6C, 0xD3, 0x9A),
                    QColor(0x33, 0x3E, 0x49), QColor(0x22, 0x2A, 0x32), QColor(0xB8, 0xC2, 0xCC),
                    QColor(0xFF, 0xFF, 0xFF)};

const TTheme kDark{QColor(0x2D, 0x30, 0x35), QColor(0x47, 0x4D, 0x55), QColor(0xE8, 0xEB, 0xEE),
                   QColor(0xAE, 0xB6, 0xBF), QColor(0x3B, 0x40, 0x47), QColor(0x33, 0x37, 0x3D),
                   QColor(0x52, 0x58, 0x60), QColor(0x3B, 0xB8, 0x77), QColor(0x8A, 0xE6, 0xB3),
                   QColor(0x25, 0x4A, 0x3A), QColor(0x1E, 0x3D, 0x31), QColor(0x6C, 0xD3, 0x9A),
                   QColor(0x1F, 0x25, 0x2C), QColor(0x15, 0x1A, 0x1F), QColor(0x9A, 0xA5, 0xB0),
                   QColor(0x37, 0x3C, 0x42)};

// ---- Fonts -----------------------------------------------------------------
const QString kFace = QStringLiteral("IPAPGothic");

QFont Face(int pixels, bool bold = false) {
    QFont font(kFace);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// ---- Sizes (pixels of the 96-dpi window) -----------------------------------
const QSize kBackgroundSize(561, 422);
const QSize kDropAreaSize(197, 422);
const QSize kGuideSize(274, 213);
const QSize kPageButtonSize(97, 97);
const QSize kHelpButtonSize(97, 40);
const int kSeparatorX = 232;

enum class Look { Normal, Down, Over };

// A clear picture of the given size in window pixels, at the theme's scale.
QImage NewPicture(QSize size, const TTheme& c) {
    QImage image(c.Scale == 1 ? size : (QSizeF(size) * c.Scale).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// The painter draws in window pixels whatever the scale, so every picture is
// one drawing at every scale, sharp at each.
void Prepare(QPainter& p, const TTheme& c) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (c.Scale != 1) p.scale(c.Scale, c.Scale);
}

QPen Stroke(const QColor& colour, qreal width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// ---- Icons: each draws into a square of side s at the origin ---------------
using Icon = std::function<void(QPainter&, qreal s, const QColor& ink)>;

void ArrowHead(QPainter& p, QPointF tip, QPointF from, qreal size) {
    const QLineF shaft(tip, from);
    QLineF a = shaft, b = shaft;
    a.setLength(size);
    b.setLength(size);
    a.setAngle(shaft.angle() + 40);
    b.setAngle(shaft.angle() - 40);
    p.drawLine(a);
    p.drawLine(b);
}

void IconPicSize(QPainter& p, qreal s, const QColor& ink) {
    p.setPen(Stroke(ink, s * 0.065));
    p.drawRoundedRect(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88), s * 0.08, s * 0.08);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(s * 0.06, s * 0.52, s * 0.42, s * 0.42), s * 0.06, s * 0.06);
    p.setBrush(Qt::NoBrush);
    const QPointF from(s * 0.80, s * 0.20), to(s * 0.58, s * 0.42);
    p.drawLine(from, to);
    ArrowHead(p, to, from, s * 0.2);
}

void IconFilter(QPainter& p, qreal s, const QColor& ink) {
    const QRectF disc(s * 0.14, s * 0.14, s * 0.72, s * 0.72);
    p.setPen(Stroke(ink, s * 0.065));
    p.drawEllipse(disc);
    p.setBrush(ink);
    p.drawPie(disc, 90 * 16, 180 * 16);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 8; ++i) {
        QLineF ray(QPointF(s / 2, s / 2), QPointF(s, s / 2));
        ray.setAngle(i * 45.0 + 22.5);
        ray.setLength(s * 0.5);
        p.drawLine(ray.pointAt(0.88), ray.p2());
    }
}

void IconDate(QPainter& p, qreal s, const QColor& ink) {
    const QRectF sheet(s * 0.08, s * 0.16, s * 0.84, s * 0.76);
    p.setPen(Stroke(ink, s * 0.065));
    p.drawRoundedRect(sheet, s * 0.08, s * 0.08);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(sheet.left(), sheet.top(), sheet.width(), s * 0.2), s * 0.08,
                      s * 0.08);
    p.drawRect(QRectF(sheet.left(), sheet.top() + s * 0.1, sheet.width(), s * 0.1));
    p.drawLine(QPointF(s * 0.3, s * 0.06), QPointF(s * 0.3, s * 0.24));
    p.drawLine(QPointF(s * 0.7, s * 0.06), QPointF(s * 0.7, s * 0.24));
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            p.drawRoundedRect(
                QRectF(s * (0.18 + col * 0.17), s * (0.47 + row * 0.14), s * 0.1, s * 0.08),
                s * 0.02, s * 0.02);
    p.setBrush(Qt::NoBrush);
}

void IconComment(QPainter& p, qreal s, const QColor& ink) {
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(s * 0.06, s * 0.1, s * 0.88, s * 0.62), s * 0.14, s * 0.14);
    QPainterPath tail;
    tail.moveTo(s * 0.26, s * 0.68);
    tail.lineTo(s * 0.22, s * 0.92);
    tail.lineTo(s * 0.48, s * 0.70);
    tail.closeSubpath();
    p.setPen(Stroke(ink, s * 0.065));
    p.drawPath(bubble.united(tail));
    p.drawLine(QPointF(s * 0.24, s * 0.32), QPointF(s * 0.76, s * 0.32));
    p.drawLine(QPointF(s * 0.24, s * 0.5), QPointF(s * 0.6, s * 0.5));
}

void IconSave(QPainter& p, qreal s, const QColor& ink) {
    QPainterPath folder;
    folder.moveTo(s * 0.06, s * 0.2);
    folder.lineTo(s * 0.38, s * 0.2);
    folder.lineTo(s * 0.46, s * 0.3);
    folder.lineTo(s * 0.94, s * 0.3);
    folder.lineTo(s * 0.94, s * 0.88);
    folder.lineTo(s * 0.06, s * 0.88);
    folder.closeSubpath();
    p.setPen(Stroke(ink, s * 0.065));
    p.drawPath(folder);
    const QPointF from(s * 0.5, s * 0.42), to(s * 0.5, s * 0.76);
    p.drawLine(from, to);
    ArrowHead(p, to, from, s * 0.17);
}

void IconJpeg(QPainter& p, qreal s, const QColor& ink) {
    p.setPen(Stroke(ink, s * 0.065));
    p.drawRoundedRect(QRectF(s * 0.06, s * 0.1, s * 0.88, s * 0.62), s * 0.06, s * 0.06);
    QPainterPath hills;
    hills.moveTo(s * 0.12, s * 0.64);
    hills.lineTo(s * 0.36, s * 0.38);
    hills.lineTo(s * 0.52, s * 0.54);
    hills.lineTo(s * 0.64, s * 0.44);
    hills.lineTo(s * 0.88, s * 0.64);
    p.drawPath(hills);
    p.setBrush(ink);
    p.drawEllipse(QPointF(s * 0.72, s * 0.26), s * 0.06, s * 0.06);
    p.setBrush(Qt::NoBrush);
    // A quality slider under the picture.
    p.drawLine(QPointF(s * 0.06, s * 0.88), QPointF(s * 0.94, s * 0.88));
    p.setBrush(ink);
    p.drawEllipse(QPointF(s * 0.66, s * 0.88), s * 0.08, s * 0.08);
    p.setBrush(Qt::NoBrush);
}

void IconManual(QPainter& p, qreal s, const QColor& ink) {
    p.setPen(Stroke(ink, s * 0.08));
    QPainterPath book;
    book.moveTo(s * 0.5, s * 0.22);
    book.cubicTo(s * 0.38, s * 0.12, s * 0.2, s * 0.12, s * 0.04, s * 0.16);
    book.lineTo(s * 0.04, s * 0.86);
    book.cubicTo(s * 0.2, s * 0.82, s * 0.38, s * 0.82, s * 0.5, s * 0.92);
    book.cubicTo(s * 0.62, s * 0.82, s * 0.8, s * 0.82, s * 0.96, s * 0.86);
    book.lineTo(s * 0.96, s * 0.16);
    book.cubicTo(s * 0.8, s * 0.12, s * 0.62, s * 0.12, s * 0.5, s * 0.22);
    book.lineTo(s * 0.5, s * 0.92);
    p.drawPath(book);
}

void IconQA(QPainter& p, qreal s, const QColor& ink) {
    p.setPen(Stroke(ink, s * 0.08));
    p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
    QPainterPath hook;
    hook.moveTo(s * 0.36, s * 0.38);
    hook.cubicTo(s * 0.36, s * 0.2, s * 0.64, s * 0.2, s * 0.64, s * 0.38);
    hook.cubicTo(s * 0.64, s * 0.5, s * 0.5, s * 0.5, s * 0.5, s * 0.62);
    p.drawPath(hook);
    p.setBrush(ink);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(s * 0.5, s * 0.76), s * 0.055, s * 0.055);
    p.setBrush(Qt::NoBrush);
}

void IconPicture(QPainter& p, qreal s, const QColor& ink) {
    p.setPen(Stroke(ink, s * 0.05));
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.14, s * 0.92, s * 0.72), s * 0.06, s * 0.06);
    QPainterPath hills;
    hills.moveTo(s * 0.04, s * 0.78);
    hills.lineTo(s * 0.34, s * 0.46);
    hills.lineTo(s * 0.54, s * 0.66);
    hills.lineTo(s * 0.68, s * 0.54);
    hills.lineTo(s * 0.96, s * 0.8);
    hills.lineTo(s * 0.96, s * 0.86);
    hills.lineTo(s * 0.04, s * 0.86);
    hills.closeSubpath();
    p.setBrush(ink);
    p.drawPath(hills);
    p.drawEllipse(QPointF(s * 0.72, s * 0.34), s * 0.07, s * 0.07);
    p.setBrush(Qt::NoBrush);
}

// ---- Image buttons ---------------------------------------------------------
struct ButtonArt {
    const char* id;  // picture names: btn_<id>, btn_<id>_down, btn_<id>_over
    QString label;
    Icon icon;
    bool help;  // the small 97 x 40 help buttons
};

const ButtonArt kButtons[] = {
    {"picsize", QStringLiteral("縮小サイズ"), IconPicSize, false},
    {"filter", QStringLiteral("効果"), IconFilter, false},
    {"date", QStringLiteral("日付"), IconDate, false},
    {"comment", QStringLiteral("コメント"), IconComment, false},
    {"save", QStringLiteral("保存"), IconSave, false},
    {"jpeg", QStringLiteral("JPEG設定"), IconJpeg, false},
    {"manual", QStringLiteral("操作方法"), IconManual, true},
    {"qa", QStringLiteral("Q&A"), IconQA, true},
};

void DrawTile(QPainter& p, const TTheme& c, QRectF r, qreal radius, Look look) {
    // A soft shadow one pixel below the tile.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 22));
    p.drawRoundedRect(r.translated(0, 1), radius, radius);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    const bool down = look == Look::Down;
    fill.setColorAt(0, down ? c.GreenTintTop : c.TileTop);
    fill.setColorAt(1, down ? c.GreenTintBottom : c.TileBottom);
    p.setBrush(fill);
    const qreal edge = look == Look::Over ? 2.0 : 1.0;
    p.setPen(QPen(look == Look::Normal ? c.TileEdge : c.Green, edge));
    const qreal inset = edge / 2;
    p.drawRoundedRect(r.adjusted(inset, inset, -inset, -inset), radius, radius);
    p.setBrush(Qt::NoBrush);
}

QColor InkFor(const TTheme& c, Look look) {
    return look == Look::Down ? c.GreenDeep : c.Ink;
}

void DrawIcon(QPainter& p, const Icon& icon, QPointF at, qreal side, const QColor& ink) {
    p.save();
    p.translate(at);
    icon(p, side, ink);
    p.restore();
}

QImage PageButton(const TTheme& c, const ButtonArt& art, Look look) {
    QImage image = NewPicture(kPageButtonSize, c);
    QPainter p(&image);
    Prepare(p, c);
    const QRectF tile(1, 1, kPageButtonSize.width() - 2, kPageButtonSize.height() - 3);
    DrawTile(p, c, tile, 10, look);
    const qreal side = 36;
    DrawIcon(p, art.icon, QPointF((kPageButtonSize.width() - side) / 2, 17), side, InkFor(c, look));
    p.setFont(Face(13, true));
    p.setPen(InkFor(c, look));
    p.drawText(QRectF(0, 62, kPageButtonSize.width(), 22), Qt::AlignCenter, art.label);
    return image;
}

QImage HelpButton(const TTheme& c, const ButtonArt& art, Look look) {
    QImage image = NewPicture(kHelpButtonSize, c);
    QPainter p(&image);
    Prepare(p, c);
    const QRectF tile(1, 1, kHelpButtonSize.width() - 2, kHelpButtonSize.height() - 3);
    DrawTile(p, c, tile, 8, look);
    // Icon and label centred together.
    const qreal side = 17, gap = 7;
    const QFont font = Face(13, true);
    const qreal textWidth = QFontMetricsF(font).horizontalAdvance(art.label);
    const qreal left = (kHelpButtonSize.width() - side - gap - textWidth) / 2;
    DrawIcon(p, art.icon, QPointF(left, (tile.height() - side) / 2 + 1), side, InkFor(c, look));
    p.setFont(font);
    p.setPen(InkFor(c, look));
    p.drawText(QRectF(left + side + gap, 1, textWidth + 2, tile.height()),
               Qt::AlignLeft | Qt::AlignVCenter, art.label);
    return image;
}

// ---- Window pictures -------------------------------------------------------
void Heading(QPainter& p, const TTheme& c, QRectF box, const QString& text) {
    p.setPen(Qt::NoPen);
    p.setBrush(c.Green);
    p.drawRoundedRect(QRectF(box.left(), box.center().y() - 8, 4, 16), 2, 2);
    p.setBrush(Qt::NoBrush);
    p.setFont(Face(15, true));
    p.setPen(c.Ink);
    p.drawText(box.adjusted(12, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
}

QImage Background(const TTheme& c) {
    QImage image = NewPicture(kBackgroundSize, c);
    QPainter p(&image);
    Prepare(p, c);
    p.fillRect(QRect(QPoint(), kBackgroundSize), c.Panel);
    p.setPen(QPen(c.Rule, 1));
    p.drawLine(QPointF(kSeparatorX + 0.5, 14), QPointF(kSeparatorX + 0.5, 408));
    p.drawLine(QPointF(17, 39.5), QPointF(kSeparatorX - 12, 39.5));
    p.drawLine(QPointF(kSeparatorX + 12, 39.5), QPointF(kBackgroundSize.width() - 14, 39.5));
    Heading(p, c, QRectF(17, 12, 200, 26), kHeadingButtons);
    Heading(p, c, QRectF(kSeparatorX + 12, 12, 200, 26), kHeadingDetails);
    return image;
}

void CornerMarks(QPainter& p, QRectF r, qreal arm) {
    p.setPen(Stroke(QColor(255, 255, 255, 120), 2));
    const QPointF corners[] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
    for (int i = 0; i < 4; ++i) {
        const QPointF c = corners[i];
        const qreal dx = (i == 0 || i == 3) ? arm : -arm;
        const qreal dy = i < 2 ? arm : -arm;
        p.drawLine(c, c + QPointF(dx, 0));
        p.drawLine(c, c + QPointF(0, dy));
    }
}

// Four arrows pointing at the picture symbol from around it.
void InwardArrows(QPainter& p, const TTheme& c, QPointF centre, qreal reach) {
    p.setPen(Stroke(c.GreenLight, 2.5));
    for (int i = 0; i < 4; ++i) {
        QLineF ray(centre, centre + QPointF(reach, 0));
        ray.setAngle(45 + i * 90);
        const QPointF outer = ray.p2(), inner = ray.pointAt(0.72);
        p.drawLine(outer, inner);
        ArrowHead(p, inner, outer, 7);
    }
}

QImage DropArea(const TTheme& c) {
    QImage image = NewPicture(kDropAreaSize, c);
    QPainter p(&image);
    Prepare(p, c);
    QLinearGradient fill(0, 0, 0, kDropAreaSize.height());
    fill.setColorAt(0, c.DropTop);
    fill.setColorAt(1, c.DropBottom);
    p.fillRect(QRect(QPoint(), kDropAreaSize), fill);
    CornerMarks(p, QRectF(14, 14, kDropAreaSize.width() - 28, kDropAreaSize.height() - 28), 22);
    const QPointF centre(kDropAreaSize.width() / 2.0, 150);
    const qreal side = 58;
    DrawIcon(p, IconPicture, centre - QPointF(side / 2, side / 2), side, QColor(0xF2, 0xF5, 0xF7));
    InwardArrows(p, c, centre, 66);
    p.setFont(Face(14, true));
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 232, kDropAreaSize.width(), 70), Qt::AlignHCenter | Qt::AlignTop,
               kDropText);
    p.setFont(Face(13));
    p.setPen(c.DropNote);
    p.drawText(QRectF(0, 304, kDropAreaSize.width(), 20), Qt::AlignHCenter | Qt::AlignTop,
               kDropNote);
    return image;
}

void StepArrow(QPainter& p, const TTheme& c, QPointF tip, bool pointsLeft) {
    const qreal dir = pointsLeft ? 1 : -1;
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip + QPointF(dir * 16, -14));
    arrow.lineTo(tip + QPointF(dir * 16, -6));
    arrow.lineTo(tip + QPointF(dir * 30, -6));
    arrow.lineTo(tip + QPointF(dir * 30, 6));
    arrow.lineTo(tip + QPointF(dir * 16, 6));
    arrow.lineTo(tip + QPointF(dir * 16, 14));
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c.Green);
    p.drawPath(arrow);
    p.setBrush(Qt::NoBrush);
}

void StepCard(QPainter& p, const TTheme& c, QRectF card, int number, const QString& text,
              bool arrowLeft) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 18));
    p.drawRoundedRect(card.translated(0, 1), 10, 10);
    p.setBrush(c.Card);
    p.setPen(QPen(c.Rule, 1));
    p.drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    const qreal arrowSide = 44;
    const QRectF arrowBox =
        arrowLeft ? QRectF(card.left(), card.top(), arrowSide, card.height())
                  : QRectF(card.right() - arrowSide, card.top(), arrowSide, card.height());
    StepArrow(
        p, c,
        QPointF(arrowLeft ? arrowBox.left() + 9 : arrowBox.right() - 9, arrowBox.center().y()),
        arrowLeft);
    // The badge and the text, centred as one block in the rest of the card.
    const QRectF body =
        card.adjusted(arrowLeft ? arrowSide : 14, 8, arrowLeft ? -10 : -arrowSide, -8);
    const QFont font = Face(13);
    const qreal textHeight =
        QFontMetricsF(font).boundingRect(body, Qt::AlignLeft | Qt::AlignTop, text).height();
    const qreal top = body.center().y() - (26 + textHeight) / 2;
    const QRectF badge(body.left(), top, 50, 18);
    p.setPen(Qt::NoPen);
    p.setBrush(c.Green);
    p.drawRoundedRect(badge, 9, 9);
    p.setFont(Face(11, true));
    p.setPen(Qt::white);
    p.drawText(badge, Qt::AlignCenter, QStringLiteral("STEP %1").arg(number));
    p.setFont(font);
    p.setPen(c.Ink);
    p.drawText(QRectF(body.left(), top + 26, body.width(), textHeight),
               Qt::AlignLeft | Qt::AlignTop, text);
}

QImage Guide(const TTheme& c) {
    QImage image = NewPicture(kGuideSize, c);
    QPainter p(&image);
    Prepare(p, c);
    const qreal h = 98;
    StepCard(p, c, QRectF(0, 0, kGuideSize.width(), h), 1, kStep1, true);
    StepCard(p, c, QRectF(0, kGuideSize.height() - h - 2, kGuideSize.width(), h), 2, kStep2, false);
    return image;
}

// The program's icon, one look for every desktop, at side x side pixels.
QImage ProgramIcon(int side) {
    TTheme c = kLight;
    c.Scale = side / 256.0;
    QImage image = NewPicture(QSize(256, 256), c);
    QPainter p(&image);
    Prepare(p, c);
    QLinearGradient fill(0, 0, 0, 256);
    fill.setColorAt(0, QColor(0x3C, 0xB8, 0x78));
    fill.setColorAt(1, c.GreenDeep);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 52, 52);
    DrawIcon(p, IconPicSize, QPointF(56, 56), 144, Qt::white);
    return image;
}

// ---- Output ----------------------------------------------------------------
bool Save(const QImage& image, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name + ".png");
    if (image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) return true;
    std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(path));
    return false;
}

bool SaveButtons(const TTheme& c, const QDir& dir, const QString& tail) {
    const std::pair<Look, const char*> looks[] = {
        {Look::Normal, ""}, {Look::Down, "_down"}, {Look::Over, "_over"}};
    bool ok = true;
    for (const ButtonArt& art : kButtons)
        for (const auto& [look, suffix] : looks)
            ok &= Save(art.help ? HelpButton(c, art, look) : PageButton(c, art, look), dir,
                       QStringLiteral("btn_%1%2%3").arg(art.id, suffix, tail));
    return ok;
}

// Every window picture in one theme at one scale, each name followed by tail.
bool SaveWindowPictures(const TTheme& c, const QDir& dir, const QString& tail) {
    bool ok = SaveButtons(c, dir, tail);
    ok &= Save(Background(c), dir, "bg" + tail);
    ok &= Save(DropArea(c), dir, "droparea" + tail);
    ok &= Save(Guide(c), dir, "configtop" + tail);
    return ok;
}

// ---- Windows icon file -----------------------------------------------------
// One entry of an .ico file: 32-bit pixels with alpha, bottom row first,
// followed by the 1-bit mask (set where the picture is fully transparent),
// as every version of Windows reads them. 256 x 256 is stored as PNG bytes,
// as Windows expects at that size.
QByteArray IcoEntryData(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (image.width() >= 256) {
        image.save(&buffer, "PNG");
        return data;
    }
    const int w = image.width(), h = image.height();
    const int maskStride = (w + 31) / 32 * 4;
    auto put32 = [&data](quint32 v) {
        const quint32 le = qToLittleEndian(v);
        data.append(reinterpret_cast<const char*>(&le), 4);
    };
    auto put16 = [&data](quint16 v) {
        const quint16 le = qToLittleEndian(v);
        data.append(reinterpret_cast<const char*>(&le), 2);
    };
    // BITMAPINFOHEADER: the height counts the pixels and the mask.
    put32(40), put32(w), put32(2 * h), put16(1), put16(32), put32(0);
    put32(w * h * 4 + maskStride * h), put32(0), put32(0), put32(0), put32(0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) put32(row[x]);  // B, G, R, A in the file
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray mask(maskStride, '\0');
        const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(row[x]) == 0) mask[x / 8] = char(mask[x / 8] | (0x80 >> (x % 8)));
        data.append(mask);
    }
    return data;
}

// The icon file of the Windows programs, with every picture in the given order.
bool SaveIco(const std::vector<QImage>& pictures, const QDir& dir, const QString& name) {
    QByteArray file;
    auto put = [&file](auto v) {
        const auto le = qToLittleEndian(v);
        file.append(reinterpret_cast<const char*>(&le), sizeof le);
    };
    put(quint16(0)), put(quint16(1)), put(quint16(pictures.size()));
    std::vector<QByteArray> entries;
    quint32 offset = 6 + 16 * quint32(pictures.size());
    for (const QImage& picture : pictures) {
        entries.push_back(IcoEntryData(picture));
        // A side of 256 is written as 0.
        put(quint8(picture.width() & 0xFF)), put(quint8(picture.height() & 0xFF));
        put(quint8(0)), put(quint8(0)), put(quint16(1)), put(quint16(32));
        put(quint32(entries.back().size())), put(offset);
        offset += quint32(entries.back().size());
    }
    for (const QByteArray& entry : entries) file.append(entry);
    QFile out(dir.filePath(name + ".ico"));
    if (out.open(QIODevice::WriteOnly) && out.write(file) == file.size()) return true;
    std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(out.fileName()));
    return false;
}

// The device pixel ratios drawn for (Artwork.cpp picks among the same).
const std::pair<qreal, const char*> kScales[] = {
    {1, ""}, {1.25, "@1.25x"}, {1.5, "@1.5x"}, {2, "@2x"}};
// The icon sizes of the hicolor theme besides the 256 of "icon".
const int kIconSides[] = {16, 22, 24, 32, 48, 64, 128, 512};
// The sides Windows asks for at 100 % to 200 % (small icons, lists, tiles).
const int kIcoSides[] = {16, 20, 24, 32, 40, 48, 64, 96, 128, 256};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen OUTPUT_FOLDER\n");
        return 2;
    }
    // Another face would change every picture; refuse rather than drift.
    if (!QFontDatabase::families().contains(kFace)) {
        std::fprintf(stderr, "artgen: the font %s is not installed (fonts-ipafont-gothic)\n",
                     qPrintable(kFace));
        return 1;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(".")) return 1;
    bool ok = true;
    for (const auto& [theme, themeSuffix] : {std::pair{kLight, ""}, std::pair{kDark, "_dark"}}) {
        for (const auto& [scale, scaleSuffix] : kScales) {
            TTheme c = theme;
            c.Scale = scale;
            ok &= SaveWindowPictures(c, dir, QString::fromLatin1(themeSuffix) + scaleSuffix);
        }
    }
    ok &= Save(ProgramIcon(256), dir, "icon");
    for (const int side : kIconSides)
        ok &= Save(ProgramIcon(side), dir, QStringLiteral("icon_%1").arg(side));
    std::vector<QImage> icoPictures;
    for (const int side : kIcoSides) icoPictures.push_back(ProgramIcon(side));
    ok &= SaveIco(icoPictures, dir, "tovali3");
    return ok ? 0 : 1;
}
