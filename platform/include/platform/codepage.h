#pragma once

#include <QByteArray>
#include <QString>

// The system's single-byte "ANSI" code page: Windows-1254 unless the
// environment variable TALVINOR_CODEPAGE names another single-byte page.
// Every conversion between text and single bytes goes through here.
namespace platform::codepage {

// Name of the page in use, as iconv knows it.
QString name();

// The byte for one UTF-16 unit; '?' when the page lacks the character.
unsigned char ansiCode(QChar c);
// The character for one byte.
QChar ansiChar(unsigned char byte);

// True when the page has a byte for every character of the text, so that
// none of them would turn into '?'.
bool canEncode(QStringView text);

QByteArray toAnsi(QStringView text);
QString fromAnsi(QByteArrayView bytes);

} // namespace platform::codepage
