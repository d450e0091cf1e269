// The command line in a terminal without a display (ssh, a console): --help, --version and a
// wrong option are answered before any window system is needed. And --tcp, end to end: the
// program started on the simulated Wi-Fi adapter connects to it at once.
#include "sim/simserver.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome
{
    int exitCode = -1;
    bool crashed = true;
    QString out;
    QString err;
};

Outcome run_without_display(const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QUORVEX_PROGRAM), args);
    Outcome r;
    if (!program.waitForFinished(60'000)) {
        program.kill();
        program.waitForFinished();
        return r;
    }
    r.crashed = program.exitStatus() != QProcess::NormalExit;
    r.exitCode = program.exitCode();
    r.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(program.readAllStandardError());
    return r;
}

} // namespace

TEST(CommandLineWithoutDisplay, HelpVersionAndAWrongOption)
{
    const Outcome help = run_without_display({QStringLiteral("--help")});
    EXPECT_FALSE(help.crashed) << help.err.toStdString();
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: quorvex "))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("--version"))) << help.out.toStdString();

    const Outcome version = run_without_display({QStringLiteral("--version")});
    EXPECT_FALSE(version.crashed) << version.err.toStdString();
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("quorvex " QUORVEX_VERSION "\n"));

    EXPECT_TRUE(help.out.contains(QStringLiteral("--tcp HOST:PORT"))) << help.out.toStdString();

    const Outcome wrong = run_without_display({QStringLiteral("--colour")});
    EXPECT_FALSE(wrong.crashed) << wrong.err.toStdString();
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.out.isEmpty());
    EXPECT_TRUE(wrong.err.startsWith(QStringLiteral("quorvex: unknown argument: --colour\n\n"
                                                    "Usage: quorvex ")))
        << wrong.err.toStdString();
}

// A Wi-Fi adapter's address that is not HOST:PORT is refused in the terminal, before any window.
TEST(CommandLineWithoutDisplay, ABadAdapterAddressIsRefused)
{
    const std::pair<QStringList, QString> rows[] = {
        {{QStringLiteral("--tcp"), QStringLiteral("192.168.0.10")},
         QStringLiteral("quorvex: --tcp: \"192.168.0.10\" is not an adapter's address: give "
                        "HOST:PORT, e.g. 192.168.0.10:35000\n")},
        {{QStringLiteral("--tcp"), QStringLiteral("adapter:70000")},
         QStringLiteral("quorvex: --tcp: \"adapter:70000\" is not an adapter's address: give "
                        "HOST:PORT, e.g. 192.168.0.10:35000\n")},
        {{QStringLiteral("--tcp")},
         QStringLiteral("quorvex: --tcp needs the Wi-Fi adapter's address: --tcp "
                        "192.168.0.10:35000\n")},
    };
    for (const auto &[args, message] : rows) {
        const Outcome r = run_without_display(args);
        EXPECT_FALSE(r.crashed) << r.err.toStdString();
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.startsWith(message + u'\n' + QStringLiteral("Usage: quorvex ")))
            << r.err.toStdString();
    }
}

// Started with --tcp, the program connects through the ELM327 driver on its own, as far as the
// VIN (the last step of the set-up), and keeps the address for the menu item. Its settings go
// to a folder of the test's own.
TEST(CommandLineEndToEnd, TcpConnectsToTheAdapterAtStartAndKeepsItsAddress)
{
    quorvex::sim::Options options;
    options.personality = quorvex::sim::Personality::Elm327;
    quorvex::sim::Server server(quorvex::sim::defaultScenario(), options);
    QString error;
    ASSERT_TRUE(server.listen(QStringLiteral("127.0.0.1"), 0, &error)) << error.toStdString();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.tcpPort());
    const QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QUORVEX_PROGRAM), {QStringLiteral("--tcp"), address});

    const QDeadlineTimer bound(60'000);
    bool askedForVin = false;
    while (!askedForVin && !bound.hasExpired() && program.state() != QProcess::NotRunning) {
        program.waitForFinished(50); // ends early only if the program does
        askedForVin = !server.commands().filter(QStringLiteral("0902")).isEmpty();
    }
    program.kill();
    program.waitForFinished();
    EXPECT_TRUE(askedForVin) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(server.commands().contains(QStringLiteral("ATZ")));
    const QSettings kept(config.path() + QStringLiteral("/Quorvex/Quorvex.conf"),
                         QSettings::IniFormat);
    EXPECT_EQ(kept.value(QStringLiteral("wifi/address")).toString(), address);
}
