// The window through an ELM327 emulator of another origin: the Python ELM327-emulator, started
// from the source tree the build was configured with. Its car (an 11-bit CAN car) answers with
// values that change from request to request, so this checks what must hold whatever they are:
// the set-up, every item the car claims listed, its codes, clearing them, the VIN and the
// real-time display. End to end: the emulator is a process of its own on a pseudo-terminal,
// so the window runs on the system clock and its real serial path, with generous bounds.
#include "app/windowfixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace quorvex;
using namespace quorvex::test;

namespace {

// The emulator's three VINs, which it gives in turn.
const QStringList kEmulatorVins{"WP0ZZZ99ZTS390000", "MAT403096BNL00000", "SB1ZS3JE60E282102"};

class OutsideElmTest : public WindowTest
{
protected:
    void SetUp() override
    {
        window = std::make_unique<frmMain>(prompts, real);
        window->setQuitHandler([] {});
    }
    void TearDown() override
    {
        window.reset();
        stopEmulator();
    }
    // Waits on the system clock until pred holds or ms pass; whether it holds.
    bool eventually(const std::function<bool()> &pred, int ms)
    {
        const qint64 until = real.nowMs() + ms;
        while (!pred() && real.nowMs() < until)
            real.wait(10);
        return pred();
    }
    // Calls then once done holds, looking every few milliseconds while a handler runs.
    void whenReal(std::function<bool()> done, std::function<void()> then)
    {
        real.callAfter(2, [this, done, then] {
            if (done())
                then();
            else
                whenReal(done, then);
        });
    }

