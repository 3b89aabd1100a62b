// Draws every picture of the rescue programs in one look and writes the
// resource lists that compile them in:
//   imagegen OUTDIR
// writes OUTDIR/images/... , OUTDIR/frame_images.qrc (the console's pictures)
// and OUTDIR/start_images.qrc (the two full-screen start images), and the
// desktop program's Windows icon OUTDIR/deskrestore.ico.
// Window backgrounds are opaque rectangles: a frameless window drawn on a
// display without a compositor shows black wherever its picture is
// transparent.
#include <QBuffer>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include "product_version.h"

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// The palette.
const QColor kInk(0x18, 0x18, 0x18);       // main area, big-button backing
const QColor kPanel(0x1f, 0x23, 0x28);     // wizard page panel
const QColor kTitleTop(0x34, 0x3a, 0x42);  // title strip
const QColor kTitleBottom(0x22, 0x26, 0x2c);
const QColor kColumn(0xe4, 0xe7, 0xeb);  // wizard step column
const QColor kOrange(240, 141, 60);
const QColor kOrangeLight(255, 196, 120);
const QColor kEdge(0x4a, 0x52, 0x5c);
const QColor kGlyph(0xf2, 0xf2, 0xf2);
const QColor kBlue(0x3a, 0x8f, 0xd8);
const QColor kRed(0xd8, 0x3b, 0x32);
const QColor kYellow(0xf2, 0xb6, 0x2b);
const QColor kGreen(0x3c, 0xa8, 0x5a);

enum class State { Normal, Hover, Pressed, Disabled, Focus };

class Writer {
public:
    explicit Writer(const QString& root) : m_root(root) {}

    bool save(const QImage& image, const QString& name, QStringList& list)
    {
        const QString file = m_root + "/images/" + name;
        QDir().mkpath(QFileInfo(file).path());
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "imagegen: cannot write %s\n", qPrintable(file));
            m_ok = false;
        }
        list << name;
        return m_ok;
    }

    bool writeQrc(const QString& qrcName, const QStringList& names, const QString& prefixOf)
    {
        QFile qrc(m_root + "/" + qrcName);
        if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return m_ok = false;
        QTextStream out(&qrc);
        out << "<RCC>\n  <qresource prefix=\"/\">\n";
        for (const QString& name : names)
            out << "    <file alias=\"" << prefixOf << name << "\">images/" << name << "</file>\n";
        out << "  </qresource>\n</RCC>\n";
        return m_ok;
    }

    // A Windows icon file of PNG pictures, one per size (what Windows
    // Vista and later read), outside the resource lists.
    bool saveIcon(const QList<QImage>& sizes, const QString& name)
    {
        QList<QByteArray> pictures;
        for (const QImage& image : sizes) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            pictures << png;
        }
        QByteArray ico;
        QDataStream out(&ico, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::LittleEndian);
        out << quint16(0) << quint16(1) << quint16(pictures.size());
        quint32 offset = 6 + 16 * pictures.size();
        for (int i = 0; i < pictures.size(); ++i) {
            const int side = sizes[i].width();
            // 256 is written as 0.
            out << quint8(side >= 256 ? 0 : side) << quint8(side >= 256 ? 0 : side) << quint8(0) << quint8(0)
                << quint16(1) << quint16(32) << quint32(pictures[i].size()) << offset;
            offset += pictures[i].size();
        }
        for (const QByteArray& png : pictures)
            ico.append(png);
        QFile file(m_root + "/" + name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(ico) != ico.size()) {
            std::fprintf(stderr, "imagegen: cannot write %s\n", qPrintable(file.fileName()));
            m_ok = false;
        }
        return m_ok;
    }

    bool ok() const { return m_ok; }

private:
    QString m_root;
    bool m_ok = true;
};

