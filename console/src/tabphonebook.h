#pragma once

#include <QFrame>

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

    void InitPhonebook();

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
};

// A contact list in report view: first name, last name, company, phone number.
QTreeWidget *PlaceContactList(QWidget *parent, const char *name, int left, int top, int width, int height);
