#pragma once

#include <QLatin1String>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// How texts in the databases are matched and ordered. Every connection that
// OpenDatabaseFile opens knows both rules:
//
// - LIKE ignores letter case for every letter, and takes I, ı, İ and i for
//   one letter, so that a search typed without care for the Turkish dotted
//   and dotless I ("ibrahim", "IŞIK", "irene") still finds its row; "%" and
//   "_" keep their meaning.
// - The collation named AlphabeticalCollation orders by the Turkish
//   alphabet, A B C Ç D E F G Ğ H I İ J ... Z, ignoring case: I and ı sort as
//   I, İ and i as İ, and other accented letters with their base letter.
//
// The two differ on purpose: a search must find a name however its I was
// typed, while a list must keep the alphabet's own place of I and İ.
//
// The schema declares neither rule, so any SQLite tool still reads the files
// (without the collation) and equality comparisons keep the column's rule.
inline constexpr QLatin1String AlphabeticalCollation("turkish");

// ORDER BY terms for an alphabetical list: each of `columns` in the
// alphabetical collation, the first sorting first, then `id`, which settles
// the rows that tie on all of them: "F3 COLLATE turkish, F4 COLLATE turkish, F1".
QString AlphabeticalOrder(const QStringList &columns, const QString &id);

// Puts both rules on an open connection. Raises platform::Error when the
// connection is not an SQLite one or refuses them.
void InstallTextRules(const QSqlDatabase &connection);