QImage canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void antialias(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QFont font(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("WenQuanYi Zen Hei"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// A hard disk seen from the front, in the box (x, y, w, h).
void drawDisk(QPainter& p, const QRectF& r, const QColor& body)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, body.lighter(135));
    g.setColorAt(1, body.darker(120));
    p.setPen(QPen(body.darker(170), 1.5));
    p.setBrush(g);
    p.drawRoundedRect(r, r.height() * 0.18, r.height() * 0.18);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen.lighter(130));
    const qreal d = r.height() * 0.18;
    p.drawEllipse(QRectF(r.right() - 2.2 * d, r.center().y() - d / 2, d, d));
    p.setPen(QPen(body.darker(150), 1.2));
    for (int i = 0; i < 4; ++i) {
        const qreal x = r.left() + r.width() * (0.12 + 0.07 * i);
        p.drawLine(QPointF(x, r.top() + r.height() * 0.3), QPointF(x, r.bottom() - r.height() * 0.3));
    }
}

// An image file: a page with a folded corner.
void drawImageFile(QPainter& p, const QRectF& r)
{
    const qreal fold = r.width() * 0.3;
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(0xfa, 0xfa, 0xfa));
    g.setColorAt(1, QColor(0xc8, 0xcd, 0xd3));
    p.setPen(QPen(QColor(0x70, 0x78, 0x82), 1.5));
    p.setBrush(g);
    p.drawPath(path);
    p.setBrush(QColor(0xa8, 0xb0, 0xb8));
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    corner.closeSubpath();
    p.drawPath(corner);
    p.setPen(QPen(QColor(0x8a, 0x92, 0x9c), 2));
    for (int i = 0; i < 3; ++i) {
        const qreal y = r.top() + r.height() * (0.45 + 0.15 * i);
        p.drawLine(QPointF(r.left() + r.width() * 0.18, y), QPointF(r.right() - r.width() * 0.18, y));
    }
}

// A thick arrow from `from` to `to`.
void drawArrow(QPainter& p, QPointF from, QPointF to, qreal width, const QColor& colour)
{
    QLineF line(from, to);
    const qreal head = width * 2.2;
    QLineF shaft(from, line.pointAt(1 - head / line.length()));
    QPainterPath path;
    QLineF normal = shaft.normalVector();
    normal.setLength(width / 2);
    const QPointF n = normal.p2() - normal.p1();
    path.moveTo(shaft.p1() + n);
    path.lineTo(shaft.p2() + n);
    path.lineTo(shaft.p2() + n * 2.4);
    path.lineTo(to);
    path.lineTo(shaft.p2() - n * 2.4);
    path.lineTo(shaft.p2() - n);
    path.lineTo(shaft.p1() - n);
    path.closeSubpath();
    p.setPen(QPen(colour.darker(140), 1));
    p.setBrush(colour);
    p.drawPath(path);
}

