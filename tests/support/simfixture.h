#pragma once

#include "link/obdcontext.h"
#include "simports.h"
#include "virtualclock.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorvex::test {

// The link attached to the simulated interface in the test's process, on virtual time, with
// the program's own bounds.
class SimLinkTest : public ::testing::Test
{
protected:
    void startSim(sim::Scenario scenario = sim::defaultScenario(), sim::Options options = {})
    {
        server = &ports.add(std::move(scenario), options);
        QString error;
        line = server->open(19200, &error);
        ASSERT_TRUE(line) << error.toStdString();
        ctx.attachSerial(line.get());
        ctx.state.UseSerial = true;
    }

    VirtualClock clock;
    SimPorts ports{clock};
    ObdContext ctx{clock};
    SimDevice *server = nullptr;
    std::unique_ptr<Transport> line;
};

} // namespace quorvex::test
