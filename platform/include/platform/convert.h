#pragma once

#include <QString>
#include <QtGlobal>

// Conversions of settings and protocol texts to numbers, with the classic
// rules: blanks around the number are allowed, "&H" marks hex, a fraction
// rounds half to even; an empty or non-numeric text raises the type-mismatch
// error (13), a number out of range the overflow error (6).
namespace platform {

double ToDouble(const QString &text);
qint32 ToLong(const QString &text);
qint16 ToInteger(const QString &text);

} // namespace platform
