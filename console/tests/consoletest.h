#pragma once

#include "frmmain.h"

#include "boxrecorder.h"
#include "common/errorlog.h"
#include "common/language.h"
#include "ownerrorlog.h"
#include "programfolder.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QHeaderView>
#include <QHelpEvent>
#include <QTimeEdit>
#include <QToolTip>
#include <QTreeView>
#include <gtest/gtest.h>
#include <memory>

// Types a time into a picker, section by section, as a user would.
inline void TypeTime(QTimeEdit *picker, const QString &hours, const QString &minutes)
{
    picker->setFocus();
    picker->setSelectedSection(QDateTimeEdit::HourSection);
    QTest::keyClicks(picker, hours);
    picker->setSelectedSection(QDateTimeEdit::MinuteSection);
    QTest::keyClicks(picker, minutes);
}

// The tool tip that resting the pointer on the cell `column` of the row
// `row` shows; empty when it shows none.
inline QString ToolTipOver(QTreeView *list, int row, int column)
{
    // A tip on its way out still tells its text.
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
        return QStringLiteral("(the last tip stays)");
    const QModelIndex index = list->model()->index(row, column);
    list->scrollTo(index);
    const QPoint cell(list->header()->sectionViewportPosition(column) + 3, list->visualRect(index).center().y());
    QHelpEvent event(QEvent::ToolTip, cell, list->viewport()->mapToGlobal(cell));
    QCoreApplication::sendEvent(list->viewport(), &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// A console window on a freshly installed program folder, with every
// message box recorded and answered.
class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        common::errorLogName = CurrentTestName() + QStringLiteral(".log");
    }

    // Writes `text` as the file `name` of the program folder (LF line ends).
    void Write(const QString &name, const QByteArray &text) const
    {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    void WriteConsoleSettings(const QByteArray &keys) const { Write(QStringLiteral("TalvinorSMSServer.ini"), "[SMSServer]\n" + keys); }

    // Creates the window and runs its start-up; false when the start-up failed.
    bool Start()
    {
        window = std::make_unique<frmMain>(folder.path());
        return window->Form_Load();
    }

    template <class Control>
    Control *Find(const char *name) const
    {
        return window->findChild<Control *>(QLatin1String(name));
    }

    // The error boxes shown so far.
    int ErrorBoxes() const
    {
        return static_cast<int>(std::count_if(boxes.boxes.begin(), boxes.boxes.end(),
                                              [](const common::Box &b) { return b.title == QLatin1String("Error"); }));
    }

    ProgramFolder folder;
    BoxRecorder boxes;
    std::unique_ptr<frmMain> window;
};
