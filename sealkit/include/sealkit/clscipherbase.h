#pragma once

#include <QString>
#include <QStringView>

#if defined(SEALKIT_LIBRARY)
#  define SEALKIT_EXPORT Q_DECL_EXPORT
#else
#  define SEALKIT_EXPORT Q_DECL_IMPORT
#endif

namespace sealkit {

// Identities the class was registered under; kept for callers that record
// or compare them.
inline constexpr QStringView clsCipherBaseClassId = u"{DD67DB5F-2485-4A03-84DA-549DCA7334A7}";
inline constexpr QStringView clsCipherBaseInterfaceId = u"{E3C5EBE2-32F6-43B2-A773-0ACCB55776DF}";

// Keyless scrambling of texts: everything the cipher needs is derived from
// the text itself, so any holder of the library can reverse it. A cipher
// text is one character longer than its plain text; its last character makes
// its byte sum equal the plain text's (modulo 256).
//
// Characters go through the ANSI code page, one byte each; a character the
// page lacks is enciphered as '?'. Plain texts of more than 4095 characters
// (cipher texts of more than 4096) raise platform::Error ErrOverflow.
// Nothing is checked or trapped: a damaged cipher text deciphers to other
// characters without an error.
class SEALKIT_EXPORT clsCipherBase {
public:
    // The cipher text; as hex text (two digits per character) when
    // blnResultInHex is true. The empty text gives two characters of code 0.
    QString Encrypt(QStringView strData, bool blnResultInHex) const;
    // The plain text of the cipher characters themselves (undo a hex form
    // with clsString::CHex2Str first); as hex text when blnResultInHex is
    // true. Texts shorter than 2 characters give "".
    QString Decrypt(QStringView strData, bool blnResultInHex) const;

private:
    // 2n hex digits: k(1) from seedHex, k(i+1) = 7 x k(i) modulo 256.
    static QString GeneratePad(QStringView seedHex, int n);
};

} // namespace sealkit
