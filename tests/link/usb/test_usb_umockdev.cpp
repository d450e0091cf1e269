// The libusb binding against an emulated device: umockdev presents the interface in sysfs and
// /dev and answers its control transfers from a capture of the same session on the simulated
// interface. The libusb run must learn exactly what the simulated run learnt; a request that
// differs in any byte of its setup stage finds no answer in the capture and fails.
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString run(QProcess &process, const QString &program, const QStringList &args)
{
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(120000)) << program.toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

} // namespace

TEST(UsbUmockdev, LibusbRunLearnsWhatTheSimulatedRunLearnt)
{
    const QString umockdev = QStandardPaths::findExecutable(QStringLiteral("umockdev-run"));
    if (umockdev.isEmpty())
        GTEST_SKIP() << "umockdev-run is not installed (Debian package umockdev): the libusb "
                        "binding is not run against an emulated device";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString capture = dir.filePath(QStringLiteral("session.pcap"));

    QProcess record;
    const QString recorded =
        run(record, QStringLiteral(QUORVEX_USB_SESSION), {QStringLiteral("--record"), capture});
    EXPECT_TRUE(recorded.contains(QStringLiteral("device 1209:0b0d endpoints 1 status 0\n")));
    EXPECT_TRUE(recorded.contains(QStringLiteral("ready 0\nready 0\nfirmware 0 V3.40\nrpm 0 ")))
        << recorded.toStdString();

    QProcess replay;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // umockdev's preload library comes ahead of the sanitizer's runtime.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":verify_asan_link_order=0"));
    replay.setProcessEnvironment(env);
    const QString replayed = run(
        replay, umockdev,
        {QStringLiteral("--device"), QStringLiteral(QUORVEX_USB_DEVICE), QStringLiteral("--pcap"),
         QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1=") + capture,
         QStringLiteral("--"), QStringLiteral(QUORVEX_USB_SESSION), QStringLiteral("--replay")});
    EXPECT_EQ(replayed, recorded);
}
