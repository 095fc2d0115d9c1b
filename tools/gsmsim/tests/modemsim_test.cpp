#include "modemsim.h"

#include <gtest/gtest.h>

#include <QList>
#include <QTest>

namespace {

// A DELIVER PDU with a 7-octet service-centre address, so 30 octets follow it.
const QString DeliverPdu = QStringLiteral("07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07");

// "hellohello" to +123456789: 22 octets after the empty service-centre field.
const QByteArray SubmitPdu = QByteArrayLiteral("0011000991214365" "87F90000AA0AE8329BFD4697D9EC37");

struct Exchange {
    const char *name;
    const char *sent;
    const char *answer;
};

void PrintTo(const Exchange &exchange, std::ostream *os)
{
    *os << exchange.name;
}

class ModemSimTest : public ::testing::TestWithParam<Exchange> {};

TEST_P(ModemSimTest, EchoesAndAnswers)
{
    ModemSim sim;
    EXPECT_EQ(sim.Receive(GetParam().sent), QByteArray(GetParam().answer));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ModemSimTest,
    ::testing::Values(Exchange{"Attention", "AT\r", "AT\r\r\nOK\r\n"},
                      Exchange{"PduMode", "AT+CMGF=0\r", "AT+CMGF=0\r\r\nOK\r\n"},
                      Exchange{"TextModeRefused", "AT+CMGF=1\r", "AT+CMGF=1\r\r\nERROR\r\n"},
                      Exchange{"EmptyServiceCentre", "AT+CSCA=\r", "AT+CSCA=\r\r\nOK\r\n"},
                      Exchange{"ServiceCentre", "AT+CSCA=+4912345678901\r", "AT+CSCA=+4912345678901\r\r\nOK\r\n"},
                      Exchange{"IdentityInLowerCase", "at+cgsn\r", "at+cgsn\r\r\n490154203237518\r\n\r\nOK\r\n"},
                      Exchange{"SendOfNoOctets", "AT+CMGS=0\r", "AT+CMGS=0\r\r\nERROR\r\n"},
                      Exchange{"SendOfMinusOne", "AT+CMGS=-1\r", "AT+CMGS=-1\r\r\nERROR\r\n"},
                      Exchange{"ListEmptyStorage", "AT+CMGL=4\r\n", "AT+CMGL=4\r\r\n\r\nOK\r\n\n"},
                      Exchange{"DeleteMissing", "AT+CMGD=1\r", "AT+CMGD=1\r\r\n+CMS ERROR: 321\r\n"},
                      Exchange{"UnknownCommand", "AT+CPIN?\r", "AT+CPIN?\r\r\nERROR\r\n"},
                      Exchange{"CtrlZOutsidePduInput", "\x1A\r", "\r"}),
    [](const ::testing::TestParamInfo<Exchange> &info) { return std::string(info.param.name); });

struct Submitted {
    int reference;
    simpdu::Submit submit;
};

TEST(ModemSimSubmit, PromptsThenAcceptsAPduOfTheAnnouncedLength)
{
    ModemSim sim;
    QList<Submitted> sent;
    QObject::connect(&sim, &ModemSim::MessageSubmitted,
                     [&](int reference, const simpdu::Submit &submit) { sent.append({reference, submit}); });

    EXPECT_EQ(sim.Receive("AT+CMGS=22\r"), QByteArray("AT+CMGS=22\r\r\n> "));
    EXPECT_EQ(sim.Receive(SubmitPdu + '\x1A'), SubmitPdu + "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].submit.number, QStringLiteral("+123456789"));
    EXPECT_EQ(sent[0].submit.coding, QStringLiteral("00"));
    EXPECT_EQ(sent[0].submit.text, QStringLiteral("hellohello"));

    // Back in command mode, and the next message gets the next reference.
    sim.Receive("AT+CMGS=22\r");
    EXPECT_EQ(sim.Receive(SubmitPdu + '\x1A'), SubmitPdu + "\r\n+CMGS: 2\r\n\r\nOK\r\n");
}

TEST(ModemSimSubmit, RefusesAPduThatDoesNotMatchOrDecode)
{
    const QList<QByteArray> announcedThenSent = {
        "AT+CMGS=21\r" + SubmitPdu, // one octet fewer announced
        "AT+CMGS=1\r0011",         // cut short
        "AT+CMGS=1\rZZZZ",         // not hex
        "AT+CMGS=1\r\r",           // nothing at all
    };
    for (const QByteArray &input : announcedThenSent) {
        ModemSim sim;
        int submitted = 0;
        QObject::connect(&sim, &ModemSim::MessageSubmitted, [&] { ++submitted; });
        const QByteArray answer = sim.Receive(input + '\x1A');
        EXPECT_TRUE(answer.endsWith("\r\n+CMS ERROR: 304\r\n")) << input.constData() << " -> " << answer.constData();
        EXPECT_EQ(submitted, 0) << input.constData();
        EXPECT_EQ(sim.Receive("AT\r"), QByteArray("AT\r\r\nOK\r\n")) << "still in PDU input after " << input.constData();
    }
}

TEST(ModemSimFaults, RefusalSilenceAndBackToNormal)
{
    ModemSim sim;
    int submitted = 0;
    QObject::connect(&sim, &ModemSim::MessageSubmitted, [&] { ++submitted; });
    ASSERT_TRUE(sim.SetFault(QStringLiteral("refuse 500")));
    sim.Receive("AT+CMGS=22\r");
    EXPECT_EQ(sim.Receive(SubmitPdu + '\x1A'), SubmitPdu + "\r\n+CMS ERROR: 500\r\n");
    EXPECT_EQ(submitted, 0);

    ASSERT_TRUE(sim.SetFault(QStringLiteral("silent")));
    EXPECT_EQ(sim.Receive("AT\r"), QByteArray());

    QByteArray unsolicited;
    QObject::connect(&sim, &ModemSim::Unsolicited, [&](const QByteArray &bytes) { unsolicited += bytes; });
    ASSERT_TRUE(sim.SetFault(QStringLiteral("xoff")));
    EXPECT_EQ(unsolicited, QByteArray("\x13"));

    // A slow network: the message goes out now, its result comes later.
    ASSERT_TRUE(sim.SetFault(QStringLiteral("normal")));
    ASSERT_TRUE(sim.SetFault(QStringLiteral("slow 8.5")));
    sim.Receive("AT+CMGS=22\r");
    EXPECT_EQ(sim.Receive(SubmitPdu + '\x1A'), SubmitPdu);
    EXPECT_EQ(submitted, 1);

    ASSERT_TRUE(sim.SetFault(QStringLiteral("chatter")));
    EXPECT_TRUE(sim.Chattering());
    ASSERT_TRUE(sim.SetFault(QStringLiteral("normal")));
    EXPECT_FALSE(sim.Chattering());
    sim.Receive("AT+CMGS=22\r");
    EXPECT_EQ(sim.Receive(SubmitPdu + '\x1A'), SubmitPdu + "\r\n+CMGS: 2\r\n\r\nOK\r\n");
    EXPECT_EQ(submitted, 2);

    for (const char *unknown : {"refuse", "refuse x", "slow", "slow x", "slow -1", "hang", ""})
        EXPECT_FALSE(sim.SetFault(QString::fromLatin1(unknown))) << unknown;
}

// A busy network: the answer comes late, and the modem hears nothing else
// until it has come, whether it accepts or refuses.
TEST(ModemSimFaults, BusyModemAnswersLateAndTakesNothingMeanwhile)
{
    for (const char *refusal : {"", "refuse 500"}) {
        SCOPED_TRACE(refusal);
        ModemSim sim;
        QByteArray unsolicited;
        QObject::connect(&sim, &ModemSim::Unsolicited, [&](const QByteArray &bytes) { unsolicited += bytes; });
        ASSERT_TRUE(sim.SetFault(QStringLiteral("busy 0.3")));
        if (*refusal) {
            ASSERT_TRUE(sim.SetFault(QString::fromLatin1(refusal)));
        }
        sim.Receive("AT+CMGS=22\r");
        EXPECT_EQ(sim.Receive(SubmitPdu + '\x1A'), SubmitPdu);
        EXPECT_EQ(sim.Receive("AT+CMGL=4\r"), QByteArray());
        EXPECT_EQ(sim.Receive("AT\r"), QByteArray());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !unsolicited.isEmpty(); }, 5000));
        EXPECT_EQ(unsolicited, *refusal ? QByteArray("\r\n+CMS ERROR: 500\r\n") : QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n"));
        EXPECT_EQ(sim.Receive("AT\r"), QByteArray("AT\r\r\nOK\r\n"));
    }
    ModemSim sim;
    for (const char *unknown : {"busy", "busy x", "busy -1"})
        EXPECT_FALSE(sim.SetFault(QString::fromLatin1(unknown))) << unknown;
}

