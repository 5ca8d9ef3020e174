// Draws every picture of the skin into the program's pics folder, writes the list of the pictures
// and a labelled contact sheet for review.
//
//   generate_skin <pics folder> <contact sheet .png> <font folder>
//
// One theme throughout: charcoal panels, a warm wooden pyramid metronome with an ivory tempo
// scale, a brass weight and brass-framed lights, ivory lettering and amber for what is active.
// Buttons are opaque pictures: each is drawn over the exact pixels of the panel it lies on, so
// that it sits seamlessly on the panel however the control paints it. Pictures that two windows
// share are drawn over one flat colour that both windows use under them.

#include "SkinPictures.h"

#include <QBrush>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <QTransform>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using tikora::skin::kSkinPictures;
using tikora::skin::PictureKind;

// ---------------------------------------------------------------------------------------------
// Palette and fonts

QColor hex(uint32_t rgb, int alpha = 255) {
    return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF), alpha);
}

namespace pal {
const QColor panelTop = hex(0x303338);
const QColor panelBottom = hex(0x24262A);
const QColor console = hex(0x26282C);  // flat: lies under pictures that two windows share
const QColor tray = hex(0x1B1C1F);     // flat: the recess of the transport keys
const QColor well = hex(0x1D1F22);
const QColor display = hex(0x121315);
const QColor ivory = hex(0xEDE3CC);
const QColor ivoryDim = hex(0xB9AF99);
const QColor caption = hex(0x9C9383);
const QColor amber = hex(0xF0A030);
const QColor amberBright = hex(0xFFC862);
const QColor memo = hex(0xE9DFC6);
const QColor woodDark = hex(0x5A2E14);
const QColor wood = hex(0x8C4A22);
const QColor woodLight = hex(0xB46A34);
const QColor plate = hex(0xE2D4B0);
const QColor plateInk = hex(0x3A2A1C);
const QColor brassDark = hex(0x7A5A1E);
const QColor brass = hex(0xC9A04A);
const QColor brassLight = hex(0xF2D98E);
}  // namespace pal

const QString kSans = QStringLiteral("DejaVu Sans");
const QString kCond = QStringLiteral("DejaVu Sans Condensed");
const QString kSerif = QStringLiteral("DejaVu Serif");

