// Recording the exchanges of a line: the text form of the bytes, the lines a recording holds
// and when, a line opened before and after the recording starts, and reading it back (with the
// ELM327 conversations typed in from published logs read the same way).
#include "link/recording.h"
#include "support/scriptedline.h"
#include "support/virtualclock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Serial ports whose every line is a scripted one the test keeps hold of.
class ScriptedPorts : public SerialPorts
{
public:
    explicit ScriptedPorts(Clock &clock) : m_clock(clock) {}
    bool probe(const QString &, QString *) override { return true; }
    std::unique_ptr<Transport> open(const SerialSettings &, QString *) override
    {
        auto line = std::make_unique<ScriptedLine>(m_clock);
        last = line.get();
        return line;
    }
    ScriptedLine *last = nullptr;

private:
    Clock &m_clock;
};

} // namespace

TEST(RecordingText, BytesEscapedAndBack)
{
    const struct
    {
        QByteArray bytes;
        QByteArray text;
    } rows[] = {
        {"010C07", "010C07"},
        {"ATZ\r", "ATZ\\r"},
        {"\r\rELM327 v1.5\r\r>", "\\r\\rELM327 v1.5\\r\\r>"},
        {"41 0C 0B B8 \r", "41 0C 0B B8 \\r"},
        {"trailing ", "trailing\\x20"},
        {"back\\slash\n", "back\\\\slash\\n"},
        {QByteArray("\0\x7f\xff", 3), "\\x00\\x7F\\xFF"},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(escape_bytes(r.bytes), r.text);
        EXPECT_EQ(unescape_bytes(r.text), std::optional(r.bytes)) << r.text.constData();
    }
    for (const char *broken : {"end\\", "\\q", "\\x4", "\\xG0"})
        EXPECT_EQ(unescape_bytes(broken), std::nullopt) << broken;
}

TEST(RecordingFile, ExchangesOnTheProgramsClockAndHeaders)
{
    VirtualClock clock;
    ScriptedPorts scripted(clock);
    ExchangeRecorder recorder(clock);
    QString kind = QStringLiteral("interface");
    RecordingPorts ports(&scripted, recorder, [&kind] { return kind; });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("drive.rec"));

    // A line opened before the recording starts is named in its header; nothing crossed it
    // before is recorded.
    std::unique_ptr<Transport> line = ports.open({QStringLiteral("/dev/ttyS0"), 19200}, nullptr);
    line->write("010C07");
    scripted.last->feed("S");
    EXPECT_EQ(line->readAll(), "S");
    clock.run(1500);
    ASSERT_TRUE(recorder.start(path, nullptr));
    clock.run(250);
    line->write("010C07");
    scripted.last->feed("S486B10410C0BB8C2 ");
    clock.run(12);
    EXPECT_EQ(line->readAll(), "S486B10410C0BB8C2 ");
    EXPECT_EQ(line->readAll(), ""); // a read that finds nothing is no line
    // Another line opened while recording: its kind and port follow.
    kind = QStringLiteral("elm327");
    clock.run(61'000);
    std::unique_ptr<Transport> elm = ports.open({QStringLiteral("/dev/rfcomm0"), 38400}, nullptr);
    elm->write("ATZ\r");
    recorder.stop();
    elm->write("ATE0\r");

    EXPECT_EQ(contents(path), QByteArray("# Quorvex exchange recording\n"
                                         "# program: Quorvex " QUORVEX_VERSION "\n"
                                         "# adapter: interface\n"
                                         "# port: /dev/ttyS0\n"
                                         "0.250 > 010C07\n"
                                         "0.262 < S486B10410C0BB8C2\\x20\n"
                                         "# adapter: elm327\n"
                                         "# port: /dev/rfcomm0\n"
                                         "61.262 > ATZ\\r\n"));

    // It reads back as it was recorded.
    const Recording back = read_recording(contents(path));
    EXPECT_TRUE(back.error.isEmpty()) << back.error.toStdString();
    EXPECT_EQ(back.adapterKind, QStringLiteral("interface"));
    ASSERT_EQ(back.exchanges.size(), 3);
    EXPECT_EQ(back.exchanges[1].ms, 262);
    EXPECT_FALSE(back.exchanges[1].sent);
    EXPECT_EQ(back.exchanges[1].bytes, "S486B10410C0BB8C2 ");
    EXPECT_EQ(back.exchanges[2].ms, 61'262);
    EXPECT_TRUE(back.exchanges[2].sent);

    // A file that cannot be written: the reason, and nothing recorded.
    QString error;
    EXPECT_FALSE(recorder.start(dir.filePath(QStringLiteral("no/such/folder.rec")), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(recorder.recording());
}

TEST(RecordingRead, BrokenRecordings)
{
    const QByteArray head = "# Quorvex exchange recording\n# adapter: interface\n";
    const struct
    {
        const char *name;
        QByteArray text;
        const char *error;
    } rows[] = {
        {"no time", head + "> 010C07\n", "line 3: no time"},
        {"time running back", head + "1.000 > 0100\n0.999 < S\n", "line 4: no time"},
        {"a time of other form", head + "1.5 > 0100\n", "line 3: no time"},
        {"no direction", head + "1.000 010C07\n", "line 3: neither"},
        {"a broken escape", head + "1.000 < S\\q\n", "line 3: a broken escape"},
        {"no adapter kind", "# Quorvex exchange recording\n1.000 > 0100\n", "names no adapter"},
        {"another adapter kind", "# Quorvex exchange recording\n# adapter: can\n",
         "names no adapter"},
    };
    for (const auto &r : rows) {
        const Recording rec = read_recording(r.text);
        EXPECT_TRUE(rec.error.startsWith(QLatin1String(r.error)) ||
                    rec.error.contains(QLatin1String(r.error)))
            << r.name << ": " << rec.error.toStdString();
    }
}

TEST(RecordingRead, TheElmConversationsAsRecordings)
{
    const QDir fixtures(QStringLiteral(QUORVEX_ELM_FIXTURES));
    const QStringList files = fixtures.entryList({QStringLiteral("*.txt")});
    ASSERT_EQ(files.size(), 6);
    for (const QString &name : files) {
        const Recording rec = read_recording(contents(fixtures.filePath(name)));
        EXPECT_TRUE(rec.error.isEmpty()) << name.toStdString() << ": " << rec.error.toStdString();
        EXPECT_EQ(rec.adapterKind, QStringLiteral("elm327"));
        ASSERT_FALSE(rec.exchanges.isEmpty()) << name.toStdString();
        // Each command the host sent ends with its CR; each is answered.
        EXPECT_TRUE(rec.exchanges.first().sent) << name.toStdString();
        for (const RecordedExchange &e : rec.exchanges) {
            if (e.sent) {
                EXPECT_TRUE(e.bytes.endsWith('\r')) << name.toStdString();
            }
        }
        EXPECT_FALSE(rec.exchanges.last().sent) << name.toStdString();
    }
}
