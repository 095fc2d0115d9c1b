#include "gui/msgbox.h"

#include "common/boxes.h"
#include "common/language.h"

namespace gui {

QMessageBox::StandardButton MsgBox(const QString &textKey, BoxStyle style, const QString &titleKey)
{
    return MsgBoxText(common::LanguageText(textKey), style, common::LanguageText(titleKey));
}

QMessageBox::StandardButton MsgBoxText(const QString &text, BoxStyle style, const QString &title)
{
    common::Box box{QMessageBox::Information, title, text, QMessageBox::Ok};
    switch (style) {
    case vbExclamation:
        box.icon = QMessageBox::Warning;
        break;
    case vbInformation:
        break;
    case vbYesNoQuestion:
        box.icon = QMessageBox::Question;
        box.buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    }
    return common::ShowBox(box);
}

} // namespace gui
