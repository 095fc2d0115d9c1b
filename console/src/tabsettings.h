#pragma once

#include <QFrame>
#include <QStringList>

class QComboBox;
class QGroupBox;
class QLabel;
class QTimeEdit;
class frmMain;
namespace gui { class ARButton; }

// Tab 4: the console's language and opacity, and the service's bulk hours.
class SettingsTab : public QFrame {
    Q_OBJECT
public:
    explicit SettingsTab(frmMain &owner);

    // Lists the language files of lang/ and selects the current language.
    void InitSettings();
    // Writes the three settings and applies them.
    void btnSettingsSave_Click();

    // The language code of each row of cmbLanguage.
    QStringList languageCodes;

    QGroupBox *frmInterfaceSettings;
    QLabel *lblLanguage;
    QComboBox *cmbLanguage;
    QLabel *lblWindowTransparency;
    QComboBox *cmbWindowTransparency;
    QGroupBox *frmAllowedTimeInterval;
    QLabel *lblStartTime;
    QTimeEdit *dtpStartTime;
    QLabel *lblEndTime;
    QTimeEdit *dtpEndTime;
    gui::ARButton *btnSettingsSave;

private:
    frmMain &m_owner;
};

// The opacity of each row of the opacity selector.
inline constexpr int TransparencyRows[] = {255, 230, 200};
// The row that shows `alpha`: 255 row 0, 200 row 2, anything else row 1.
int TransparencyRow(int alpha);
