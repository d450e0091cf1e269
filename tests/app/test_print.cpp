// Print on a real print queue, end to end: a CUPS scheduler of the test's own, with a PDF
// printer as the default printer, takes the job the Print button sends through Qt's CUPS print
// support; the printed lines are read back from the PDF the printer writes. The window runs on
// virtual time; the scheduler and its filters are real processes on the real clock, waited for
// with generous bounds.
//
// The recorded version of this flow (test_frmmain.cpp) proves what the window hands to the
// print seam; only a real job shows that the lines reach paper, each on its own line and in
// order: a blank page, a report printed as one run, lines out of order or drawn over each other
// all change the text read back.
#include "widgets/qtprompts.h"
#include "windowfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

const QString kQueue = QStringLiteral("QuorvexPDF");
const QString kBackend = QStringLiteral("/usr/lib/cups/backend/cups-pdf");
constexpr int kToolMs = 10000; // cupsd up and answering; one lpadmin, lpstat or pdftotext run
constexpr int kJobMs = 30000;  // the job through the filters to the finished PDF

// Prints through Qt's print support as the program does; every other prompt is recorded, so a
// failure shows up as text in the test's output instead of a modal box that waits forever.
class PrintingPrompts : public RecordingPrompts
{
public:
    bool print(const QStringList &lines, QString *reason) override
    {
        return QtPrompts().print(lines, reason);
    }
};

// The lines as they must read on paper: one per text line, runs of white space as one space
// (the PDF positions words, its text extraction guesses the gaps), no empty lines (vertical
// space comes back as a guess too). Every letter must read back as itself: the printout draws
// no ligatures, which would leave words like "Misfire" unsearchable.
QStringList printedForm(const QStringList &texts)
{
    QStringList out;
    for (const QString &text : texts)
        for (const QString &line : QString(text).replace(u'\f', u'\n').split(u'\n'))
            if (!line.simplified().isEmpty())
                out << line.simplified();
    return out;
}

QString findTool(const char *name)
{
    const QStringList dirs = qEnvironmentVariable("PATH").split(u':') + QStringList{"/usr/sbin"};
    return QStandardPaths::findExecutable(QLatin1String(name), dirs);
}

bool writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
}

// Asks `done` every 50 ms of the real clock until it holds or `ms` pass.
bool poll(int ms, const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    SystemClock real;
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        real.wait(50);
    }
    return true;
}

