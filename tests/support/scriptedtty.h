#pragma once
// A serial device whose far end answers from a script: a pseudo-terminal whose master side
// reads what the program writes, line by line (up to CR), and answers each line with the bytes
// the script gives for it. Runs on the test's thread, from the event loop, so a program
// waiting in the event loop gets its answers. For conversations recorded from real adapters.

#include <QByteArray>
#include <QList>
#include <QSocketNotifier>
#include <QString>

#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace quorvex::test {

class ScriptedTty
{
public:
    struct Turn
    {
        QByteArray line;   // what the program sends, without its CR ("" matches any line)
        QByteArray answer; // what the far end sends back
    };

    explicit ScriptedTty(QList<Turn> script) : m_script(std::move(script))
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_device = QString::fromLocal8Bit(::ptsname(m_master));
        // Keep the line up whatever the program does with its end; raw, no echo.
        m_slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
        termios tio{};
        if (::tcgetattr(m_slave, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_slave, TCSANOW, &tio);
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { onInput(); });
    }
    ~ScriptedTty()
    {
        m_notifier.reset();
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }
    ScriptedTty(const ScriptedTty &) = delete;
    ScriptedTty &operator=(const ScriptedTty &) = delete;

    QString devicePath() const { return m_device; }
    QList<QByteArray> linesReceived() const { return m_lines; }
    bool scriptDone() const { return m_next >= m_script.size(); }
    // Lines that came when the script expected another, or after it ended.
    QList<QByteArray> unexpected() const { return m_unexpected; }

private:
    void onInput()
    {
        char buffer[256];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            return;
        m_pending.append(buffer, n);
        qsizetype end;
        while ((end = m_pending.indexOf('\r')) >= 0) {
            const QByteArray line = m_pending.left(end);
            m_pending.remove(0, end + 1);
            m_lines << line;
            if (m_next >= m_script.size() ||
                (!m_script[m_next].line.isEmpty() && m_script[m_next].line != line)) {
                m_unexpected << line;
                continue;
            }
            const QByteArray &answer = m_script[m_next++].answer;
            if (!answer.isEmpty() && ::write(m_master, answer.constData(), answer.size()) < 0)
                m_unexpected << "(write failed)";
        }
    }

    QList<Turn> m_script;
    qsizetype m_next = 0;
    int m_master = -1;
    int m_slave = -1;
    QString m_device;
    QByteArray m_pending;
    QList<QByteArray> m_lines;
    QList<QByteArray> m_unexpected;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace quorvex::test