// The opaque body of every window: a title strip of 40 pixels over `body`.
void drawWindow(QPainter& p, int w, int h, const QColor& body)
{
    p.fillRect(0, 0, w, h, body);
    QLinearGradient strip(0, 0, 0, 40);
    strip.setColorAt(0, kTitleTop);
    strip.setColorAt(1, kTitleBottom);
    p.fillRect(0, 0, w, 40, strip);
    p.fillRect(0, 40, w, 2, kOrange);
    p.setPen(QPen(kEdge, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
}

QImage mainBackground()
{
    QImage image = canvas(800, 600);
    QPainter p(&image);
    antialias(p);
    drawWindow(p, 800, 600, kInk);
    // A soft band under the hover description and above the Quit button.
    QLinearGradient band(0, 470, 0, 600);
    band.setColorAt(0, kInk);
    band.setColorAt(1, QColor(0x2a, 0x2f, 0x36));
    p.fillRect(1, 470, 798, 129, band);
    p.fillRect(60, 368, 680, 1, kEdge);
    return image;
}

QImage stepBackground()
{
    QImage image = canvas(800, 600);
    QPainter p(&image);
    antialias(p);
    drawWindow(p, 800, 600, kPanel);
    QLinearGradient column(0, 42, 210, 42);
    column.setColorAt(0, kColumn);
    column.setColorAt(1, kColumn.darker(106));
    p.fillRect(1, 42, 209, 557, column);
    p.fillRect(210, 42, 1, 557, kEdge);
    // The row of wizard buttons.
    p.fillRect(211, 480, 588, 1, kEdge);
    p.fillRect(1, 480, 209, 1, kColumn.darker(125));
    return image;
}

QImage fileBrowserBackground()
{
    QImage image = canvas(800, 600);
    QPainter p(&image);
    antialias(p);
    drawWindow(p, 800, 600, kPanel);
    return image;
}

QImage messageBackground()
{
    const int w = 380, h = 250;
    QImage image = canvas(w, h);
    QPainter p(&image);
    antialias(p);
    p.fillRect(0, 0, w, h, kPanel);
    QLinearGradient strip(0, 0, 0, 50);
    strip.setColorAt(0, kTitleTop);
    strip.setColorAt(1, kTitleBottom);
    p.fillRect(0, 0, w, 50, strip);
    p.fillRect(0, 50, w, 2, kOrange);
    p.fillRect(20, 185, w - 40, 1, kEdge);
    p.setPen(QPen(kOrange, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, w - 2, h - 2));
    return image;
}

// The screen behind the console's windows.
QImage screenBackground(int w, int h)
{
    QImage image = canvas(w, h);
    QPainter p(&image);
    antialias(p);
    QRadialGradient g(QPointF(w * 0.5, h * 0.42), w * 0.75);
    g.setColorAt(0, QColor(0x2e, 0x34, 0x3c));
    g.setColorAt(1, QColor(0x0e, 0x10, 0x12));
    p.fillRect(0, 0, w, h, g);
    return image;
}

QImage startImage(bool chinese)
{
    const int w = 1440, h = 900;
    QImage image = screenBackground(w, h);
    QPainter p(&image);
    antialias(p);
    drawDisk(p, QRectF(w / 2 - 170, 300, 140, 60), QColor(0x6a, 0x74, 0x80));
    drawArrow(p, QPointF(w / 2 - 20, 330), QPointF(w / 2 + 40, 330), 14, kOrange);
    drawImageFile(p, QRectF(w / 2 + 60, 280, 80, 100));
    p.setPen(kGlyph);
    p.setFont(font(56, true));
    p.drawText(QRectF(0, 420, w, 80), Qt::AlignCenter,
               QStringLiteral("Sorvik Tavimo Recover " QUARN_PRODUCT_VERSION));
    p.setFont(font(26));
    p.setPen(kOrangeLight);
    const QString line = chinese ? QString::fromUtf8("正在启动恢复系统，请稍候……")
                                 : QStringLiteral("Starting the rescue system, please wait...");
    p.drawText(QRectF(0, 510, w, 50), Qt::AlignCenter, line);
    return image;
}

QImage logo()
{
    QImage image = canvas(220, 30);
    QPainter p(&image);
    antialias(p);
    p.setPen(QPen(kOrange, 2));
    p.setBrush(kOrange.darker(150));
    p.drawEllipse(QRectF(2, 4, 22, 22));
    p.setBrush(kTitleBottom);
    p.drawEllipse(QRectF(10, 12, 6, 6));
    p.setFont(font(17, true));
    p.setPen(kGlyph);
    p.drawText(QRectF(32, 0, 188, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Sorvik Tavimo Recover"));
    return image;
}

// A 28 x 24 title-bar button: a glyph over a state plate.
QImage titleButton(State state, const std::function<void(QPainter&, const QColor&)>& glyph,
                   const QColor& hoverPlate)
{
    QImage image = canvas(28, 24);
    QPainter p(&image);
    antialias(p);
    QColor plate = Qt::transparent;
    if (state == State::Hover)
        plate = hoverPlate;
    else if (state == State::Pressed)
        plate = hoverPlate.darker(140);
    if (plate.alpha()) {
        p.setPen(Qt::NoPen);
        p.setBrush(plate);
        p.drawRoundedRect(QRectF(1, 1, 26, 22), 4, 4);
    }
    glyph(p, kGlyph);
    return image;
}

void closeGlyph(QPainter& p, const QColor& c)
{
    p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9, 7), QPointF(19, 17));
    p.drawLine(QPointF(19, 7), QPointF(9, 17));
}

void minimizeGlyph(QPainter& p, const QColor& c)
{
    p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 16), QPointF(20, 16));
}

