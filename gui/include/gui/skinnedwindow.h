#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

namespace gui {

// A window without a system frame whose look and shape come from a skin
// picture: every RGB(255, 0, 255) pixel of the picture lies outside the
// window. The window can be made partly transparent, and the user moves it
// by pressing the left button alone on its body or on a drag handle.
class SkinnedWindow : public QWidget {
    Q_OBJECT
public:
    explicit SkinnedWindow(QWidget *parent = nullptr);

    // The picture is drawn as the window's background; the window takes the
    // picture's size and its shape from the colour-key pixels.
    void setSkin(const QImage &skin);
    const QImage &skin() const { return m_skin; }

    // Opacity 0..255 (255 opaque). Drawing it needs a compositing window
    // manager; without one the window stays opaque.
    void setAlpha(int alpha);

    // The window's own body is a drag handle. A press of the left button
    // alone on `handle` starts a drag, and so
    // does a move over it while only the left button is held when
    // `moveStartsDrag` is set.
    void addDragHandle(QWidget *handle, bool moveStartsDrag = false);

    // Starts moving the window with the pointer when `buttons` is the left
    // button alone; returns whether a drag started. The window manager
    // moves the window where it can; otherwise the window follows the
    // pointer itself until the button is released.
    bool BeginDrag(Qt::MouseButtons buttons, const QPoint &globalPosition);

Q_SIGNALS:
    void dragStarted();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool FollowPointer(QEvent *event);

    QImage m_skin;
    bool m_following = false;
    QPoint m_grabOffset;
};

// The pixels of `skin` that are not the colour key RGB(255, 0, 255), as a
// region: the shape of a skinned window.
QRegion SkinShape(const QImage &skin);

} // namespace gui
