#pragma once

#include <QString>

// What the console stores of the texts typed into its forms. Values reach
// the databases bound to their statements, never pasted into them.

// The console's rule for a text pasted between quotes into a statement:
// every "--" removed (left to right, without overlaps), then every "'"
// doubled. a---b gives a-b; it's gives it''s.
QString CleanString(const QString &text);

// The stored form of a typed text: every "--" removed, as CleanString does,
// and nothing else, so O'Neil is stored as O'Neil.
QString StoredText(const QString &text);

// The stored form of a contact's name or company and of a group name:
// StoredText without "^" and "|", which separate the fields and records of
// the service's search answers.
QString StoredNameText(const QString &text);

// The stored form of a phone number: StoredNameText without ",", which
// separates the fields of a queued message line.
QString StoredPhonenumber(const QString &text);

// Whether a stored phone number is longer than the service sends whole.
bool PhonenumberTooLong(const QString &stored);

// A user name may hold only the letters A-Z and a-z and the digits 0-9,
// judged by their codes in the system's single-byte code page; the empty
// name passes.
bool IsEnglishName(const QString &name);

// A password that is empty or made of blanks alone counts as none.
bool IsEmptyPassword(const QString &password);
