// A recording served back: each command answered with what was read after it, with the
// recorded delays (faster on request); the recorded interface's idle marks; a command the
// recording lacks; and the ELM327 conversations typed in from published logs, replayed.
#include "sim/simelm.h"
#include "sim/simreplay.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cmath>

using namespace quorvex;
using namespace quorvex::sim;

namespace {

struct Replay
{
    explicit Replay(Recording recording, double speed = 1)
        : engine(options(std::move(recording), speed, &unanswered))
    {
    }
    static Options options(Recording recording, double speed, QList<QByteArray> *unanswered)
    {
        auto replay = std::make_shared<ReplayOptions>();
        replay->recording = std::make_shared<Recording>(std::move(recording));
        replay->speed = speed;
        replay->unanswered = [unanswered](const QByteArray &c) { unanswered->append(c); };
        Options o;
        o.personality = Personality::Replay;
        o.replay = replay;
        return o;
    }
    QByteArray at(qint64 ms) { return engine.take(ms * 1000); }
    // Sends a command at `ms`, the idle marks until then taken away.
    void send(const QByteArray &command, qint64 ms)
    {
        engine.receive(command, ms * 1000);
        at(ms);
    }

    QList<QByteArray> unanswered;
    ReplayEngine engine;
};

Recording interface_drive()
{
    Recording r;
    r.adapterKind = QStringLiteral("interface");
    r.exchanges = {{5'000, false, "S"},
                   {5'010, true, "010C07"},
                   {5'040, false, "S486B10410C"},
                   {5'041, false, "0BB8C2 "},
                   {5'060, false, "SS"},
                   {5'100, true, "010D06"},
                   {5'130, false, "S486B10410D00C2 "},
                   {5'200, true, "010C07"},
                   {5'220, false, "S486B10410C0FA0AE "}};
    return r;
}

} // namespace

TEST(SimReplay, AnswersWithTheRecordedDelaysAndMarksWhileIdle)
{
    for (const double speed : {1.0, 4.0}) {
        SCOPED_TRACE(speed);
        Replay replay(interface_drive(), speed);
        // What the program reads `recordedMs` after a command sent at `sentMs`.
        auto after = [&replay, speed](qint64 sentMs, int recordedMs) {
            return replay.engine.take(sentMs * 1000 + std::llround(recordedMs * 1000 / speed));
        };
        // What was read before the first command comes at once; then the interface's last
        // mark every 20 ms.
        EXPECT_EQ(replay.at(0), "S");
        EXPECT_EQ(replay.at(19), "");
        EXPECT_EQ(replay.at(45), "SS");
        replay.send("010C07", 1'000);
        EXPECT_EQ(after(1'000, 29), "") << "no marks while it answers";
        EXPECT_EQ(after(1'000, 30), "S486B10410C");
        EXPECT_EQ(after(1'000, 31), "0BB8C2 ");
        EXPECT_EQ(after(1'000, 50), "SS");
        EXPECT_EQ(replay.engine.nextEventUs(), 1'000'000 + std::llround(50'000 / speed) + 20'000);
        // A command in pieces is answered once whole.
        replay.send("010D", 2'000);
        EXPECT_EQ(after(2'000, 10), "") << "no marks, no answer";
        replay.send("06", 2'010);
        EXPECT_EQ(after(2'010, 29), "");
        EXPECT_EQ(after(2'010, 30), "S486B10410D00C2 ");
        // The same command later in the recording gets the answer recorded there.
        replay.send("010C07", 3'000);
        EXPECT_EQ(after(3'000, 20), "S486B10410C0FA0AE ");
        EXPECT_TRUE(replay.unanswered.isEmpty());
        EXPECT_EQ(replay.engine.commands(), (QStringList{"010C07", "010D", "06", "010C07"}));
    }
}

TEST(SimReplay, CommandsTheRecordingLacks)
{
    Replay replay(interface_drive());
    replay.at(0);
    // A command further on is found there; the ones passed over are gone.
    replay.send("010D06", 1'000);
    EXPECT_EQ(replay.at(1'030), "S486B10410D00C2 ");
    replay.engine.receive("0100FF", 2'000'000);
    replay.send("010C07", 3'000);
    EXPECT_EQ(replay.at(3'020), "S486B10410C0FA0AE ");
    replay.send("010D06", 4'000);
    EXPECT_EQ(replay.unanswered, (QList<QByteArray>{"0100FF", "010D06"}));
    const QByteArray idle = replay.at(5'000);
    EXPECT_FALSE(idle.isEmpty());
    EXPECT_EQ(idle.count('S'), idle.size()) << "marks only";

    // An ELM327 adapter has no idle output; the answer ends with its prompt as recorded.
    Recording elm;
    elm.adapterKind = QStringLiteral("elm327");
    elm.exchanges = {{0, true, "ATZ\r"}, {1'000, false, "\r\rELM327 v1.5\r\r>"}};
    Replay adapter(elm);
    EXPECT_EQ(adapter.at(0), "");
    EXPECT_EQ(adapter.engine.nextEventUs(), -1);
    adapter.engine.receive("ATI\r", 10'000);
    adapter.engine.receive("AT", 20'000);
    adapter.engine.receive("Z\r", 30'000);
    EXPECT_EQ(adapter.unanswered, (QList<QByteArray>{"ATI\r"}));
    EXPECT_EQ(adapter.at(1'029), "");
    EXPECT_EQ(adapter.at(1'030), "\r\rELM327 v1.5\r\r>");
}

TEST(SimReplay, TheRealElmConversationsReplayed)
{
    const QDir dir(QStringLiteral(QUORVEX_ELM_FIXTURE_DIR));
    const QStringList files = dir.entryList({QStringLiteral("*.txt")});
    ASSERT_EQ(files.size(), 6);
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const Recording rec = read_recording(file.readAll());
        ASSERT_TRUE(rec.error.isEmpty()) << rec.error.toStdString();
        Replay replay(rec);
        qint64 ms = 0;
        // Each line the host sent is answered with exactly what the adapter sent to it.
        for (qsizetype i = 0; i < rec.exchanges.size(); ++i) {
            if (!rec.exchanges[i].sent)
                continue;
            QByteArray answer;
            for (qsizetype k = i + 1; k < rec.exchanges.size() && !rec.exchanges[k].sent; ++k)
                answer += rec.exchanges[k].bytes;
            replay.engine.receive(rec.exchanges[i].bytes, ms * 1000);
            EXPECT_EQ(replay.at(ms), answer) << rec.exchanges[i].bytes.constData();
            ms += 100;
        }
        EXPECT_TRUE(replay.unanswered.isEmpty());
    }
}
