#pragma once

#include <QAnyStringView>
#include <QWidget>

namespace gui {

// Creates a control of a window under its designed name at its designed
// place (pixels within `parent`).
template <class Control>
Control *Place(QWidget *parent, QAnyStringView name, int left, int top, int width, int height)
{
    auto *control = new Control(parent);
    control->setObjectName(name);
    control->setGeometry(left, top, width, height);
    return control;
}

} // namespace gui
