#pragma once

#include <QString>

// A phone number as people write it, without the marks they write between
// its digits: blanks (the no-break space too), "(", ")", "-", "." and "/".
// Nothing else is dropped and nothing is added, so letters stay and a
// number that is no number still fails the modem's check.
QString WithoutNumberSeparators(const QString &number);
