#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace gui {

// The windows' push button: a click, a caption and a tool tip. It draws a
// picture when it has one (small buttons such as minimize and quit), else
// its caption on a rounded face that lights up under the pointer.
class ARButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ARButton(QWidget *parent = nullptr);

    void setCaption(const QString &caption) { setText(caption); }
    QString caption() const { return text(); }
    void setPicture(const QPixmap &picture);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};

} // namespace gui
