// The VIN in both reply forms and the firmware identification, against the simulated
// interface.
#include "diagnostics/vin.h"
#include "link/connection.h"
#include "support/simfixture.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {
using IdentificationTest = SimLinkTest;
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
        {"no answer: none, the box keeps what was typed", sim::VinForm::None, 0, {}},
        {"not usable on every repeat: none", sim::VinForm::Short, 2, {}},
    };
    for (const Row &r : rows) {
        sim::Scenario s = sim::defaultScenario();
        s.vin = kVin;
        s.vinForm = r.form;
        s.faults.retryReplies = r.retryReplies;
        startSim(s);
        ctx.bounds.retryLimit = 1;
        const VinResult vin = GetVIN(ctx);
        EXPECT_EQ(vin.text, r.expected) << r.name;
        EXPECT_EQ(server->commands().last(), QStringLiteral("090208")) << r.name;
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
    EXPECT_EQ(decode_long_vin(reply), QString::fromLatin1(vin));
    EXPECT_EQ(decode_long_vin(reply.left(84)), QStringLiteral("1XV0A12345R")); // cut in message 4
}

// The firmware's first five characters name it; nothing is asked without vehicle contact,
// while the change of ECU is sent all the same.
TEST_F(IdentificationTest, FirmwareAndChangeOfEcu)
{
    sim::Scenario s = sim::defaultScenario();
    s.firmware = QStringLiteral("V4.00b");
    startSim(s);
    const FirmwareId firmware = exchange_firmware_id(ctx);
    EXPECT_EQ(firmware.status, ExchangeStatus::Ok);
    EXPECT_EQ(firmware.id, QStringLiteral("V4.00"));
    EXPECT_DOUBLE_EQ(firmware.version, 4.0);

    s.noContact = true;
    startSim(s);
    EXPECT_EQ(exchange_firmware_id(ctx).status, ExchangeStatus::NoContact);
    EXPECT_EQ(exchange_change_ecu(ctx), ExchangeStatus::NoContact);
    clock.run(100); // the command is on its way
    EXPECT_EQ(server->commands(), QStringList{QStringLiteral("800204")});
    EXPECT_EQ(server->activeEcu(), 1);
}
