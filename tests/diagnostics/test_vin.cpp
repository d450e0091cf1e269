// Firmware identification and the VIN in both reply forms, against the simulated interface.
#include "connection.h"
#include "simfixture.h"
#include "vin.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {
class IdentificationTest : public SimLinkTest
{
};

const QString kVin = QStringLiteral("1XV0A12345R000001");
} // namespace

TEST_F(IdentificationTest, VinForms)
{
    struct Row
    {
        const char *name;
        sim::VinForm form;
        int retryReplies;
        QString expected;
    };
    const Row rows[] = {
        {"short form", sim::VinForm::Short, 0, QStringLiteral("VIN= ") + kVin},
        {"long form, 111 characters past any 80-character buffer", sim::VinForm::Long, 0,
         QStringLiteral("VIN= ") + kVin},
        {"no answer keeps the typed text", sim::VinForm::None, 0, QStringLiteral("typed")},
        {"not usable on every repeat keeps the typed text", sim::VinForm::Short, 2,
         QStringLiteral("typed")},
    };
    for (const Row &r : rows) {
        sim::Scenario s = sim::defaultScenario();
        s.vin = kVin;
        s.vinForm = r.form;
        s.faults.retryReplies = r.retryReplies;
        startSim(s);
        ctx.bounds.retryLimit = 1;
        const VinResult vin = GetVIN(ctx);
        EXPECT_EQ(vin.text.isEmpty() ? QStringLiteral("typed") : vin.text, r.expected) << r.name;
        EXPECT_EQ(server->commands().last(), QStringLiteral("090208")) << r.name;
        TearDown();
    }
}

TEST(VinDecoding, LongFormReadsAsFarAsItGoes)
{
    // Message 1 carries fill bytes and the first character; 2-5 four characters each.
    QString reply = QStringLiteral("R");
    const QByteArray vin = "1XV0A12345R000001";
    auto message = [](int n, const QByteArray &data) {
        return QStringLiteral("486B104902%1%2CC")
            .arg(n, 2, 10, QChar(u'0'))
            .arg(QString::fromLatin1(data.toHex().toUpper()));
    };
    reply += message(1, QByteArray("\0\0\0", 3) + vin.left(1));
    for (int m = 0; m < 4; ++m)
        reply += message(m + 2, vin.mid(1 + 4 * m, 4));
    ASSERT_EQ(reply.size(), 111);
    EXPECT_EQ(decode_long_vin(reply), QString::fromLatin1(vin));
    EXPECT_EQ(decode_long_vin(reply.left(84)), QStringLiteral("1XV0A12345R")); // cut in message 4
    EXPECT_EQ(HexToText(QStringLiteral("3132"), 4), QStringLiteral("12"));
}

TEST_F(IdentificationTest, FirmwareIdentification)
{
    struct Row
    {
        const char *name;
        QString firmware;
        double version;
    };
    const Row rows[] = {
        {"3.40", QStringLiteral("V3.40"), 3.4},
        {"3.09", QStringLiteral("V3.09"), 3.09},
        {"longer answer, first five count", QStringLiteral("V4.00b"), 4.0},
    };
    for (const Row &r : rows) {
        sim::Scenario s = sim::defaultScenario();
        s.firmware = r.firmware;
        startSim(s);
        const FirmwareId firmware = exchange_firmware_id(ctx);
        EXPECT_EQ(firmware.status, ExchangeStatus::Ok) << r.name;
        EXPECT_EQ(firmware.id, r.firmware.left(5)) << r.name;
        EXPECT_DOUBLE_EQ(firmware.version, r.version) << r.name;
        TearDown();
    }
}

TEST_F(IdentificationTest, FirmwareIdentificationWithoutContact)
{
    sim::Scenario s = sim::defaultScenario();
    s.noContact = true;
    startSim(s);
    const FirmwareId firmware = exchange_firmware_id(ctx);
    EXPECT_EQ(firmware.status, ExchangeStatus::NoContact);
    EXPECT_TRUE(firmware.id.isEmpty());
    EXPECT_TRUE(server->commands().isEmpty());
}

TEST_F(IdentificationTest, ChangeEcuIsSentEvenWithoutContact)
{
    sim::Scenario s = sim::defaultScenario();
    s.noContact = true;
    startSim(s);
    EXPECT_EQ(exchange_change_ecu(ctx), ExchangeStatus::NoContact);
    // The wait ends at once (no contact), so the command may still be on its way.
    EXPECT_TRUE(wait_until([&] { return !server->commands().isEmpty(); }));
    EXPECT_EQ(server->commands(), QStringList{QStringLiteral("800204")});
    EXPECT_EQ(server->activeEcu(), 1);
}
