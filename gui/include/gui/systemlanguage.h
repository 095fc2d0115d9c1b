#pragma once

class QApplication;

namespace gui {

// Gives Qt's own texts (standard buttons, the file dialog, context menus)
// the system's language, as the system's own dialogs have it. Called once,
// before the window is made; a language Qt has no translation for leaves
// those texts in English.
void InstallQtTranslations(QApplication &app);

} // namespace gui
