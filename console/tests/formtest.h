#pragma once

#include "consoletest.h"

#include "contactlists.h"
#include "store/databasefiles.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QSqlRecord>
#include <QStyle>
#include <QTreeWidget>

// A console test that works the forms of the users, phone-book and groups
// tabs with the mouse and the keyboard, and looks into the databases
// through a connection of its own.
class FormTest : public ConsoleTest {
protected:
    // Every row of `query` on db/<database>.db, each value as text; a Null
    // reads "<null>".
    QList<QStringList> Rows(const char *database, const QString &query, const QVariantList &values = {}) const
    {
        QList<QStringList> rows;
        OnDatabase(database, [&](const QSqlDatabase &db) {
            QSqlQuery result = RunStatement(db, query, values);
            while (NextRow(result)) {
                QStringList row;
                for (int i = 0; i < result.record().count(); ++i)
                    row << (result.value(i).isNull() ? QStringLiteral("<null>") : result.value(i).toString());
                rows << row;
            }
        });
        return rows;
    }

    // The single value of a query, as text.
    QString Value(const char *database, const QString &query, const QVariantList &values = {}) const
    {
        return Rows(database, query, values).value(0).value(0);
    }

    void Exec(const char *database, const QString &statement, const QVariantList &values = {}) const
    {
        OnDatabase(database, [&](const QSqlDatabase &db) { RunStatement(db, statement, values); });
    }

    void OnDatabase(const char *database, const std::function<void(const QSqlDatabase &)> &work) const
    {
        const QString name = QStringLiteral("test.%1").arg(QLatin1String(database));
        {
            QSqlDatabase db = OpenDatabaseFile(name, folder.filePath(QStringLiteral("db/%1.db").arg(QLatin1String(database))));
            work(db);
            CloseDatabaseFile(db, name);
        }
    }

    void Click(const char *button) const { QTest::mouseClick(Find<QWidget>(button), Qt::LeftButton); }

    // Empties the box and types `text` into it key by key.
    void Type(const char *box, const QString &text) const
    {
        auto *edit = Find<QLineEdit>(box);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    QString Text(const char *box) const { return Find<QLineEdit>(box)->text(); }

    void ClickRow(QListWidget *list, int row) const
    {
        QListWidgetItem *item = list->item(row);
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    }

    void ClickRow(QTreeWidget *list, QTreeWidgetItem *item) const
    {
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    }

    // Clicks the header of column `column` (1 to 4).
    void ClickHeader(QTreeWidget *list, int column) const
    {
        QHeaderView *header = list->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column - 1) + 5, header->height() / 2));
    }

    // Clicks the check box of a row.
    void ClickBox(QTreeWidget *list, QTreeWidgetItem *item) const
    {
        list->scrollToItem(item);
        const QRect row = list->visualItemRect(item);
        const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
        const int width = list->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(row.left() + margin + width / 2, row.center().y()));
    }

    // The texts of a contact list's rows, four columns joined by "/".
    static QStringList Shown(const QTreeWidget *list)
    {
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = list->topLevelItem(i);
            rows << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(QLatin1Char('/'));
        }
        return rows;
    }

    static QStringList Shown(const QListWidget *list)
    {
        QStringList rows;
        for (int i = 0; i < list->count(); ++i)
            rows << list->item(i)->text();
        return rows;
    }

    // The boxes shown with the given title.
    QList<common::Box> BoxesTitled(const QString &title) const
    {
        QList<common::Box> shown;
        for (const common::Box &box : boxes.boxes)
            if (box.title == title)
                shown << box;
        return shown;
    }
};
