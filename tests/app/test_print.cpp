// Print on a real print queue, end to end: a CUPS scheduler of the test's own, with a PDF
// printer as the default printer, takes the job the Print button sends through Qt's CUPS print
// support; the printed lines are read back from the PDF the printer writes. The window runs on
// virtual time as everywhere; the scheduler and its filters are real processes on the real
// clock, waited for with generous bounds.
//
// The recorded version of this flow (test_frmmain.cpp) proves what the window hands to the
// print seam; this one proves that the lines reach paper, each on its own line and in order,
// which only a real job can show: a page that stays blank, a report printed as one run with
// its line breaks lost, lines out of order or drawn over each other all change the text read
// back.
#include "qtprompts.h"
#include "windowfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

#include <optional>
#include <vector>

using namespace quorvex;
using namespace quorvex::test;

namespace {

const QString kQueue = QStringLiteral("QuorvexPDF");
const QString kBackend = QStringLiteral("/usr/lib/cups/backend/cups-pdf");
// cups-pdf reads its settings only from /etc/cups: cups-pdf.conf for cups-pdf:/, and
// cups-pdf-NAME.conf for the device cups-pdf:/NAME, which is how this queue gets an output
// directory of its own without touching the system's PDF printer.
const QString kPdfConfDir = QStringLiteral("/etc/cups");
constexpr int kStartMs = 10000; // cupsd up and answering
constexpr int kToolMs = 10000;  // one lpadmin, lpstat or pdftotext run
constexpr int kJobMs = 30000;   // the job through the filters to the finished PDF

// The window's print job goes to the real QtPrompts::print; every other prompt is answered
// here, so a failure shows up as text in the test's output instead of a modal box that waits
// forever.
class PrintOnlyPrompts : public QtPrompts
{
public:
    void message(const QString &text, const QString &, Icon) override { messages << text; }
    bool question(const QString &text, const QString &) override
    {
        messages << text;
        return false;
    }
    QString saveFileName(const QString &, const QString &, const QStringList &) override
    {
        return {};
    }

    QStringList messages;
};

// The lines as they must read on paper: multi-line texts one line per text line, runs of
// white space as one space (the PDF positions words, its text extraction guesses the gaps),
// and no empty lines (vertical space comes back as a guess too). Every letter must read back
// as itself: the printout draws no ligatures, which would leave words like "Misfire"
// unsearchable.
QStringList printedForm(const QStringList &texts)
{
    QStringList out;
    for (const QString &text : texts)
        for (const QString &line : QString(text).replace(u'\f', u'\n').split(u'\n')) {
            const QString simple = line.simplified();
            if (!simple.isEmpty())
                out << simple;
        }
    return out;
}

QString findTool(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty())
        return found;
    return QStandardPaths::findExecutable(name,
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
}

// AppArmor's profile for cups-pdf (Debian's cups-daemon ships one) lets it read only
// /etc/cups/cups-pdf.conf and write only below /var/spool/cups-pdf and the homes.
bool cupsPdfConfined()
{
    QFile profiles(QStringLiteral("/sys/kernel/security/apparmor/profiles"));
    return profiles.open(QIODevice::ReadOnly) &&
           profiles.readAll().contains(kBackend.toUtf8() + " (enforce)");
}

bool writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.toUtf8()) == text.toUtf8().size();
}

// A variable of the test process, put back as it was when the test ends.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, std::optional<QByteArray> value) : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_saved = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_saved)
            qputenv(m_name, *m_saved);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    std::optional<QByteArray> m_saved;
};

