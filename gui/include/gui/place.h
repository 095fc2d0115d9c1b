#pragma once

#include <QAnyStringView>
#include <QString>
#include <QTextDocument>
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

// Qt takes a tool tip that looks like markup as rich text; this one shows
// the text as it stands.
inline QString PlainToolTip(const QString &text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace gui
