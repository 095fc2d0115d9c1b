#pragma once

#include <QString>
#include <QWidget>

// Creates a control of the window under its designed name at its designed
// place (pixels within `parent`).
template <class Control>
Control *Place(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *control = new Control(parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(left, top, width, height);
    return control;
}