class PrintQueueEndToEnd : public WindowTest
{
protected:
    void SetUp() override
    {
        quits = 0;
        startCups();
        if (IsSkipped() || HasFatalFailure())
            return;
        window = std::make_unique<frmMain>(printPrompts, clock);
        window->setQuitHandler([this] { ++quits; });
        window->setSerialPorts(ports);
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        m_env.clear();
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(5000)) {
                m_cupsd.kill();
                m_cupsd.waitForFinished(2000);
            }
        }
        if (!m_pdfConf.isEmpty())
            QFile::remove(m_pdfConf);
        if (!m_socket.isEmpty())
            QFile::remove(m_socket);
    }

    // cupsd in the foreground as a child of the test, on a configuration and spool in a
    // temporary directory and a socket of its own: no TCP port, nothing of the system's
    // scheduler used or changed but the one cups-pdf settings file of this queue.
    void startCups()
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "CUPS cannot start here: not root (cupsd must run the cups-pdf "
                            "backend as root and the queue's settings go to /etc/cups)";
        m_cupsdPath = findTool(QStringLiteral("cupsd"));
        m_lpadmin = findTool(QStringLiteral("lpadmin"));
        m_lpstat = findTool(QStringLiteral("lpstat"));
        m_pdftotext = findTool(QStringLiteral("pdftotext"));
        if (m_cupsdPath.isEmpty() || m_lpadmin.isEmpty() || m_lpstat.isEmpty())
            GTEST_SKIP() << "CUPS cannot start here: cupsd, lpadmin or lpstat is not installed "
                            "(Debian packages cups, cups-client)";
        if (m_pdftotext.isEmpty())
            GTEST_SKIP() << "pdftotext is not installed (Debian package poppler-utils)";
        // cupsd runs a backend as lp when everyone may read and run it, and cups-pdf refuses
        // to work as anyone but root (the package installs it with mode 0700).
        const QFileInfo backend(kBackend);
        if (!backend.exists() || !QFileInfo::exists(kPdfConfDir))
            GTEST_SKIP() << "CUPS cannot start a PDF printer here: " << kBackend.toStdString()
                         << " is not installed (Debian package printer-driver-cups-pdf)";
        if (backend.permission(QFile::ReadOther | QFile::ExeOther))
            GTEST_SKIP() << "CUPS cannot run " << kBackend.toStdString()
                         << " as root: everyone may read and run it (the package's mode is 0700)";
        if (cupsPdfConfined())
            GTEST_SKIP() << "CUPS cannot start a PDF printer of its own here: AppArmor keeps "
                         << kBackend.toStdString() << " to its system settings and directories";

        ASSERT_TRUE(m_dir.isValid());
        const QString d = m_dir.path();
        // Filters run as lp and reach the spool below the directory; cupsd sets the modes
        // of the directories it owns itself.
        QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                     QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                     QFile::ExeOther);
        for (const char *sub : {"etc", "spool/tmp", "log", "cache", "run", "pdf"})
            ASSERT_TRUE(QDir(d).mkpath(QLatin1String(sub))) << sub;
        // libcups reads CUPS_SERVER once per process: every scheduler of this process
        // listens on the same path.
        m_socket = QStringLiteral("%1/quorvex-cups-%2.sock")
                       .arg(QDir::tempPath())
                       .arg(QCoreApplication::applicationPid());
        QFile::remove(m_socket); // left by an earlier process of the same id
        m_log = d + QStringLiteral("/log/error_log");
        m_pdfDir = d + QStringLiteral("/pdf");
        ASSERT_TRUE(writeFile(d + QStringLiteral("/etc/cups-files.conf"),
                              QStringLiteral("ServerRoot %1/etc\n"
                                             "RequestRoot %1/spool\n"
                                             "TempDir %1/spool/tmp\n"
                                             "StateDir %1/run\n"
                                             "CacheDir %1/cache\n"
                                             "ErrorLog %1/log/error_log\n"
                                             "AccessLog %1/log/access_log\n"
                                             "PageLog %1/log/page_log\n"
                                             "Printcap %1/run/printcap\n"
                                             "SystemGroup root\n"
                                             "LogFileGroup root\n")
                                  .arg(d)));
        // Only this process reaches the socket, so no request needs authentication.
        ASSERT_TRUE(writeFile(d + QStringLiteral("/etc/cupsd.conf"),
                              QStringLiteral("Listen %1\n"
                                             "Browsing No\n"
                                             "WebInterface No\n"
                                             "LogLevel debug\n"
                                             "DefaultAuthType None\n"
                                             "<Location />\n  Order allow,deny\n  Allow all\n"
                                             "</Location>\n"
                                             "<Policy default>\n  <Limit All>\n"
                                             "    Order deny,allow\n  </Limit>\n</Policy>\n")
                                  .arg(m_socket)));
        const QString name =
            QStringLiteral("quorvex-test-%1").arg(QCoreApplication::applicationPid());
        m_pdfConf = QStringLiteral("%1/cups-pdf-%2.conf").arg(kPdfConfDir, name);
        if (!writeFile(m_pdfConf, QStringLiteral("Out %1\nAnonDirName %1\nSpool %2/spool-pdf\n"
                                                 "Log %2/log\nGrp root\n")
                                      .arg(m_pdfDir, d))) {
            m_pdfConf.clear();
            GTEST_SKIP() << "CUPS cannot start a PDF printer here: cannot write its settings "
                            "to "
                         << kPdfConfDir.toStdString();
        }

        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(m_cupsdPath, {QStringLiteral("-f"), QStringLiteral("-c"),
                                    d + QStringLiteral("/etc/cupsd.conf"), QStringLiteral("-s"),
                                    d + QStringLiteral("/etc/cups-files.conf")});
        if (!m_cupsd.waitForStarted(kStartMs))
            GTEST_SKIP() << "CUPS cannot start here: " << m_cupsd.errorString().toStdString();
        QElapsedTimer t;
        t.start();
        QString answer;
        while (answer != u"scheduler is running") {
            // Also the pause between two questions; true only once cupsd has ended.
            const bool exited = m_cupsd.waitForFinished(50);
            if (exited || t.elapsed() > kStartMs)
                GTEST_SKIP() << "CUPS cannot start here: cupsd "
                             << (exited ? "exited" : "does not answer") << "\n"
                             << m_cupsd.readAll().toStdString() << logTail().toStdString();
            runTool(m_lpstat, {QStringLiteral("-r")}, &answer);
        }

        QString out;
        ASSERT_TRUE(
            runTool(m_lpadmin,
                    {QStringLiteral("-p"), kQueue, QStringLiteral("-E"), QStringLiteral("-v"),
                     QStringLiteral("cups-pdf:/") + name, QStringLiteral("-m"),
                     QStringLiteral("lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"),
                     // pdftocairo renders the job's pages to PostScript for cups-pdf
                     QStringLiteral("-o"), QStringLiteral("pdftops-renderer-default=pdftocairo")},
                    &out))
            << out.toStdString() << logTail().toStdString();
        ASSERT_TRUE(runTool(m_lpadmin, {QStringLiteral("-d"), kQueue}, &out)) << out.toStdString();

        // Qt asks libcups for the default destination: the server's default (lpadmin -d)
        // unless LPDEST, PRINTER or an lpoptions file name another; PRINTER outranks the
        // files of whoever runs the tests.
        m_env.push_back(std::make_unique<ScopedEnv>("CUPS_SERVER", m_socket.toLocal8Bit()));
        m_env.push_back(std::make_unique<ScopedEnv>("LPDEST", std::nullopt));
        m_env.push_back(std::make_unique<ScopedEnv>("PRINTER", kQueue.toLocal8Bit()));
    }

    // Runs a CUPS or poppler tool against this scheduler; true when it exits with 0 in time.
    // `output` is what it wrote to stdout, and its messages too when it failed.
    bool runTool(const QString &program, const QStringList &args, QString *output) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CUPS_SERVER"), m_socket);
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        p.setProcessEnvironment(env);
        p.start(program, args);
        bool ok = p.waitForFinished(kToolMs);
        if (!ok) {
            p.kill();
            p.waitForFinished(1000);
        }
        ok = ok && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        *output = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
        if (!ok)
            *output += u'\n' + program + QStringLiteral(": ") +
                       QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        return ok;
    }

    // The PDF of the job once the scheduler has finished it (cups-pdf writes the file before
    // its backend exits); empty when it does not come in time.
    QString waitForPdf()
    {
        QElapsedTimer t;
        t.start();
        SystemClock real;
        while (t.elapsed() < kJobMs) {
            real.wait(100);
            const QStringList pdfs =
                QDir(m_pdfDir).entryList({QStringLiteral("*.pdf")}, QDir::Files);
            QString pending;
            if (!pdfs.isEmpty() && runTool(m_lpstat, {QStringLiteral("-o"), kQueue}, &pending) &&
                pending.isEmpty())
                return m_pdfDir + u'/' + pdfs.first();
        }
        return {};
    }

    QString logTail() const
    {
        QFile file(m_log);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromLocal8Bit(file.readAll()).split(u'\n');
        lines.removeIf([](const QString &l) {
            return !l.startsWith(u"E ") && !l.startsWith(u"W ") && !l.contains(u"[Job");
        });
        return QStringLiteral("\nscheduler log:\n") + lines.mid(lines.size() - 40).join(u'\n');
    }

    PrintOnlyPrompts printPrompts;
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/quorvex-cups-XXXXXX")};
    QProcess m_cupsd;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
    QString m_cupsdPath, m_lpadmin, m_lpstat, m_pdftotext;
    QString m_socket, m_log, m_pdfDir, m_pdfConf;
};

} // namespace

