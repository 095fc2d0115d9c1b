#include "simpdu/simpdu.h"

#include "platform/codepage.h"
#include "vorbex/modpdu.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <cstdlib>
#include <optional>

namespace simpdu {
namespace {

constexpr qsizetype MaxUserDataOctets = 140;
constexpr qsizetype MaxUserDataSeptets = 160;
constexpr qsizetype MaxAddressDigits = 20;
constexpr qsizetype MaxAlphanumericSeptets = 11;
constexpr int EscapeCode = 27;

enum class Alphabet { Gsm, EightBit, Ucs2, Unknown };

// Bits written least significant first, the order of packed 7-bit data.
class BitWriter {
public:
    void Put(int value, int width)
    {
        acc_ |= static_cast<quint32>(value & ((1 << width) - 1)) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            bytes_.append(static_cast<char>(acc_ & 0xFF));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    QByteArray Finish()
    {
        if (bits_ > 0)
            bytes_.append(static_cast<char>(acc_ & 0xFF));
        acc_ = 0;
        bits_ = 0;
        return bytes_;
    }

private:
    QByteArray bytes_;
    quint32 acc_ = 0;
    int bits_ = 0;
};

// The septet at index `index` of packed 7-bit data (0 past its end).
int SeptetAt(const QByteArray& bytes, qsizetype index)
{
    const qsizetype bit = index * 7;
    const qsizetype byte = bit / 8;
    auto at = [&](qsizetype i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    const unsigned pair = at(byte) | (at(byte + 1) << 8);
    return static_cast<int>((pair >> (bit % 8)) & 0x7F);
}

// GSM code of each character: k for entry k, 128 + e for escape and extension e.
const QHash<char16_t, int>& GsmCodes()
{
    static const QHash<char16_t, int> codes = [] {
        QHash<char16_t, int> map;
        for (int k = 0; k < 128; ++k) {
            const QString entry = modPDU::GsmAlphabetEntry(k);
            if (!entry.isEmpty())
                map.insert(entry[0].unicode(), k);
            const QString extension = modPDU::GsmExtensionEntry(k);
            if (!extension.isEmpty())
                map.insert(extension[0].unicode(), 128 + k);
        }
        return map;
    }();
    return codes;
}

std::optional<QList<int>> GsmSeptets(const QString& text)
{
    QList<int> septets;
    for (const QChar c : text) {
        const auto it = GsmCodes().constFind(c.unicode());
        if (it == GsmCodes().constEnd())
            return std::nullopt;
        if (*it >= 128) {
            septets.append(EscapeCode);
            septets.append(*it - 128);
        } else {
            septets.append(*it);
        }
    }
    return septets;
}

QString GsmText(const QList<int>& septets)
{
    QString text;
    for (qsizetype i = 0; i < septets.size(); ++i) {
        if (septets[i] != EscapeCode) {
            text += modPDU::GsmAlphabetEntry(septets[i]);
        } else if (i + 1 < septets.size() && !modPDU::GsmExtensionEntry(septets[i + 1]).isEmpty()) {
            text += modPDU::GsmExtensionEntry(septets[++i]);
        }
    }
    return text;
}

bool AllDigits(QStringView text)
{
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return !text.isEmpty();
}

// Digits as semi-octets, the first digit in the low half, "F" filling an odd count.
QByteArray SemiOctets(QStringView digits)
{
    QByteArray out;
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int low = digits[i].unicode() - u'0';
        const int high = i + 1 < digits.size() ? digits[i + 1].unicode() - u'0' : 0xF;
        out.append(static_cast<char>(low | (high << 4)));
    }
    return out;
}

struct Address {
    int length = 0; // digits, or semi-octets in use for a name
    int type = 0;
    QByteArray value;
};

std::optional<Address> SenderAddress(const QString& sender)
{
    const bool international = sender.startsWith(u'+');
    const QStringView digits = international ? QStringView(sender).mid(1) : QStringView(sender);
    if (AllDigits(digits)) {
        if (digits.size() > MaxAddressDigits)
            return std::nullopt;
        return Address{static_cast<int>(digits.size()), international ? 0x91 : 0x81, SemiOctets(digits)};
    }
    const auto septets = GsmSeptets(sender);
    if (sender.isEmpty() || !septets || septets->size() > MaxAlphanumericSeptets)
        return std::nullopt;
    BitWriter bits;
    for (const int s : *septets)
        bits.Put(s, 7);
    const int semiOctets = static_cast<int>((septets->size() * 7 + 3) / 4);
    return Address{semiOctets, 0xD0, bits.Finish()};
}

QByteArray ServiceCentreField()
{
    const QStringView digits = QStringView(kServiceCentre).mid(1);
    const QByteArray value = SemiOctets(digits);
    QByteArray field;
    field.append(static_cast<char>(value.size() + 1));
    field.append(static_cast<char>(0x91));
    field.append(value);
    return field;
}

// Service-centre time stamp: two swapped digits each for year, month, day,
// hour, minute, second, and the zone in quarter hours (bit 3 marks west of UTC).
QByteArray TimeStamp(const QDateTime& stamp)
{
    const QDate d = stamp.date();
    const QTime t = stamp.time();
    QByteArray out;
    auto put = [&out](int tens, int units) { out.append(static_cast<char>(tens | (units << 4))); };
    for (const int v : {d.year() % 100, d.month(), d.day(), t.hour(), t.minute(), t.second()})
        put(v / 10, v % 10);
    const int quarters = stamp.offsetFromUtc() / 900;
    const int q = std::abs(quarters);
    put((q / 10) | (quarters < 0 ? 8 : 0), q % 10);
    return out;
}

struct UserData {
    int coding = 0;
    int length = 0; // septets for 7-bit, octets otherwise
    QByteArray data;
};

std::optional<UserData> SevenBitData(const QString& text, const QByteArray& header)
{
    const auto septets = GsmSeptets(text);
    if (!septets)
        return std::nullopt;
    const qsizetype headerSeptets = (header.size() * 8 + 6) / 7;
    const qsizetype total = headerSeptets + septets->size();
    if (total > MaxUserDataSeptets)
        return std::nullopt;
    BitWriter bits;
    for (const char b : header)
        bits.Put(static_cast<unsigned char>(b), 8);
    bits.Put(0, static_cast<int>(headerSeptets * 7 - header.size() * 8)); // fill bits
    for (const int s : *septets)
        bits.Put(s, 7);
    return UserData{0x00, static_cast<int>(total), bits.Finish()};
}

std::optional<UserData> EightBitData(const QString& text, const QByteArray& header)
{
    QByteArray data = header;
    for (const QChar c : text) {
        const unsigned char byte = platform::codepage::ansiCode(c);
        if (platform::codepage::ansiChar(byte) != c)
            return std::nullopt;
        data.append(static_cast<char>(byte));
    }
    if (data.size() > MaxUserDataOctets)
        return std::nullopt;
    return UserData{0x04, static_cast<int>(data.size()), data};
}

std::optional<UserData> Ucs2Data(const QString& text, const QByteArray& header)
{
    QByteArray data = header;
    for (const QChar c : text) {
        data.append(static_cast<char>(c.unicode() >> 8));
        data.append(static_cast<char>(c.unicode() & 0xFF));
    }
    if (data.size() > MaxUserDataOctets)
        return std::nullopt;
    return UserData{0x08, static_cast<int>(data.size()), data};
}

std::optional<UserData> EncodeUserData(const QString& text, Coding coding, const QByteArray& header)
{
    switch (coding) {
    case Coding::Auto:
        if (auto gsm = SevenBitData(text, header))
            return gsm;
        return Ucs2Data(text, header);
    case Coding::SevenBit:
        return SevenBitData(text, header);
    case Coding::EightBit:
        return EightBitData(text, header);
    case Coding::Ucs2:
        return Ucs2Data(text, header);
    }
    return std::nullopt;
}

QString Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString BuildDeliver(const QString& sender, const QString& text, const QDateTime& stamp, Coding coding,
                     const QByteArray& header)
{
    const auto address = SenderAddress(sender);
    const auto userData = EncodeUserData(text, coding, header);
    if (!address || !userData)
        return {};
    QByteArray pdu = ServiceCentreField();
    // SMS-DELIVER, no more messages waiting; bit 6 flags a user-data header.
    pdu.append(static_cast<char>(header.isEmpty() ? 0x04 : 0x44));
    pdu.append(static_cast<char>(address->length));
    pdu.append(static_cast<char>(address->type));
    pdu.append(address->value);
    pdu.append('\0'); // protocol identifier
    pdu.append(static_cast<char>(userData->coding));
    pdu.append(TimeStamp(stamp));
    pdu.append(static_cast<char>(userData->length));
    pdu.append(userData->data);
    return Hex(pdu);
}

Alphabet AlphabetOf(int coding)
{
    const int group = coding & 0xF0;
    if (group < 0x80) {
        if (coding & 0x20) // compressed
            return Alphabet::Unknown;
        switch ((coding >> 2) & 3) {
        case 0: return Alphabet::Gsm;
        case 1: return Alphabet::EightBit;
        case 2: return Alphabet::Ucs2;
        default: return Alphabet::Unknown;
        }
    }
    if (group == 0xC0 || group == 0xD0)
        return Alphabet::Gsm;
    if (group == 0xE0)
        return Alphabet::Ucs2;
    if (group == 0xF0)
        return (coding & 0x04) ? Alphabet::EightBit : Alphabet::Gsm;
    return Alphabet::Unknown;
}

// Reads octets in order; every read is checked against the end.
class OctetReader {
public:
    explicit OctetReader(const QByteArray& bytes) : bytes_(bytes) {}
    bool Has(qsizetype n) const { return pos_ + n <= bytes_.size(); }
    int Next() { return static_cast<unsigned char>(bytes_[pos_++]); }
    QByteArray Take(qsizetype n)
    {
        const QByteArray part = bytes_.mid(pos_, n);
        pos_ += n;
        return part;
    }
    void Skip(qsizetype n) { pos_ += n; }

private:
    const QByteArray& bytes_;
    qsizetype pos_ = 0;
};

QString DestinationNumber(int length, int type, const QByteArray& value)
{
    if ((type & 0x70) == 0x50) {
        QList<int> septets;
        for (int i = 0; i < length * 4 / 7; ++i)
            septets.append(SeptetAt(value, i));
        return GsmText(septets);
    }
    static constexpr char16_t Digits[] = u"0123456789*#abcF";
    QString number = (type & 0x70) == 0x10 ? QStringLiteral("+") : QString();
    for (int i = 0; i < length; ++i) {
        const int octet = static_cast<unsigned char>(value[i / 2]);
        number.append(QChar(Digits[i % 2 ? octet >> 4 : octet & 0xF]));
    }
    return number;
}

std::optional<QString> UserDataText(Alphabet alphabet, int length, bool hasHeader, OctetReader& r)
{
    if (alphabet == Alphabet::Gsm) {
        const qsizetype octets = (length * 7 + 7) / 8;
        if (!r.Has(octets))
            return std::nullopt;
        const QByteArray data = r.Take(octets);
        const qsizetype headerOctets = hasHeader && !data.isEmpty() ? static_cast<unsigned char>(data[0]) + 1 : 0;
        const qsizetype skip = (headerOctets * 8 + 6) / 7;
        if (skip > length)
            return std::nullopt;
        QList<int> septets;
        for (qsizetype i = skip; i < length; ++i)
            septets.append(SeptetAt(data, i));
        return GsmText(septets);
    }
    if (!r.Has(length))
        return std::nullopt;
    const QByteArray data = r.Take(length);
    const qsizetype skip = hasHeader && !data.isEmpty() ? static_cast<unsigned char>(data[0]) + 1 : 0;
    if (skip > data.size())
        return std::nullopt;
    const QByteArray body = data.mid(skip);
    QString text;
    if (alphabet == Alphabet::EightBit) {
        for (const char b : body)
            text.append(platform::codepage::ansiChar(static_cast<unsigned char>(b)));
    } else if (alphabet == Alphabet::Ucs2) {
        if (body.size() % 2)
            return std::nullopt;
        for (qsizetype i = 0; i < body.size(); i += 2)
            text.append(QChar(static_cast<char16_t>((static_cast<unsigned char>(body[i]) << 8)
                                                    | static_cast<unsigned char>(body[i + 1]))));
    }
    return text;
}

} // namespace

QString BuildDeliverPdu(const QString& sender, const QString& text, const QDateTime& stamp, Coding coding)
{
    return BuildDeliver(sender, text, stamp, coding, {});
}

QString BuildDeliverPart(const QString& sender, const QString& text, const QDateTime& stamp,
                         const ConcatPart& part, Coding coding)
{
    QByteArray header;
    for (const int b : {0x05, 0x00, 0x03, part.reference, part.total, part.sequence})
        header.append(static_cast<char>(b & 0xFF));
    return BuildDeliver(sender, text, stamp, coding, header);
}

QString BuildDeliverWithHeader(const QString& sender, const QString& text, const QDateTime& stamp,
                               const QByteArray& header, Coding coding)
{
    return BuildDeliver(sender, text, stamp, coding, header);
}

Submit ReadSubmitPdu(const QString& hex)
{
    Submit result;
    if (!modPDU::IsHexString(hex) || hex.size() % 2)
        return result;
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    OctetReader r(bytes);

    if (!r.Has(1))
        return result;
    r.Skip(r.Next()); // service centre
    if (!r.Has(3))
        return result;
    const int first = r.Next();
    if ((first & 0x03) != 0x01) // not an SMS-SUBMIT
        return result;
    r.Skip(1); // message reference
    const int length = r.Next();
    if (!r.Has(1))
        return result;
    const int type = r.Next();
    const qsizetype addressOctets = (length + 1) / 2;
    if (!r.Has(addressOctets + 2))
        return result;
    result.number = DestinationNumber(length, type, r.Take(addressOctets));
    r.Skip(1); // protocol identifier
    const int coding = r.Next();
    const int validityFormat = (first >> 3) & 0x03;
    const qsizetype validityOctets = validityFormat == 0 ? 0 : validityFormat == 2 ? 1 : 7;
    if (!r.Has(validityOctets + 1))
        return result;
    r.Skip(validityOctets);
    const int userDataLength = r.Next();

    result.coding = Hex(QByteArray(1, static_cast<char>(coding)));
    const auto text = UserDataText(AlphabetOf(coding), userDataLength, first & 0x40, r);
    if (!text)
        return result;
    result.text = *text;
    result.ok = true;
    return result;
}

} // namespace simpdu
