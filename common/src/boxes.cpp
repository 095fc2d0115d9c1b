#include "common/boxes.h"

#include <utility>

namespace common {

namespace {

BoxHandler &Handler()
{
    static BoxHandler handler;
    return handler;
}

} // namespace

QMessageBox::StandardButton ShowBox(const Box &box)
{
    if (Handler())
        return Handler()(box);
    QMessageBox message(box.icon, box.title, box.text, box.buttons);
    message.setTextFormat(Qt::PlainText);
    // A question is answered Yes by Enter and No by Esc.
    if (box.buttons == (QMessageBox::Yes | QMessageBox::No)) {
        message.setDefaultButton(QMessageBox::Yes);
        message.setEscapeButton(QMessageBox::No);
    }
    return static_cast<QMessageBox::StandardButton>(message.exec());
}

BoxHandler SetBoxHandler(BoxHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

} // namespace common