void helpGlyph(QPainter& p, const QColor& c)
{
    p.setPen(c);
    p.setFont(font(17, true));
    p.drawText(QRectF(0, 0, 28, 24), Qt::AlignCenter, QStringLiteral("?"));
}

void infoGlyph(QPainter& p, const QColor& c)
{
    p.setPen(QPen(c, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(6, 3, 16, 16));
    p.setPen(c);
    p.setFont(font(13, true));
    p.drawText(QRectF(6, 3, 16, 16), Qt::AlignCenter, QStringLiteral("i"));
}

void homeGlyph(QPainter& p, const QColor& c)
{
    p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPolygonF roof;
    roof << QPointF(6, 12) << QPointF(14, 5) << QPointF(22, 12);
    p.drawPolyline(roof);
    p.drawRect(QRectF(9, 12, 10, 7));
    p.fillRect(QRectF(13, 15, 2.5, 4), c);
}

// A 140 x 140 tile of the main window with its picture.
QImage bigButton(State state, const std::function<void(QPainter&)>& picture)
{
    QImage image = canvas(140, 140);
    QPainter p(&image);
    antialias(p);
    QLinearGradient g(0, 0, 0, 140);
    QColor top(0x33, 0x39, 0x41), bottom(0x22, 0x26, 0x2b), border = kEdge;
    qreal borderWidth = 1.5;
    if (state == State::Hover) {
        top = top.lighter(125);
        bottom = bottom.lighter(125);
        border = kOrange;
        borderWidth = 3;
    } else if (state == State::Pressed) {
        std::swap(top, bottom);
        border = kOrange.darker(130);
        borderWidth = 3;
    }
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(border, borderWidth));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 136, 136), 14, 14);
    if (state == State::Pressed)
        p.translate(1.5, 1.5);
    picture(p);
    return image;
}

void backupPicture(QPainter& p)
{
    drawDisk(p, QRectF(18, 30, 62, 30), QColor(0x7a, 0x84, 0x90));
    drawArrow(p, QPointF(56, 68), QPointF(76, 96), 9, kOrange);
    drawImageFile(p, QRectF(78, 66, 44, 56));
}

void restorePicture(QPainter& p)
{
    drawImageFile(p, QRectF(20, 20, 44, 56));
    drawArrow(p, QPointF(62, 70), QPointF(82, 96), 9, kBlue.lighter(115));
    drawDisk(p, QRectF(60, 96, 62, 30), QColor(0x7a, 0x84, 0x90));
}

void clonePicture(QPainter& p)
{
    drawDisk(p, QRectF(16, 28, 68, 32), QColor(0x7a, 0x84, 0x90));
    drawArrow(p, QPointF(50, 66), QPointF(78, 90), 9, kGreen.lighter(115));
    drawDisk(p, QRectF(56, 94, 68, 32), QColor(0x8a, 0x7a, 0x60));
}

// A gear with a wrench across it: the desktop's tools.
void toolsPicture(QPainter& p)
{
    const QPointF centre(62, 66);
    const int teeth = 8;
    QPolygonF gear;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal angle =
            (i / 4 + (i % 4 < 2 ? 0.0 : 0.5) + (i % 4 == 1 || i % 4 == 2 ? 0.12 : 0.0)) * 2 * M_PI / teeth;
        const qreal radius = (i % 4 == 1 || i % 4 == 2) ? 40 : 31;
        gear << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    p.setPen(QPen(QColor(0x5a, 0x62, 0x6c), 1.5));
    p.setBrush(QColor(0x9a, 0xa4, 0xb0));
    p.drawPolygon(gear);
    p.setBrush(QColor(0x2a, 0x2f, 0x35));
    p.drawEllipse(centre, 12, 12);
    // The wrench: a handle from lower left to upper right, an open jaw.
    p.save();
    p.translate(78, 78);
    p.rotate(-45);
    p.setPen(QPen(kOrange.darker(140), 1.5));
    p.setBrush(kOrange);
    p.drawRoundedRect(QRectF(-6, -4, 52, 12), 5, 5);
    QPainterPath jaw;
    jaw.addEllipse(QPointF(-8, 2), 15, 15);
    QPainterPath mouth;
    mouth.addRect(QRectF(-26, -4, 18, 12));
    p.drawPath(jaw.subtracted(mouth));
    p.restore();
}

