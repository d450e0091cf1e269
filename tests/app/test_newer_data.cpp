// What newer cars tell beyond today's services, on the real window against the simulated car on
// every route: the later PIDs listed after the older lines, the permanent codes in the stored
// codes' form, and the vehicle information window with copy and print. The older car reports
// none of it: no new line, a plain sentence for the refused service, and no message box.
#include "windowfixture.h"

#include <QClipboard>
#include <QGuiApplication>

using namespace quorvex;
using namespace quorvex::test;

namespace {

// The built-in car's identification data, each ECU under its address.
const QStringList kDefaultCarInfo = {
    "ECU #=10",
    "  ECU name: ECM-EngineControl",
    "  Calibration ID: QV12A3450100  CVN: 1A2B3C4D",
    "  Calibration ID: QV12E0017C  CVN: 00F0E1D2",
    "  In-use performance: conditions met 45, ignition cycles 120",
    "    Catalyst bank 1: completed 38 of 45, ratio 0.84",
    "    Catalyst bank 2: completed 36 of 45, ratio 0.80",
    "    O2 sensor bank 1: completed 41 of 45, ratio 0.91",
    "    O2 sensor bank 2: completed 40 of 45, ratio 0.89",
    "    EGR and/or VVT: completed 0 of 0, ratio -",
    "    Secondary air: completed 0 of 0, ratio -",
    "    EVAP: completed 12 of 30, ratio 0.40",
    "ECU #=18",
    "  ECU name: TCM-TransmissionCtl",
};

sim::Scenario older_car()
{
    sim::Scenario car;
    sim::Ecu ecu;
    ecu.pids = {0x01, 0x04, 0x05, 0x0C, 0x0D, 0x21, 0x33};
    ecu.storedCodes = {QStringLiteral("0301")};
    ecu.newerServices = false;
    car.ecus = {ecu};
    return car;
}

QStringList info_lines(QWidget *window)
{
    const auto *list = window->findChild<QListWidget *>(QStringLiteral("InfoList"));
    QStringList out;
    for (int i = 0; list && i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

class NewerData : public WindowTest, public ::testing::WithParamInterface<Route>
{
};

TEST_P(NewerData, LaterPidsPermanentCodesAndVehicleInformation)
{
    connectThrough(GetParam(), sim::defaultScenario());

    // The later PIDs follow the older lines, the first of them after the barometer.
    button("Mode1")->click();
    const QStringList listed = lines();
    const qsizetype baro = listed.indexOf(QStringLiteral("BARO press. -----------  29.8253InHg"));
    ASSERT_GE(baro, 0) << listed.join(u'|').toStdString();
    EXPECT_EQ(listed.mid(baro + 1, 2),
              (QStringList{"Fuel Type -------------  Gasoline", "Ethanol Fuel ----------  10%"}));
    EXPECT_TRUE(listed.contains(QStringLiteral("Reference Torque ------  236lb-ft")));
    EXPECT_TRUE(listed.last().startsWith(QStringLiteral("Odometer --------------  294")))
        << listed.last().toStdString();

    button("PermanentCodes")->click();
    EXPECT_TRUE(report().startsWith(QStringLiteral("\r\nECU #=10\r\nVehicle Reports  2 Permanent "
                                                   "Trouble Code(s)\r\nPC1 -P0301\r\n")))
        << report().toStdString();
    EXPECT_TRUE(report().contains(QStringLiteral("\r\nPC2 -P0420\r\n")));
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));

    action(QStringLiteral("mnuVehicleInfo"))->trigger();
    QWidget *info = topLevel("VehicleInfoWindow");
    // On CAN the adapter asks the ECU chosen alone; the older buses hear every ECU.
    EXPECT_EQ(info_lines(info),
              GetParam() == Route::ElmCan ? kDefaultCarInfo.mid(0, 12) : kDefaultCarInfo);
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_TRUE(boxes().isEmpty()) << boxes().join(u'|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Routes, NewerData,
                         ::testing::Values(Route::Serial, Route::Usb, Route::ElmCan, Route::ElmIso),
                         [](const auto &p) { return route_name(p.param); });

class OlderCar : public WindowTest, public ::testing::WithParamInterface<Route>
{
};

TEST_P(OlderCar, ShowsNoNewLineAndSaysWhatItRefuses)
{
    connectThrough(GetParam(), older_car());
    button("Mode1")->click();
    for (const QString &line : lines())
        EXPECT_FALSE(line.startsWith(QStringLiteral("Odometer"))) << line.toStdString();
    EXPECT_EQ(lines().size(), 6); // 04, 05, 0C, 0D, 21, 33: the older lines alone

    button("PermanentCodes")->click();
    EXPECT_EQ(report(), QStringLiteral("\r\nECU #=10\r\nThe vehicle does not support permanent "
                                       "trouble codes\r\n"));
    action(QStringLiteral("mnuVehicleInfo"))->trigger();
    EXPECT_EQ(info_lines(topLevel("VehicleInfoWindow")),
              (QStringList{"ECU #=10", "  No vehicle information beyond the VIN"}));
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_TRUE(boxes().isEmpty()) << boxes().join(u'|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Routes, OlderCar, ::testing::Values(Route::Serial, Route::ElmCan),
                         [](const auto &p) { return route_name(p.param); });

// What a user hands on: the lines copied as they are shown, one a line, and printed through the
// program's print path under the window's title; without a printer a box says why.
TEST_F(WindowTest, VehicleInformationCopiesAndPrints)
{
    connectTo();
    action(QStringLiteral("mnuVehicleInfo"))->trigger();
    click("VehicleInfoWindow", "Copy");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), kDefaultCarInfo.join(u'\n'));
    click("VehicleInfoWindow", "Print");
    ASSERT_EQ(prompts.printed.size(), 1);
    EXPECT_EQ(prompts.printed.first(), QStringList{"Vehicle Information"} + kDefaultCarInfo);
    prompts.printerAvailable = false;
    click("VehicleInfoWindow", "Print");
    EXPECT_EQ(boxes(), QStringList{"Nothing was printed: No printer is installed."});
}
