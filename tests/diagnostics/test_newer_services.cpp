// The readers of the newer services' replies as pure functions: permanent codes (service 0A)
// over one or several frames, and the vehicle information messages (service 09) with the
// decoders of their joined data. The window test shows both through the simulator on every
// route; these rows are the replies the simulator does not send.
#include "diagnostics/permanentcodes.h"
#include "diagnostics/vehicleinfo.h"

#include <gtest/gtest.h>

using namespace quorvex;

TEST(PermanentCodeReplies, FramesSlotsRefusalAndNoCodes)
{
    const struct
    {
        const char *name;
        QString reply;
        bool refused;
        QStringList codes;
    } rows[] = {
        {"two codes, the empty slot left out",
         "R486B104A03010420000012",
         false,
         {"P0301", "P0420"}},
        {"letters of J2012", "R486B104A4123C0018123FF", false, {"C0123", "U0001", "B0123"}},
        {"a second frame",
         "R486B104A030104200171FFR486B104AD1230000000000",
         false,
         {"P0301", "P0420", "P0171", "U1123"}},
        {"no codes: first header byte FF", "RFF6B104A00000000000000", false, {}},
        {"refused: 7F 0A 11", "R486B107F0A110000000000", true, {}},
        {"a refusal after codes only ends them",
         "R486B104A030100000000FFR486B107F0A110000000000",
         false,
         {"P0301"}},
        {"a blank at character 10", "R486B104A 03010000000012", false, {"P0301"}},
        {"short: the missing slots are empty", "R486B104A0133", false, {"P0133"}},
        {"empty", "", false, {}},
    };
    for (const auto &r : rows) {
        const PermanentCodes found = read_permanent_codes(r.reply);
        EXPECT_EQ(found.refused, r.refused) << r.name;
        EXPECT_EQ(found.codes, r.codes) << r.name;
    }
    EXPECT_EQ(read_permanent_codes("R486B104A030104200000FF").ecu, QStringLiteral("10"));
}

TEST(VehicleInfoReplies, MessagesOfSeveralEcusUntilTheMarks)
{
    // ECU 10's name in two messages, ECU 18's refusal, then the interface's marks.
    const QString reply = QStringLiteral("R486B10490A0145434D0000"
                                         "486B18"
                                         "7F09120000000000"
                                         "486B10490A022D454E4700SSSSSSSSSSSSSSSSSSSSSSSS");
    const QList<InfoMessage> messages = read_info_messages(reply);
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages[0].ecu, QStringLiteral("10"));
    EXPECT_EQ(messages[0].number, 1);
    EXPECT_EQ(messages[0].data, QByteArray("ECM\0", 4));
    EXPECT_TRUE(messages[1].refused);
    EXPECT_EQ(messages[1].ecu, QStringLiteral("18"));
    EXPECT_EQ(messages[2].infoType, 0x0A);
    EXPECT_EQ(messages[2].number, 2);
    EXPECT_TRUE(read_info_messages(QStringLiteral("R486B10490A01")).isEmpty()); // cut short
}

TEST(VehicleInfoReplies, DecodersOfTheJoinedData)
{
    EXPECT_EQ(info_types_supported(QByteArray::fromHex("54400000")),
              (QList<int>{0x02, 0x04, 0x06, 0x0A}));
    EXPECT_EQ(info_types_supported(QByteArray::fromHex("FF")).size(), 8); // short: the rest 0
    // Padding removed; a calibration ID with a byte that is not printable shows in hex; a
    // partial ID (fewer than 16 bytes) is not shown.
    const QByteArray ids = QByteArray("QV12A3450100\0\0\0\0", 16) +
                           QByteArray("AB\x01"
                                      "D",
                                      4)
                               .leftJustified(16, '\0') +
                           QByteArray("PART");
    EXPECT_EQ(calibration_ids(ids),
              (QStringList{"QV12A3450100", "41420144000000000000000000000000"}));
    EXPECT_EQ(cvn_texts(QByteArray::fromHex("1A2B3C4D00F0E1D2FF")),
              (QStringList{"1A2B3C4D", "00F0E1D2"}));
    EXPECT_EQ(ecu_name(QByteArray("ECM\0-EngineControl\0\0", 20)),
              QStringLiteral("ECM-EngineControl"));

    EcuInfo spark;
    in_use_counts(0x08,
                  QByteArray::fromHex("002D0078"
                                      "0026002D"
                                      "0000002D"),
                  &spark);
    EXPECT_EQ(spark.obdConditions, 45);
    EXPECT_EQ(spark.ignitionCycles, 120);
    ASSERT_EQ(spark.ratios.size(), 2);
    EXPECT_EQ(spark.ratios[0].monitor, QStringLiteral("Catalyst bank 1"));
    EXPECT_EQ(in_use_ratio_text(spark.ratios[0]), QStringLiteral("0.84"));
    EXPECT_EQ(in_use_ratio_text(spark.ratios[1]), QStringLiteral("0.00"));
    EcuInfo compression;
    in_use_counts(0x0B,
                  QByteArray::fromHex("FFFF0001"
                                      "00050000"
                                      "0003"),
                  &compression);
    EXPECT_EQ(compression.obdConditions, 65535);
    ASSERT_EQ(compression.ratios.size(), 1); // the NOx pair is cut short
    EXPECT_EQ(compression.ratios[0].monitor, QStringLiteral("NMHC catalyst"));
    EXPECT_EQ(in_use_ratio_text(compression.ratios[0]), QStringLiteral("-"));
    EcuInfo none;
    in_use_counts(0x08, QByteArray::fromHex("0001"), &none);
    EXPECT_EQ(none.obdConditions, -1);
}