// A text button; its caption comes from the widget.
QImage textButton(int w, int h, State state)
{
    QImage image = canvas(w, h);
    QPainter p(&image);
    antialias(p);
    QColor top(0x4a, 0x53, 0x60), bottom(0x2c, 0x32, 0x3a), border(0x62, 0x6c, 0x78);
    switch (state) {
    case State::Hover:
        top = kOrangeLight;
        bottom = kOrange;
        border = kOrange.darker(120);
        break;
    case State::Pressed:
        top = kOrange.darker(135);
        bottom = kOrange.darker(110);
        border = kOrange.darker(160);
        break;
    case State::Disabled:
        top = QColor(0x5a, 0x5a, 0x5a);
        bottom = QColor(0x48, 0x48, 0x48);
        border = QColor(0x66, 0x66, 0x66);
        break;
    case State::Focus:
        border = kOrange;
        break;
    case State::Normal:
        break;
    }
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(border, 1.5));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 1, w - 2, h - 2), 6, 6);
    return image;
}

// Upward pointer between a big button and the hover description.
QImage hoverArrow()
{
    QImage image = canvas(60, 26);
    QPainter p(&image);
    antialias(p);
    QPolygonF tip;
    tip << QPointF(30, 2) << QPointF(56, 24) << QPointF(4, 24);
    QLinearGradient g(0, 0, 0, 26);
    g.setColorAt(0, kOrangeLight);
    g.setColorAt(1, kOrange);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPolygon(tip);
    return image;
}

// The notch in the page panel that points at the current step.
QImage stepArrow()
{
    QImage image = canvas(24, 34);
    QPainter p(&image);
    antialias(p);
    QPolygonF tip;
    tip << QPointF(0, 17) << QPointF(24, 0) << QPointF(24, 34);
    p.setPen(Qt::NoPen);
    p.setBrush(kPanel);
    p.drawPolygon(tip);
    p.setPen(QPen(kOrange, 2));
    p.drawLine(QPointF(1, 17), QPointF(23, 1.5));
    p.drawLine(QPointF(1, 17), QPointF(23, 32.5));
    return image;
}

QImage divider()
{
    QImage image = canvas(175, 4);
    QPainter p(&image);
    QLinearGradient g(0, 0, 175, 0);
    g.setColorAt(0, QColor(0xa0, 0xa6, 0xae, 0));
    g.setColorAt(0.5, QColor(0x90, 0x96, 0x9e));
    g.setColorAt(1, QColor(0xa0, 0xa6, 0xae, 0));
    p.fillRect(0, 1, 175, 1, g);
    p.fillRect(0, 2, 175, 1, QColor(255, 255, 255, 140));
    return image;
}

QImage progressFrame()
{
    QImage image = canvas(400, 40);
    QPainter p(&image);
    antialias(p);
    p.setPen(QPen(kEdge, 1.5));
    p.setBrush(QColor(0x2a, 0x2f, 0x36));
    p.drawRoundedRect(QRectF(1, 1, 398, 38), 8, 8);
    return image;
}

QImage progressGroove()
{
    QImage image = canvas(364, 10);
    QPainter p(&image);
    antialias(p);
    p.setPen(QPen(QColor(0x10, 0x12, 0x14), 1));
    p.setBrush(QColor(0x3a, 0x40, 0x48));
    p.drawRoundedRect(QRectF(0.5, 0.5, 363, 9), 4, 4);
    return image;
}

