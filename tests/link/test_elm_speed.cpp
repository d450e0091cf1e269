// The ELM327 driver raising its serial line's speed, against the simulated adapter on virtual
// time: the handshake, adapters that refuse or do not follow, an adapter left at a raised speed
// by an earlier connection, and going back on request. Every reading still arrives whole.
#include "link/connection.h"
#include "link/elm327/elm327transport.h"
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "livedata/items.h"
#include "support/simports.h"
#include "support/virtualclock.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;
using Chip = sim::ElmOptions::Chip;
using SpeedChange = sim::ElmOptions::SpeedChange;

namespace {

constexpr int kOpened = 38400;

class ElmSpeedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ctx.attachSerial(&elm);
        ctx.state.UseSerial = true;
        QObject::connect(&elm, &Elm327Transport::lineSpeedSettled, [this] { ++settled; });
    }

    SimDevice &adapter(Chip chip, SpeedChange change = SpeedChange::Switches)
    {
        sim::Options options;
        options.personality = sim::Personality::Elm327;
        options.elm.chip = chip;
        options.elm.speedChange = change;
        return ports.add(sim::defaultScenario(), options);
    }

    // Opens the line at kOpened and waits until the adapter is set up and the car answers.
    void connect(SimDevice &device)
    {
        QString error;
        std::unique_ptr<Transport> line = device.open(kOpened, &error);
        ASSERT_TRUE(line) << error.toStdString();
        elm.open(std::move(line));
        ReadyResult ready = ReadyResult::Silent;
        for (int i = 0; i < 10 && ready != ReadyResult::Contact; ++i)
            ready = wait_for_ECU(ctx);
        ASSERT_EQ(ready, ReadyResult::Contact);
    }

    // The engine speed, read whole.
    bool readsRpm()
    {
        const Exchange ex =
            get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
        return ex.ok() && ex.reply.contains(u"410C");
    }

    // The commands the adapter heard since `from` that change its speed or reset it.
    static QStringList speedCommands(const SimDevice &device, qsizetype from = 0)
    {
        QStringList seen;
        for (const QString &c : device.commands().mid(from))
            if (c.startsWith(u"ATBRD") || c.startsWith(u"STSBR") || c == u"ATZ" || c == u"ATWS")
                seen << c;
        return seen;
    }

    VirtualClock clock;
    SimPorts ports{clock};
    Elm327Transport elm{clock};
    ObdContext ctx{clock};
    int settled = 0;
};

} // namespace

TEST_F(ElmSpeedTest, RaisedAtConnectingTheFastestSpeedTheAdapterTakes)
{
    SimDevice &device = adapter(Chip::Elm14b);
    elm.setLineSpeeds({500000, 115200});
    connect(device);
    EXPECT_EQ(speedCommands(device), (QStringList{"ATZ", "ATBRD08"}));
    EXPECT_EQ(elm.lineSpeed(), 500000);
    EXPECT_EQ(device.lineBaud(), 500000);
    EXPECT_TRUE(elm.speedChanged());
    EXPECT_EQ(elm.figures().speed, QStringLiteral("500000 baud"));
    EXPECT_EQ(settled, 1);
    EXPECT_TRUE(readsRpm());

    // Back to the speed the line was opened at, on request, while the program goes on asking.
    elm.setLineSpeeds({});
    EXPECT_TRUE(readsRpm());
    EXPECT_EQ(speedCommands(device).last(), QStringLiteral("ATBRD68")); // 4 MHz / 104: 38461
    EXPECT_EQ(elm.lineSpeed(), kOpened);
    EXPECT_FALSE(elm.speedChanged());
    EXPECT_EQ(elm.figures().speed, QString());
    EXPECT_EQ(settled, 2);
    EXPECT_TRUE(readsRpm());
}

TEST_F(ElmSpeedTest, ASpeedAskedForDuringTheSetUpIsTakenOnceItIsOver)
{
    SimDevice &device = adapter(Chip::Elm14b);
    // Asked while the first request searches the buses, after the set-up's point for it.
    clock.callAfter(100, [this, &device] {
        EXPECT_TRUE(device.commands().contains(QStringLiteral("0100")));
        elm.setLineSpeeds({115200});
    });
    connect(device);
    EXPECT_TRUE(readsRpm());
    EXPECT_EQ(speedCommands(device), (QStringList{"ATZ", "ATBRD23"}));
    EXPECT_EQ(elm.lineSpeed(), 115200);
}

TEST_F(ElmSpeedTest, AnStnChipAsksWithItsOwnCommand)
{
    SimDevice &device = adapter(Chip::Stn1110);
    elm.setLineSpeeds({115200});
    connect(device);
    EXPECT_EQ(speedCommands(device), (QStringList{"ATZ", "STSBR115200"}));
    EXPECT_EQ(elm.lineSpeed(), 115200);
    EXPECT_TRUE(readsRpm());
}

TEST_F(ElmSpeedTest, AdaptersThatDoNotFollowStayAtTheirSpeedAndLoseNothing)
{
    // A clone that answers OK and stays: each speed is tried, then the line goes back.
    SimDevice &clone = adapter(Chip::Clone15, SpeedChange::Ignored);
    elm.setLineSpeeds({500000, 115200});
    connect(clone);
    EXPECT_EQ(speedCommands(clone), (QStringList{"ATZ", "ATBRD08", "ATBRD23"}));
    EXPECT_EQ(elm.lineSpeed(), kOpened);
    EXPECT_EQ(elm.figures().speed, QString());
    EXPECT_EQ(settled, 1);
    EXPECT_TRUE(readsRpm());
    EXPECT_TRUE(readsRpm());

    // One that refuses: no other speed is tried.
    elm.close();
    SimDevice &refusing = adapter(Chip::Elm14b, SpeedChange::Refused);
    connect(refusing);
    EXPECT_EQ(speedCommands(refusing), (QStringList{"ATZ", "ATBRD08"}));
    EXPECT_EQ(elm.lineSpeed(), kOpened);
    EXPECT_TRUE(readsRpm());
}

TEST_F(ElmSpeedTest, AnAdapterLeftAtARaisedSpeedIsFoundThere)
{
    SimDevice &device = adapter(Chip::Elm14b);
    elm.setLineSpeeds({115200});
    connect(device);
    ASSERT_EQ(device.lineBaud(), 115200);

    // The program ends without resetting the adapter; the next connection opens at 38400,
    // which the adapter no longer hears, so it looks at the speed that worked first.
    elm.close();
    elm.setLineSpeeds({500000, 115200}, 115200);
    const qsizetype before = device.commands().size();
    connect(device);
    EXPECT_EQ(speedCommands(device, before), QStringList{"ATWS"});
    EXPECT_EQ(elm.lineSpeed(), 115200);
    EXPECT_EQ(elm.identity(), QStringLiteral("ELM327 v1.4b"));
    EXPECT_TRUE(readsRpm());

    // A fresh adapter (powered off meanwhile) does not hear the look there: the usual reset at
    // the opening speed, then the raise.
    elm.close();
    SimDevice &fresh = adapter(Chip::Elm14b);
    connect(fresh);
    EXPECT_EQ(speedCommands(fresh), (QStringList{"ATZ", "ATBRD23"})); // the one that worked
    EXPECT_EQ(elm.lineSpeed(), 115200);
    EXPECT_TRUE(readsRpm());
}
