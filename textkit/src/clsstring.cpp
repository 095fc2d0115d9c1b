#include "textkit/clsstring.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/version.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <random>

namespace textkit {
namespace {

using platform::codepage::ansiChar;
using platform::codepage::ansiCode;

// A 16-bit counter walking a text of 32767 characters overflows when it steps
// past the last one.
constexpr qsizetype MaxTextLength = 32766;
// Bit strings are padded to whole bytes before they are walked in groups of
// 8, so 32760 (4095 bytes) is the longest that stays within 16 bits.
constexpr qsizetype MaxGroupedBits = 32760;

constexpr char16_t HexDigits[] = u"0123456789ABCDEF";

void CheckLength(QStringView s)
{
    if (s.size() > MaxTextLength)
        platform::raiseOverflow();
}

int AsInteger(int value)
{
    if (value < -32768 || value > 32767)
        platform::raiseOverflow();
    return value;
}

int AsByte(int value)
{
    if (value < 0 || value > 255)
        platform::raiseOverflow();
    return value;
}

[[noreturn]] void RaiseInvalidCall()
{
    throw platform::Error(platform::ErrInvalidCall, QStringLiteral("Invalid procedure call or argument"));
}

// Digit values of the ASCII characters, either case; -1 for the rest. A
// table rather than comparisons: hex digits mix 0-9 and A-F at random, which
// defeats branch prediction.
constexpr auto HexValues = [] {
    std::array<signed char, 128> values{};
    values.fill(-1);
    for (int i = 0; i < 10; ++i)
        values[static_cast<size_t>('0' + i)] = static_cast<signed char>(i);
    for (int i = 0; i < 6; ++i) {
        values[static_cast<size_t>('A' + i)] = static_cast<signed char>(10 + i);
        values[static_cast<size_t>('a' + i)] = static_cast<signed char>(10 + i);
    }
    return values;
}();

int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    return u < HexValues.size() ? HexValues[u] : -1;
}

// A digit's value; any other character reads as 0.
int NumericValue(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') ? u - u'0' : 0;
}

quint8 PairByte(QChar first, QChar last)
{
    const int value = 16 * HexDigitValue(first) + HexDigitValue(last);
    return value < 0 ? 0 : static_cast<quint8>(value);
}

// Calls fn with the byte of each pair of ZeroPad(s, 2).
template <typename Fn>
void ForEachPaddedPair(QStringView s, Fn fn)
{
    if (s.isEmpty()) {
        fn(quint8{0});
        return;
    }
    qsizetype i = 0;
    if (s.size() % 2 != 0) {
        fn(PairByte(QLatin1Char('0'), s[0]));
        i = 1;
    }
    for (; i < s.size(); i += 2)
        fn(PairByte(s[i], s[i + 1]));
}

QChar *WriteHex(QChar *out, quint8 byte)
{
    *out++ = QChar(HexDigits[byte >> 4]);
    *out++ = QChar(HexDigits[byte & 0x0F]);
    return out;
}

QChar *WriteBits(QChar *out, quint8 byte)
{
    for (int bit = 7; bit >= 0; --bit)
        *out++ = QChar((byte >> bit) & 1 ? u'1' : u'0');
    return out;
}

// The byte of 8 bit characters, as CBin2Lng reads them.
quint8 GroupByte(const QChar *bits)
{
    int value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 1) | (NumericValue(bits[i]) != 0 ? 1 : 0);
    return static_cast<quint8>(value);
}

// Calls fn with the byte of each group of 8 after padding s with "0" in front.
template <typename Fn>
void ForEachBitGroup(QStringView s, Fn fn)
{
    if (s.size() > MaxGroupedBits)
        platform::raiseOverflow();
    const qsizetype head = s.size() % 8;
    qsizetype i = 0;
    if (head != 0) {
        QChar group[8];
        std::fill(group, group + 8 - head, QLatin1Char('0'));
        std::copy(s.begin(), s.begin() + head, group + 8 - head);
        fn(GroupByte(group));
        i = head;
    }
    for (; i < s.size(); i += 8)
        fn(GroupByte(s.data() + i));
}

