// Input nobody waits for: an idle interface sends its ready marks for as long as the program is
// open. The next exchange discards them anyway, so the serial transport keeps only a small
// bounded tail; memory stays flat however long the program runs.
#include "eventwait.h"
#include "serialtransport.h"
#include "simserver.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace quorvex;

TEST(IdleInput, MarksNobodyReadsAreKeptToASmallBound)
{
    sim::Options flood;
    flood.markIntervalUs = 10; // a hundred thousand marks a second
    sim::Server server(sim::defaultScenario(), flood);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    SerialTransport serial;
    SerialSettings settings;
    settings.device = server.devicePath();
    ASSERT_TRUE(serial.open(settings, &error)) << error.toStdString();

    QElapsedTimer t;
    t.start();
    while (server.sentBytes() < 100'000 && t.elapsed() < 30'000)
        wait_for_events(50);
    ASSERT_GE(server.sentBytes(), 100'000);
    EXPECT_LE(serial.bytesAvailable(), 4096);
    // What is kept is the latest input, whole characters as they came.
    const QByteArray tail = serial.readAll();
    EXPECT_FALSE(tail.isEmpty());
    EXPECT_EQ(tail.count('S'), tail.size());
}
