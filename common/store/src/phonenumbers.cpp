#include "store/phonenumbers.h"

QString WithoutNumberSeparators(const QString &number)
{
    QString digits;
    digits.reserve(number.size());
    for (const QChar c : number) {
        switch (c.unicode()) {
        case ' ':
        case '\t':
        case 0x00A0: // no-break space
        case '(':
        case ')':
        case '-':
        case '.':
        case '/':
            break;
        default:
            digits += c;
        }
    }
    return digits;
}