template <typename Op>
QString DigitWise(QStringView s1, QStringView s2, Op op)
{
    CheckLength(s1);
    CheckLength(s2);
    const qsizetype length = std::max(s1.size(), s2.size());
    const qsizetype skip1 = length - s1.size();
    const qsizetype skip2 = length - s2.size();
    // A result above 9 (from digits other than 0 and 1) takes two characters.
    QString result(2 * length, Qt::Uninitialized);
    QChar *out = result.data();
    for (qsizetype i = 0; i < length; ++i) {
        const int a = i < skip1 ? 0 : NumericValue(s1[i - skip1]);
        const int b = i < skip2 ? 0 : NumericValue(s2[i - skip2]);
        const int value = op(a, b);
        if (value >= 10)
            *out++ = QLatin1Char('1');
        *out++ = QChar(u'0' + value % 10);
    }
    result.truncate(out - result.constData());
    return result;
}

// How many copies of strChar's first character LPad and RPad add.
qsizetype PadLength(QStringView s, int intMod, QStringView strChar)
{
    CheckLength(s);
    CheckLength(strChar);
    AsInteger(intMod);
    if (intMod <= 0)
        return 0;
    if (s.isEmpty()) {
        if (strChar.isEmpty())
            RaiseInvalidCall();
        return intMod;
    }
    if (strChar.isEmpty() || s.size() % intMod == 0)
        return 0;
    return intMod - s.size() % intMod;
}

QString Zeros(qsizetype count)
{
    return QString(count, QLatin1Char('0'));
}

std::uint64_t TimeOfDaySeed()
{
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(duration_cast<nanoseconds>(now % hours(24)).count());
}

} // namespace

QString clsString::Version()
{
    return QStringLiteral("%1.%2.%3")
        .arg(TALVINOR_VERSION_MAJOR)
        .arg(TALVINOR_VERSION_MINOR)
        .arg(TALVINOR_VERSION_REVISION);
}

QString clsString::CStr2Hex(QStringView s)
{
    CheckLength(s);
    const QByteArray bytes = platform::codepage::toAnsi(s);
    QString result(2 * bytes.size(), Qt::Uninitialized);
    QChar *out = result.data();
    for (char b : bytes)
        out = WriteHex(out, static_cast<quint8>(b));
    return result;
}

qint32 clsString::CHex2Lng(QStringView s)
{
    CheckLength(s);
    // The last 8 digits of "00000000" & s.
    QChar digits[8];
    std::fill(digits, digits + 8, QLatin1Char('0'));
    const qsizetype take = std::min<qsizetype>(8, s.size());
    std::copy(s.end() - take, s.end(), digits + 8 - take);
    quint32 value = 0;
    for (int i = 0; i < 8; i += 2)
        value = (value << 8) | PairByte(digits[i], digits[i + 1]);
    return static_cast<qint32>(value);
}

quint8 clsString::CHex2Byte(QStringView s)
{
    CheckLength(s);
    // Only the first and last characters of ZeroPad(s, 2) count.
    const QChar first = s.size() % 2 != 0 || s.isEmpty() ? QLatin1Char('0') : s.front();
    const QChar last = s.isEmpty() ? QLatin1Char('0') : s.back();
    return PairByte(first, last);
}

QString clsString::CHex2Bin(QStringView s)
{
    CheckLength(s);
    QString result(8 * std::max<qsizetype>(1, (s.size() + 1) / 2), Qt::Uninitialized);
    QChar *out = result.data();
    ForEachPaddedPair(s, [&out](quint8 byte) { out = WriteBits(out, byte); });
    return result;
}

QString clsString::CHex2Str(QStringView s)
{
    CheckLength(s);
    QByteArray bytes((s.size() + 1) / 2, Qt::Uninitialized);
    char *out = bytes.data();
    qsizetype i = 0;
    for (; i + 1 < s.size(); i += 2)
        *out++ = static_cast<char>(PairByte(s[i], s[i + 1]));
    if (i < s.size())
        *out = static_cast<char>(PairByte(QLatin1Char('0'), s[i]));
    return platform::codepage::fromAnsi(bytes);
}

