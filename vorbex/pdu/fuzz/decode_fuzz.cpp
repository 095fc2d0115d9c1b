#include "vorbex/modpdu.h"

#include "simpdu/simpdu.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// The first byte chooses the service-centre flag and the case of the hex
// digits; the rest is fed to the decoder twice: as raw text (mostly refused
// as non-hex) and hex-coded, so that every field layout is reached.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool hasSmsc = data[0] & 1;
    const QByteArray body(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    QString phone;
    QString datetime;
    modPDU::DecodeDeliverPdu(QString::fromLatin1(body), hasSmsc, phone, datetime);

    QString hex = QString::fromLatin1(body.toHex().toUpper());
    if (data[0] & 2)
        hex = hex.toLower();
    modPDU::DecodeDeliverPdu(hex, hasSmsc, phone, datetime);
    modPDU::SeptetsToText(modPDU::UnpackSeptets(hex));
    simpdu::ReadSubmitPdu(hex);
    return 0;
}
