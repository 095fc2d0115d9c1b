#include "gsmtable.h"
#include "hexdigits.h"
#include "vorbex/modpdu.h"

#include "platform/convert.h"

namespace modPDU {
namespace {

constexpr qsizetype MaxSeptets = 160;
constexpr qsizetype MaxUcs2Characters = 70;

bool IsDecimalDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The septets of a text that goes out with the 7-bit coding, or "" when it
// does not: the counters of the composing screens follow IsSevenBitText, so
// only such texts are sent 7-bit, and only when each character has a GSM
// code and the whole fits one message.
QString SevenBitSeptets(const QString& text)
{
    if (!IsSevenBitText(text))
        return {};
    const QString septets = TextToSeptets(text);
    return septets.size() <= MaxSeptets ? septets : QString();
}

// The coding of a text whose 7-bit septets (see above) are given.
SmsCoding CodingOf(const QString& text, const QString& septets)
{
    if (!septets.isEmpty())
        return SmsCoding::SevenBit;
    return text.size() <= MaxUcs2Characters ? SmsCoding::Ucs2 : SmsCoding::TooLong;
}

QString Ucs2UserData(QStringView text)
{
    QString out(text.size() * 4, Qt::Uninitialized);
    char16_t* p = reinterpret_cast<char16_t*>(out.data());
    for (const QChar c : text) {
        detail::WriteHexOctet(p, c.unicode() >> 8);
        detail::WriteHexOctet(p, c.unicode() & 0xFF);
    }
    return out;
}

QString BuildSubmitPdu(const QString& number, const QString& text)
{
    if (number.size() > 20 || number.size() < 3 || text.isEmpty())
        return {};

    QString digits = number;
    bool international = false;
    if (number.startsWith(u'+')) {
        digits = number.mid(1);
        international = true;
    } else if (number.startsWith(QLatin1String("00"))) {
        digits = number.mid(2);
        international = true;
    }

    QString pdu;
    pdu.reserve(48 + 4 * MaxUcs2Characters);
    // No service centre (the modem's stored one), SMS-SUBMIT with a relative
    // validity period, message reference 0.
    pdu += QLatin1String("001100");
    pdu += HexByte(static_cast<qint32>(digits.size()));
    pdu += international ? QLatin1String("91") : QLatin1String("81");
    pdu += SwapSemiOctets(digits);
    pdu += QLatin1String("00"); // protocol identifier

    const QString septets = SevenBitSeptets(text);
    switch (CodingOf(text, septets)) {
    case SmsCoding::SevenBit:
        pdu += QLatin1String("00AA");
        pdu += HexByte(static_cast<qint32>(septets.size()));
        pdu += PackSeptets(septets);
        break;
    case SmsCoding::Ucs2:
        pdu += QLatin1String("08AA");
        pdu += HexByte(static_cast<qint32>(2 * text.size()));
        pdu += Ucs2UserData(text);
        break;
    case SmsCoding::TooLong:
        return {};
    }
    return pdu;
}

} // namespace

SmsCoding OneSmsCoding(const QString& text)
{
    return CodingOf(text, SevenBitSeptets(text));
}

QString TextAsSent(QStringView queued)
{
    return platform::TrimBlanks(queued).replace(u'|', u'\n');
}

qsizetype OneSmsLimit(const QString& sent)
{
    const bool sevenBitCoded = sent.isEmpty() || (IsSevenBitText(sent) && !TextToSeptets(sent).isEmpty());
    return sevenBitCoded ? MaxSeptets : MaxUcs2Characters;
}

bool IsValidPhoneNumber(const QString& number)
{
    if (number.size() < 3 || number.size() > 20)
        return false;
    const QStringView rest = number.startsWith(u'+') ? QStringView(number).mid(1) : QStringView(number);
    for (const QChar c : rest)
        if (!IsDecimalDigit(c) && c != u'p')
            return false;
    return true;
}

QString EncodeSubmitPdu(const QString& number, const QString& text)
{
    try {
        return BuildSubmitPdu(number, text);
    } catch (...) {
        return {};
    }
}

QString HexByte(qint32 value)
{
    QString digits = QString::number(static_cast<quint32>(value), 16).toUpper();
    if (digits.size() % 2)
        digits.prepend(u'0');
    return digits;
}

QString SwapSemiOctets(const QString& digits)
{
    QString out = digits;
    if (out.size() % 2)
        out.append(u'F');
    for (qsizetype i = 0; i + 1 < out.size(); i += 2) {
        const QChar first = out[i];
        out[i] = out[i + 1];
        out[i + 1] = first;
    }
    return out;
}

QString CharToUcs2Hex(const QString& text)
{
    if (text.isEmpty())
        return {};
    return Ucs2UserData(QStringView(text).left(1));
}

QString TextToSeptets(const QString& text)
{
    QString septets(text.size() * 2, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(septets.data());
    for (const QChar c : text) {
        const int code = detail::GsmCodeOf(c);
        if (code < 0)
            return {};
        if (code >= 128) {
            *out++ = detail::EscapeCode;
            *out++ = static_cast<char16_t>(code - 128);
        } else {
            *out++ = static_cast<char16_t>(code);
        }
    }
    septets.truncate(out - reinterpret_cast<const char16_t*>(septets.constData()));
    return septets;
}

QString PackSeptets(const QString& septets)
{
    // Each octet takes the rest of the current septet (shifted right by i - 1)
    // and the low i bits of the next one in its top bits; every eighth septet
    // has then been used up completely and is skipped.
    const qsizetype n = septets.size();
    const char16_t* in = reinterpret_cast<const char16_t*>(septets.constData());
    QString out((n * 7 + 7) / 8 * 2, Qt::Uninitialized);
    char16_t* p = reinterpret_cast<char16_t*>(out.data());
    int i = 1;
    for (qsizetype k = 0; k < n; ++k) {
        const int c = (in[k] % 128) >> (i - 1);
        const int next = k + 1 < n ? in[k + 1] : 0;
        const int f = (next & ((1 << i) - 1)) << (8 - i);
        detail::WriteHexOctet(p, f | c);
        if (i == 7) {
            ++k;
            i = 1;
        } else {
            ++i;
        }
    }
    return out;
}

} // namespace modPDU