class PrintQueueEndToEnd : public WindowTest
{
protected:
    void SetUp() override
    {
        const QString why = whyNotHere();
        if (!why.isEmpty())
            GTEST_SKIP() << "CUPS cannot start a PDF printer of its own here: "
                         << why.toStdString();
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
        for (const char *name : kVariables)
            m_env.contains(QLatin1String(name))
                ? qputenv(name, m_env.value(QLatin1String(name)).toLocal8Bit())
                : qunsetenv(name);
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(5000))
            m_cupsd.kill();
        m_cupsd.waitForFinished(2000);
        for (const QString &file : {m_pdfConf, m_socket})
            if (!file.isEmpty())
                QFile::remove(file);
    }

    // Finds the tools; why the scheduler or the PDF backend cannot run here, empty if they can.
    QString whyNotHere()
    {
        if (geteuid() != 0)
            return "not root (cupsd runs the cups-pdf backend as root, and the queue's settings "
                   "go to /etc/cups)";
        for (const char *name : {"cupsd", "lpadmin", "lpstat", "pdftotext"})
            if ((m_tools[QLatin1String(name)] = findTool(name)).isEmpty())
                return QLatin1String(name) +
                       " is not installed (Debian packages cups, cups-client, poppler-utils)";
        const QFileInfo backend(kBackend);
        if (!backend.exists())
            return kBackend + " is not installed (Debian package printer-driver-cups-pdf)";
        // cupsd runs a backend as lp when everyone may read and run it, and cups-pdf refuses
        // to work as anyone but root.
        if (backend.permission(QFile::ReadOther | QFile::ExeOther))
            return kBackend + " may be read and run by everyone (the package's mode is 0700)";
        // AppArmor's profile for cups-pdf (Debian's cups-daemon ships one) lets it read only
        // /etc/cups/cups-pdf.conf and write only below /var/spool/cups-pdf and the homes.
        QFile profiles(QStringLiteral("/sys/kernel/security/apparmor/profiles"));
        if (profiles.open(QIODevice::ReadOnly) &&
            profiles.readAll().contains(kBackend.toUtf8() + " (enforce)"))
            return "AppArmor keeps " + kBackend + " to its system settings and directories";
        return {};
    }

    // cupsd in the foreground as a child of the test, on a configuration and spool in a
    // temporary directory and a socket of its own: no TCP port, nothing of the system's
    // scheduler used or changed but the one cups-pdf settings file of this queue.
    void startCups()
    {
        ASSERT_TRUE(m_dir.isValid());
        const QString d = m_dir.path();
        // Filters run as lp and reach the spool below the directory.
        ASSERT_EQ(::chmod(QFile::encodeName(d).constData(), 0755), 0);
        for (const char *sub : {"etc", "spool/tmp", "log", "cache", "run", "pdf"})
            ASSERT_TRUE(QDir(d).mkpath(QLatin1String(sub))) << sub;
        // libcups reads CUPS_SERVER once per process: every scheduler of this process listens
        // on the same path (one left by an earlier process of the same id goes).
        const qint64 pid = QCoreApplication::applicationPid();
        m_socket = QStringLiteral("%1/quorvex-cups-%2.sock").arg(QDir::tempPath()).arg(pid);
        QFile::remove(m_socket);
        m_log = d + "/log/error_log";
        m_pdfDir = d + "/pdf";
        ASSERT_TRUE(writeFile(d + "/etc/cups-files.conf",
                              QStringLiteral("ServerRoot %1/etc\nRequestRoot %1/spool\n"
                                             "TempDir %1/spool/tmp\nStateDir %1/run\n"
                                             "CacheDir %1/cache\nErrorLog %1/log/error_log\n"
                                             "AccessLog %1/log/access_log\n"
                                             "PageLog %1/log/page_log\nPrintcap %1/run/printcap\n"
                                             "SystemGroup root\nLogFileGroup root\n")
                                  .arg(d)));
        // Only this process reaches the socket, so no request needs authentication.
        ASSERT_TRUE(writeFile(d + "/etc/cupsd.conf",
                              QStringLiteral("Listen %1\nBrowsing No\nWebInterface No\n"
                                             "LogLevel debug\nDefaultAuthType None\n"
                                             "<Location />\n  Order allow,deny\n  Allow all\n"
                                             "</Location>\n<Policy default>\n  <Limit All>\n"
                                             "    Order deny,allow\n  </Limit>\n</Policy>\n")
                                  .arg(m_socket)));
        // cups-pdf reads its settings only from /etc/cups, cups-pdf-NAME.conf for the device
        // cups-pdf:/NAME: an output directory of this queue's own, the system's PDF printer
        // untouched.
        const QString name = QStringLiteral("quorvex-test-%1").arg(pid);
        m_pdfConf = QStringLiteral("/etc/cups/cups-pdf-%1.conf").arg(name);
        if (!writeFile(m_pdfConf, QStringLiteral("Out %1\nAnonDirName %1\nSpool %2/spool-pdf\n"
                                                 "Log %2/log\nGrp root\n")
                                      .arg(m_pdfDir, d))) {
            m_pdfConf.clear();
            GTEST_SKIP() << "CUPS cannot start a PDF printer here: cannot write to /etc/cups";
        }

        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(m_tools["cupsd"],
                      {"-f", "-c", d + "/etc/cupsd.conf", "-s", d + "/etc/cups-files.conf"});
        QString answer;
        const bool up = poll(kToolMs, [&] {
            return m_cupsd.state() == QProcess::NotRunning ||
                   (runTool("lpstat", {"-r"}, &answer) && answer == u"scheduler is running");
        });
        if (!up || m_cupsd.state() == QProcess::NotRunning)
            GTEST_SKIP() << "CUPS cannot start here: cupsd "
                         << (up ? "exited: " : "does not answer: ")
                         << m_cupsd.errorString().toStdString() << "\n"
                         << m_cupsd.readAll().toStdString() << logTail().toStdString();

        QString out;
        // pdftocairo renders the job's pages to PostScript for cups-pdf.
        ASSERT_TRUE(runTool("lpadmin",
                            {"-p", kQueue, "-E", "-v", "cups-pdf:/" + name, "-m",
                             "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd", "-o",
                             "pdftops-renderer-default=pdftocairo"},
                            &out))
            << out.toStdString() << logTail().toStdString();
        ASSERT_TRUE(runTool("lpadmin", {"-d", kQueue}, &out)) << out.toStdString();

        // Qt asks libcups for the default destination: the server's default (lpadmin -d)
        // unless LPDEST, PRINTER or an lpoptions file name another; PRINTER outranks the
        // files of whoever runs the tests.
        qputenv("CUPS_SERVER", m_socket.toLocal8Bit());
        qunsetenv("LPDEST");
        qputenv("PRINTER", kQueue.toLocal8Bit());
    }

    // Runs one of the tools against this scheduler; true when it exits with 0 in time.
    // `output` is what it wrote to stdout, and its messages too when it failed.
    bool runTool(const char *tool, const QStringList &args, QString *output) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CUPS_SERVER"), m_socket);
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        p.setProcessEnvironment(env);
        const QString program = m_tools.value(QLatin1String(tool));
        p.start(program, args);
        const bool ok = p.waitForFinished(kToolMs) && p.exitStatus() == QProcess::NormalExit &&
                        p.exitCode() == 0;
        p.kill();
        p.waitForFinished(1000);
        *output = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
        if (!ok)
            *output += u'\n' + program + ": " + QString::fromLocal8Bit(p.readAllStandardError());
        return ok;
    }

    // The scheduler's errors, warnings and job lines, the latest last.
    QString logTail() const
    {
        QFile file(m_log);
        QStringList lines;
        if (file.open(QIODevice::ReadOnly))
            for (const QString &l : QString::fromLocal8Bit(file.readAll()).split(u'\n'))
                if (l.startsWith(u"E ") || l.startsWith(u"W ") || l.contains(u"[Job"))
                    lines << l;
        return "\nscheduler log:\n" + lines.mid(lines.size() - 40).join(u'\n');
    }

    PrintingPrompts printPrompts;
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/quorvex-cups-XXXXXX")};
    QProcess m_cupsd;
    // The variables the test sets, put back as they were when it ends.
    static constexpr const char *kVariables[] = {"CUPS_SERVER", "LPDEST", "PRINTER"};
    const QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
    QHash<QString, QString> m_tools; // by name, where they are installed
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
    const QStringList expected = printedForm(
        QStringList{control<QLineEdit>(QStringLiteral("Text2"))->text(), report()} + lines());
    ASSERT_GT(lines().size(), 3) << "the data list is empty: the print would prove little";
    ASSERT_TRUE(report().contains(u'\n')) << "the report has one line only";
    button("Command2")->click();
    EXPECT_TRUE(printPrompts.boxes.isEmpty()) << printPrompts.boxes.value(0).text.toStdString();

    // cups-pdf writes the file before its backend exits, so the PDF is whole once the queue is
    // empty.
    QString pdf;
    poll(kJobMs, [&] {
        const QStringList pdfs = QDir(m_pdfDir).entryList({"*.pdf"}, QDir::Files);
        QString pending;
        if (!pdfs.isEmpty() && runTool("lpstat", {"-o", kQueue}, &pending) && pending.isEmpty())
            pdf = m_pdfDir + u'/' + pdfs.first();
        return !pdf.isEmpty();
    });
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF from the print queue within " << kJobMs << " ms"
                                << logTail().toStdString();
    QString text;
    ASSERT_TRUE(runTool("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"}, &text))
        << text.toStdString();
    EXPECT_EQ(printedForm({text}), expected) << "the PDF reads:\n" << text.toStdString();
}
