#pragma once

#include "obdcontext.h"
#include "serialtransport.h"
#include "settle.h"
#include "simserver.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>

namespace quorvex::test {

// The link attached to the simulated interface over a real pseudo-terminal. Waits are bounded
// tighter than in the program so failures end quickly.
class SimLinkTest : public ::testing::Test
{
protected:
    void startSim(sim::Scenario scenario = sim::defaultScenario(), sim::Options options = {})
    {
        server = std::make_unique<sim::Server>(std::move(scenario), options);
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
        SerialSettings settings;
        settings.device = server->devicePath();
        ASSERT_TRUE(serial.open(settings, &error)) << error.toStdString();
        ctx.attachSerial(&serial);
        ctx.state.UseSerial = true;
        ctx.bounds.silentMs = 1500;
    }

    void TearDown() override
    {
        serial.close();
        server.reset();
    }

    ObdContext ctx;
    SerialTransport serial;
    std::unique_ptr<sim::Server> server;
};

} // namespace quorvex::test
