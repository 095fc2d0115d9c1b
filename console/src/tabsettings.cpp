#include "tabsettings.h"

#include "controls.h"
#include "frmmain.h"
#include "timeinterval.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "gui/msgbox.h"
#include "store/servicesettings.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimeEdit>

namespace {

// Typing into a time picker as into the designed one: a click picks the
// whole hour or minute part under the pointer, and typed digits set that
// part at once: a first digit stands alone ("2" is 02) until a second one
// follows ("23"); a full hour (two digits, or one that no second digit could
// follow) moves on to the minutes. Without it a click only places the
// cursor, and the digits typed there make no time.
class TypedTimeParts : public QObject {
public:
    TypedTimeParts(QTimeEdit *picker, QLineEdit *text) : QObject(picker), m_picker(picker), m_text(text)
    {
        picker->installEventFilter(this);
        text->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_picker->isEnabled())
            return false;
        if (watched == m_text && event->type() == QEvent::MouseButtonPress) {
            const auto *click = static_cast<QMouseEvent *>(event);
            if (click->button() != Qt::LeftButton)
                return false;
            m_picker->setFocus(Qt::MouseFocusReason);
            m_text->setCursorPosition(m_text->cursorPositionAt(click->position().toPoint()));
            m_picker->setSelectedSection(m_picker->currentSection());
            m_typed.clear();
            return true;
        }
        if (watched != m_picker)
            return false;
        if (event->type() == QEvent::FocusIn)
            m_typed.clear();
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const QDateTimeEdit::Section section = m_picker->currentSection();
        const bool part = section == QDateTimeEdit::HourSection || section == QDateTimeEdit::MinuteSection;
        if (!part || key->text().size() != 1 || !key->text().front().isDigit()) {
            m_typed.clear();
            return false;
        }
        Type(section, key->text().front());
        return true;
    }

private:
    void Type(QDateTimeEdit::Section section, QChar digit)
    {
        const bool hour = section == QDateTimeEdit::HourSection;
        const int largest = hour ? 23 : 59;
        m_typed += digit;
        if (m_typed.toInt() > largest)
            m_typed = digit;
        const int value = m_typed.toInt();
        const bool full = m_typed.size() == 2 || value * 10 > largest;
        const QTime time = m_picker->time();
        m_picker->setTime(hour ? QTime(value, time.minute()) : QTime(time.hour(), value));
        if (full)
            m_typed.clear();
        m_picker->setSelectedSection(full && hour ? QDateTimeEdit::MinuteSection : section);
    }

    QTimeEdit *m_picker;
    QLineEdit *m_text;
    QString m_typed;  // the digits typed into the picked part so far
};

} // namespace

int TransparencyRow(int alpha)
{
    return alpha == 255 ? 0 : alpha == 200 ? 2 : 1;
}

SettingsTab::SettingsTab(frmMain &owner) : QFrame(&owner), m_owner(owner)
{
    frmInterfaceSettings = Place<QGroupBox>(this, "frmInterfaceSettings", 10, 8, 541, 104);
    lblLanguage = Place<QLabel>(frmInterfaceSettings, "lblLanguage", 15, 30, 200, 22);
    cmbLanguage = Place<QComboBox>(frmInterfaceSettings, "cmbLanguage", 220, 29, 250, 24);
    lblWindowTransparency = Place<QLabel>(frmInterfaceSettings, "lblWindowTransparency", 15, 66, 200, 22);
    cmbWindowTransparency = Place<QComboBox>(frmInterfaceSettings, "cmbWindowTransparency", 220, 65, 250, 24);
    for (int alpha : TransparencyRows)
        cmbWindowTransparency->addItem(QString(), alpha);

    frmAllowedTimeInterval = Place<QGroupBox>(this, "frmAllowedTimeInterval", 10, 124, 541, 104);
    lblStartTime = Place<QLabel>(frmAllowedTimeInterval, "lblStartTime", 15, 30, 200, 22);
    dtpStartTime = Place<QTimeEdit>(frmAllowedTimeInterval, "dtpStartTime", 220, 29, 100, 24);
    lblEndTime = Place<QLabel>(frmAllowedTimeInterval, "lblEndTime", 15, 66, 200, 22);
    dtpEndTime = Place<QTimeEdit>(frmAllowedTimeInterval, "dtpEndTime", 220, 65, 100, 24);
    for (QTimeEdit *picker : {dtpStartTime, dtpEndTime}) {
        picker->setDisplayFormat(QStringLiteral("HH:mm"));
        // The page's white text colour would hide the arrows.
        QPalette palette = picker->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        picker->setPalette(palette);
        new TypedTimeParts(picker, picker->findChild<QLineEdit *>());
    }

    btnSettingsSave = Place<gui::ARButton>(this, "btnSettingsSave", 421, 254, 130, 32);
    connect(btnSettingsSave, &gui::ARButton::clicked, this, &SettingsTab::btnSettingsSave_Click);
}

void SettingsTab::InitSettings()
{
    cmbLanguage->clear();
    languageCodes.clear();
    const QString folder = QDir(m_owner.state().programFolder).filePath(QStringLiteral("lang"));
    QStringList names;
    try {
        names = common::ListLanguageFiles(folder);
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("InitSettings"));
    }
    // A file that cannot be read is reported and left out of the list; the
    // others are still offered.
    for (const QString &name : names) {
        common::LanguageHeader header;
        try {
            header = common::ReadLanguageHeader(QDir(folder).filePath(name));
        } catch (...) {
            common::LogError(QStringLiteral("frmMain"), QStringLiteral("InitSettings"));
            continue;
        }
        languageCodes.append(header.code);
        cmbLanguage->addItem(header.listText());
        if (common::languageCode == header.code)
            cmbLanguage->setCurrentIndex(cmbLanguage->count() - 1);
    }
    if (!languageCodes.contains(common::languageCode))
        cmbLanguage->setCurrentIndex(-1);
}

void SettingsTab::btnSettingsSave_Click()
{
    ConsoleState &state = m_owner.state();
    const QString previousCode = common::languageCode;
    const int languageRow = cmbLanguage->currentIndex();
    const qint16 alpha = cmbWindowTransparency->currentIndex() >= 0
        ? static_cast<qint16>(cmbWindowTransparency->currentData().toInt())
        : state.windowAlpha;
    const QString interval = TimeIntervalText(dtpStartTime->time(), dtpEndTime->time());

    // Each value takes effect in the console only once its file holds it;
    // without a language row the stored language stays as it is.
    bool saved = false;
    try {
        if (languageRow >= 0) {
            const QString code = languageCodes.value(languageRow);
            state.iniConsole.WriteValue(QStringLiteral("SMSServer"), QStringLiteral("Language"), code);
            common::languageCode = code;
        }
        state.iniConsole.WriteValue(QStringLiteral("SMSServer"), QStringLiteral("Alpha"), QString::number(alpha));
        state.windowAlpha = alpha;
        state.iniService.WriteValue(QLatin1String(ServiceSettingsSection), QLatin1String(SendingWindowKey), interval);
        saved = true;
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("btnSettingsSave_Click"));
    }

    if (common::languageCode != previousCode) {
        common::ReadUnicodeLang();
        m_owner.SetLanguage();
    }
    m_owner.SetWindowAttributes();
    if (saved)
        // The text is shared with the client, whose alerts add the full stop.
        gui::MsgBoxText(common::LanguageText(QStringLiteral("settings_saved")) + u'.', gui::vbInformation,
                        common::LanguageText(QStringLiteral("information")));
}
