#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

namespace common {

// One modal message box: what it shows and which buttons it offers.
struct Box {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

// Shows the box and returns the button the user pressed. Every box of the
// windows goes through here, so one replacement answers them all.
QMessageBox::StandardButton ShowBox(const Box &box);

// Replaces what ShowBox does (tests record and answer boxes this way) and
// returns the handler it replaced; an empty handler restores the real box.
using BoxHandler = std::function<QMessageBox::StandardButton(const Box &)>;
BoxHandler SetBoxHandler(BoxHandler handler);

} // namespace common
