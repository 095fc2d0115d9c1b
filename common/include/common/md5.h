#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace common {

// MD5 digests as 32 upper-case hex digits. The compression is RFC 1321's;
// the final block is not always: for a byte count n with n mod 64 = 56, and
// for n >= 64 with n mod 64 from 57 to 63, no padding byte is added and the
// final block is the first 56 bytes of the unfinished block followed by the
// bit length. Every password digest already stored was made that way, so
// this finish must never change.
class clsMD5 {
public:
    clsMD5();

    // State words as signed decimal text.
    QString RegisterA() const;
    QString RegisterB() const;
    QString RegisterC() const;
    QString RegisterD() const;

    // Text through the ANSI code page, one byte per character ("?" for a
    // character the page lacks). Raises platform::Error (overflow) for a
    // text longer than 32,767 characters.
    QString DigestStrToHexStr(const QString &SourceString);
    // Digest of a file's bytes; the empty text on any error.
    QString DigestFileToHexStr(const QString &InFile);

    // The state as 32 hex digits: the digest once MD5Final has run.
    QString GetValues() const;

    void MD5Init();
    void MD5Final();
    // Feeds bytes 0 .. InputLen - 1 of InputBuffer. Raises platform::Error
    // for a negative count, a count past the end of the buffer, or a total
    // whose bit length would not fit 32 signed bits.
    void MD5Update(qint32 InputLen, const QByteArray &InputBuffer);

    static qint32 LongLeftRotate(qint32 value, qint32 Bits);

private:
    void Transform(const unsigned char *block);

    quint32 m_state[4];
    qint32 m_byteCounter = 0;
    unsigned char m_buffer[64];
};

// The password digest that the Users table keeps and the login sends: the
// salt "plumtreeorbit" first, then the password, nothing between.
QString PasswordDigest(const QString &password);

} // namespace common
