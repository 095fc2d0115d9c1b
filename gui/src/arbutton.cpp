#include "gui/arbutton.h"

#include <QPainter>
#include <QPainterPath>

namespace gui {

ARButton::ARButton(QWidget *parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void ARButton::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

QSize ARButton::sizeHint() const
{
    const QSize text = fontMetrics().size(Qt::TextSingleLine, caption());
    return {text.width() + 16, text.height() + 8};
}

void ARButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool lit = underMouse() || hasFocus();
    const QRectF face = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    if (isDown()) {
        fill.setColorAt(0, QColor(120, 134, 140));
        fill.setColorAt(1, QColor(150, 163, 169));
    } else {
        fill.setColorAt(0, lit ? QColor(236, 241, 243) : QColor(214, 222, 226));
        fill.setColorAt(1, lit ? QColor(186, 198, 204) : QColor(168, 180, 185));
    }
    QPainterPath path;
    path.addRoundedRect(face, 4, 4);
    painter.fillPath(path, fill);
    painter.setPen(QColor(60, 72, 78));
    painter.drawPath(path);

    if (!m_picture.isNull()) {
        const QPixmap scaled = m_picture.scaled(size() - QSize(6, 6), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawPixmap((width() - scaled.width()) / 2, (height() - scaled.height()) / 2, scaled);
        return;
    }
    painter.setPen(isEnabled() ? QColor(24, 32, 36) : QColor(110, 120, 125));
    painter.drawText(rect().adjusted(3, 0, -3, 0), Qt::AlignCenter | Qt::TextWordWrap, caption());
}

} // namespace gui
