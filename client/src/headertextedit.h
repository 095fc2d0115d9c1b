#pragma once

#include <QTextEdit>
#include <QtGlobal>

// The compose page's message box: a rich-text box that always begins with
// a header (the user's name in bold purple and ":") which no edit may
// change. The service puts the same name and ":" in front of the text, so
// the box shows, and the counter counts, what the phone will receive.
//
// Every way into the box keeps the header: keys, paste and drop (which
// insert plain text after the header), input methods, the context menu and
// undo. Should anything still reach the header, the edit is taken back.
class HeaderTextEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit HeaderTextEdit(QWidget *parent = nullptr);

    // Empties the box, puts the header for `userName` in, the caret after
    // it; HeaderLength becomes the header's length.
    void PutHeader(const QString &userName);

    // The box's text with a line feed for each line break.
    QString PlainText() const;

    // A selection that starts in the header or right after it starts right
    // after it instead; its end stays (or becomes the header's end).
    // True when the selection started at or before the header's end.
    bool KeepSelectionAfterHeader();

    // Characters of the header: the user name and ":".
    qint16 HeaderLength = 0;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void dropEvent(QDropEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void CheckHeader();

    QString m_header;
    // The text after the header as it stood after the last sound edit.
    QString m_body;
    bool m_restoring = false;
};
