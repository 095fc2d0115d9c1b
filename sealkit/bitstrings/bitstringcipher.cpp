#include "bitstringcipher.h"

#include "platform/codepage.h"
#include "textkit/clsstring.h"

#include <cstdlib>

namespace sealkit::bitstrings {

using textkit::clsString;

QString GeneratePad(QStringView seedHex, int n)
{
    int k = clsString::CHex2Byte(seedHex);
    QString pad;
    for (int i = 0; i < n; ++i) {
        pad += clsString::ZeroPad(QString::number(k, 16).toUpper(), 2);
        k = (7 * k) & 255;
    }
    return pad;
}

QString Encrypt(QStringView strData, bool blnResultInHex)
{
    const QString seedHex = clsString::ChecksumHex(clsString::CStr2Hex(strData));
    const QString padBits = clsString::CHex2Bin(GeneratePad(seedHex, static_cast<int>(strData.size())));
    const QString bits = clsString::RollBinLeft(clsString::CStr2Bin(strData), 13);
    const QString cipherHex = clsString::CBin2Hex(clsString::BinXor(bits, padBits));
    const int d = clsString::ChecksumInt(cipherHex) - clsString::CHex2Lng(seedHex);
    const int check = d > 0 ? 256 - std::abs(d) : std::abs(d);
    const QString result = clsString::CHex2Str(cipherHex) + platform::codepage::ansiChar(static_cast<unsigned char>(check));
    return blnResultInHex ? clsString::CStr2Hex(result) : result;
}

QString Decrypt(QStringView strData, bool blnResultInHex)
{
    const QString h = clsString::CStr2Hex(strData);
    if (h.size() < 3)
        return {};
    const QString seedHex = clsString::ChecksumHex(h);
    const int n = static_cast<int>(h.size() / 2 - 1);
    const QString padBits = clsString::CHex2Bin(GeneratePad(seedHex, n));
    const QString bits = clsString::CHex2Bin(QStringView(h).chopped(2));
    const QString result = clsString::CBin2Str(clsString::RollBinRight(clsString::BinXor(bits, padBits), 13));
    return blnResultInHex ? clsString::CStr2Hex(result) : result;
}

} // namespace sealkit::bitstrings
