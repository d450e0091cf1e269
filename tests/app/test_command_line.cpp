// The command line in a terminal without a display (ssh, a console): --help, --version and a
// wrong option are answered before any window system is needed.
#include <QProcess>
#include <QProcessEnvironment>

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