TEST(ModemSimStorage, ListsMarksReadAndDeletes)
{
    ModemSim sim;
    EXPECT_EQ(sim.Store(DeliverPdu), 1);
    EXPECT_EQ(sim.Store(DeliverPdu), 2);
    const QByteArray pdu = DeliverPdu.toLatin1();

    EXPECT_EQ(sim.Receive("AT+CMGL=0\r"),
              "AT+CMGL=0\r\r\n+CMGL: 1,0,,30\r\n" + pdu + "\r\n+CMGL: 2,0,,30\r\n" + pdu + "\r\n\r\nOK\r\n");
    // Listed once, both are read now.
    EXPECT_EQ(sim.Receive("AT+CMGL=0\r"), QByteArray("AT+CMGL=0\r\r\n\r\nOK\r\n"));
    EXPECT_EQ(sim.Receive("AT+CMGD=1\r"), QByteArray("AT+CMGD=1\r\r\nOK\r\n"));
    EXPECT_EQ(sim.Receive("AT+CMGL=4\r"), "AT+CMGL=4\r\r\n+CMGL: 2,1,,30\r\n" + pdu + "\r\n\r\nOK\r\n");
    // The freed index is the next one used.
    EXPECT_EQ(sim.Store(DeliverPdu), 1);
    EXPECT_EQ(sim.StoredCount(), 2);
}

} // namespace