// A 56 x 56 message icon: a coloured sign with a white mark.
QImage messageIcon(const QColor& colour, const QString& mark, bool triangle = false, int size = 56)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    antialias(p);
    const qreal s = size;
    QRadialGradient g(QPointF(s * 0.4, s * 0.35), s * 0.7);
    g.setColorAt(0, colour.lighter(135));
    g.setColorAt(1, colour.darker(115));
    p.setPen(QPen(colour.darker(150), 1.5));
    p.setBrush(g);
    if (triangle) {
        QPolygonF sign;
        sign << QPointF(s / 2, 2) << QPointF(s - 2, s - 4) << QPointF(2, s - 4);
        p.drawPolygon(sign);
    } else {
        p.drawEllipse(QRectF(2, 2, s - 4, s - 4));
    }
    p.setPen(triangle ? QColor(0x30, 0x24, 0x08) : Qt::white);
    p.setFont(font(int(s * (triangle ? 0.5 : 0.58)), true));
    p.drawText(QRectF(0, triangle ? s * 0.16 : 0, s, s * (triangle ? 0.8 : 1.0)), Qt::AlignCenter, mark);
    return image;
}

QImage stopIcon()
{
    QImage image = messageIcon(kRed, QString());
    QPainter p(&image);
    antialias(p);
    p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(19, 19), QPointF(37, 37));
    p.drawLine(QPointF(37, 19), QPointF(19, 37));
    return image;
}

QImage appIcon(int size = 32)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    antialias(p);
    p.scale(size / 32.0, size / 32.0);
    drawDisk(p, QRectF(2, 9, 28, 14), QColor(0x7a, 0x84, 0x90));
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawEllipse(QRectF(20, 18, 11, 11));
    return image;
}

QImage discIcon(int size)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    antialias(p);
    QConicalGradient g(QPointF(size / 2.0, size / 2.0), 30);
    g.setColorAt(0, QColor(0xd8, 0xdc, 0xe2));
    g.setColorAt(0.25, QColor(0xa8, 0xc8, 0xf0));
    g.setColorAt(0.5, QColor(0xe8, 0xd0, 0xf0));
    g.setColorAt(0.75, QColor(0xb0, 0xe0, 0xc8));
    g.setColorAt(1, QColor(0xd8, 0xdc, 0xe2));
    p.setPen(QPen(QColor(0x70, 0x78, 0x82), 1));
    p.setBrush(g);
    p.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    p.setBrush(Qt::white);
    const qreal hole = size * 0.25;
    p.drawEllipse(QRectF((size - hole) / 2, (size - hole) / 2, hole, hole));
    return image;
}

QImage ejectIcon()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    antialias(p);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0x46, 0x4e));
    QPolygonF tip;
    tip << QPointF(8, 2) << QPointF(14, 9) << QPointF(2, 9);
    p.drawPolygon(tip);
    p.drawRect(QRectF(2, 11, 12, 3));
    return image;
}

QImage networkIcon()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    antialias(p);
    p.setPen(QPen(QColor(0x2c, 0x6e, 0xb0), 1.2));
    p.setBrush(QColor(0xa8, 0xcc, 0xf0));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(5, 1.5, 6, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    return image;
}

