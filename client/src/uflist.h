#pragma once

#include <QWidget>

// The compose page's list of picked contacts and groups.
class ucUFList : public QWidget {
    Q_OBJECT
public:
    explicit ucUFList(QWidget *parent = nullptr);

    // Empties the list.
    void ClearEntries();
};