QString clsString::CLng2Bin(qint32 n)
{
    QString result(32, Qt::Uninitialized);
    const auto value = static_cast<quint32>(n);
    QChar *out = result.data();
    for (int shift = 24; shift >= 0; shift -= 8)
        out = WriteBits(out, static_cast<quint8>(value >> shift));
    return result;
}

qint32 clsString::CBin2Lng(QStringView s)
{
    CheckLength(s);
    quint32 value = 0;
    const qsizetype low = std::min<qsizetype>(31, s.size());
    for (qsizetype i = 0; i < low; ++i) {
        if (NumericValue(s[s.size() - 1 - i]) != 0)
            value |= quint32{1} << i;
    }
    // Shorter texts are padded with "0", so only a full-length text can carry a sign.
    if (s.size() >= 32 && s.front() == QLatin1Char('1'))
        value |= quint32{1} << 31;
    return static_cast<qint32>(value);
}

QString clsString::CByte2Bin(int b)
{
    QString result(8, Qt::Uninitialized);
    WriteBits(result.data(), static_cast<quint8>(AsByte(b)));
    return result;
}

QString clsString::CStr2Bin(QStringView s)
{
    CheckLength(s);
    const QByteArray bytes = platform::codepage::toAnsi(s);
    QString result(8 * bytes.size(), Qt::Uninitialized);
    QChar *out = result.data();
    for (char b : bytes)
        out = WriteBits(out, static_cast<quint8>(b));
    return result;
}

QString clsString::CBin2Str(QStringView s)
{
    QByteArray bytes((s.size() + 7) / 8, Qt::Uninitialized);
    char *out = bytes.data();
    ForEachBitGroup(s, [&out](quint8 byte) { *out++ = static_cast<char>(byte); });
    return platform::codepage::fromAnsi(bytes);
}

QString clsString::CBin2Hex(QStringView s)
{
    QString result(2 * ((s.size() + 7) / 8), Qt::Uninitialized);
    QChar *out = result.data();
    // The hex of the character each group stands for.
    ForEachBitGroup(s, [&out](quint8 byte) { out = WriteHex(out, ansiCode(ansiChar(byte))); });
    return result;
}

QString clsString::BinXor(QStringView s1, QStringView s2)
{
    return DigitWise(s1, s2, [](int a, int b) { return a ^ b; });
}

QString clsString::BinAnd(QStringView s1, QStringView s2)
{
    return DigitWise(s1, s2, [](int a, int b) { return a & b; });
}

QString clsString::BinOr(QStringView s1, QStringView s2)
{
    return DigitWise(s1, s2, [](int a, int b) { return a | b; });
}

qint32 clsString::ShiftLngRight(qint32 n, int bits)
{
    // 2^31 does not fit the 32-bit divisor.
    if (AsByte(bits) >= 31)
        platform::raiseOverflow();
    return n / (qint32{1} << bits);
}

qint32 clsString::ShiftLngLeft(qint32 n, int bits)
{
    if (AsByte(bits) >= 32)
        return 0;
    return static_cast<qint32>(static_cast<quint32>(n) << bits);
}

QString clsString::ShiftBinRight(QStringView s, int bits)
{
    CheckLength(s);
    const qsizetype shift = std::min<qsizetype>(AsByte(bits), s.size());
    return Zeros(shift).append(s.first(s.size() - shift));
}

QString clsString::ShiftBinLeft(QStringView s, int bits)
{
    CheckLength(s);
    const qsizetype shift = std::min<qsizetype>(AsByte(bits), s.size());
    return s.sliced(shift).toString().append(Zeros(shift));
}

