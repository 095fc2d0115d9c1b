#include "sealkit/clscipherbase.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "textkit/clsstring.h"

#include <QByteArray>

// The cipher is defined on bit strings: the plain text's bits rotated left by
// 13 as a whole, XORed with the pad, then a check character. The same bytes
// are computed here directly on the ANSI bytes of the text.

namespace sealkit {
namespace {

using textkit::clsString;

// The bit strings of a text hold 8 bits per character and stay within the
// 32760 bits that clsString walks in 8-bit groups.
constexpr qsizetype MaxPlainLength = 4095;
constexpr qsizetype Rotation = 13;

constexpr char16_t HexDigits[] = u"0123456789ABCDEF";

quint8 ByteSum(QByteArrayView bytes)
{
    unsigned sum = 0;
    for (char b : bytes)
        sum += static_cast<unsigned char>(b);
    return static_cast<quint8>(sum);
}

QString SeedHex(quint8 seed)
{
    const QChar digits[] = {QChar(HexDigits[seed >> 4]), QChar(HexDigits[seed & 0x0F])};
    return QString(digits, 2);
}

// XORs each byte with the byte of the matching pair of padHex, which holds
// only the upper-case digits GeneratePad writes.
void XorWithPad(QByteArray &bytes, QStringView padHex)
{
    // '0'-'9' are 0x30-0x39 and 'A'-'F' 0x41-0x46: the low four bits, plus 9
    // for letters. No branch: random digits would mispredict it.
    const auto nibble = [](char16_t digit) { return (digit & 0x0F) + 9 * (digit >> 6); };
    const char16_t *pad = padHex.utf16();
    char *data = bytes.data();
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i)
        data[i] = static_cast<char>(data[i] ^ (nibble(pad[2 * i]) << 4 | nibble(pad[2 * i + 1])));
}

// The bytes read as one bit string, most significant bit first, rotated
// left by `bits` positions (0 <= bits < 8 * size).
QByteArray RotateLeft(QByteArrayView in, qsizetype bits)
{
    const qsizetype whole = bits / 8;
    const int shift = static_cast<int>(bits % 8);
    // Rotated by whole bytes, with the first byte repeated at the end for
    // the bits the last byte borrows.
    QByteArray bytes;
    bytes.reserve(in.size() + 1);
    bytes.append(in.sliced(whole)).append(in.first(whole)).append(in[whole]);
    const auto *source = reinterpret_cast<const unsigned char *>(bytes.constData());
    QByteArray out(in.size(), Qt::Uninitialized);
    char *target = out.data();
    for (qsizetype i = 0; i < in.size(); ++i) {
        // With shift 0, the borrowed byte shifts out completely.
        target[i] = static_cast<char>(source[i] << shift | source[i + 1] >> (8 - shift));
    }
    return out;
}

QString Result(const QByteArray &bytes, bool blnResultInHex)
{
    const QString text = platform::codepage::fromAnsi(bytes);
    return blnResultInHex ? clsString::CStr2Hex(text) : text;
}

} // namespace

QString clsCipherBase::Encrypt(QStringView strData, bool blnResultInHex) const
{
    if (strData.size() > MaxPlainLength)
        platform::raiseOverflow();
    const QByteArray plain = platform::codepage::toAnsi(strData);
    const quint8 seed = ByteSum(plain);
    QByteArray cipher;
    if (plain.isEmpty()) {
        // The empty text still gives one cipher byte: its bits and its pad
        // both read as one zero byte.
        cipher = QByteArray(1, '\0');
    } else {
        cipher = RotateLeft(plain, Rotation % (8 * plain.size()));
        XorWithPad(cipher, GeneratePad(SeedHex(seed), static_cast<int>(plain.size())));
    }
    // The check character brings the byte sum back to the seed, from which
    // Decrypt rebuilds the pad.
    cipher.append(static_cast<char>(seed - ByteSum(cipher)));
    return Result(cipher, blnResultInHex);
}

QString clsCipherBase::Decrypt(QStringView strData, bool blnResultInHex) const
{
    if (strData.size() < 2)
        return {};
    if (strData.size() > MaxPlainLength + 1)
        platform::raiseOverflow();
    const QByteArray cipher = platform::codepage::toAnsi(strData);
    const qsizetype n = cipher.size() - 1;
    QByteArray bits = cipher.first(n);
    XorWithPad(bits, GeneratePad(SeedHex(ByteSum(cipher)), static_cast<int>(n)));
    const qsizetype bitCount = 8 * n;
    return Result(RotateLeft(bits, bitCount - Rotation % bitCount), blnResultInHex);
}

QString clsCipherBase::GeneratePad(QStringView seedHex, int n)
{
    unsigned k = clsString::CHex2Byte(seedHex);
    QString pad(2 * static_cast<qsizetype>(n), Qt::Uninitialized);
    QChar *out = pad.data();
    for (int i = 0; i < n; ++i) {
        *out++ = QChar(HexDigits[k >> 4]);
        *out++ = QChar(HexDigits[k & 0x0F]);
        k = (7 * k) & 0xFF;
    }
    return pad;
}

} // namespace sealkit
