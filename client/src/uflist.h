#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QScrollArea;

// The compose page's recipients picked in the phone book: contacts and
// groups, each shown as a small tag with a button that removes it.
class ucUFList : public QWidget {
    Q_OBJECT
public:
    explicit ucUFList(QWidget *parent = nullptr);

    // True when an entry of this ID and kind (0 contact, 1 group) is listed.
    bool ContainsEntry(qint32 id, qint16 kind) const;
    // Adds an entry; it shows from the next RefreshEntries.
    void AddEntry(qint32 id, qint16 kind, const QString &text);
    // Shows the entries as they are now.
    void RefreshEntries();
    void ClearEntries();
    qint32 EntryCount() const;
    // Every entry's ID and kind, all joined by "|", ID first; "" for none.
    QString SelectionText() const;
    qint16 EntryKind(qint32 index) const;
    // The recipient kept in an entry's sent copy: its text, without the
    // "," that would split the copy's fields.
    QString ContactEntryLabel(qint32 index) const;
    QString GroupEntryLabel(qint32 index) const;

Q_SIGNALS:
    // The entries changed: added, removed by the user, or cleared.
    void Changed();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Entry {
        qint32 id;
        qint16 kind;
        QString text;
    };

    void RemoveEntry(qint32 id, qint16 kind);
    void PlaceTags();

    QList<Entry> m_entries;
    QScrollArea *m_scroll;
    QWidget *m_tags;
};
