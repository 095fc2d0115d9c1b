#pragma once

#include <QLabel>
#include <QPixmap>

// A picture or a caption that acts as a button: clicked() on a left click
// released over it, pointed() as the mouse moves over it or a button goes
// down on it, moved() for the moves alone. Given its three pictures it shows them itself:
// the mouse-over picture while the mouse moves over it with no button
// held, the pressed one when a button is held or goes down; the pressed
// picture stays until the mouse moves again.
class ImageButton : public QLabel {
    Q_OBJECT
public:
    explicit ImageButton(QWidget *parent = nullptr);

    void SetPictures(const QPixmap &normal, const QPixmap &over, const QPixmap &pressed);
    // The picture for the mouse over it with `buttons` held.
    void ShowPointed(Qt::MouseButtons buttons);
    void ShowNormal();

Q_SIGNALS:
    void clicked();
    void pointed(Qt::MouseButtons buttons);
    void moved();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QPixmap m_normal;
    QPixmap m_over;
    QPixmap m_pressed;
};