QString clsString::RollBinRight(QStringView s, int bits)
{
    CheckLength(s);
    AsByte(bits);
    if (s.isEmpty())
        return {};
    const qsizetype shift = bits % s.size();
    return s.last(shift).toString().append(s.first(s.size() - shift));
}

QString clsString::RollBinLeft(QStringView s, int bits)
{
    CheckLength(s);
    AsByte(bits);
    if (s.isEmpty())
        return {};
    const qsizetype shift = bits % s.size();
    return s.sliced(shift).toString().append(s.first(shift));
}

QString clsString::RandomHex(int intNumberOfChars)
{
    // The loop over intNumberOfChars pairs cannot count past 32767.
    if (AsInteger(intNumberOfChars) == 32767)
        platform::raiseOverflow();
    if (intNumberOfChars < 0)
        RaiseInvalidCall();
    std::mt19937_64 generator(TimeOfDaySeed());
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // Only the first intNumberOfChars digits of the pairs are kept.
    const int pairs = (intNumberOfChars + 1) / 2;
    QString result(2 * pairs, Qt::Uninitialized);
    QChar *out = result.data();
    for (int i = 0; i < pairs; ++i) {
        // Rounds half to even; 256 keeps its last two digits, "00".
        const auto value = static_cast<int>(std::nearbyint(unit(generator) * 256));
        out = WriteHex(out, static_cast<quint8>(value & 0xFF));
    }
    result.truncate(intNumberOfChars);
    return result;
}

QString clsString::RandomBin(int intNumberOfChars)
{
    AsInteger(intNumberOfChars);
    return CHex2Bin(RandomHex(AsInteger(2 * intNumberOfChars))).left(intNumberOfChars);
}

QString clsString::ChecksumHex(QStringView strHexString)
{
    QString result(2, Qt::Uninitialized);
    WriteHex(result.data(), static_cast<quint8>(ChecksumInt(strHexString)));
    return result;
}

int clsString::ChecksumInt(QStringView strHexString)
{
    CheckLength(strHexString);
    int sum = 0;
    ForEachPaddedPair(strHexString, [&sum](quint8 byte) { sum = (sum + byte) % 256; });
    return sum;
}

QString clsString::ZeroPad(QStringView s, int intMod)
{
    return LPad(s, intMod, u"0");
}

QString clsString::LPad(QStringView s, int intMod, QStringView strChar)
{
    const qsizetype count = PadLength(s, intMod, strChar);
    return count == 0 ? s.toString() : QString(count, strChar.front()).append(s);
}

QString clsString::RPad(QStringView s, int intMod, QStringView strChar)
{
    const qsizetype count = PadLength(s, intMod, strChar);
    return count == 0 ? s.toString() : s.toString().append(QString(count, strChar.front()));
}

QString clsString::RepeatStr(int intTimes, QStringView strString, int intLength)
{
    AsInteger(intTimes);
    CheckLength(strString);
    if (AsInteger(intLength) < 0)
        RaiseInvalidCall();
    int times = std::max(0, intTimes);
    // Copies past the first intLength characters would be cut off again.
    if (intLength > 0 && !strString.isEmpty())
        times = std::min<int>(times, static_cast<int>((intLength + strString.size() - 1) / strString.size()));
    QString result = strString.toString().repeated(times);
    if (intLength != 0)
        result.truncate(intLength);
    return result;
}

QString clsString::Concat(QStringView strDelimiter, const QStringList &texts)
{
    CheckLength(strDelimiter);
    for (const QString &text : texts)
        CheckLength(text);
    return texts.join(strDelimiter);
}

QString clsString::Separate(QStringView s, int n, QStringView strSeparator)
{
    CheckLength(s);
    CheckLength(strSeparator);
    if (AsInteger(n) < 1)
        return s.toString();
    QString result;
    result.reserve(s.size() + (s.size() / n) * strSeparator.size());
    for (qsizetype i = 0; i < s.size(); i += n) {
        if (i > 0)
            result += strSeparator;
        result += s.sliced(i, std::min<qsizetype>(n, s.size() - i));
    }
    return result;
}

} // namespace textkit
