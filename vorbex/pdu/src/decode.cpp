#include "gsmtable.h"
#include "vorbex/modpdu.h"

#include "platform/codepage.h"

namespace modPDU {
namespace {

// The first octet's flag for a user-data header at the start of the user
// data (concatenation, ports, ...).
constexpr int UserDataHeaderFlag = 0x40;

bool IsHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// A type of address whose type-of-number bits say "alphanumeric" carries the
// sender's name in GSM septets; its length counts the semi-octets in use.
bool IsAlphanumericAddress(const QString& type)
{
    return (HexByteValue(type) & 0x70) == 0x50;
}

int OctetValue(QStringView hex, qsizetype i)
{
    return 16 * HexDigitValue(hex[2 * i]) + HexDigitValue(hex[2 * i + 1]);
}

QString UnpackSeptetsOf(QStringView hex)
{
    if (hex.isEmpty() || hex.size() % 2)
        return {};
    const qsizetype octets = hex.size() / 2;
    QString septets(octets + octets / 7, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(septets.data());
    int previous = 0;
    int k = 1;
    for (qsizetype i = 0; i < octets; ++i) {
        const int octet = OctetValue(hex, i);
        const int carried = k == 1 ? 0 : previous >> (9 - k);
        *out++ = static_cast<char16_t>(((octet << (k - 1)) & 127) | carried);
        if (k == 7) {
            // This octet's top seven bits are a whole septet of their own.
            *out++ = static_cast<char16_t>(octet >> 1);
            k = 1;
        } else {
            ++k;
        }
        previous = octet;
    }
    return septets;
}

QString SeptetsToTextOf(QStringView septets)
{
    const auto& table = detail::Table();
    QString text(septets.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const qsizetype n = septets.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = septets[i].unicode();
        if (c == detail::EscapeCode) {
            if (i + 1 == n)
                break; // an escape at the very end stands for nothing
            const char16_t next = septets[i + 1].unicode();
            if (next < 128 && table.extension[next]) {
                *out++ = table.extension[next];
                ++i;
            }
            // Otherwise the escape is dropped and the next code read normally.
            continue;
        }
        if (c < 128)
            *out++ = table.entries[c];
    }
    text.truncate(out - reinterpret_cast<const char16_t*>(text.constData()));
    return text;
}

QString EightBitText(QStringView data)
{
    const qsizetype n = data.size() / 2;
    QString text(n, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < n; ++i)
        out[i] = platform::codepage::ansiChar(static_cast<unsigned char>(OctetValue(data, i)));
    return text;
}

QString Ucs2Text(QStringView data)
{
    const qsizetype n = data.size() / 4;
    QString text(n, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < n; ++i)
        out[i] = static_cast<char16_t>(256 * OctetValue(data, 2 * i) + OctetValue(data, 2 * i + 1));
    return text;
}

// Reads the SMS-DELIVER fields in order from the next unread hex character;
// the caller checks with Has that a field lies wholly inside the PDU.
class DeliverReader {
public:
    explicit DeliverReader(const QString& pdu) : pdu_(pdu) {}

    bool Has(qsizetype width) const { return pos_ + width <= pdu_.size(); }
    void Skip(qsizetype width) { pos_ += width; }
    void MoveTo(qsizetype pos) { pos_ = pos; }
    QString Take(qsizetype width)
    {
        const QString field = pdu_.mid(pos_, width);
        pos_ += width;
        return field;
    }
    int TakeOctet() { return HexByteValue(Take(2)); }
    QStringView Rest() const { return QStringView(pdu_).mid(pos_); }

private:
    const QString& pdu_;
    qsizetype pos_ = 0;
};

QString DecodeFields(const QString& pdu, bool hasSmsc, QString& phone, QString& datetime)
{
    if (pdu.isEmpty() || !IsHexString(pdu))
        return {};
    DeliverReader r(pdu);
    if (hasSmsc) {
        if (!r.Has(2))
            return {};
        r.MoveTo(2 + 2 * static_cast<qsizetype>(r.TakeOctet()));
    }
    if (!r.Has(2))
        return {};
    const bool hasHeader = (r.TakeOctet() & UserDataHeaderFlag) != 0;

    if (!r.Has(2))
        return {};
    const int senderLength = r.TakeOctet();
    if (!r.Has(2))
        return {};
    const QString type = r.Take(2);
    const qsizetype fieldWidth = senderLength + senderLength % 2;
    if (!r.Has(fieldWidth))
        return {};
    const QString field = r.Take(fieldWidth);
    if (IsAlphanumericAddress(type)) {
        phone = SeptetsToTextOf(QStringView(UnpackSeptetsOf(field)).left(senderLength * 4 / 7));
    } else {
        if (type == QLatin1String("91"))
            phone = QStringLiteral("+");
        phone += SwapSemiOctets(field).left(senderLength);
        if (phone.endsWith(u'F') || phone.endsWith(u'f'))
            phone.chop(1);
    }

    if (!r.Has(2 + 2 + 14))
        return {};
    r.Skip(2); // protocol identifier
    const QString coding = r.Take(2);
    datetime = SwapSemiOctets(r.Take(14));
    if (!r.Has(2))
        return {};
    const int userDataLength = r.TakeOctet();
    const QStringView userData = r.Rest();
    // A header is its length octet and that many octets, whatever they
    // hold; the text starts after it (in 7-bit, at the next septet).
    const qsizetype headerOctets = hasHeader ? (userData.size() >= 2 ? OctetValue(userData, 0) + 1 : 1) : 0;
    if (2 * headerOctets > userData.size())
        return {};

    if (coding == QLatin1String("00")) {
        const QString unpacked = UnpackSeptetsOf(userData);
        const QStringView septets = QStringView(unpacked).left(userDataLength);
        const qsizetype headerSeptets = (headerOctets * 8 + 6) / 7;
        return headerSeptets < septets.size() ? SeptetsToTextOf(septets.mid(headerSeptets)) : QString();
    }
    if (coding == QLatin1String("04"))
        return EightBitText(userData.mid(2 * headerOctets));
    if (coding == QLatin1String("08"))
        return Ucs2Text(userData.mid(2 * headerOctets));
    return {};
}

} // namespace

QString DecodeDeliverPdu(const QString& pdu, bool hasSmsc, QString& phone, QString& datetime)
{
    phone.clear();
    datetime.clear();
    try {
        return DecodeFields(pdu, hasSmsc, phone, datetime);
    } catch (...) {
        return {};
    }
}

bool IsHexString(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (!IsHexDigit(c))
            return false;
    return true;
}

int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return 0;
}

int HexByteValue(const QString& text)
{
    if (text.size() != 2)
        return 0;
    return 16 * HexDigitValue(text[0]) + HexDigitValue(text[1]);
}

QString ReadOctetHex(const QString& text, int position)
{
    if (position <= 0 || position >= text.size())
        return {};
    return text.mid(position - 1, 2);
}

QString UnpackSeptets(const QString& hex)
{
    return UnpackSeptetsOf(hex);
}

QString SeptetsToText(const QString& septets)
{
    return SeptetsToTextOf(septets);
}

} // namespace modPDU
