#pragma once

#include "contactlists.h"

#include <QFrame>
#include <QString>
#include <optional>

class QLabel;
class QLineEdit;
class QTreeWidget;
class frmMain;
namespace gui { class ARButton; }

// Tab 1: the contacts of phonebook.db.
class PhonebookTab : public QFrame {
    Q_OBJECT
public:
    explicit PhonebookTab(frmMain &owner);

    // Fills the list in the first order; the form stays empty. False, after
    // the error has been reported, when the list cannot be filled.
    bool InitPhonebook();
    // Marks the row of the contact `id` selected and makes it the form's
    // contact; the form keeps its texts.
    void SelectPhonebookItem(const QString &id);

    void btnAddPhonenumber_Click();
    void btnEditPhonenumber_Click();
    void btnDeletePhonenumber_Click();
    void btnClearFormPhonenumber_Click();
    // Loads the selected row into the form, from the list.
    void lsvPhonenumber_Click();
    // `index` 1 to 4: the clicked column sorts first.
    void lsvPhonenumber_ColumnClick(int index);

    // The ID of the contact in the form; "" for none. Edit and Delete act on it.
    QString selectedPhonenumberID;
    SortColumns sortPhonebook = InitialSortColumns();

    QTreeWidget *lsvPhonenumber;
    QLabel *lblFirstName;
    QLineEdit *txtFirstName;
    QLabel *lblLastName;
    QLineEdit *txtLastName;
    QLabel *lblCompany;
    QLineEdit *txtCompany;
    QLabel *lblPhonenumber;
    QLineEdit *txtPhonenumber;
    gui::ARButton *btnAddPhonenumber;
    gui::ARButton *btnEditPhonenumber;
    gui::ARButton *btnDeletePhonenumber;
    gui::ARButton *btnClearFormPhonenumber;

private:
    struct Contact {
        QString firstName;
        QString lastName;
        QString company;
        QString phonenumber;
    };
    // The form's contact as it is stored; none when a required field is
    // missing or the number is refused (with a warning).
    std::optional<Contact> FormContact();
    void RefreshContacts();
    // After a failed action: the list as the database holds it, with the
    // form's contact selected again and the form as it was typed.
    void ReportError(const char *procedure);

    frmMain &m_owner;
    bool m_selecting = false;
};

// A contact list in report view: first name, last name, company, phone
// number. It never sorts itself.
QTreeWidget *PlaceContactList(QWidget *parent, const char *name, int left, int top, int width, int height);

// The name a delete prompt gives a contact list's row: first name, last name
// and company, each part after the first joined by one blank and the blanks
// at both ends removed at each step.
QString ContactPromptName(const QTreeWidgetItem *row);

// The row of a contact list whose tag is `id`, or null.
QTreeWidgetItem *ContactRow(const QTreeWidget *list, const QString &id);
