#include "common/md5.h"

#include "platform/codepage.h"
#include "platform/error.h"

#include <QFile>
#include <bit>
#include <cstring>
#include <limits>

namespace common {
namespace {

constexpr quint32 InitialState[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};

// The longest text DigestStrToHexStr takes (a signed 16-bit length).
constexpr qsizetype MaxTextLength = 32767;
// The bit length 8 * n is kept in a signed 32-bit number.
constexpr qint32 MaxByteCount = std::numeric_limits<qint32>::max() / 8;

constexpr quint32 SineTable[64] = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391,
};

constexpr int Shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr quint32 F(quint32 x, quint32 y, quint32 z) { return (x & y) | (~x & z); }
constexpr quint32 G(quint32 x, quint32 y, quint32 z) { return (x & z) | (y & ~z); }
constexpr quint32 H(quint32 x, quint32 y, quint32 z) { return x ^ y ^ z; }
constexpr quint32 I(quint32 x, quint32 y, quint32 z) { return y ^ (x | ~z); }

// Message word used by step i of the 64.
constexpr int WordIndex(int i)
{
    switch (i / 16) {
    case 0: return i;
    case 1: return (5 * i + 1) % 16;
    case 2: return (3 * i + 5) % 16;
    default: return (7 * i) % 16;
    }
}

using RoundFunction = quint32 (*)(quint32, quint32, quint32);

// The sixteen steps of one round; the words rotate so that each step
// updates the one that RFC 1321 names first.
template <RoundFunction Fn, int RoundNumber>
inline void Round(quint32 &a, quint32 &b, quint32 &c, quint32 &d, const quint32 *x)
{
    for (int step = 0; step < 16; ++step) {
        const int i = 16 * RoundNumber + step;
        const quint32 sum = a + Fn(b, c, d) + SineTable[i] + x[WordIndex(i)];
        const quint32 next = b + std::rotl(sum, Shifts[RoundNumber][step % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
}

quint32 DecodeWord(const unsigned char *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

void EncodeBitLength(qint32 byteCount, unsigned char *out)
{
    const quint32 bits = quint32(byteCount) * 8u;
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(bits >> (8 * i));
    std::memset(out + 4, 0, 4);
}

QString SignedDecimal(quint32 word)
{
    return QString::number(static_cast<qint32>(word));
}

} // namespace

clsMD5::clsMD5()
{
    MD5Init();
}

QString clsMD5::RegisterA() const { return SignedDecimal(m_state[0]); }
QString clsMD5::RegisterB() const { return SignedDecimal(m_state[1]); }
QString clsMD5::RegisterC() const { return SignedDecimal(m_state[2]); }
QString clsMD5::RegisterD() const { return SignedDecimal(m_state[3]); }

QString clsMD5::DigestStrToHexStr(const QString &SourceString)
{
    if (SourceString.size() > MaxTextLength)
        platform::raiseOverflow();
    const QByteArray bytes = platform::codepage::toAnsi(SourceString);
    MD5Init();
    MD5Update(static_cast<qint32>(bytes.size()), bytes);
    MD5Final();
    return GetValues();
}

QString clsMD5::DigestFileToHexStr(const QString &InFile)
{
    QFile file(InFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    try {
        MD5Init();
        QByteArray block(64, Qt::Uninitialized);
        for (;;) {
            const qint64 got = file.read(block.data(), block.size());
            if (got < 0)
                return {};
            if (got == 0)
                break;
            MD5Update(static_cast<qint32>(got), block);
        }
        MD5Final();
    } catch (const platform::Error &) {
        return {};
    }
    return GetValues();
}

QString clsMD5::GetValues() const
{
    static constexpr char16_t HexDigits[] = u"0123456789ABCDEF";
    char16_t text[32];
    char16_t *out = text;
    for (quint32 word : m_state) {
        for (int i = 0; i < 4; ++i) {
            const unsigned byte = (word >> (8 * i)) & 0xFFu;
            *out++ = HexDigits[byte >> 4];
            *out++ = HexDigits[byte & 0xFu];
        }
    }
    return QString(reinterpret_cast<const QChar *>(text), 32);
}

void clsMD5::MD5Init()
{
    m_byteCounter = 0;
    std::memcpy(m_state, InitialState, sizeof m_state);
}

void clsMD5::MD5Final()
{
    const qint32 n = m_byteCounter;
    const int r = n % 64;
    unsigned char bitLength[8];
    EncodeBitLength(n, bitLength);

    const bool standardPadding = r <= 55 || (n >= 57 && n <= 63);
    if (!standardPadding) {
        // The stored digests were made this way: the bit length directly
        // after the first 56 buffered bytes, anything beyond them unused.
        std::memcpy(m_buffer + 56, bitLength, 8);
        Transform(m_buffer);
        return;
    }
    m_buffer[r] = 0x80;
    std::memset(m_buffer + r + 1, 0, static_cast<size_t>(63 - r));
    if (r > 55) {
        Transform(m_buffer);
        std::memset(m_buffer, 0, 56);
    }
    std::memcpy(m_buffer + 56, bitLength, 8);
    Transform(m_buffer);
}

void clsMD5::MD5Update(qint32 InputLen, const QByteArray &InputBuffer)
{
    if (InputLen < 0)
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("Negative byte count: %1").arg(InputLen));
    if (InputLen > InputBuffer.size())
        throw platform::Error(platform::ErrSubscript,
                              QStringLiteral("Byte count %1 exceeds the buffer of %2 bytes").arg(InputLen).arg(InputBuffer.size()));
    if (InputLen > MaxByteCount - m_byteCounter)
        platform::raiseOverflow();

    const auto *input = reinterpret_cast<const unsigned char *>(InputBuffer.constData());
    int used = m_byteCounter % 64;
    m_byteCounter += InputLen;
    qint32 pos = 0;
    if (used > 0) {
        const qint32 take = std::min<qint32>(64 - used, InputLen);
        std::memcpy(m_buffer + used, input, static_cast<size_t>(take));
        pos = take;
        used += take;
        if (used < 64)
            return;
        Transform(m_buffer);
    }
    for (; InputLen - pos >= 64; pos += 64)
        Transform(input + pos);
    std::memcpy(m_buffer, input + pos, static_cast<size_t>(InputLen - pos));
}

qint32 clsMD5::LongLeftRotate(qint32 value, qint32 Bits)
{
    const int shift = ((Bits % 32) + 32) % 32;
    return static_cast<qint32>(std::rotl(static_cast<quint32>(value), shift));
}

void clsMD5::Transform(const unsigned char *block)
{
    quint32 x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = DecodeWord(block + 4 * i);

    quint32 a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    Round<F, 0>(a, b, c, d, x);
    Round<G, 1>(a, b, c, d, x);
    Round<H, 2>(a, b, c, d, x);
    Round<I, 3>(a, b, c, d, x);
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

QString PasswordDigest(const QString &password)
{
    static const QString Salt = QStringLiteral("plumtreeorbit");
    clsMD5 md5;
    return md5.DigestStrToHexStr(Salt + password);
}

} // namespace common