QFont font(const QString& family, qreal px, bool bold = false, bool italic = false) {
    QFont f(family);
    f.setPixelSize(int(std::lround(px)));
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setItalic(italic);
    f.setStyleStrategy(QFont::PreferAntialias);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

bool loadFonts(const QString& dir) {
    const char* files[] = {
        "DejaVuSans.ttf",  "DejaVuSans-Bold.ttf",  "DejaVuSansCondensed.ttf", "DejaVuSansCondensed-Bold.ttf",
        "DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf",  "DejaVuSerif-BoldItalic.ttf"};
    for (const char* f : files) {
        if (QFontDatabase::addApplicationFont(dir + QLatin1Char('/') + QLatin1String(f)) < 0) {
            std::fprintf(stderr, "generate_skin: cannot load font %s/%s\n", qPrintable(dir), f);
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Small drawing helpers

QImage canvas(int w, int h, const QColor& fill = Qt::transparent) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void setup(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

void text(QPainter& p, const QRectF& r, const QString& s, const QFont& f, const QColor& c,
          int align = Qt::AlignCenter) {
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, align, s);
}

// Lettering pressed into the panel: a dark edge above, a faint light edge below.
void engraved(QPainter& p, const QRectF& r, const QString& s, const QFont& f, const QColor& c,
              int align = Qt::AlignCenter) {
    text(p, r.translated(0, 1), s, f, QColor(0, 0, 0, 150), align);
    text(p, r, s, f, c, align);
}

void fillGradient(QPainter& p, const QPainterPath& path, const QRectF& r, const QColor& top, const QColor& bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillPath(path, g);
}

QPainterPath rounded(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// A recess in a panel: darker floor, shadow along the top, light along the bottom.
void drawWell(QPainter& p, const QRectF& r, qreal radius, const QColor& floor = pal::well) {
    p.save();
    p.fillPath(rounded(r, radius), floor);
    p.setClipPath(rounded(r, radius));
    QLinearGradient shade(r.topLeft(), r.topLeft() + QPointF(0, 6));
    shade.setColorAt(0, QColor(0, 0, 0, 110));
    shade.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(r, shade);
    p.restore();
    p.setPen(QPen(QColor(0, 0, 0, 160), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.drawLine(QPointF(r.left() + radius, r.bottom() + 0.5), QPointF(r.right() - radius, r.bottom() + 0.5));
}

// A small deterministic generator for wood grain, so that every build draws the same pictures.
struct Lcg {
    uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1u << 24);
    }
};

void woodGrain(QPainter& p, const QRectF& r, uint32_t seed, qreal scale) {
    Lcg rng{seed};
    const int lines = int(r.width() / (5 * scale)) + 8;
    for (int i = 0; i < lines; ++i) {
        const qreal x = r.left() + rng.next() * r.width();
        const qreal amp = (1.5 + rng.next() * 3.5) * scale;
        const qreal period = (60 + rng.next() * 120) * scale;
        const qreal phase = rng.next() * 6.28;
        QPainterPath path;
        path.moveTo(x, r.top());
        for (qreal y = r.top(); y <= r.bottom() + 4; y += 4)
            path.lineTo(x + amp * std::sin(phase + (y - r.top()) / period * 6.28), y);
        const bool dark = rng.next() < 0.7;
        p.setPen(
            QPen(dark ? QColor(40, 16, 4, int(25 + rng.next() * 45)) : QColor(255, 200, 140, int(10 + rng.next() * 20)),
                 (0.6 + rng.next() * 1.2) * scale));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
}

// ---------------------------------------------------------------------------------------------
// Buttons

enum class Look { Idle, Hover, Pressed, Checked };

QColor inkFor(Look look) {
    switch (look) {
        case Look::Idle:
            return pal::ivory;
        case Look::Hover:
            return hex(0xFFF4DA);
        case Look::Pressed:
            return pal::amber;
        case Look::Checked:
            return pal::amberBright;
    }
    return pal::ivory;
}

using Content = std::function<void(QPainter&, const QRectF&, const QColor&, Look)>;

// The body of a key: raised when idle, lighter with an amber rim under the pointer, pushed in
// when pressed, glowing amber when checked.
void drawKey(QPainter& p, const QRectF& outer, Look look, qreal radius) {
    const QRectF r = outer.adjusted(1, 1, -1, -1);
    const QPainterPath body = rounded(r, radius);
    // Seat: a dark rim around the key, as if it sat in a hole in the panel.
    p.setPen(Qt::NoPen);
    p.fillPath(rounded(outer.adjusted(0.5, 0.5, -0.5, -0.5), radius + 0.5), QColor(0, 0, 0, 150));
    switch (look) {
        case Look::Idle:
            fillGradient(p, body, r, hex(0x4A4E55), hex(0x33363B));
            break;
        case Look::Hover:
            fillGradient(p, body, r, hex(0x5E636C), hex(0x42464D));
            break;
        case Look::Pressed:
            fillGradient(p, body, r, hex(0x1C1D20), hex(0x2D3035));
            break;
        case Look::Checked:
            fillGradient(p, body, r, hex(0x8A5C1C), hex(0x5C3A10));
            break;
    }
    p.save();
    p.setClipPath(body);
    if (look == Look::Pressed) {
        QLinearGradient shade(r.topLeft(), r.topLeft() + QPointF(0, std::min<qreal>(8, r.height() / 3)));
        shade.setColorAt(0, QColor(0, 0, 0, 150));
        shade.setColorAt(1, QColor(0, 0, 0, 0));
        p.fillRect(r, shade);
    } else {
        // Light catches the top edge; the lower half is slightly shaded.
        p.setPen(QPen(QColor(255, 255, 255, look == Look::Hover ? 70 : 45), 1));
        p.drawLine(QPointF(r.left() + radius, r.top() + 1.5), QPointF(r.right() - radius, r.top() + 1.5));
        QLinearGradient shade(r.topLeft(), r.bottomLeft());
        shade.setColorAt(0.55, QColor(0, 0, 0, 0));
        shade.setColorAt(1, QColor(0, 0, 0, 40));
        p.fillRect(r, shade);
    }
    if (look == Look::Checked) {
        QRadialGradient glow(r.center(), std::max(r.width(), r.height()) * 0.7);
        glow.setColorAt(0, QColor(255, 190, 80, 90));
        glow.setColorAt(1, QColor(255, 190, 80, 0));
        p.fillRect(r, glow);
    }
    p.restore();
    p.setBrush(Qt::NoBrush);
    if (look == Look::Hover || look == Look::Checked)
        p.setPen(QPen(QColor(240, 160, 48, look == Look::Checked ? 230 : 150), 1));
    else
        p.setPen(QPen(QColor(0, 0, 0, 200), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

QImage makeKey(const QImage& under, Look look, qreal radius, const Content& content) {
    QImage img = under.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    setup(p);
    const QRectF r(0, 0, img.width(), img.height());
    drawKey(p, r, look, radius);
    if (content) {
        p.save();
        if (look == Look::Pressed) p.translate(1, 1);
        content(p, r, inkFor(look), look);
        p.restore();
    }
    return img;
}

// ---------------------------------------------------------------------------------------------
// Icons (each fills the box it is given, in the given colour)

void iconPlay(QPainter& p, const QRectF& b, const QColor& c) {
    const qreal s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    QPolygonF tri;
    tri << o + QPointF(-s * 0.36, -s * 0.45) << o + QPointF(s * 0.5, 0) << o + QPointF(-s * 0.36, s * 0.45);
    QPainterPath path;
    path.addPolygon(tri);
    path.closeSubpath();
    p.setPen(QPen(c, std::max<qreal>(1, s * 0.08), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    p.drawPath(path);
}

void iconStop(QPainter& p, const QRectF& b, const QColor& c) {
    const qreal s = std::min(b.width(), b.height()) * 0.8;
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(b.center() - QPointF(s / 2, s / 2), QSizeF(s, s)), s * 0.12, s * 0.12);
}

void iconPause(QPainter& p, const QRectF& b, const QColor& c) {
    const qreal s = std::min(b.width(), b.height()) * 0.85;
    const QPointF o = b.center();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const qreal w = s * 0.3;
    p.drawRoundedRect(QRectF(o.x() - s * 0.38, o.y() - s / 2, w, s), w * 0.25, w * 0.25);
    p.drawRoundedRect(QRectF(o.x() + s * 0.38 - w, o.y() - s / 2, w, s), w * 0.25, w * 0.25);
}

void iconSpeaker(QPainter& p, const QRectF& b, const QColor& c, int waves) {
    const qreal s = std::min(b.width(), b.height());
    const QPointF o(b.center().x() - s * 0.32, b.center().y());
    QPolygonF body;
    body << o + QPointF(-s * 0.22, -s * 0.14) << o + QPointF(-s * 0.02, -s * 0.14) << o + QPointF(s * 0.22, -s * 0.36)
         << o + QPointF(s * 0.22, s * 0.36) << o + QPointF(-s * 0.02, s * 0.14) << o + QPointF(-s * 0.22, s * 0.14);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(body);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c, std::max<qreal>(1, s * 0.08), Qt::SolidLine, Qt::RoundCap));
    for (int i = 1; i <= waves; ++i) {
        const qreal rr = s * (0.18 + 0.17 * i);
        const QPointF wc = o + QPointF(s * 0.16, 0);
        p.drawArc(QRectF(wc - QPointF(rr, rr), QSizeF(2 * rr, 2 * rr)), -45 * 16, 90 * 16);
    }
}

void iconFolder(QPainter& p, const QRectF& b, const QColor& c, bool arrowUp) {
    const qreal w = b.width(), h = b.height();
    QPainterPath path;
    path.moveTo(b.left(), b.top() + h * 0.15);
    path.lineTo(b.left() + w * 0.38, b.top() + h * 0.15);
    path.lineTo(b.left() + w * 0.48, b.top() + h * 0.3);
    path.lineTo(b.right(), b.top() + h * 0.3);
    path.lineTo(b.right(), b.bottom());
    path.lineTo(b.left(), b.bottom());
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(path);
    if (arrowUp) {
        const QPointF o(b.center().x(), b.top() + h * 0.62);
        QPolygonF a;
        a << o + QPointF(0, -h * 0.26) << o + QPointF(w * 0.2, -h * 0.02) << o + QPointF(w * 0.07, -h * 0.02)
          << o + QPointF(w * 0.07, h * 0.28) << o + QPointF(-w * 0.07, h * 0.28) << o + QPointF(-w * 0.07, -h * 0.02)
          << o + QPointF(-w * 0.2, -h * 0.02);
        p.setBrush(hex(0x2A2C30));
        p.drawPolygon(a);
    }
}

void iconDisk(QPainter& p, const QRectF& b, const QColor& c) {
    const qreal s = std::min(b.width(), b.height());
    const QRectF r(b.center() - QPointF(s / 2, s / 2), QSizeF(s, s));
    QPainterPath body;
    body.moveTo(r.topLeft());
    body.lineTo(r.right() - s * 0.2, r.top());
    body.lineTo(r.right(), r.top() + s * 0.2);
    body.lineTo(r.bottomRight());
    body.lineTo(r.bottomLeft());
    body.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(body);
    p.setBrush(hex(0x2A2C30));
    p.drawRect(QRectF(r.left() + s * 0.22, r.top(), s * 0.48, s * 0.32));
    p.drawRoundedRect(QRectF(r.left() + s * 0.16, r.top() + s * 0.52, s * 0.68, s * 0.4), 1, 1);
    p.setBrush(c);
    p.drawRect(QRectF(r.left() + s * 0.5, r.top() + s * 0.05, s * 0.12, s * 0.22));
}

void iconReset(QPainter& p, const QRectF& b, const QColor& c) {
    const qreal s = std::min(b.width(), b.height());
    const QRectF r(b.center() - QPointF(s * 0.38, s * 0.38), QSizeF(s * 0.76, s * 0.76));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c, std::max<qreal>(1.5, s * 0.13), Qt::SolidLine, Qt::FlatCap));
    p.drawArc(r, 110 * 16, 290 * 16);
    const qreal a = 110 * M_PI / 180;
    const QPointF tip(r.center().x() + std::cos(a) * r.width() / 2, r.center().y() - std::sin(a) * r.height() / 2);
    QPolygonF head;
    head << tip + QPointF(-s * 0.3, -s * 0.02) << tip + QPointF(s * 0.06, -s * 0.26)
         << tip + QPointF(s * 0.08, s * 0.16);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(head);
}

void iconBell(QPainter& p, const QRectF& b, const QColor& c) {
    const qreal s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    QPainterPath bell;
    bell.moveTo(o + QPointF(-s * 0.42, s * 0.28));
    bell.cubicTo(o + QPointF(-s * 0.3, s * 0.15), o + QPointF(-s * 0.34, -s * 0.42), o + QPointF(0, -s * 0.42));
    bell.cubicTo(o + QPointF(s * 0.34, -s * 0.42), o + QPointF(s * 0.3, s * 0.15), o + QPointF(s * 0.42, s * 0.28));
    bell.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(bell);
    p.drawEllipse(o + QPointF(0, s * 0.38), s * 0.1, s * 0.1);
    p.drawEllipse(o + QPointF(0, -s * 0.45), s * 0.07, s * 0.07);
}

void iconGear(QPainter& p, const QRectF& b, const QColor& c, const QColor& hole) {
    const qreal s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal a = (i + 0.5) * 2 * M_PI / (teeth * 4) - M_PI / (teeth * 4);
        const qreal rr = (i % 4 < 2) ? s * 0.48 : s * 0.36;
        const QPointF pt = o + QPointF(std::cos(a) * rr, std::sin(a) * rr);
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(gear);
    p.setBrush(hole);
    p.drawEllipse(o, s * 0.15, s * 0.15);
}

void iconCircleGlyph(QPainter& p, const QRectF& b, const QColor& c, const QString& glyph, const QColor& back) {
    const qreal s = std::min(b.width(), b.height());
    const QRectF r(b.center() - QPointF(s / 2, s / 2), QSizeF(s, s));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(r);
    text(p, r.adjusted(0, 0, 0, 0), glyph, font(kSerif, s * 0.78, true), back);
}

void iconChevron(QPainter& p, const QRectF& b, const QColor& c, bool up) {
    const qreal w = b.width() * 0.42, h = b.height() * 0.22;
    const QPointF o = b.center();
    QPolygonF tri;
    if (up)
        tri << o + QPointF(-w, h) << o + QPointF(0, -h) << o + QPointF(w, h);
    else
        tri << o + QPointF(-w, -h) << o + QPointF(0, h) << o + QPointF(w, -h);
    p.setPen(QPen(c, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    p.drawPolygon(tri);
}

void iconCalculator(QPainter& p, const QRectF& b, const QColor& c) {
    const QRectF r = b;
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(r, 2, 2);
    p.setBrush(hex(0x2A2C30));
    p.drawRect(QRectF(r.left() + 2, r.top() + 2, r.width() - 4, r.height() * 0.26));
    const qreal kw = (r.width() - 4) / 3, kh = (r.height() * 0.62) / 3;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            p.drawRect(
                QRectF(r.left() + 2 + j * kw + 0.8, r.top() + r.height() * 0.34 + i * kh + 0.8, kw - 1.6, kh - 1.6));
}

// Note value 1/denominator: whole, half, quarter and flagged notes.
void drawNote(QPainter& p, const QRectF& box, int denominator, const QColor& c) {
    const bool whole = denominator == 1;
    const qreal headW = box.width() * (whole ? 0.62 : 0.46), headH = headW * 0.7;
    const QPointF head = whole ? QPointF(box.center().x(), box.center().y() + box.height() * 0.12)
                               : QPointF(box.left() + box.width() * 0.36, box.bottom() - headH * 0.9);
    p.save();
    p.translate(head);
    p.rotate(whole ? -12 : -22);
    const bool hollow = denominator <= 2;
    if (hollow) {
        QPainterPath ring;
        ring.addEllipse(QPointF(0, 0), headW / 2, headH / 2);
        QPainterPath hole;
        if (denominator == 1)
            hole.addEllipse(QPointF(0, 0), headW * 0.2, headH * 0.36);
        else
            hole.addEllipse(QPointF(0, 0), headW * 0.34, headH * 0.2);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPath(ring.subtracted(hole));
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(QPointF(0, 0), headW / 2, headH / 2);
    }
    p.restore();
    if (denominator == 1) return;
    const qreal stemX = head.x() + headW * 0.44;
    const qreal stemBottom = head.y() - headH * 0.12;
    const qreal stemTop = box.top() + box.height() * 0.06;
    p.setPen(QPen(c, 2.4, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(stemX, stemBottom), QPointF(stemX, stemTop));
    int flags = 0;
    for (int d = denominator; d > 4; d /= 2) ++flags;
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const qreal gap = box.height() * 0.12;
    for (int i = 0; i < flags; ++i) {
        const qreal y = stemTop + i * gap;
        QPainterPath flag;
        flag.moveTo(stemX - 1.2, y);
        flag.cubicTo(QPointF(stemX + 2, y + gap * 0.9), QPointF(stemX + 14, y + gap * 1.2),
                     QPointF(stemX + 10, y + gap * 2.6));
        flag.cubicTo(QPointF(stemX + 11, y + gap * 1.7), QPointF(stemX + 5, y + gap * 1.35),
                     QPointF(stemX - 1.2, y + gap * 1.25));
        flag.closeSubpath();
        p.drawPath(flag);
    }
}

// ---------------------------------------------------------------------------------------------
// Pendulum geometry and the wooden case

struct PendulumGeometry {
    qreal scale;  // 1 for the normal skin, 0.5 for the micro skin
    int rodW, rodH, weightW, weightH, margin, lightW, lightH;
};

PendulumGeometry geometry(qreal scale) {
    using namespace tikora::skin;
    const bool micro = scale < 1;
    return PendulumGeometry{scale,
                            micro ? kRodWidth / 2 : kRodWidth,
                            micro ? kRodHeight / 2 : kRodHeight,
                            micro ? kWeightWidth / 2 : kWeightWidth,
                            micro ? kWeightHeight / 2 : kWeightHeight,
                            micro ? kMicroPendulumMargin : kPendulumMargin,
                            micro ? kLightWidth / 2 : kLightWidth,
                            micro ? kLightHeight / 2 : kLightHeight};
}

// Distance above the pivot of the weight's top edge when the pendulum is set to this tempo, where
// the scale is read as on a mechanical metronome: tempo 40 puts the weight's top at the rod's tip,
// tempo 210 puts its bottom edge three margins above the pivot, and the weight moves evenly between.
qreal scaleHeightOf(const PendulumGeometry& g, qreal tempo) {
    const qreal span = g.rodH - 3 * g.margin - g.weightH;
    return g.rodH - (tempo - 40) / 170 * span;
}

const int kMaelzel[] = {40, 42,  44,  46,  48,  50,  52,  54,  56,  58,  60,  63,  66,  69,  72,  76,  80,  84,  88, 92,
                        96, 100, 104, 108, 112, 116, 120, 126, 132, 138, 144, 152, 160, 168, 176, 184, 192, 200, 208};

// The lamp housing at the top of the case; kind -1 is unlit, 0 red (bar), 1 green (beat),
// 2 light green (sub-beat).
void drawLamp(QPainter& p, const QRectF& r, int kind, qreal s) {
    p.save();
    QLinearGradient frame(r.topLeft(), r.bottomLeft());
    frame.setColorAt(0, pal::brassLight);
    frame.setColorAt(0.5, pal::brass);
    frame.setColorAt(1, pal::brassDark);
    p.setPen(Qt::NoPen);
    p.fillRect(r, frame);
    const QRectF glass = r.adjusted(3 * s, 3 * s, -3 * s, -3 * s);
    p.fillRect(glass, hex(0x1A1412));
    const QRectF lens = glass.adjusted(3 * s, 2.5 * s, -3 * s, -2.5 * s);
    QColor core, edge, glow;
    switch (kind) {
        case 0:
            core = hex(0xFFB09A);
            edge = hex(0xD2261A);
            glow = QColor(255, 70, 40, 150);
            break;
        case 1:
            core = hex(0xC8FFB8);
            edge = hex(0x1FA83A);
            glow = QColor(60, 230, 90, 130);
            break;
        case 2:
            core = hex(0xEAFFE0);
            edge = hex(0x7ACB72);
            glow = QColor(170, 240, 160, 80);
            break;
        default:
            core = hex(0x3A302C);
            edge = hex(0x231C1A);
            glow = QColor(0, 0, 0, 0);
            break;
    }
    if (kind >= 0) {
        QRadialGradient halo(lens.center(), glass.width() * 0.7);
        halo.setColorAt(0, glow);
        halo.setColorAt(1, QColor(glow.red(), glow.green(), glow.blue(), 0));
        p.fillRect(glass, halo);
    }
    QRadialGradient g(lens.center() - QPointF(0, lens.height() * 0.15), lens.width() * 0.6);
    g.setColorAt(0, core);
    g.setColorAt(1, edge);
    p.setBrush(g);
    p.drawRoundedRect(lens, lens.height() / 2, lens.height() / 2);
    // A reflection on the glass, lit or not.
    p.setBrush(QColor(255, 250, 240, kind >= 0 ? 120 : 40));
    p.drawRoundedRect(QRectF(lens.left() + lens.width() * 0.18, lens.top() + lens.height() * 0.14, lens.width() * 0.45,
                             lens.height() * 0.22),
                      lens.height() * 0.1, lens.height() * 0.1);
    p.restore();
}

struct CaseLayout {
    qreal cx;          // pendulum axis
    qreal pivotY;      // pivot, below the bottom edge of the view
    qreal topY;        // top of the case
    qreal bottomY;     // bottom of the case (the view's bottom edge)
    qreal topHalf;     // half width at the top
    qreal bottomHalf;  // half width at the bottom
    QRectF lamp;       // the light's rectangle
    bool names;        // tempo names beside the scale
};

qreal halfWidthAt(const CaseLayout& c, qreal y) {
    return c.topHalf + (c.bottomHalf - c.topHalf) * (y - c.topY) / (c.bottomY - c.topY);
}

QPainterPath trapezoid(const CaseLayout& c, qreal inset, qreal fromY, qreal toY) {
    QPainterPath path;
    path.moveTo(c.cx - halfWidthAt(c, fromY) + inset, fromY);
    path.lineTo(c.cx + halfWidthAt(c, fromY) - inset, fromY);
    path.lineTo(c.cx + halfWidthAt(c, toY) - inset, toY);
    path.lineTo(c.cx - halfWidthAt(c, toY) + inset, toY);
    path.closeSubpath();
    return path;
}

// The wooden pyramid case with its ivory tempo scale and the unlit lamp.
void drawCase(QPainter& p, const CaseLayout& c, const PendulumGeometry& g) {
    const qreal s = g.scale;
    const QPainterPath outline = trapezoid(c, 0, c.topY, c.bottomY);
    const QRectF bounds = outline.boundingRect();
    // Side faces darker, front face lighter: a horizontal gradient gives the pyramid its volume.
    QLinearGradient body(bounds.topLeft(), bounds.topRight());
    body.setColorAt(0, pal::woodDark);
    body.setColorAt(0.12, pal::wood);
    body.setColorAt(0.45, pal::woodLight);
    body.setColorAt(0.88, pal::wood);
    body.setColorAt(1, pal::woodDark);
    p.fillPath(outline, body);
    p.save();
    p.setClipPath(outline);
    woodGrain(p, bounds, 0x5EED1u, s);
    QLinearGradient depth(bounds.topLeft(), bounds.bottomLeft());
    depth.setColorAt(0, QColor(255, 220, 170, 30));
    depth.setColorAt(1, QColor(0, 0, 0, 50));
    p.fillRect(bounds, depth);
    p.restore();
    // Bevelled edges of the front face.
    const QPainterPath face = trapezoid(c, 7 * s, c.topY + 4 * s, c.bottomY + 2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 215, 160, 60), 1.2 * s));
    p.drawPath(face);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1.0 * s));
    p.drawPath(trapezoid(c, 8.5 * s, c.topY + 5.5 * s, c.bottomY + 2));
    p.setPen(QPen(QColor(30, 10, 0, 160), 1.0 * s));
    p.drawPath(outline);

    // Scale plate: recessed ivory trapezoid from above the slowest mark to the case's foot.
    const qreal plateTop = c.pivotY - scaleHeightOf(g, 40) - 16 * s;
    const qreal plateBottom = c.bottomY - 6 * s;
    const QPainterPath plate = trapezoid(c, 17 * s, plateTop, plateBottom);
    p.setPen(Qt::NoPen);
    p.fillPath(trapezoid(c, 15 * s, plateTop - 2 * s, plateBottom + 2 * s), hex(0x2A150A));
    QLinearGradient plateFill(QPointF(0, plateTop), QPointF(0, plateBottom));
    plateFill.setColorAt(0, hex(0xE8DBB8));
    plateFill.setColorAt(1, pal::plate);
    p.fillPath(plate, plateFill);
    p.save();
    p.setClipPath(plate);
    QLinearGradient plateShade(QPointF(0, plateTop), QPointF(0, plateTop + 6 * s));
    plateShade.setColorAt(0, QColor(60, 30, 10, 110));
    plateShade.setColorAt(1, QColor(60, 30, 10, 0));
    p.fillRect(plate.boundingRect(), plateShade);
    // The slot in which the rod runs.
    p.fillRect(QRectF(c.cx - 3 * s, plateTop, 6 * s, plateBottom - plateTop), hex(0x3A2618));
    p.restore();

    // Ticks at the classic marks, numbers on the left, tempo names on the right.
    const qreal tickIn = g.weightW / 2.0 + 4 * s;
    const QFont numberFont = font(kCond, s < 1 ? 7 : 10, true);
    qreal lastLabel = 1e9;
    const int labelled[] = {40, 50, 60, 72, 84, 96, 108, 120, 132, 144, 160, 176, 192, 208};
    const int labelledMicro[] = {40, 60, 80, 104, 126, 152, 176, 208};
    for (int t : kMaelzel) {
        const qreal y = c.pivotY - scaleHeightOf(g, t);
        bool major = false;
        if (s < 1) {
            for (int l : labelledMicro) major = major || l == t;
        } else {
            for (int l : labelled) major = major || l == t;
        }
        const qreal len = (major ? 9 : 5) * s;
        // Whole pixel rows, so that even the small face shows every tick crisply: the row the mark
        // falls in, and for the full face's numbered marks the row under it too.
        const qreal row = std::round(y), thick = major && s >= 1 ? 2 : 1;
        p.fillRect(QRectF(std::round(c.cx - tickIn - len), row, std::round(len), thick), pal::plateInk);
        p.fillRect(QRectF(c.cx + tickIn, row, std::round(len * 0.6), thick), pal::plateInk);
        if (major && std::fabs(lastLabel - y) > 9 * s) {
            const qreal right = c.cx - tickIn - len - 2 * s;
            text(p, QRectF(right - 40, y - 8, 40, 16), QString::number(t), numberFont, pal::plateInk,
                 Qt::AlignRight | Qt::AlignVCenter);
            lastLabel = y;
        }
    }
    // The five classic names, each beside the middle of its range, in one size that fits them all.
    struct Range {
        const char* name;
        int from, to;
    };
    const Range ranges[] = {
        {"Adagio", 66, 76}, {"Andante", 76, 108}, {"Moderato", 108, 120}, {"Allegro", 120, 168}, {"Presto", 168, 208}};
    const qreal nameLeft = c.cx + tickIn + 7 * s;
    const QString nameFamily = s < 1 ? kCond : kSerif;
    qreal namePx = 10 * s;
    for (const Range& r : ranges) {
        if (!c.names) break;
        const qreal y = c.pivotY - scaleHeightOf(g, (r.from + r.to) / 2.0);
        const qreal room = c.cx + halfWidthAt(c, y - 5 * s) - 19 * s - nameLeft;
        while (namePx > 4 && QFontMetricsF(font(nameFamily, namePx, false, true)).horizontalAdvance(r.name) > room)
            namePx -= 0.5;
    }
    for (const Range& r : ranges) {
        if (!c.names) break;
        const qreal y = c.pivotY - scaleHeightOf(g, (r.from + r.to) / 2.0);
        text(p, QRectF(nameLeft, y - 8, 80, 16), QString::fromLatin1(r.name), font(nameFamily, namePx, false, true),
             hex(0x6A4A2C), Qt::AlignLeft | Qt::AlignVCenter);
    }
    // Brass cap on the top of the case, then the unlit lamp set into it.
    const QRectF cap(c.cx - c.topHalf - 3 * s, c.topY - 3 * s, 2 * c.topHalf + 6 * s, 7 * s);
    QLinearGradient capFill(cap.topLeft(), cap.bottomLeft());
    capFill.setColorAt(0, pal::brassLight);
    capFill.setColorAt(1, pal::brassDark);
    p.setPen(Qt::NoPen);
    p.setBrush(capFill);
    p.drawRoundedRect(cap, 2 * s, 2 * s);
    drawLamp(p, c.lamp, -1, s);
}

// ---------------------------------------------------------------------------------------------
// Rod, weight, lights

QImage drawRod(const PendulumGeometry& g) {
    QImage img = canvas(g.rodW, g.rodH);
    QPainter p(&img);
    setup(p);
    // Blackened steel, round: dark edges, a bright line along the middle.
    QLinearGradient steel(QPointF(0, 0), QPointF(g.rodW, 0));
    steel.setColorAt(0, hex(0x15171A));
    steel.setColorAt(0.35, hex(0x4A4F57));
    steel.setColorAt(0.5, hex(0x9AA2AC));
    steel.setColorAt(0.65, hex(0x4A4F57));
    steel.setColorAt(1, hex(0x15171A));
    p.fillRect(img.rect(), steel);
    // A brass tip at the top.
    QLinearGradient tip(QPointF(0, 0), QPointF(g.rodW, 0));
    tip.setColorAt(0, pal::brassDark);
    tip.setColorAt(0.5, pal::brassLight);
    tip.setColorAt(1, pal::brassDark);
    p.fillRect(QRectF(0, 0, g.rodW, 8 * g.scale), tip);
    return img;
}

QImage drawWeight(const PendulumGeometry& g) {
    const qreal s = g.scale;
    const int w = g.weightW, h = g.weightH;
    QImage img = canvas(w, h);
    QPainter p(&img);
    setup(p);
    QLinearGradient brass(QPointF(0, 0), QPointF(w, 0));
    brass.setColorAt(0, hex(0x6A4C16));
    brass.setColorAt(0.22, pal::brass);
    brass.setColorAt(0.42, pal::brassLight);
    brass.setColorAt(0.7, pal::brass);
    brass.setColorAt(1, hex(0x5E4212));
    p.fillRect(img.rect(), brass);
    // Bevels top and bottom.
    p.fillRect(QRectF(0, 0, w, 4 * s), QColor(255, 240, 190, 70));
    p.fillRect(QRectF(0, h - 4 * s, w, 4 * s), QColor(40, 25, 0, 90));
    // The rod passes through a dark groove.
    p.fillRect(QRectF(w / 2.0 - 2.5 * s, 4 * s, 5 * s, h - 8 * s), QColor(40, 25, 5, 150));
    // Tempo mark: the top edge, where the scale is read, with a pointer at each side.
    const qreal markY = 1.2 * s;
    p.setPen(QPen(hex(0x2A1A06), 1.6 * s));
    p.drawLine(QPointF(0, markY), QPointF(w, markY));
    QPolygonF left, right;
    left << QPointF(0, 0) << QPointF(8 * s, 0) << QPointF(0, 8 * s);
    right << QPointF(w, 0) << QPointF(w - 8 * s, 0) << QPointF(w, 8 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(hex(0x2A1A06));
    p.drawPolygon(left);
    p.drawPolygon(right);
    p.setPen(QPen(QColor(30, 18, 2, 200), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
    return img;
}

// ---------------------------------------------------------------------------------------------
// The main window's panels

constexpr int kCenterW = 566, kCenterH = 387;

CaseLayout mainCase() {
    const PendulumGeometry g = geometry(1);
    CaseLayout c;
    c.cx = kCenterW / 2 + 1;
    c.pivotY = kCenterH + 2 * g.margin;
    c.topY = 44;
    c.bottomY = kCenterH;
    c.topHalf = 50;
    c.bottomHalf = 165;
    c.lamp = QRectF((kCenterW - g.lightW) / 2 + 2, 56, g.lightW, g.lightH);
    c.names = true;
    return c;
}

void panelBase(QPainter& p, const QRectF& r) {
    fillGradient(p, rounded(r, 0), r, pal::panelTop, pal::panelBottom);
    p.setPen(QPen(QColor(255, 255, 255, 18), 1));
    p.drawLine(QPointF(r.left(), r.top() + 0.5), QPointF(r.right(), r.top() + 0.5));
    p.setPen(QPen(QColor(0, 0, 0, 120), 1));
    p.drawLine(QPointF(r.left(), r.bottom() - 0.5), QPointF(r.right(), r.bottom() - 0.5));
}

void panelHeader(QPainter& p, const QRectF& r, const QString& title) {
    engraved(p, r, title, font(kCond, 15, true), pal::ivoryDim);
    p.setPen(QPen(QColor(240, 160, 48, 120), 1));
    p.drawLine(QPointF(r.left() + 10, r.bottom() + 2.5), QPointF(r.right() - 10, r.bottom() + 2.5));
}

QImage drawTopPanel() {
    QImage img = canvas(1016, 110);
    QPainter p(&img);
    setup(p);
    panelBase(p, QRectF(0, 0, 1016, 110));
    drawWell(p, QRectF(212, 17, 61, 76), 5);   // load, save
    drawWell(p, QRectF(425, 17, 52, 76), 5);   // tempo up, down, slider
    drawWell(p, QRectF(479, 17, 61, 76), 5);   // time signature
    drawWell(p, QRectF(665, 17, 79, 76), 5);   // reset, alarm
    drawWell(p, QRectF(746, 17, 125, 76), 5);  // settings, help, about
    // Read-outs: beat unit and tempo, practice time.
    for (const QRectF& r : {QRectF(275, 17, 149, 76), QRectF(543, 17, 119, 76)}) {
        drawWell(p, r, 6, pal::display);
        p.save();
        p.setClipRect(r);
        QRadialGradient g(r.center(), r.width() * 0.7);
        g.setColorAt(0, QColor(240, 160, 48, 18));
        g.setColorAt(1, QColor(240, 160, 48, 0));
        p.fillRect(r, g);
        p.restore();
    }
    text(p, QRectF(326, 20, 96, 11), QStringLiteral("TEMPO"), font(kCond, 9, true), pal::caption,
         Qt::AlignLeft | Qt::AlignTop);
    text(p, QRectF(548, 20, 110, 11), QStringLiteral("PRACTICE TIME"), font(kCond, 9, true), pal::caption,
         Qt::AlignLeft | Qt::AlignTop);
    return img;
}

QImage drawLeftPanel() {
    QImage img = canvas(225, 600);
    QPainter p(&img);
    setup(p);
    panelBase(p, QRectF(0, 0, 225, 600));
    panelHeader(p, QRectF(24, 8, 177, 28), QStringLiteral("QUICK START"));
    const QFont cap = font(kCond, 9, true);
    text(p, QRectF(36, 56, 141, 11), QStringLiteral("METER"), cap, pal::caption, Qt::AlignLeft | Qt::AlignVCenter);
    drawWell(p, QRectF(33, 67, 147, 61), 5);
    drawWell(p, QRectF(33, 125, 147, 127), 5);
    text(p, QRectF(15, 266, 182, 11), QStringLiteral("TAP FOUR TIMES"), cap, pal::caption,
         Qt::AlignLeft | Qt::AlignVCenter);
    drawWell(p, QRectF(12, 278, 188, 59), 6);
    // The memo: a plain card, one colour inside the memo's own rectangle.
    text(p, QRectF(25, 341, 187, 11), QStringLiteral("MEMO"), cap, pal::caption, Qt::AlignLeft | Qt::AlignVCenter);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawRoundedRect(QRectF(20, 354, 197, 224), 5, 5);
    p.setBrush(hex(0xC9BFA6));
    p.drawRoundedRect(QRectF(21, 352, 195, 223), 4, 4);
    p.setBrush(pal::memo);
    p.drawRoundedRect(QRectF(22, 353, 193, 221), 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(25, 355, 187, 216), pal::memo);
    return img;
}

// The labels of the practice tools are drawn into the panel; the values are the program's.
QImage drawRightPanel() {
    QImage img = canvas(225, 600);
    QPainter p(&img);
    setup(p);
    panelBase(p, QRectF(0, 0, 225, 600));
    panelHeader(p, QRectF(24, 8, 177, 28), QStringLiteral("PRACTICE TOOLS"));
    const QFont title = font(kCond, 13, true);
    const QFont body = font(kSans, 10);
    const QColor bodyInk = pal::ivoryDim;
    auto valueBox = [&](int x, int y) { drawWell(p, QRectF(x - 3, y - 2, 28, 17), 3, pal::display); };
    auto separator = [&](qreal y) {
        p.setPen(QPen(QColor(0, 0, 0, 110), 1));
        p.drawLine(QPointF(14, y + 0.5), QPointF(211, y + 0.5));
        p.setPen(QPen(QColor(255, 255, 255, 16), 1));
        p.drawLine(QPointF(14, y + 1.5), QPointF(211, y + 1.5));
    };
    auto titleAt = [&](qreal y, const QString& s) {
        engraved(p, QRectF(68, y, 150, 21), s, title, pal::ivory, Qt::AlignLeft | Qt::AlignVCenter);
    };
    auto words = [&](qreal x, qreal y, const QString& s, bool rightAligned) {
        text(p, rightAligned ? QRectF(x - 80, y - 2, 80, 17) : QRectF(x, y - 2, 100, 17), s, body, bodyInk,
             (rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    };
    auto number = [&](qreal y, const QString& n) {
        text(p, QRectF(12, y, 22, 21), n, font(kSans, 12, true), QColor(240, 160, 48, 160));
    };
    // Tool 1: play some bars, rest some.
    number(70, QStringLiteral("1"));
    titleAt(70, QStringLiteral("Play and rest"));
    valueBox(92, 94);
    words(88, 94, QStringLiteral("play"), true);
    words(118, 94, QStringLiteral("beats"), false);
    valueBox(134, 116);
    words(130, 116, QStringLiteral("then rest"), true);
    words(160, 116, QStringLiteral("beats"), false);
    separator(137);
    // Tool 2: raise the tempo.
    number(146, QStringLiteral("2"));
    titleAt(146, QStringLiteral("Speed up"));
    valueBox(69, 172);
    words(65, 172, QStringLiteral("+"), true);
    words(95, 172, QStringLiteral("BPM"), false);
    valueBox(69, 192);
    words(65, 192, QStringLiteral("every"), true);
    words(95, 192, QStringLiteral("bars"), false);
    separator(208);
    // Tool 3: stop after a number of bars.
    number(227, QStringLiteral("3"));
    text(p, QRectF(68, 211, 140, 12), QStringLiteral("STOP AFTER BARS OR TIME"), font(kCond, 9, true), pal::caption,
         Qt::AlignLeft | Qt::AlignVCenter);
    separator(258);
    // Tool 4: drum beat.
    number(267, QStringLiteral("4"));
    titleAt(267, QStringLiteral("Drum beat"));
    drawWell(p, QRectF(65, 290, 133, 34), 5);
    separator(326);
    // Tool 5: MIDI file with transposition.
    number(335, QStringLiteral("5"));
    titleAt(335, QStringLiteral("MIDI file"));
    drawWell(p, QRectF(65, 359, 133, 34), 5);
    valueBox(147, 403);
    words(143, 403, QStringLiteral("transpose"), true);
    words(173, 403, QStringLiteral("st"), false);
    separator(428);
    // Keys worth knowing while both hands are on the instrument.
    drawWell(p, QRectF(14, 444, 197, 142), 6);
    text(p, QRectF(24, 450, 180, 14), QStringLiteral("KEYS"), font(kCond, 9, true), pal::caption,
         Qt::AlignLeft | Qt::AlignVCenter);
    const char* keys[][2] = {{"Space", "start / stop"},      {"Enter", "tap tempo"},
                             {"[   ]", "tempo \u2212 / +"},  {"1 \u2026 6", "time signature"},
                             {"\u2191 \u2193", "transpose"}, {"F8", "small window"}};
    for (int i = 0; i < 6; ++i) {
        const qreal y = 468 + i * 19;
        text(p, QRectF(24, y, 52, 16), QString::fromUtf8(keys[i][0]), font(kSans, 10, true), pal::amber,
             Qt::AlignLeft | Qt::AlignVCenter);
        text(p, QRectF(80, y, 128, 16), QString::fromUtf8(keys[i][1]), body, bodyInk, Qt::AlignLeft | Qt::AlignVCenter);
    }
    return img;
}

QImage drawCenterPanel() {
    QImage img = canvas(kCenterW, kCenterH);
    QPainter p(&img);
    setup(p);
    const QRectF r(0, 0, kCenterW, kCenterH);
    fillGradient(p, rounded(r, 0), r, hex(0x1C1E21), hex(0x2A2C30));
    // Warm light behind the metronome.
    QRadialGradient glow(QPointF(kCenterW / 2.0, 220), 300);
    glow.setColorAt(0, QColor(255, 180, 110, 38));
    glow.setColorAt(1, QColor(255, 180, 110, 0));
    p.fillRect(r, glow);
    drawCase(p, mainCase(), geometry(1));
    return img;
}

QImage drawBottomPanel() {
    QImage img = canvas(566, 213, pal::console);
    QPainter p(&img);
    setup(p);
    // The foot of the wooden case and its moulding.
    const CaseLayout c = mainCase();
    QPainterPath foot;
    foot.moveTo(c.cx - c.bottomHalf, 0);
    foot.lineTo(c.cx + c.bottomHalf, 0);
    foot.lineTo(c.cx + c.bottomHalf + 2, 7);
    foot.lineTo(c.cx - c.bottomHalf - 2, 7);
    foot.closeSubpath();
    QLinearGradient woodFill(QPointF(c.cx - c.bottomHalf, 0), QPointF(c.cx + c.bottomHalf, 0));
    woodFill.setColorAt(0, pal::woodDark);
    woodFill.setColorAt(0.45, pal::woodLight);
    woodFill.setColorAt(1, pal::woodDark);
    p.fillPath(foot, woodFill);
    const QRectF moulding(c.cx - c.bottomHalf - 16, 7, 2 * c.bottomHalf + 32, 6);
    fillGradient(p, rounded(moulding, 2), moulding, pal::wood, pal::woodDark);
    p.save();
    p.setClipRect(moulding.united(foot.boundingRect()));
    woodGrain(p, moulding.united(foot.boundingRect()), 0xF007u, 1);
    p.restore();
    QLinearGradient shadow(QPointF(0, 13), QPointF(0, 17));
    shadow.setColorAt(0, QColor(0, 0, 0, 110));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(QRectF(moulding.left(), 13, moulding.width(), 4), shadow);
    // Transport recess.
    p.setPen(Qt::NoPen);
    p.setBrush(pal::tray);
    p.drawRoundedRect(QRectF(158, 17, 249, 81), 8, 8);
    p.setPen(QPen(QColor(0, 0, 0, 150), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(158.5, 17.5, 248, 80), 8, 8);
    p.setPen(QPen(QColor(255, 255, 255, 20), 1));
    p.drawLine(QPointF(166, 98.5), QPointF(399, 98.5));
    const QFont cap = font(kCond, 9, true);
    text(p, QRectF(140, 113, 66, 22), QStringLiteral("VOLUME"), cap, pal::caption, Qt::AlignRight | Qt::AlignVCenter);
    text(p, QRectF(424, 140, 100, 14), QStringLiteral("SMALL WINDOW"), cap, pal::caption,
         Qt::AlignLeft | Qt::AlignVCenter);
    return img;
}

// ---------------------------------------------------------------------------------------------
// Button contents

// Icon left, word right.
Content iconAndWord(std::function<void(QPainter&, const QRectF&, const QColor&)> icon, const QString& word,
                    qreal iconSize) {
    return [=](QPainter& p, const QRectF& r, const QColor& ink, Look) {
        const QFont f = font(kCond, 11, true);
        const qreal tw = QFontMetricsF(f).horizontalAdvance(word);
        const qreal total = iconSize + 5 + tw;
        const qreal x = r.center().x() - total / 2;
        icon(p, QRectF(x, r.center().y() - iconSize / 2, iconSize, iconSize), ink);
        text(p, QRectF(x + iconSize + 5, r.top(), tw + 2, r.height()), word, f, ink, Qt::AlignLeft | Qt::AlignVCenter);
    };
}

// Icon above, small word below.
Content iconOverWord(std::function<void(QPainter&, const QRectF&, const QColor&)> icon, const QString& word,
                     qreal iconSize, qreal wordPx) {
    return [=](QPainter& p, const QRectF& r, const QColor& ink, Look) {
        const qreal top = r.top() + (r.height() - iconSize - wordPx - 3) / 2;
        icon(p, QRectF(r.center().x() - iconSize / 2, top, iconSize, iconSize), ink);
        text(p, QRectF(r.left(), top + iconSize + 1, r.width(), wordPx + 3), word, font(kCond, wordPx, true), ink);
    };
}

Content fraction(int upper, int lower) {
    return [=](QPainter& p, const QRectF& r, const QColor& ink, Look) {
        const QFont f = font(kSerif, 22, true);
        text(p, QRectF(r.left(), r.top() + 3, r.width(), r.height() / 2 - 3), QString::number(upper), f, ink);
        text(p, QRectF(r.left(), r.center().y(), r.width(), r.height() / 2 - 3), QString::number(lower), f, ink);
        p.setPen(QPen(ink, 1.6));
        p.drawLine(QPointF(r.left() + 8, r.center().y() + 0.5), QPointF(r.right() - 8, r.center().y() + 0.5));
    };
}

Content tempoPreset(int bpm, const QString& name) {
    return [=](QPainter& p, const QRectF& r, const QColor& ink, Look look) {
        const QColor number = look == Look::Idle ? pal::amber : ink;
        text(p, QRectF(r.left() + 8, r.top(), 40, r.height()), QString::number(bpm), font(kSans, 16, true), number,
             Qt::AlignLeft | Qt::AlignVCenter);
        text(p, QRectF(r.left() + 50, r.top(), r.width() - 58, r.height()), name, font(kSerif, 14, false, true), ink,
             Qt::AlignLeft | Qt::AlignVCenter);
    };
}

// A field that shows a file name written by the program: empty but for a chooser mark.
Content fileField() {
    return [](QPainter& p, const QRectF& r, const QColor& ink, Look) {
        const QRectF mark(r.right() - 16, r.top() + 6, 10, r.height() - 12);
        p.setPen(QPen(QColor(0, 0, 0, 120), 1));
        p.drawLine(QPointF(mark.left() - 4.5, r.top() + 5), QPointF(mark.left() - 4.5, r.bottom() - 5));
        iconChevron(p, mark, ink, false);
    };
}

// ---------------------------------------------------------------------------------------------
// Output

struct Output {
    QString dir;
    std::map<std::string, QImage> pictures;  // in drawing order is not needed; names are unique
    std::vector<std::string> order;

    void add(const std::string& name, const QImage& img) {
        if (pictures.count(name)) {
            std::fprintf(stderr, "generate_skin: %s drawn twice\n", name.c_str());
            std::exit(1);
        }
        pictures[name] = img;
        order.push_back(name);
    }
};

QImage crop(const QImage& panel, const QRect& r) { return panel.copy(r); }

QImage flat(int w, int h, const QColor& c) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(c);
    return img;
}

// A key's pressed picture; a key that can stay down (pause, alarm) shows the same picture while
// checked, so it glows instead of only sinking in.
void addThree(Output& out, const std::string& base, const QImage& under, qreal radius, const Content& content,
              bool latching = false) {
    out.add(base + "Initial.png", makeKey(under, Look::Idle, radius, content));
    out.add(base + "Mouse.png", makeKey(under, Look::Hover, radius, content));
    out.add(base + "Pressed.png", makeKey(under, latching ? Look::Checked : Look::Pressed, radius, content));
}

// A shape on white: opaque where the drawing covers at least half a pixel, pure white elsewhere;
// no pixel inside the shape is ever pure white.
QImage keyed(const QImage& shape) {
    QImage out(shape.size(), QImage::Format_RGB888);
    const QImage src = shape.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        uchar* o = out.scanLine(y);
        for (int x = 0; x < src.width(); ++x) {
            int r = 255, g = 255, b = 255;
            if (qAlpha(in[x]) >= 128) {
                r = qRed(in[x]);
                g = qGreen(in[x]);
                b = qBlue(in[x]);
                if (r == 255 && g == 255 && b == 255) b = 254;
            }
            o[3 * x] = uchar(r);
            o[3 * x + 1] = uchar(g);
            o[3 * x + 2] = uchar(b);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// The small window

struct SmallLayout {
    qreal s;
    int w, h, ctrlH, offset;
    std::string prefix;
};

SmallLayout smallLayout(bool micro) {
    using namespace tikora::skin;
    SmallLayout l;
    l.s = micro ? 0.5 : 1.0;
    l.w = micro ? kSmallWidth / 2 : kSmallWidth;
    l.h = micro ? kSmallHeight / 2 : kSmallHeight;
    l.ctrlH = micro ? kSmallCtrlHeight / 2 : kSmallCtrlHeight;
    l.offset = int(kSmallOffsetX * l.s);
    l.prefix = micro ? "05" : "";
    return l;
}

CaseLayout smallCase(const SmallLayout& l) {
    const PendulumGeometry g = geometry(l.s);
    const int viewW = l.w + 2 * l.offset;
    CaseLayout c;
    c.cx = viewW / 2 + 1 - l.offset;
    c.pivotY = l.h + 2 * g.margin;
    c.topY = 3 * l.s;
    c.bottomY = l.h;
    c.topHalf = 60 * l.s;
    c.bottomHalf = 134 * l.s;
    c.lamp = QRectF((viewW - g.lightW) / 2 + 2 - l.offset, 0, g.lightW, g.lightH);
    c.names = true;
    return c;
}

QImage drawSmallBackground(const SmallLayout& l) {
    QImage img = canvas(l.w, l.h);
    QPainter p(&img);
    setup(p);
    drawCase(p, smallCase(l), geometry(l.s));
    return img;
}

// Control positions of the small window relative to its control area.
struct SmallControls {
    QRect play, stop, pause, speaker, volume, maximize, close;
};

SmallControls smallControls(const SmallLayout& l) {
    const bool micro = l.s < 1;
    auto sc = [&](int v) { return int(v * l.s); };
    SmallControls c;
    c.play = QRect(sc(32), sc(352) - l.h, sc(82), sc(73));
    c.stop = QRect(sc(113), sc(352) - l.h, sc(73), sc(73));
    c.pause = QRect(sc(186) + (micro ? 1 : 0), sc(352) - l.h, sc(82) - (micro ? 1 : 0), sc(73));
    c.speaker = QRect(micro ? 72 : 197, (micro ? 215 : 434) - l.h, sc(59), sc(41));
    c.volume = QRect((micro ? 80 : 212) - l.offset, (micro ? 220 : 444) - l.h, sc(109), sc(22));
    c.maximize = QRect(micro ? 109 : 257, (micro ? 227 : 471) - l.h, 14, 14);
    c.close = QRect(micro ? 125 : 273, (micro ? 227 : 471) - l.h, 14, 14);
    return c;
}

QImage drawSmallCtrlArea(const SmallLayout& l) {
    const qreal s = l.s;
    QImage img = canvas(l.w, l.ctrlH);
    QPainter p(&img);
    setup(p);
    const SmallControls c = smallControls(l);
    // Console: square top (the case stands on it), rounded bottom.
    QPainterPath body;
    const qreal rad = 16 * s;
    body.moveTo(0, 0);
    body.lineTo(l.w, 0);
    body.lineTo(l.w, l.ctrlH - rad);
    body.quadTo(l.w, l.ctrlH, l.w - rad, l.ctrlH);
    body.lineTo(rad, l.ctrlH);
    body.quadTo(0, l.ctrlH, 0, l.ctrlH - rad);
    body.closeSubpath();
    p.fillPath(body, pal::console);
    p.setPen(QPen(QColor(0, 0, 0, 160), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(body);
    // Transport recess as in the main window.
    const QRect keys = c.play.united(c.pause);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::tray);
    p.drawRoundedRect(QRectF(keys).adjusted(-4 * s, -2 * s, 4 * s, 4 * s), 8 * s, 8 * s);
    if (s >= 1) {
        text(p, QRectF(c.volume.left(), c.volume.bottom() + 2, c.volume.width(), 12), QStringLiteral("VOLUME"),
             font(kCond, 8, true), pal::caption);
    }
    return img;
}

// ---------------------------------------------------------------------------------------------
// Everything

void drawVolume(Output& out, const std::string& prefix, qreal s) {
    const int w = int(109 * s), h = int(22 * s);
    QImage back = flat(w, h, pal::console);
    {
        QPainter p(&back);
        setup(p);
        // A wedge that grows to the right: louder is bigger.
        const qreal mid = h / 2.0;
        QPolygonF wedge;
        wedge << QPointF(3 * s, mid + 1.5 * s) << QPointF(w - 3 * s, mid - 6 * s) << QPointF(w - 3 * s, mid + 6 * s)
              << QPointF(3 * s, mid + 2.5 * s);
        QLinearGradient g(QPointF(0, 0), QPointF(w, 0));
        g.setColorAt(0, hex(0x3C3F45));
        g.setColorAt(1, hex(0x8A6A36));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPolygon(wedge);
        p.setBrush(pal::tray);
        p.drawRoundedRect(QRectF(3 * s, mid - 1.5 * s, w - 6 * s, 3 * s), 1.5 * s, 1.5 * s);
    }
    out.add(prefix + "VolumeBack.png", back);
    const int tw = s < 1 ? 4 : 9;
    QImage thumb = flat(tw, h, pal::console);
    {
        QPainter p(&thumb);
        setup(p);
        const QRectF r(0.5, 0.5, tw - 1, h - 1);
        QLinearGradient g(r.topLeft(), r.topRight());
        g.setColorAt(0, pal::brassDark);
        g.setColorAt(0.45, pal::brassLight);
        g.setColorAt(1, pal::brassDark);
        p.setPen(QPen(QColor(0, 0, 0, 180), 1));
        p.setBrush(g);
        p.drawRoundedRect(r, 2 * s, 2 * s);
        p.setPen(QPen(hex(0x3A2A0A), 1));
        p.drawLine(QPointF(tw / 2.0, 4 * s), QPointF(tw / 2.0, h - 4 * s));
    }
    out.add(prefix + "VolumeSlider.png", thumb);
}

void drawTransport(Output& out, const std::string& prefix, qreal s, int pauseW) {
    const qreal radius = 7 * s;
    const qreal iconSize = 26 * s;
    auto word = [&](const QString& w) -> QString { return s < 1 ? QString() : w; };
    auto make = [&](std::function<void(QPainter&, const QRectF&, const QColor&)> icon,
                    const QString& label) -> Content {
        if (label.isEmpty())
            return [=](QPainter& p, const QRectF& r, const QColor& ink, Look) {
                icon(p, QRectF(r.center().x() - iconSize / 2, r.center().y() - iconSize / 2, iconSize, iconSize), ink);
            };
        return iconOverWord(icon, label, iconSize, 10);
    };
    const Content play = make(iconPlay, word(QStringLiteral("PLAY")));
    const Content stop = make(iconStop, word(QStringLiteral("STOP")));
    const Content pause = make(iconPause, word(QStringLiteral("PAUSE")));
    const int h = int(73 * s);
    addThree(out, prefix + "Play", flat(int(82 * s), h, pal::tray), radius, play);
    addThree(out, prefix + "Stop", flat(int(73 * s), h, pal::tray), radius, stop);
    addThree(out, prefix + "Pause", flat(pauseW, h, pal::tray), radius, pause, true);
}

void drawAll(Output& out) {
    const QImage top = drawTopPanel();
    const QImage left = drawLeftPanel();
    const QImage center = drawCenterPanel();
    const QImage bottom = drawBottomPanel();
    const QImage right = drawRightPanel();
    out.add("ControllsArea.png", top);
    out.add("QuickStartArea.png", left);
    out.add("MetronomeArea.png", center);
    out.add("MetronomeCtrlArea.png", bottom);
    out.add("PracticeToolsArea.png", right);

    // Beat unit, drawn on the read-out it sits in.
    for (int d : {1, 2, 4, 8, 16, 32, 64}) {
        QImage img = crop(top, QRect(278, 20, 43, 70)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&img);
        setup(p);
        drawNote(p, QRectF(6, 9, 30, 52), d, pal::ivory);
        p.end();
        out.add("1-" + std::to_string(d) + ".png", img);
    }

    // Product name and maker's badge: idle and under the pointer.
    for (bool hover : {false, true}) {
        QImage img = crop(top, QRect(8, 34, 198, 39)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&img);
        setup(p);
        const QColor ink = hover ? hex(0xFFF4DA) : pal::ivory;
        // A little metronome in front of the name.
        QPolygonF pyr;
        pyr << QPointF(10, 35) << QPointF(17, 4) << QPointF(25, 4) << QPointF(32, 35);
        QLinearGradient g(QPointF(10, 0), QPointF(32, 0));
        g.setColorAt(0, pal::woodDark);
        g.setColorAt(0.5, hover ? hex(0xD08040) : pal::woodLight);
        g.setColorAt(1, pal::woodDark);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPolygon(pyr);
        p.setPen(QPen(hex(0x202226), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(21, 33), QPointF(27, 7));
        p.setPen(Qt::NoPen);
        p.setBrush(pal::brassLight);
        p.drawRect(QRectF(22.5, 14, 6, 6));
        QFont f = font(kSerif, 27, true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 3);
        text(p, QRectF(42, 0, 156, 39).translated(0, 1), QStringLiteral("TIKORA"), f, QColor(0, 0, 0, 160),
             Qt::AlignLeft | Qt::AlignVCenter);
        text(p, QRectF(42, 0, 156, 39), QStringLiteral("TIKORA"), f, ink, Qt::AlignLeft | Qt::AlignVCenter);
        if (hover) {
            p.setPen(QPen(pal::amber, 1.5));
            p.drawLine(QPointF(44, 34.5), QPointF(180, 34.5));
        }
        p.end();
        out.add(hover ? "TikoraMouse.png" : "TikoraInitial.png", img);
    }
    for (bool hover : {false, true}) {
        QImage img = crop(top, QRect(878, 29, 129, 54)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&img);
        setup(p);
        const QRectF badge(3.5, 3.5, 122, 47);
        p.setPen(QPen(hover ? pal::amberBright : pal::brass, 1.5));
        p.setBrush(hover ? hex(0x3A3326) : hex(0x2A2824));
        p.drawRoundedRect(badge, 23, 23);
        // Swing arc with a weight: the maker's mark.
        p.setPen(QPen(hover ? pal::amberBright : pal::brass, 2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(14, 12, 34, 34), 30 * 16, 120 * 16);
        p.drawLine(QPointF(31, 44), QPointF(40, 16));
        p.setPen(Qt::NoPen);
        p.setBrush(hover ? pal::amberBright : pal::brassLight);
        p.drawEllipse(QPointF(37, 25), 3.5, 3.5);
        text(p, QRectF(52, 6, 68, 28), QStringLiteral("ZEL"), font(kSerif, 22, true),
             hover ? hex(0xFFF4DA) : pal::ivory);
        text(p, QRectF(52, 31, 68, 14), QStringLiteral("about"), font(kCond, 10, false, true), pal::caption);
        p.end();
        out.add(hover ? "ZelLogoMouse.png" : "ZelLogoInitial.png", img);
    }

    // Keys of the top bar, each on the pixels of the panel under it.
    struct Key {
        const char* base;
        QRect at;
        Content content;
    };
    auto bell = [](QPainter& p, const QRectF& b, const QColor& c) { iconBell(p, b, c); };
    const std::vector<Key> topKeys = {
        {"Load", QRect(215, 20, 55, 35),
         iconOverWord([](QPainter& p, const QRectF& b, const QColor& c) { iconFolder(p, b, c, true); },
                      QStringLiteral("LOAD"), 16, 9)},
        {"Save", QRect(215, 55, 55, 35), iconOverWord(iconDisk, QStringLiteral("SAVE"), 16, 9)},
        {"ArrowUp", QRect(428, 20, 23, 35),
         [](QPainter& p, const QRectF& r, const QColor& c, Look) {
             iconChevron(p, r.adjusted(3, 6, -3, -6), c, true);
         }},
        {"ArrowDown", QRect(428, 55, 23, 35),
         [](QPainter& p, const QRectF& r, const QColor& c, Look) {
             iconChevron(p, r.adjusted(3, 6, -3, -6), c, false);
         }},
        {"ArrowDown2", QRect(451, 20, 23, 70),
         [](QPainter& p, const QRectF& r, const QColor& c, Look) {
             // "BPM" stacked, a small horizontal slider, and an arrow down: it drops the tempo slider
             // out under the tempo.
             const QFont letters = font(kCond, 9, true);
             const char* bpm[] = {"B", "P", "M"};
             for (int i = 0; i < 3; ++i)
                 text(p, QRectF(r.left(), r.top() + 4 + i * 9, r.width(), 10), QString::fromLatin1(bpm[i]), letters, c);
             const qreal y = r.top() + 41;
             p.setPen(QPen(c, 1.5, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
             for (int i = 0; i < 3; ++i) {
                 const qreal x = r.left() + 5 + i * (r.width() - 10) / 2;
                 p.drawLine(QPointF(x, y + 4), QPointF(x, y + 6));
             }
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(r.center().x() - 2.5, y - 5, 5, 10), 1.5, 1.5);
             iconChevron(p, QRectF(r.left() + 4, r.bottom() - 18, r.width() - 8, 12), c, false);
         }},
        {"TimeSignature", QRect(482, 20, 55, 70),
         [](QPainter& p, const QRectF& r, const QColor&, Look) {
             // The program writes numerator and denominator in white; only the bar between is ours.
             p.setPen(QPen(QColor(255, 255, 255, 70), 1));
             p.drawLine(QPointF(r.left() + 14, r.center().y() + 0.5), QPointF(r.right() - 14, r.center().y() + 0.5));
         }},
        {"Reset", QRect(668, 20, 73, 35), iconAndWord(iconReset, QStringLiteral("RESET"), 15)},
        {"Alarm", QRect(668, 55, 73, 35), iconAndWord(bell, QStringLiteral("ALARM"), 15)},
        {"Settings", QRect(749, 20, 119, 35),
         iconAndWord([](QPainter& p, const QRectF& b, const QColor& c) { iconGear(p, b, c, hex(0x3A3D43)); },
                     QStringLiteral("SETTINGS"), 16)},
        {"Help", QRect(749, 55, 56, 35),
         iconAndWord([](QPainter& p, const QRectF& b,
                        const QColor& c) { iconCircleGlyph(p, b, c, QStringLiteral("?"), hex(0x2E3035)); },
                     QStringLiteral("HELP"), 14)},
        {"About", QRect(805, 55, 63, 35),
         iconAndWord([](QPainter& p, const QRectF& b,
                        const QColor& c) { iconCircleGlyph(p, b, c, QStringLiteral("i"), hex(0x2E3035)); },
                     QStringLiteral("ABOUT"), 14)},
    };
    for (const Key& k : topKeys) {
        const qreal radius = k.at.width() < 30 ? 3 : 5;
        addThree(out, k.base, crop(top, k.at), radius, k.content, std::string(k.base) == "Alarm");
    }
    // Choice lists: the program writes the items; drum beats amber, MIDI files teal.
    for (int kind = 0; kind < 2; ++kind) {
        const std::string base = kind == 0 ? "UseDrumBeatList" : "UseMidiFileList";
        const QColor accent = kind == 0 ? pal::amber : hex(0x45B8B0);
        const char* states[] = {"Initial", "Mouse", "Pressed"};
        for (int st = 0; st < 3; ++st) {
            QImage img = flat(127, 22,
                              st == 0   ? hex(0x2C2F34)
                              : st == 1 ? hex(0x41454D)
                                        : (kind == 0 ? hex(0x6E4712) : hex(0x1E5652)));
            QPainter p(&img);
            p.fillRect(QRect(0, 0, 3, 22), st == 0 ? QColor(accent.red(), accent.green(), accent.blue(), 90) : accent);
            p.fillRect(QRect(0, 21, 127, 1), QColor(0, 0, 0, 140));
            p.fillRect(QRect(0, 0, 127, 1), QColor(255, 255, 255, st == 0 ? 14 : 30));
            p.fillRect(QRect(126, 0, 1, 22), QColor(0, 0, 0, 140));
            p.end();
            out.add(base + states[st] + ".png", img);
        }
    }

    // Bottom panel: transport (shared with the small window), speaker, minimise, volume.
    drawTransport(out, "", 1, 82);
    addThree(
        out, "Speaker", crop(bottom, QRect(336, 102, 59, 41)), 5,
        [](QPainter& p, const QRectF& r, const QColor& c, Look) { iconSpeaker(p, r.adjusted(8, 6, -8, -6), c, 2); });
    addThree(out, "Minimize", crop(bottom, QRect(405, 140, 14, 14)), 2,
             [](QPainter& p, const QRectF& r, const QColor& c, Look) {
                 p.setPen(Qt::NoPen);
                 p.setBrush(c);
                 p.drawRect(QRectF(r.left() + 4, r.bottom() - 6, 6, 2));
             });
    drawVolume(out, "", 1);

    // Quick start column.
    const struct {
        const char* base;
        int x, upper, lower;
    } meters[] = {{"2-4", 36, 2, 4}, {"3-4", 72, 3, 4}, {"4-4", 108, 4, 4}, {"6-8", 144, 6, 8}};
    for (const auto& m : meters)
        addThree(out, m.base, crop(left, QRect(m.x, 70, 33, 55)), 5, fraction(m.upper, m.lower));
    const struct {
        const char* base;
        int y, bpm;
        const char* name;
    } tempi[] = {{"72-Adagio", 128, 72, "Adagio"},
                 {"88-Andante", 159, 88, "Andante"},
                 {"120-Allegro", 190, 120, "Allegro"},
                 {"176-Presto", 221, 176, "Presto"}};
    for (const auto& t : tempi)
        addThree(out, t.base, crop(left, QRect(36, t.y, 141, 28)), 5, tempoPreset(t.bpm, QString::fromLatin1(t.name)));
    addThree(out, "TapTempo", crop(left, QRect(15, 281, 182, 53)), 8,
             [](QPainter& p, const QRectF& r, const QColor& c, Look look) {
                 // Four beats, then the words.
                 for (int i = 0; i < 4; ++i) {
                     p.setPen(Qt::NoPen);
                     p.setBrush(i == 0 || look == Look::Pressed ? c : QColor(c.red(), c.green(), c.blue(), 110));
                     p.drawEllipse(QPointF(r.left() + 20 + i * 10, r.center().y()), i == 0 ? 4 : 3, i == 0 ? 4 : 3);
                 }
                 text(p, QRectF(r.left() + 58, r.top(), r.width() - 64, r.height()), QStringLiteral("TAP TEMPO"),
                      font(kCond, 20, true), c, Qt::AlignLeft | Qt::AlignVCenter);
             });

    // Practice tools column.
    const struct { int n, y; } boxes[] = {{1, 70}, {2, 146}, {5, 227}, {3, 267}, {4, 335}};
    for (const auto& b : boxes) {
        const QImage under = crop(right, QRect(40, b.y, 21, 21));
        auto tick = [](QPainter& p, const QRectF& r, const QColor&, Look look) {
            if (look != Look::Checked) return;
            p.setPen(QPen(hex(0x2A1A06), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(QPolygonF() << QPointF(r.left() + 5.5, r.top() + 10.5)
                                       << QPointF(r.left() + 9, r.top() + 14.5)
                                       << QPointF(r.left() + 15.5, r.top() + 6));
        };
        auto checkLook = [&](Look look) {
            QImage img = under.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QPainter p(&img);
            setup(p);
            const QRectF r(0, 0, 21, 21);
            if (look == Look::Checked) {
                p.setPen(QPen(QColor(0, 0, 0, 180), 1));
                QLinearGradient g(r.topLeft(), r.bottomLeft());
                g.setColorAt(0, pal::amberBright);
                g.setColorAt(1, hex(0xC07818));
                p.setBrush(g);
                p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), 4, 4);
            } else {
                p.setPen(QPen(look == Look::Hover ? pal::amber : hex(0x6A6458), 1.5));
                p.setBrush(look == Look::Hover ? hex(0x2C2A26) : pal::display);
                p.drawRoundedRect(r.adjusted(2, 2, -2, -2), 4, 4);
            }
            tick(p, r, QColor(), look);
            return img;
        };
        const std::string base = "CheckBox" + std::to_string(b.n);
        out.add(base + "1Initial.png", checkLook(Look::Idle));
        out.add(base + "1Mouse.png", checkLook(Look::Hover));
        out.add(base + "2Initial.png", checkLook(Look::Checked));
    }
    addThree(out, "TempoCalculator", crop(right, QRect(68, 224, 127, 28)), 5,
             iconAndWord(iconCalculator, QStringLiteral("CALCULATOR"), 13));
    addThree(out, "UseDrumBeat", crop(right, QRect(68, 293, 127, 28)), 5, fileField());
    addThree(out, "UseMidiFile", crop(right, QRect(68, 362, 127, 28)), 5, fileField());

    // Pendulum pictures, normal and micro.
    for (qreal s : {1.0, 0.5}) {
        const PendulumGeometry g = geometry(s);
        const std::string prefix = s < 1 ? "05" : "";
        out.add(prefix + "Pendulum.bmp", keyed(drawRod(g)));
        out.add(prefix + "Weight.bmp", keyed(drawWeight(g)));
        const char* names[] = {"MTopRed.png", "MTopGreen.png", "MTopGreenLight.png"};
        for (int kind = 0; kind < 3; ++kind) {
            QImage img = canvas(g.lightW, g.lightH);
            QPainter p(&img);
            setup(p);
            drawLamp(p, QRectF(0, 0, g.lightW, g.lightH), kind, s);
            p.end();
            out.add(prefix + names[kind], img);
        }
    }

    // Small window, normal and micro.
    for (bool micro : {false, true}) {
        const SmallLayout l = smallLayout(micro);
        out.add(l.prefix + "MetronomeSmall.bmp", keyed(drawSmallBackground(l)));
        out.add(l.prefix + "MetronomeSmallCtrlArea.bmp", keyed(drawSmallCtrlArea(l)));
        const SmallControls c = smallControls(l);
        addThree(out, l.prefix + "Speaker2", flat(c.speaker.width(), c.speaker.height(), pal::console), 5 * l.s,
                 [s = l.s](QPainter& p, const QRectF& r, const QColor& col, Look) {
                     iconSpeaker(p, r.adjusted(8 * s, 6 * s, -8 * s, -6 * s), col, 2);
                 });
        if (micro) {
            drawTransport(out, "05", 0.5, c.pause.width());
            drawVolume(out, "05", 0.5);
        } else {
            addThree(out, "Maximize", flat(14, 14, pal::console), 2,
                     [](QPainter& p, const QRectF& r, const QColor& col, Look) {
                         p.setPen(QPen(col, 1.2));
                         p.setBrush(Qt::NoBrush);
                         p.drawRect(QRectF(r.left() + 3.5, r.top() + 3.5, 7, 7));
                         p.fillRect(QRectF(r.left() + 3, r.top() + 3, 8, 2.5), col);
                     });
            addThree(out, "Close", flat(14, 14, pal::console), 2,
                     [](QPainter& p, const QRectF& r, const QColor& col, Look) {
                         p.setPen(QPen(col, 1.6, Qt::SolidLine, Qt::RoundCap));
                         p.drawLine(QPointF(r.left() + 4, r.top() + 4), QPointF(r.right() - 4, r.bottom() - 4));
                         p.drawLine(QPointF(r.right() - 4, r.top() + 4), QPointF(r.left() + 4, r.bottom() - 4));
                     });
        }
    }

    // About box.
    {
        QImage img = canvas(400, 250);
        QPainter p(&img);
        setup(p);
        const QRectF r(0, 0, 400, 250);
        fillGradient(p, rounded(r, 0), r, hex(0x2A2C30), hex(0x18191C));
        QRadialGradient glow(QPointF(110, 140), 170);
        glow.setColorAt(0, QColor(255, 180, 110, 50));
        glow.setColorAt(1, QColor(255, 180, 110, 0));
        p.fillRect(r, glow);
        const PendulumGeometry g = geometry(0.5);
        CaseLayout c;
        c.cx = 110;
        c.pivotY = 250 + 2 * g.margin;
        c.topY = 70;
        c.bottomY = 250;
        c.topHalf = 22;
        c.bottomHalf = 72;
        c.lamp = QRectF(110 - g.lightW / 2.0, 78, g.lightW, g.lightH);
        c.names = false;
        drawCase(p, c, g);
        drawLamp(p, c.lamp, 1, 0.5);
        // The rod leaning to one side, with its weight.
        p.save();
        p.translate(c.cx, c.pivotY);
        p.rotate(18);
        p.drawImage(QPointF(-g.rodW / 2.0, -g.rodH), drawRod(g));
        p.drawImage(QPointF(-g.weightW / 2.0, -g.rodH + 40), drawWeight(g));
        p.restore();
        QFont title = font(kSerif, 40, true);
        title.setLetterSpacing(QFont::AbsoluteSpacing, 4);
        engraved(p, QRectF(190, 60, 200, 50), QStringLiteral("TIKORA"), title, pal::ivory,
                 Qt::AlignLeft | Qt::AlignVCenter);
        p.setPen(QPen(pal::amber, 1.5));
        p.drawLine(QPointF(193, 112), QPointF(385, 112));
        text(p, QRectF(193, 118, 200, 20), QStringLiteral("metronome"), font(kSerif, 16, false, true), pal::ivoryDim,
             Qt::AlignLeft | Qt::AlignVCenter);
        text(p, QRectF(193, 140, 200, 40), QStringLiteral("for musicians who practise"), font(kSans, 11), pal::caption,
             Qt::AlignLeft | Qt::AlignTop);
        p.end();
        out.add("AboutBox.png", img);
    }
}

// ---------------------------------------------------------------------------------------------
// Review pictures: the main and the small window put together, and the contact sheet

QImage transparentWhite(const QImage& keyedImg) {
    QImage img = keyedImg.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0xFFFFFF) == 0xFFFFFF) line[x] = 0;
    }
    return img;
}

// The pendulum as the program draws it: pivot 2 x margin under the view, weight by tempo.
void drawPendulumPreview(QPainter& p, const Output& out, const std::string& prefix, qreal viewW, qreal viewH,
                         qreal tempo, qreal angleDeg) {
    const QImage rod = transparentWhite(out.pictures.at(prefix + "Pendulum.bmp"));
    const QImage weight = transparentWhite(out.pictures.at(prefix + "Weight.bmp"));
    const PendulumGeometry g = geometry(prefix.empty() ? 1.0 : 0.5);
    const qreal position = (tempo - 40) / 170;
    const qreal top = g.rodH - (g.rodH - g.weightH - 3 * g.margin) * position;
    p.save();
    p.translate(int(viewW) / 2 + 1, viewH + 2 * g.margin);
    p.rotate(angleDeg);
    p.drawImage(QPointF(-g.rodW / 2, -g.rodH), rod);
    p.drawImage(QPointF(-g.weightW / 2, -top), weight);
    p.restore();
}

QImage mainWindowPreview(const Output& out) {
    QImage img = canvas(1016, 710, Qt::black);
    QPainter p(&img);
    auto pic = [&](const char* n) -> const QImage& { return out.pictures.at(n); };
    p.drawImage(0, 0, pic("ControllsArea.png"));
    p.drawImage(0, 110, pic("QuickStartArea.png"));
    p.drawImage(225, 110, pic("MetronomeArea.png"));
    p.drawImage(225, 497, pic("MetronomeCtrlArea.png"));
    p.drawImage(791, 110, pic("PracticeToolsArea.png"));
    struct At {
        const char* name;
        int x, y;
    };
    const At top[] = {{"TikoraInitial.png", 8, 34},       {"ZelLogoInitial.png", 878, 29},
                      {"SaveInitial.png", 215, 55},       {"LoadMouse.png", 215, 20},
                      {"ArrowUpInitial.png", 428, 20},    {"ArrowDownPressed.png", 428, 55},
                      {"ArrowDown2Initial.png", 451, 20}, {"TimeSignatureInitial.png", 482, 20},
                      {"ResetInitial.png", 668, 20},      {"AlarmPressed.png", 668, 55},
                      {"SettingsInitial.png", 749, 20},   {"HelpInitial.png", 749, 55},
                      {"AboutInitial.png", 805, 55},      {"1-4.png", 278, 20}};
    for (const At& a : top) p.drawImage(a.x, a.y, pic(a.name));
    const At bottom[] = {{"PlayMouse.png", 164, 21},    {"StopInitial.png", 246, 21},
                         {"PauseInitial.png", 319, 21}, {"SpeakerInitial.png", 336, 102},
                         {"VolumeBack.png", 211, 113},  {"MinimizeInitial.png", 405, 140}};
    for (const At& a : bottom) p.drawImage(225 + a.x, 497 + a.y, pic(a.name));
    p.drawImage(225 + 211 + 70, 497 + 113, pic("VolumeSlider.png"));
    const At leftAt[] = {
        {"2-4Initial.png", 36, 70},          {"3-4Initial.png", 72, 70},         {"4-4Pressed.png", 108, 70},
        {"6-8Mouse.png", 144, 70},           {"72-AdagioInitial.png", 36, 128},  {"88-AndanteMouse.png", 36, 159},
        {"120-AllegroInitial.png", 36, 190}, {"176-PrestoInitial.png", 36, 221}, {"TapTempoInitial.png", 15, 281}};
    for (const At& a : leftAt) p.drawImage(a.x, 110 + a.y, pic(a.name));
    const At rightAt[] = {{"CheckBox12Initial.png", 40, 70},   {"CheckBox21Mouse.png", 40, 146},
                          {"CheckBox51Initial.png", 40, 227},  {"CheckBox32Initial.png", 40, 267},
                          {"CheckBox41Initial.png", 40, 335},  {"TempoCalculatorInitial.png", 68, 224},
                          {"UseDrumBeatInitial.png", 68, 293}, {"UseMidiFileMouse.png", 68, 362}};
    for (const At& a : rightAt) p.drawImage(791 + a.x, 110 + a.y, pic(a.name));
    // What the program writes itself, in the fonts a form would likely use.
    text(p, QRectF(324, 20, 101, 70), QStringLiteral("= 120"), font(kSans, 30, true), pal::ivory,
         Qt::AlignLeft | Qt::AlignVCenter);
    text(p, QRectF(540, 20, 125, 70), QStringLiteral("03:27"), font(kSans, 30, true), pal::ivory);
    text(p, QRectF(482, 20, 55, 70), QStringLiteral("3\n4"), font(kSerif, 22, true), Qt::white);
    text(p, QRectF(791 + 92, 110 + 94, 22, 13), QStringLiteral("3"), font(kSans, 10, true), pal::amber);
    text(p, QRectF(791 + 134, 110 + 116, 22, 13), QStringLiteral("1"), font(kSans, 10, true), pal::amber);
    text(p, QRectF(791 + 69, 110 + 172, 22, 13), QStringLiteral("5"), font(kSans, 10, true), pal::amber);
    text(p, QRectF(791 + 69, 110 + 192, 22, 13), QStringLiteral("4"), font(kSans, 10, true), pal::amber);
    text(p, QRectF(791 + 147, 110 + 403, 22, 13), QStringLiteral("0"), font(kSans, 10, true), pal::amber);
    text(p, QRectF(791 + 68, 110 + 293, 110, 28), QStringLiteral("Rock 1"), font(kSans, 11), pal::ivory);
    text(p, QRectF(30, 110 + 360, 180, 60), QStringLiteral("Scales in thirds,\nthen the etude."), font(kSans, 12),
         hex(0x2A2420), Qt::AlignLeft | Qt::AlignTop);
    p.save();
    p.translate(225, 110);
    p.setClipRect(QRect(0, 0, 566, 387));
    drawPendulumPreview(p, out, "", 566, 387, 120, 14);
    p.drawImage((566 - 44) / 2 + 2, 56, pic("MTopRed.png"));
    p.restore();
    return img;
}

QImage smallWindowPreview(const Output& out, bool micro) {
    const SmallLayout l = smallLayout(micro);
    const int viewW = l.w + 2 * l.offset;
    QImage img = canvas(viewW, l.h + l.ctrlH, hex(0x5A6A7A));
    QPainter p(&img);
    p.drawImage(l.offset, 0, transparentWhite(out.pictures.at(l.prefix + "MetronomeSmall.bmp")));
    p.drawImage(l.offset, l.h, transparentWhite(out.pictures.at(l.prefix + "MetronomeSmallCtrlArea.bmp")));
    const SmallControls c = smallControls(l);
    auto at = [&](const std::string& name, const QRect& r, bool offset = true) {
        p.drawImage(r.left() + (offset ? l.offset : 0), l.h + r.top(), out.pictures.at(name));
    };
    at(l.prefix + "PlayInitial.png", c.play);
    at(l.prefix + "StopInitial.png", c.stop);
    at(l.prefix + "PausePressed.png", c.pause);
    at(l.prefix + "Speaker2Initial.png", c.speaker);
    at(l.prefix + "VolumeBack.png", c.volume);
    at(l.prefix + "VolumeSlider.png", c.volume.translated(int(30 * l.s), 0));
    at("MaximizeInitial.png", c.maximize);
    at("CloseMouse.png", c.close);
    p.setClipRect(QRect(0, 0, viewW, l.h));
    drawPendulumPreview(p, out, l.prefix, viewW, l.h, 66, -20);
    p.drawImage((viewW - geometry(l.s).lightW) / 2 + 2, 0, out.pictures.at(l.prefix + "MTopGreen.png"));
    return img;
}

bool writeContactSheet(const Output& out, const QString& path) {
    struct Item {
        QString label;
        QImage img;
    };
    std::vector<Item> items;
    items.push_back({QStringLiteral("main window (put together)"), mainWindowPreview(out)});
    items.push_back({QStringLiteral("small window"), smallWindowPreview(out, false)});
    items.push_back({QStringLiteral("micro window"), smallWindowPreview(out, true)});
    for (const std::string& name : out.order) {
        const QImage& img = out.pictures.at(name);
        items.push_back(
            {QString::fromStdString(name) + QStringLiteral("  %1x%2").arg(img.width()).arg(img.height()), img});
    }
    const int sheetW = 1700, pad = 10, labelH = 14;
    const QFont labelFont = font(kCond, 10);
    const QFontMetricsF fm(labelFont);
    // Shelf packing: left to right, a new shelf when a row is full.
    struct Placed {
        int x, y;
    };
    std::vector<Placed> placed;
    int x = pad, y = pad, shelf = 0;
    for (const Item& it : items) {
        const int w = std::max(it.img.width(), int(fm.horizontalAdvance(it.label)) + 4);
        const int h = it.img.height() + labelH + 4;
        if (x + w + pad > sheetW && x > pad) {
            x = pad;
            y += shelf + pad;
            shelf = 0;
        }
        placed.push_back({x, y});
        x += w + pad;
        shelf = std::max(shelf, h);
    }
    const int sheetH = y + shelf + pad;
    QImage sheet = canvas(sheetW, sheetH, hex(0x7A7F86));
    QPainter p(&sheet);
    setup(p);
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& it = items[i];
        p.fillRect(QRect(placed[i].x - 1, placed[i].y - 1, it.img.width() + 2, it.img.height() + 2), Qt::black);
        p.drawImage(placed[i].x, placed[i].y, it.img);
        text(p, QRectF(placed[i].x, placed[i].y + it.img.height() + 2, 400, labelH), it.label, labelFont, Qt::black,
             Qt::AlignLeft | Qt::AlignVCenter);
    }
    p.end();
    return sheet.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: generate_skin <pics folder> <contact sheet .png> <font folder>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString picsDir = QString::fromLocal8Bit(argv[1]);
    const QString sheetPath = QString::fromLocal8Bit(argv[2]);
    if (!loadFonts(QString::fromLocal8Bit(argv[3]))) return 1;
    if (!QDir().mkpath(picsDir)) {
        std::fprintf(stderr, "generate_skin: cannot create %s\n", qPrintable(picsDir));
        return 1;
    }

    Output out;
    drawAll(out);

    // Every picture of the table is drawn at its size, and nothing else is.
    std::set<std::string> listed;
    bool ok = true;
    for (const auto& pic : kSkinPictures) {
        const std::string name(pic.name);
        listed.insert(name);
        auto it = out.pictures.find(name);
        if (it == out.pictures.end()) {
            std::fprintf(stderr, "generate_skin: %s is not drawn\n", name.c_str());
            ok = false;
            continue;
        }
        if (it->second.width() != pic.width || it->second.height() != pic.height) {
            std::fprintf(stderr, "generate_skin: %s is %dx%d, expected %dx%d\n", name.c_str(), it->second.width(),
                         it->second.height(), pic.width, pic.height);
            ok = false;
        }
    }
    for (const auto& [name, img] : out.pictures) {
        if (!listed.count(name)) {
            std::fprintf(stderr, "generate_skin: %s is drawn but not listed\n", name.c_str());
            ok = false;
        }
    }
    if (!ok) return 1;

    QString list;
    for (const auto& pic : kSkinPictures) {
        const std::string name(pic.name);
        const QString file = picsDir + QLatin1Char('/') + QString::fromStdString(name);
        const QImage& img = out.pictures.at(name);
        const bool saved = pic.kind == PictureKind::KeyedBmp
                               ? img.convertToFormat(QImage::Format_RGB888).save(file, "BMP")
                               : img.convertToFormat(QImage::Format_RGB32).save(file, "PNG");
        if (!saved) {
            std::fprintf(stderr, "generate_skin: cannot write %s\n", qPrintable(file));
            return 1;
        }
        list += QString::fromStdString(name) + QLatin1Char('\n');
    }
    QFile dir(
        picsDir + QLatin1Char('/') +
        QString::fromUtf8(tikora::skin::kPictureListName.data(), qsizetype(tikora::skin::kPictureListName.size())));
    if (!dir.open(QIODevice::WriteOnly | QIODevice::Truncate) || dir.write(list.toUtf8()) < 0) {
        std::fprintf(stderr, "generate_skin: cannot write the picture list\n");
        return 1;
    }
    dir.close();
    if (!writeContactSheet(out, sheetPath)) {
        std::fprintf(stderr, "generate_skin: cannot write %s\n", qPrintable(sheetPath));
        return 1;
    }
    return 0;
}
