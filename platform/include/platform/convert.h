#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

// Conversions of settings and protocol texts to numbers, with the classic
// rules: blanks around the number are allowed, "&H" marks hex, a fraction
// rounds half to even; an empty or non-numeric text raises the type-mismatch
// error (13), a number out of range the overflow error (6).
namespace platform {

double ToDouble(const QString &text);
qint32 ToLong(const QString &text);
qint16 ToInteger(const QString &text);

// The decimal number at the start of the text: blanks before it, a sign,
// digits and one "." are read up to the first other character; 0 when the
// text does not start with a number. Never raises.
double LeadingNumber(const QString &text);

// A window's opacity setting: the leading number rounded half to even,
// then kept within 200..255 (a number of any size, so a value past the
// 16-bit range is kept within them too).
qint16 Alpha(const QString &text);

// The text without the blanks at both ends, as the classic Trim: tabs and
// line breaks belong to the value and stay.
QString TrimBlanks(QStringView text);

} // namespace platform
