#pragma once

#include <QString>
#include <QStringView>

// The cipher written out step by step with the bit-string members of
// clsString. clsCipherBase computes the same bytes directly; tests compare the
// two and the benchmark measures how far apart they are.
namespace sealkit::bitstrings {

QString GeneratePad(QStringView seedHex, int n);
QString Encrypt(QStringView strData, bool blnResultInHex);
QString Decrypt(QStringView strData, bool blnResultInHex);

} // namespace sealkit::bitstrings
