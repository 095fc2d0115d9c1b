#pragma once

#include <QMessageBox>
#include <QString>

namespace gui {

// The box styles the windows use: a refusal, a result, a Yes/No question.
enum BoxStyle : int {
    vbExclamation = 48,
    vbInformation = 64,
    vbYesNoQuestion = 36,
};

// A box whose text and title are the language texts of `textKey` and
// `titleKey`, looked up when it is shown. Returns the button pressed:
// QMessageBox::Ok, or Yes or No for the question.
QMessageBox::StandardButton MsgBox(const QString &textKey, BoxStyle style, const QString &titleKey);

// The same box with literal texts.
QMessageBox::StandardButton MsgBoxText(const QString &text, BoxStyle style, const QString &title);

} // namespace gui
