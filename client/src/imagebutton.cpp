#include "imagebutton.h"

#include <QMouseEvent>

ImageButton::ImageButton(QWidget *parent) : QLabel(parent)
{
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
}

void ImageButton::SetPictures(const QPixmap &normal, const QPixmap &over, const QPixmap &pressed)
{
    m_normal = normal;
    m_over = over;
    m_pressed = pressed;
}

void ImageButton::ShowPointed(Qt::MouseButtons buttons)
{
    const QPixmap &picture = buttons == Qt::NoButton ? m_over : m_pressed;
    if (!picture.isNull())
        setPixmap(picture);
}

void ImageButton::ShowNormal()
{
    if (!m_normal.isNull())
        setPixmap(m_normal);
}

// The events stop here: a press on a button is no start of a drag.
void ImageButton::mouseMoveEvent(QMouseEvent *event)
{
    ShowPointed(event->buttons());
    Q_EMIT pointed(event->buttons());
    Q_EMIT moved();
    event->accept();
}

void ImageButton::mousePressEvent(QMouseEvent *event)
{
    ShowPointed(event->buttons());
    Q_EMIT pointed(event->buttons());
    event->accept();
}

void ImageButton::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

void ImageButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}
