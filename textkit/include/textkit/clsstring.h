#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>

#if defined(TEXTKIT_LIBRARY)
#  define TEXTKIT_EXPORT Q_DECL_EXPORT
#else
#  define TEXTKIT_EXPORT Q_DECL_IMPORT
#endif

namespace textkit {

// Identities the library was registered under; kept for callers that
// record or compare them.
inline constexpr QStringView LibraryId = u"{4E099F08-58D8-41C4-A7DD-1203C97032EA}";
inline constexpr QStringView clsStringClassId = u"{7B26E685-7596-4760-9886-42EA1591C956}";
inline constexpr QStringView clsStringInterfaceId = u"{AC2AF02B-5FBA-42F3-93E2-98B2D18B9D8A}";

// Hex, bit-string, padding and checksum conversions. Stateless: every member
// is static and is called like a free function.
//
// Characters go through the ANSI code page (platform::codepage), one byte
// each; a character the page lacks counts as '?'. Hex output is upper case,
// bit strings are most significant bit first.
//
// Lengths and counters are 16-bit: a text argument of 32767 characters or
// more raises platform::Error ErrOverflow, and so does an Integer argument
// outside -32768..32767 or a Byte argument outside 0..255. Nothing is
// trapped; every error reaches the caller.
class TEXTKIT_EXPORT clsString {
public:
    // Major, minor and revision numbers joined by ".".
    static QString Version();

    // Two hex digits of each character's ANSI code.
    static QString CStr2Hex(QStringView s);
    // The last 8 hex digits as a signed 32-bit number ("FFFFFFFF" is -1).
    static qint32 CHex2Lng(QStringView s);
    // 16 x (first digit) + (last digit) of the text padded to even length;
    // a non-hex digit counts -1, a negative result gives 0.
    static quint8 CHex2Byte(QStringView s);
    // 8 bits per hex pair; an odd text is padded with "0" in front.
    static QString CHex2Bin(QStringView s);
    // One character per hex pair; an odd last digit is read as "0" & digit.
    static QString CHex2Str(QStringView s);
    // 32 bits, two's complement.
    static QString CLng2Bin(qint32 n);
    // Bits 0 to 30 from the last 31 characters (any non-zero digit counts 1);
    // a first character "1" sets the sign bit of a text of 32 characters or
    // more (shorter texts are padded with "0" in front).
    static qint32 CBin2Lng(QStringView s);
    // 8 bits of a byte.
    static QString CByte2Bin(int b);
    // 8 bits per character.
    static QString CStr2Bin(QStringView s);
    // One character per 8 bits; at most 32760 bits, padded with "0" in front
    // to whole groups.
    static QString CBin2Str(QStringView s);
    // Two hex digits per 8 bits; limits as CBin2Str.
    static QString CBin2Hex(QStringView s);

    // Digit-wise XOR, AND and OR after padding the shorter text with "0" in
    // front; each position gives the decimal text of the result.
    static QString BinXor(QStringView s1, QStringView s2);
    static QString BinAnd(QStringView s1, QStringView s2);
    static QString BinOr(QStringView s1, QStringView s2);

    // n divided by 2^bits, truncated toward zero; bits of 31 or more overflow.
    static qint32 ShiftLngRight(qint32 n, int bits);
    // n shifted left in 32 bits; bits of 32 or more give 0.
    static qint32 ShiftLngLeft(qint32 n, int bits);
    // Shift in "0" characters, keeping the length.
    static QString ShiftBinRight(QStringView s, int bits);
    static QString ShiftBinLeft(QStringView s, int bits);
    // Rotate by bits positions, wrapping as often as needed.
    static QString RollBinRight(QStringView s, int bits);
    static QString RollBinLeft(QStringView s, int bits);

    // intNumberOfChars random upper-case hex digits or bits; the generator is
    // reseeded from the time of day on every call. A negative count is an
    // invalid call.
    static QString RandomHex(int intNumberOfChars);
    static QString RandomBin(int intNumberOfChars);

    // Byte sum of the hex pairs modulo 256 (odd text padded with "0" in front).
    static QString ChecksumHex(QStringView strHexString);
    static int ChecksumInt(QStringView strHexString);

    // LPad(s, intMod, "0").
    static QString ZeroPad(QStringView s, int intMod);
    // When intMod > 0: an empty s becomes intMod copies of strChar's first
    // character, any other s is padded in front with it to the next multiple
    // of intMod. An empty s with an empty strChar is an invalid call.
    static QString LPad(QStringView s, int intMod, QStringView strChar);
    // As LPad, padding at the end.
    static QString RPad(QStringView s, int intMod, QStringView strChar);
    // strString intTimes over; when intLength is not 0, only its first
    // intLength characters (a negative intLength is an invalid call).
    static QString RepeatStr(int intTimes, QStringView strString, int intLength);
    // The texts joined with strDelimiter between them.
    static QString Concat(QStringView strDelimiter, const QStringList &texts);
    // strSeparator after every n-th character but the last; n < 1 leaves s.
    static QString Separate(QStringView s, int n, QStringView strSeparator);
};

} // namespace textkit
