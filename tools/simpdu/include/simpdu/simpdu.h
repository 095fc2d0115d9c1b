#pragma once

#include <QDateTime>
#include <QString>

// The network's side of the PDU codec, for the simulated modem and for tests:
// builds SMS-DELIVER PDUs as a modem lists them, and reads the SMS-SUBMIT PDUs
// a modem is asked to send.
namespace simpdu {

// The service-centre number written into every DELIVER PDU built here.
inline constexpr char16_t kServiceCentre[] = u"+4912345678901";

enum class Coding {
    Auto,     // 7-bit GSM when every character has a GSM code and it fits, else UCS2
    SevenBit, // GSM default alphabet with its extension table
    EightBit, // one octet per character, in the system's ANSI code page
    Ucs2,     // UTF-16 code units, high byte first
};

// A real SMS-DELIVER PDU (hex, upper case) with a service-centre field.
// Sender: "+" and digits is international (type 91), digits alone unknown
// (81), anything else alphanumeric (D0, up to 11 GSM characters). Returns ""
// when the sender is unusable or the text does not fit one PDU in the coding.
QString BuildDeliverPdu(const QString& sender, const QString& text, const QDateTime& stamp,
                        Coding coding = Coding::Auto);

// One part of a concatenated message: user-data header 050003 with the
// 8-bit reference, the number of parts and this part's number (1-based).
struct ConcatPart {
    int reference = 0;
    int total = 1;
    int sequence = 1;
};
QString BuildDeliverPart(const QString& sender, const QString& text, const QDateTime& stamp,
                         const ConcatPart& part, Coding coding = Coding::Auto);

// Any user-data header: `header` is written as it is, beginning with its
// own length octet (for example 06 08 04 ... for a 16-bit reference, or
// 06 05 04 ... for 16-bit ports), and the header flag is set.
QString BuildDeliverWithHeader(const QString& sender, const QString& text, const QDateTime& stamp,
                               const QByteArray& header, Coding coding = Coding::Auto);

// An SMS-SUBMIT PDU as read back: the destination number ("+" for an
// international one, the name for an alphanumeric one), the data coding
// scheme as two hex digits, and the text (any user-data header skipped).
// ok is false when the PDU is not hex, not an SMS-SUBMIT, or cut short.
struct Submit {
    bool ok = false;
    QString number;
    QString coding;
    QString text;
};
// The PDU begins with its service-centre field, as after AT+CMGS.
Submit ReadSubmitPdu(const QString& hex);

} // namespace simpdu