TEST_F(PrintQueueEndToEnd, PrintPutsTheVinTheReportAndTheDataOnPaperInOrder)
{
    ASSERT_EQ(QPrinterInfo::defaultPrinter().printerName(), kQueue)
        << "Qt's default printer is not the test queue (is Qt's CUPS print plugin, in "
           "libqt6printsupport6, installed?)";
    startSim();
    connectCom(1);
    button("Mode1")->click();

    // Read right before the press: nothing runs in between that could change the window.
    const auto *report = control<QPlainTextEdit>(QStringLiteral("textECU"));
    const QStringList expected = printedForm(
        QStringList{control<QLineEdit>(QStringLiteral("Text2"))->text(), report->toPlainText()} +
        lines());
    ASSERT_GT(lines().size(), 3) << "the data list is empty: the print would prove little";
    ASSERT_GT(report->toPlainText().count(u'\n'), 0) << "the report has one line only";
    button("Command2")->click();
    EXPECT_TRUE(printPrompts.messages.isEmpty()) << printPrompts.messages.join(u'\n').toStdString();

    const QString pdf = waitForPdf();
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF from the print queue within " << kJobMs << " ms"
                                << logTail().toStdString();
    QString text;
    ASSERT_TRUE(runTool(m_pdftotext,
                        {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                         pdf, QStringLiteral("-")},
                        &text))
        << text.toStdString();
    EXPECT_EQ(printedForm({text}), expected) << "the PDF reads:\n" << text.toStdString();
}
