#include "gui/skinnedwindow.h"

#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace gui {

namespace {

constexpr QRgb ColourKey = 0xFFFF00FF;

// The window manager's own move needs a real window manager; offscreen and
// bare X servers refuse it, and the window follows the pointer itself then.
bool SystemMove(QWidget *window)
{
    QWindow *handle = window->windowHandle();
    return handle && handle->startSystemMove();
}

} // namespace

QRegion SkinShape(const QImage &skin)
{
    const QImage rgb = skin.convertToFormat(QImage::Format_RGB32);
    return QRegion(QBitmap::fromImage(rgb.createMaskFromColor(ColourKey, Qt::MaskInColor)));
}

SkinnedWindow::SkinnedWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint | Qt::WindowSystemMenuHint)
{
    addDragHandle(this);
}

void SkinnedWindow::setSkin(const QImage &skin)
{
    m_skin = skin;
    setFixedSize(skin.size());
    setMask(SkinShape(skin));
    update();
}

void SkinnedWindow::setAlpha(int alpha)
{
    setWindowOpacity(alpha / 255.0);
}

void SkinnedWindow::addDragHandle(QWidget *handle, bool moveStartsDrag)
{
    handle->setProperty("gui_dragHandle", true);
    handle->setProperty("gui_dragOnMove", moveStartsDrag);
    handle->installEventFilter(this);
}

bool SkinnedWindow::BeginDrag(Qt::MouseButtons buttons, const QPoint &globalPosition)
{
    if (buttons != Qt::LeftButton)
        return false;
    if (!SystemMove(this)) {
        m_following = true;
        m_grabOffset = globalPosition - pos();
    }
    Q_EMIT dragStarted();
    return true;
}

void SkinnedWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_skin);
}

bool SkinnedWindow::FollowPointer(QEvent *event)
{
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (event->type() == QEvent::MouseButtonRelease || !(mouse->buttons() & Qt::LeftButton)) {
        m_following = false;
        return false;
    }
    move(mouse->globalPosition().toPoint() - m_grabOffset);
    return true;
}

bool SkinnedWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        || !watched->property("gui_dragHandle").toBool())
        return QWidget::eventFilter(watched, event);
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (m_following && type != QEvent::MouseButtonPress)
        return FollowPointer(event);
    if (type == QEvent::MouseButtonPress || (type == QEvent::MouseMove && watched->property("gui_dragOnMove").toBool()))
        return BeginDrag(mouse->buttons(), mouse->globalPosition().toPoint());
    return false;
}

} // namespace gui