    void startEmulator(const QString &car = QStringLiteral("car"))
    {
        ASSERT_TRUE(work.isValid());
        const QString batch = work.filePath(QStringLiteral("batch.txt"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(QUORVEX_OUTSIDE_ELM327));
        emulator.setProcessEnvironment(env);
        emulator.setWorkingDirectory(work.path());
        emulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        emulator.setStandardOutputFile(QProcess::nullDevice());
        // Commands to the emulator's own prompt come on its standard input, kept open.
        emulator.start(QStringLiteral(QUORVEX_OUTSIDE_PYTHON),
                       {QStringLiteral("-m"), QStringLiteral("elm"), QStringLiteral("-s"), car,
                        QStringLiteral("-b"), batch});
        ASSERT_TRUE(emulator.waitForStarted(10000)) << emulator.errorString().toStdString();
        // The first line of its batch output names its pseudo-terminal.
        ASSERT_TRUE(eventually(
            [&] {
                QFile file(batch);
                if (!file.open(QIODevice::ReadOnly))
                    return false;
                const QByteArray first = file.readLine();
                if (!first.endsWith('\n'))
                    return false;
                device = QString::fromLocal8Bit(first.trimmed());
                return true;
            },
            20000))
            << "the emulator announced no pseudo-terminal";
        ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/"))) << device.toStdString();
    }
    void stopEmulator()
    {
        if (emulator.state() == QProcess::NotRunning)
            return;
        emulator.write("quit\n");
        if (!emulator.waitForFinished(5000)) {
            emulator.kill();
            emulator.waitForFinished(2000);
        }
    }
    // A Python statement for the emulator's prompt, run in its process.
    void tell(const QByteArray &statement)
    {
        emulator.write(statement + '\n');
        ASSERT_TRUE(emulator.waitForBytesWritten(2000));
        eventually([] { return false; }, 300); // the emulator takes it in
    }
    void connectToEmulator()
    {
        if (emulator.state() == QProcess::NotRunning)
            startEmulator();
        window->setAdapterKind(AdapterKind::Elm327);
        load({device, {}, {}, {}});
        action(QStringLiteral("mnuConnectionCom1"))->trigger();
    }

    SystemClock real;
    QTemporaryDir work;
    QProcess emulator;
    QString device;
};

} // namespace

TEST_F(OutsideElmTest, SetsUpAndListsEveryItemTheCarClaims)
{
    connectToEmulator();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_EQ(statusColor(), kGreen);
    auto *firmware = control<QLabel>(QStringLiteral("Label7"));
    EXPECT_EQ(firmware->text(), QStringLiteral("F/W: E3.40"));
    EXPECT_FALSE(firmware->toolTip().isEmpty());
    const QString vin = control<QLineEdit>(QStringLiteral("Text2"))->text();
    EXPECT_TRUE(vin.startsWith(QStringLiteral("VIN= ")) && kEmulatorVins.contains(vin.mid(5)))
        << vin.toStdString();

    // The car claims 01, 03-07, 0B-11, 13, 15, 1C, 1F and 20 of the first range; every item
    // this program lists among them is listed, and every exchange answered.
    button("Mode1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    const QString listed = lines().join('\n');
    for (const char *label :
         {"Calculated Load -------- ", "Coolant Temp -----------  ", "Manifold Absolute Pres.- ",
          "Engine RPM ------------- ", "Speed ------------------ ", "Ignition Advance ------- ",
          "Intake Air Temp --------  ", "Air Flow --------------- ", "Throttle Position ------ ",
          "O2 Sensor2 Val --------- "})
        EXPECT_TRUE(listed.contains(QLatin1String(label))) << label << "\n" << listed.toStdString();
    // The fuel trims go to the report.
    EXPECT_TRUE(report().contains(QStringLiteral("Short Term Fuel Trim---- ")));
    EXPECT_TRUE(report().contains(QStringLiteral("Long Term FT,B1 -------- ")));
    EXPECT_TRUE(report().contains(QStringLiteral("MIL is OFF"))) << report().toStdString();
}

TEST_F(OutsideElmTest, CodesInSeveralFramesAndClearingThem)
{
    // Five stored codes: the emulator sends them as a message of two CAN frames, without the
    // count byte real ECUs put ahead of them. The report shows the count and the first three.
    startEmulator();
    tell("import elm.obd_message as m; m.DTC_STORED[:] = "
         "['0301', '0171', '0420', '0300', 'C100']");
    connectToEmulator();
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    button("Mode3")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_TRUE(report().contains(QStringLiteral(
        "ECU #=10\r\nMIL is ON\r\nVehicle Reports  5 Stored Trouble Code(s)\r\n"
        "TC1 -P0301\r\nP0301 Cylinder 1 Misfire Detected\r\n"
        "TC2 -P0171\r\nP0171 System Too Lean (Bank 1)\r\n"
        "TC3 -P0420\r\nP0420 Catalyst System Efficiency Below Threshold (Bank 1)\r\n")))
        << report().toStdString();

    button("Mode4")->click();
    EXPECT_EQ(report(), QStringLiteral("Trouble Codes Cleared"));
    button("Mode3")->click();
    EXPECT_FALSE(report().contains(QStringLiteral("TC1 -")));
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
}

TEST_F(OutsideElmTest, RealTimeDisplayOfTheEngineSpeed)
{
    connectToEmulator();
    button("Mode1")->click();
    auto *list = control<QListWidget>(QStringLiteral("List1"));
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text().startsWith(QStringLiteral("Engine RPM")))
            list->setCurrentRow(row);
    ASSERT_GE(list->currentRow(), 0);
    QWidget *chart = window->findChild<QWidget *>(QStringLiteral("Chart"));
    auto *value = chart->findChild<QLineEdit *>(QStringLiteral("txbValue"));
    QStringList seen;
    whenReal(
        [&] {
            if (!value->text().isEmpty() && !seen.contains(value->text()))
                seen << value->text();
            return seen.size() == 3;
        },
        [chart] { chart->findChild<QPushButton *>(QStringLiteral("cmdFreeze"))->click(); });
    window->List1_DblClick();
    ASSERT_EQ(seen.size(), 3);
    for (const QString &sample : seen)
        EXPECT_TRUE(sample.endsWith(QStringLiteral(" RPM"))) << sample.toStdString();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
}
