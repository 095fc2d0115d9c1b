#include "headertextedit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QColor HeaderColour(0x80, 0x00, 0x80);

} // namespace

HeaderTextEdit::HeaderTextEdit(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(false);
    connect(this, &QTextEdit::textChanged, this, &HeaderTextEdit::CheckHeader);
}

void HeaderTextEdit::PutHeader(const QString &userName)
{
    const bool restoring = std::exchange(m_restoring, true);
    clear();
    QTextCursor cursor(document());
    QTextCharFormat name;
    name.setFontWeight(QFont::Bold);
    name.setForeground(HeaderColour);
    cursor.insertText(userName, name);
    cursor.insertText(QStringLiteral(":"), QTextCharFormat());
    m_header = userName + QLatin1Char(':');
    HeaderLength = static_cast<qint16>(m_header.size());
    m_body.clear();
    setCurrentCharFormat(QTextCharFormat());
    moveCursor(QTextCursor::End);
    // Undo could otherwise take the header out again.
    document()->clearUndoRedoStacks();
    m_restoring = restoring;
}

QString HeaderTextEdit::PlainText() const
{
    return toPlainText();
}

bool HeaderTextEdit::KeepSelectionAfterHeader()
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    if (start > HeaderLength)
        return false;
    const int end = std::max(cursor.selectionEnd(), int(HeaderLength));
    cursor.setPosition(HeaderLength);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    return true;
}

void HeaderTextEdit::keyPressEvent(QKeyEvent *event)
{
    // Backspace right after the header would take its ":".
    if (KeepSelectionAfterHeader() && event->key() == Qt::Key_Backspace) {
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void HeaderTextEdit::inputMethodEvent(QInputMethodEvent *event)
{
    if (event->commitString().isEmpty() && event->preeditString().isEmpty() && event->replacementLength() == 0) {
        QTextEdit::inputMethodEvent(event);
        return;
    }
    KeepSelectionAfterHeader();
    const int caret = textCursor().selectionStart();
    if (event->replacementLength() == 0 || caret + event->replacementStart() >= HeaderLength) {
        QTextEdit::inputMethodEvent(event);
        return;
    }
    // A replacement that reaches back into the header replaces nothing.
    QInputMethodEvent kept(event->preeditString(), event->attributes());
    kept.setCommitString(event->commitString());
    QTextEdit::inputMethodEvent(&kept);
    event->accept();
}

bool HeaderTextEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText();
}

void HeaderTextEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source->hasText())
        return;
    KeepSelectionAfterHeader();
    // Plain text, in the look of the text before it: at the header's end
    // that is the plain ":".
    QTextCursor cursor = textCursor();
    cursor.insertText(source->text());
    setTextCursor(cursor);
}

void HeaderTextEdit::dropEvent(QDropEvent *event)
{
    // Moving text out of the box removes the selection it came from.
    if (event->source() == this || event->source() == viewport())
        KeepSelectionAfterHeader();
    QTextEdit::dropEvent(event);
}

void HeaderTextEdit::contextMenuEvent(QContextMenuEvent *event)
{
    // Cut and Delete of the menu act on the selection as it stands.
    KeepSelectionAfterHeader();
    QTextEdit::contextMenuEvent(event);
}

void HeaderTextEdit::CheckHeader()
{
    if (m_restoring || m_header.isEmpty())
        return;
    const QString text = PlainText();
    if (text.startsWith(m_header)) {
        m_body = text.mid(m_header.size());
        return;
    }
    // Something got past the guards: the box goes back to its last text.
    const QString body = m_body;
    PutHeader(m_header.chopped(1));
    m_restoring = true;
    QTextCursor cursor = textCursor();
    cursor.insertText(body, QTextCharFormat());
    m_body = body;
    m_restoring = false;
    moveCursor(QTextCursor::End);
}
