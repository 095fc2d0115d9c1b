// skingen FOLDER: draws the windows' skin pictures into FOLDER as PNG files.
// RGB(255, 0, 255) marks what lies outside a window; the windows cut it away.
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

const QColor ColourKey(255, 0, 255);

// The console: 650 x 400, a rounded slate body with a title strip above the
// tab row; the pages are drawn by the window's own frames.
QImage ConsoleSkin()
{
    QImage image(650, 400, QImage::Format_RGB32);
    image.fill(ColourKey);
    QPainter painter(&image);
    // No antialiasing on the outline: a blended edge pixel would be neither
    // the key nor the body and would show as a fringe.
    QPainterPath body;
    body.addRoundedRect(QRectF(0, 0, 650, 400), 18, 18);
    QLinearGradient slate(0, 0, 0, 400);
    slate.setColorAt(0, QColor(62, 74, 81));
    slate.setColorAt(1, QColor(33, 41, 46));
    painter.fillPath(body, slate);

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
    QImage image(21, 21, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
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
    const bool saved = Save(ConsoleSkin(), folder, "console.png") && Save(Glyph(false), folder, "minimize.png")
        && Save(Glyph(true), folder, "quit.png");
    return saved ? 0 : 1;
}
