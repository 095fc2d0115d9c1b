#pragma once

#include "common/boxes.h"

#include <QList>
#include <QMessageBox>

// Takes the place of every message box while it lives: each box is recorded
// and answered at once, with the next queued answer or else with the box's
// first button (OK, or Yes for a question).
class BoxRecorder {
public:
    BoxRecorder()
    {
        m_previous = common::SetBoxHandler([this](const common::Box &box) {
            boxes.append(box);
            if (!answers.isEmpty())
                return answers.takeFirst();
            return box.buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        });
    }
    ~BoxRecorder() { common::SetBoxHandler(m_previous); }
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;

    QList<common::Box> boxes;
    QList<QMessageBox::StandardButton> answers;

private:
    common::BoxHandler m_previous;
};
