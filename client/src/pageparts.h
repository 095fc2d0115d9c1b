#pragma once

// What the pages share: their look, their placement helpers and the way
// they reach language texts and the error logger.
#include <QString>

class QLabel;
class QPlainTextEdit;
class QTreeWidget;
class QWidget;
class ImageButton;
namespace gui { class ARButton; }

// The language text of `key`.
QString Text(const char *key);

// Reports the error being handled under module "frmMain".
void ReportIn(const char *procedure);

// "name(index)", the name of one element of a control array.
QString Indexed(const char *name, int index);

// A label that shows its language text as it stands, never as markup.
QLabel *PlaceLabel(QWidget *page, const QString &name, int left, int top, int width, int height);
// A label that acts as a button, underlined as a link.
ImageButton *PlaceLinkLabel(QWidget *page, const QString &name, int left, int top, int width, int height);
QTreeWidget *PlaceList(QWidget *page, const QString &name, int columns);
// A message list without headings: date and phone number.
QTreeWidget *PlaceMessageList(QWidget *page, const QString &name);
QPlainTextEdit *PlaceMessageText(QWidget *page, const QString &name);
gui::ARButton *PlaceGlyphButton(QWidget *page, const QString &name, int left, int top, const char *icon);