QImage serverIcon()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    antialias(p);
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(QColor(0x40, 0x46, 0x4e), 1));
        p.setBrush(QColor(0xb8, 0xbe, 0xc6));
        p.drawRect(QRectF(2.5, 1.5 + i * 4.5, 11, 3.5));
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawRect(QRectF(10.5, 2.5 + i * 4.5, 1.5, 1.5));
    }
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: imagegen OUTDIR\n");
        return 2;
    }
    Writer out(QString::fromLocal8Bit(argv[1]));
    QStringList frame;
    QStringList start;

    out.save(mainBackground(), "main_bg.png", frame);
    out.save(stepBackground(), "Step_BG.png", frame);
    out.save(fileBrowserBackground(), "FileBrowser_BG.png", frame);
    out.save(messageBackground(), "Msg_BG.png", frame);
    out.save(screenBackground(1440, 900), "mainbkimage2.png", frame);
    out.save(logo(), "logo_1.png", frame);

    struct TitleButton {
        const char* base;
        const char* normal;
        const char* hover;
        const char* pressed;
        void (*glyph)(QPainter&, const QColor&);
        QColor plate;
    };
    const TitleButton titleButtons[] = {
        {"close", "n", "h", "p", closeGlyph, kRed},
        {"minimize", "n", "h", "p", minimizeGlyph, kEdge.lighter(130)},
        {"help", "N", "H", "P", helpGlyph, kEdge.lighter(130)},
        {"Information", "n", "h", "p", infoGlyph, kEdge.lighter(130)},
        {"home", "n", "h", "p", homeGlyph, kEdge.lighter(130)},
    };
    for (const TitleButton& b : titleButtons) {
        const QString base = QString::fromLatin1(b.base) + '_';
        out.save(titleButton(State::Normal, b.glyph, b.plate), base + b.normal + ".png", frame);
        out.save(titleButton(State::Hover, b.glyph, b.plate), base + b.hover + ".png", frame);
        out.save(titleButton(State::Pressed, b.glyph, b.plate), base + b.pressed + ".png", frame);
    }

    const std::pair<const char*, void (*)(QPainter&)> bigButtons[] = {{"Back", backupPicture},
                                                                      {"Restore", restorePicture},
                                                                      {"Create_Disc", clonePicture},
                                                                      {"Tools", toolsPicture}};
    for (const auto& b : bigButtons) {
        const QString base = QString::fromLatin1(b.first) + '_';
        out.save(bigButton(State::Normal, b.second), base + "N.png", frame);
        out.save(bigButton(State::Hover, b.second), base + "H.png", frame);
        out.save(bigButton(State::Pressed, b.second), base + "P.png", frame);
    }

    out.save(textButton(140, 34, State::Normal), "Button_N.png", frame);
    out.save(textButton(140, 34, State::Hover), "Button_H.png", frame);
    out.save(textButton(140, 34, State::Pressed), "Button_P.png", frame);
    out.save(textButton(140, 34, State::Disabled), "Button_D.png", frame);
    out.save(textButton(100, 30, State::Focus), "Button_FN.png", frame);

    out.save(hoverArrow(), "arrow_AP_Desc.png", frame);
    out.save(stepArrow(), "arrow_Step.png", frame);
    out.save(divider(), "divider.png", frame);
    out.save(progressFrame(), "progress_BG.png", frame);
    out.save(progressGroove(), "progressbg.png", frame);

    out.save(messageIcon(kBlue, QStringLiteral("i")), "MsgIcon_Info.png", frame);
    out.save(messageIcon(kGreen, QStringLiteral("?")), "MsgIcon_Question.png", frame);
    out.save(stopIcon(), "MsgIcon_Stop.png", frame);
    out.save(messageIcon(kYellow, QStringLiteral("!"), true), "MsgIcon_Warning.png", frame);
    out.save(messageIcon(kYellow, QStringLiteral("!"), true, 56), "warning_L.png", frame);

    out.save(appIcon(), "f.png", frame);
    out.save(discIcon(16), "cdrom.png", frame);
    out.save(ejectIcon(), "16x16/media-eject.png", frame);
    out.save(networkIcon(), "16x16/network_local.png", frame);
    out.save(serverIcon(), "16x16/server.png", frame);

    out.save(startImage(false), "startimage_en.png", start);
    out.save(startImage(true), "startimage_cn.png", start);

    out.saveIcon({appIcon(16), appIcon(24), appIcon(32), appIcon(48), appIcon(256)}, "deskrestore.ico");

    out.writeQrc("frame_images.qrc", frame, "images/");
    out.writeQrc("start_images.qrc", start, "images/");
    return out.ok() ? 0 : 1;
}
