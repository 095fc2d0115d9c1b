#include "platform/codepage.h"

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <stdexcept>

namespace platform::codepage {
namespace {

constexpr unsigned char Unmappable = '?';

// Both directions of the page as tables, built once through iconv.
struct Tables {
    QString pageName;
    std::array<char16_t, 256> toUnicode{};
    std::array<unsigned char, 65536> toByte{};

    Tables()
    {
        const char *env = std::getenv("TALVINOR_CODEPAGE");
        const QByteArray page = (env && *env) ? QByteArray(env) : QByteArrayLiteral("WINDOWS-1254");
        pageName = QString::fromLatin1(page);
        iconv_t cd = iconv_open("UTF-16LE", page.constData());
        if (cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("Unknown code page in TALVINOR_CODEPAGE: " + page.toStdString());
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            char out[8] = {};
            char *inPtr = &in;
            char *outPtr = out;
            size_t inLeft = 1;
            size_t outLeft = sizeof out;
            char16_t unit = static_cast<char16_t>(b); // undefined bytes keep their own code, as Windows does
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && sizeof out - outLeft == 2)
                unit = static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            toUnicode[static_cast<size_t>(b)] = unit;
        }
        iconv_close(cd);
        toByte.fill(Unmappable);
        // Later bytes never override an earlier mapping of the same character.
        for (int b = 255; b >= 0; --b) {
            const char16_t unit = toUnicode[static_cast<size_t>(b)];
            toByte[unit] = static_cast<unsigned char>(b);
        }
    }
};

const Tables &tables()
{
    static const Tables t;
    return t;
}

} // namespace

QString name()
{
    return tables().pageName;
}

unsigned char ansiCode(QChar c)
{
    return tables().toByte[c.unicode()];
}

QChar ansiChar(unsigned char byte)
{
    return QChar(tables().toUnicode[byte]);
}

bool canEncode(QStringView text)
{
    const Tables &t = tables();
    return std::all_of(text.begin(), text.end(),
                       [&](QChar c) { return c == QLatin1Char(Unmappable) || t.toByte[c.unicode()] != Unmappable; });
}

QByteArray toAnsi(QStringView text)
{
    const Tables &t = tables();
    QByteArray out(text.size(), Qt::Uninitialized);
    char *dst = out.data();
    for (QChar c : text)
        *dst++ = static_cast<char>(t.toByte[c.unicode()]);
    return out;
}

QString fromAnsi(QByteArrayView bytes)
{
    const Tables &t = tables();
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *dst = out.data();
    for (char b : bytes)
        *dst++ = QChar(t.toUnicode[static_cast<unsigned char>(b)]);
    return out;
}

} // namespace platform::codepage
