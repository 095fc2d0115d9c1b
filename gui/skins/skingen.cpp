// skingen FOLDER: draws the windows' skin pictures into FOLDER as PNG files.
// RGB(255, 0, 255) marks what lies outside a window; the windows cut it away.
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>

namespace {

const QColor ColourKey(255, 0, 255);

// A picture for a small button: transparent where nothing is drawn.
QImage Transparent(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

QPainterPath BodyOutline(const QSize &size, qreal radius)
{
    QPainterPath body;
    body.addRoundedRect(QRectF(QPointF(0, 0), size), radius, radius);
    return body;
}

// A window picture: the colour key all round a rounded body shaded from
// `top` to `bottom`. No antialiasing on the outline: a blended edge pixel
// would be neither the key nor the body and would show as a fringe.
QImage RoundedBody(const QSize &size, qreal radius, const QColor &top, const QColor &bottom)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(ColourKey);
    QPainter painter(&image);
    QLinearGradient shade(0, 0, 0, size.height());
    shade.setColorAt(0, top);
    shade.setColorAt(1, bottom);
    painter.fillPath(BodyOutline(size, radius), shade);
    return image;
}

// The console: 650 x 400, a rounded slate body with a title strip above the
// tab row; the pages are drawn by the window's own frames.
QImage ConsoleSkin()
{
    QImage image = RoundedBody(QSize(650, 400), 18, QColor(62, 74, 81), QColor(33, 41, 46));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath title;
    title.addRoundedRect(QRectF(10, 6, 630, 26), 8, 8);
    QLinearGradient strip(0, 6, 0, 32);
    strip.setColorAt(0, QColor(96, 112, 121));
    strip.setColorAt(1, QColor(70, 84, 92));
    painter.fillPath(title, strip);
    painter.setPen(QPen(QColor(150, 166, 174), 1));
    painter.drawLine(QPointF(24, 33.5), QPointF(626, 33.5));
    // A sunken border round the page area, which the page frames fill.
    painter.setPen(QPen(QColor(20, 26, 30), 2));
    painter.drawRoundedRect(QRectF(44, 56, 565, 301), 3, 3);
    painter.setPen(QPen(QColor(110, 124, 131), 1));
    painter.drawLine(QPointF(40, 370.5), QPointF(610, 370.5));
    return image;
}

// The small picture buttons: a glyph on a transparent ground.
QImage Glyph(bool cross)
{
    QImage image = Transparent(21, 21);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 38, 43), 2.4, Qt::SolidLine, Qt::RoundCap));
    if (cross) {
        painter.drawLine(QPointF(6, 6), QPointF(15, 15));
        painter.drawLine(QPointF(15, 6), QPointF(6, 15));
    } else {
        painter.drawLine(QPointF(5, 15), QPointF(16, 15));
    }
    return image;
}

// The client: 302 x 464, a rounded body with a dark header that holds the
// status strip and the page title, a sunken well for the pages at (24, 91)
// and a tray for the three action buttons below it.
QImage ClientSkin()
{
    const QSize size(302, 464);
    QImage image = RoundedBody(size, 22, QColor(214, 218, 246), QColor(150, 152, 214));
    QPainter painter(&image);
    QPainterPath top;
    top.addRect(QRectF(0, 0, 302, 86));
    QLinearGradient night(0, 0, 0, 86);
    night.setColorAt(0, QColor(52, 54, 120));
    night.setColorAt(1, QColor(86, 88, 168));
    painter.fillPath(BodyOutline(size, 22).intersected(top), night);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(198, 200, 240), 1));
    painter.drawLine(QPointF(24, 42.5), QPointF(278, 42.5));
    painter.setPen(QPen(QColor(70, 72, 140), 2));
    painter.drawRoundedRect(QRectF(22, 89, 258, 294), 4, 4);
    painter.setPen(QPen(QColor(110, 112, 180), 1));
    painter.drawLine(QPointF(24, 390.5), QPointF(278, 390.5));
    return image;
}

// An action button face: 78 x 36 in the button's colour, lighter under the
// pointer, darker and sunken while pressed.
QImage ButtonFace(QColor colour, int state)
{
    QImage image = Transparent(78, 36);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor top = state == 1 ? colour.lighter(130) : state == 2 ? colour.darker(130) : colour.lighter(110);
    const QColor bottom = state == 2 ? colour.darker(110) : colour.darker(120);
    QLinearGradient fill(0, 0, 0, 36);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    QPainterPath face;
    face.addRoundedRect(QRectF(1, state == 2 ? 2 : 1, 76, 33), 9, 9);
    painter.fillPath(face, fill);
    painter.setPen(QPen(colour.darker(180), 1.2));
    painter.drawPath(face);
    return image;
}

// A 20 x 20 status picture: a dot, or an envelope for a new message.
QImage StatusPicture(QColor colour, bool envelope)
{
    QImage image = Transparent(20, 20);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour.darker(160), 1.2));
    painter.setBrush(colour);
    if (envelope) {
        painter.drawRoundedRect(QRectF(1.5, 4.5, 17, 11), 1.5, 1.5);
        painter.drawPolyline(QPolygonF({QPointF(2, 5), QPointF(10, 11), QPointF(18, 5)}));
    } else {
        painter.drawEllipse(QRectF(3.5, 3.5, 13, 13));
    }
    return image;
}

