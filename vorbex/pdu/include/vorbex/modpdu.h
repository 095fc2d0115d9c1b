#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

// The modem library's PDU module: the GSM 7-bit default alphabet, the
// character tests behind the 160/70 limit, SMS-SUBMIT encoding and
// SMS-DELIVER decoding. Hex texts are upper case on output; no function
// here raises to its caller.
namespace modPDU {

// --- GSM alphabet and text tests ---------------------------------------

// Fills the 128-entry GSM default-alphabet table (idempotent; the table is
// also filled on first use, so calling it is never required for correctness).
void InitGsmAlphabet();
// Entry k of the table: the character of GSM code k ("" for the escape code
// 27 and for k outside 0..127).
QString GsmAlphabetEntry(int k);
// The character that the escape code 27 followed by `code` stands for, or ""
// when `code` is not one of the ten recognised extension codes.
QString GsmExtensionEntry(int code);

// True when the text is not empty and every UTF-16 code is below 256.
bool IsSingleByteText(const QString& text);
// True when IsSingleByteText holds and every code is below 128. Looks at
// codes only, not at the GSM table.
bool IsSevenBitText(const QString& text);

// --- Encoding outgoing PDUs --------------------------------------------

// How a text goes out in one SMS, by the encoder's own rule: 7-bit when
// every code is below 128, each character has a GSM code and the septets
// (an extension character counts two) are at most 160; otherwise UCS2 when
// the text has at most 70 UTF-16 codes; otherwise it does not fit one SMS.
// An empty text is Ucs2 here; the encoder refuses it for being empty.
enum class SmsCoding { SevenBit, Ucs2, TooLong };
SmsCoding OneSmsCoding(const QString& text);
// The text as the modem will send it, from the text as it is queued: the
// queue readers trim the blanks at its ends, and each "|" is a line break.
QString TextAsSent(QStringView queued);
// The limit a composing screen's counter shows beside a text as sent (see
// TextAsSent): 160 when the text goes out 7-bit, or would if it were short
// enough (and for the empty text), otherwise 70. OneSmsCoding alone says whether it fits.
qsizetype OneSmsLimit(const QString& sent);

bool IsValidPhoneNumber(const QString& number);
// The SMS-SUBMIT PDU as hex text (with the service-centre length "00"), or ""
// when refused.
QString EncodeSubmitPdu(const QString& number, const QString& text);
// Hex digits of the number, upper case, with a leading "0" when odd in count.
QString HexByte(qint32 value);
// "F" appended to an odd-length text, then each pair of characters swapped.
QString SwapSemiOctets(const QString& digits);
// Four hex digits of the first character's UTF-16 code; "" for "".
QString CharToUcs2Hex(const QString& text);
// The text's GSM septets, one character per septet (codes 0..127): each
// character as its default-alphabet code, extension characters as 27 and
// their extension code. "" when the text is empty or a character has no
// GSM code.
QString TextToSeptets(const QString& text);
// Packs each character's code (taken modulo 128) as one septet; hex text.
QString PackSeptets(const QString& septets);

// --- Decoding received PDUs --------------------------------------------

// The message text of an SMS-DELIVER PDU, "" when it cannot be decoded.
// `phone` and `datetime` are cleared, then filled as far as decoding gets.
QString DecodeDeliverPdu(const QString& pdu, bool hasSmsc, QString& phone, QString& datetime);
bool IsHexString(const QString& text);
// 0..15 for a hex digit of either case; 0 for anything else.
int HexDigitValue(QChar c);
// Value of a two-character hex text; 0 unless it has exactly 2 characters.
int HexByteValue(const QString& text);
// The 2 characters at the 1-based position, or "" unless 0 < position < length.
QString ReadOctetHex(const QString& text, int position);
// One character per septet (codes 0..127); "" for an empty or odd-length text.
QString UnpackSeptets(const QString& hex);
// Septet characters to text through the GSM table and its escape extension.
QString SeptetsToText(const QString& septets);

} // namespace modPDU