// The window buttons of the header, 22 x 22: a cross or a bar, on a light
// disc under the pointer.
QImage HeaderButton(bool cross, bool lit)
{
    QImage image = Transparent(22, 22);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (lit) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(cross ? QColor(220, 80, 90) : QColor(120, 124, 210));
        painter.drawEllipse(QRectF(1, 1, 20, 20));
    }
    painter.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    if (cross) {
        painter.drawLine(QPointF(7, 7), QPointF(15, 15));
        painter.drawLine(QPointF(15, 7), QPointF(7, 15));
    } else {
        painter.drawLine(QPointF(6, 14), QPointF(16, 14));
    }
    return image;
}

// The 24 x 24 icons of the menu entries and the page glyph buttons.
QImage Icon(const char *kind)
{
    QImage image = Transparent(24, 24);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(52, 54, 120), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(236, 238, 255));
    const QByteArray name(kind);
    if (name == "new") {
        painter.drawRoundedRect(QRectF(3, 6, 18, 13), 2, 2);
        painter.drawPolyline(QPolygonF({QPointF(3.5, 7), QPointF(12, 13.5), QPointF(20.5, 7)}));
        painter.drawLine(QPointF(18, 1.5), QPointF(18, 6.5));
    } else if (name == "inbox") {
        painter.drawPolygon(QPolygonF({QPointF(3, 13), QPointF(7, 5), QPointF(17, 5), QPointF(21, 13), QPointF(21, 20), QPointF(3, 20)}));
        painter.drawPolyline(QPolygonF({QPointF(3, 13), QPointF(9, 13), QPointF(10, 16), QPointF(14, 16), QPointF(15, 13), QPointF(21, 13)}));
    } else if (name == "sent") {
        painter.drawPolygon(QPolygonF({QPointF(2, 11), QPointF(22, 3), QPointF(15, 21), QPointF(11, 13)}));
        painter.drawLine(QPointF(11, 13), QPointF(22, 3));
    } else if (name == "settings") {
        painter.drawEllipse(QRectF(5, 5, 14, 14));
        painter.drawEllipse(QRectF(9.5, 9.5, 5, 5));
        for (int i = 0; i < 8; ++i) {
            painter.save();
            painter.translate(12, 12);
            painter.rotate(45 * i);
            painter.drawLine(QPointF(0, -7), QPointF(0, -10.5));
            painter.restore();
        }
    } else if (name == "login") {
        painter.drawEllipse(QRectF(3, 8, 9, 9));
        painter.drawLine(QPointF(12, 12.5), QPointF(21, 12.5));
        painter.drawLine(QPointF(18, 12.5), QPointF(18, 16.5));
        painter.drawLine(QPointF(21, 12.5), QPointF(21, 16));
    } else if (name == "phonebook") {
        painter.drawRoundedRect(QRectF(5, 2.5, 15, 19), 2, 2);
        painter.drawLine(QPointF(3, 7), QPointF(7, 7));
        painter.drawLine(QPointF(3, 12), QPointF(7, 12));
        painter.drawLine(QPointF(3, 17), QPointF(7, 17));
        painter.drawEllipse(QRectF(10, 7, 6, 6));
    } else if (name == "search") {
        painter.drawEllipse(QRectF(3, 3, 12, 12));
        painter.drawLine(QPointF(13.5, 13.5), QPointF(21, 21));
    }
    return image;
}

bool Save(const QImage &image, const QDir &folder, const char *name)
{
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "skingen: cannot write %s\n", path.toLocal8Bit().constData());
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen FOLDER\n");
        return 1;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;
    bool saved = Save(ConsoleSkin(), folder, "console.png") && Save(Glyph(false), folder, "minimize.png")
        && Save(Glyph(true), folder, "quit.png") && Save(ClientSkin(), folder, "client.png");
    // The client's picture store: action buttons home (0-2), page action
    // (3-5) and back (6-8) as normal, under the pointer, pressed; status
    // pictures 10-12; close 13-14 and minimize 15-16, normal and lit.
    const QColor faces[3] = {QColor(86, 110, 200), QColor(70, 160, 96), QColor(200, 128, 60)};
    for (int button = 0; button < 3; ++button)
        for (int state = 0; state < 3; ++state)
            saved = saved && Save(ButtonFace(faces[button], state), folder, QByteArray("client-" + QByteArray::number(3 * button + state) + ".png").constData());
    saved = saved && Save(StatusPicture(QColor(150, 150, 160), false), folder, "client-10.png")
        && Save(StatusPicture(QColor(80, 210, 110), false), folder, "client-11.png")
        && Save(StatusPicture(QColor(255, 210, 70), true), folder, "client-12.png")
        && Save(HeaderButton(true, false), folder, "client-13.png") && Save(HeaderButton(true, true), folder, "client-14.png")
        && Save(HeaderButton(false, false), folder, "client-15.png") && Save(HeaderButton(false, true), folder, "client-16.png");
    for (const char *icon : {"new", "inbox", "sent", "settings", "login", "phonebook", "search"})
        saved = saved && Save(Icon(icon), folder, QByteArray(QByteArray("icon-") + icon + ".png").constData());
    return saved ? 0 : 1;
}
