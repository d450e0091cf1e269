#include "simengine.h"
#include "simscenario.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>

using namespace quorvex::sim;

namespace {

Scenario scenarioFile(const char *name)
{
    QFile file(QStringLiteral(QUORVEX_SIM_SCENARIO_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    Scenario scenario;
    QString error;
    EXPECT_TRUE(parseScenario(file.readAll(), &scenario, &error))
        << name << ": " << error.toStdString();
    return scenario;
}

} // namespace

TEST(SimScenario, FilesServeTheirPurpose)
{
    EXPECT_EQ(scenarioFile("default.json"), defaultScenario());

    struct Row
    {
        const char *file;
        QByteArray command;
        std::function<bool(const QByteArray &)> check;
    };
    const Row rows[] = {
        {"d0.json", "010009", [](const QByteArray &r) { return r.mid(5, 2) == "D0"; }},
        {"longvin.json", "090208", [](const QByteArray &r) { return r.size() == 111; }},
        {"firmware309.json", "900101", [](const QByteArray &r) { return r == "V3.09"; }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.file);
        Engine engine(scenarioFile(row.file));
        engine.receive(row.command, 0);
        const QByteArray reply = engine.take(0);
        EXPECT_TRUE(row.check(reply)) << reply.constData();
    }
}

TEST(SimScenario, OmittedKeysKeepTheBuiltInCar)
{
    Scenario scenario;
    QString error;
    ASSERT_TRUE(
        parseScenario(R"({"name": "quiet", "faults": {"silent": true}})", &scenario, &error));
    Scenario expected;
    expected.name = "quiet";
    expected.faults.silent = true;
    EXPECT_EQ(scenario, expected);
}

TEST(SimScenario, RejectsMalformedInputNamingTheKey)
{
    struct Row
    {
        const char *name;
        QByteArray json;
        const char *mentioned;
    };
    const Row rows[] = {
        {"not JSON", "{", "invalid JSON"},
        {"unknown key", R"({"colour": "red"})", "colour"},
        {"unknown ECU key", R"({"ecus": [{"address": "10", "speed": 1}]})",
         "ecus[0]: unknown key \"speed\""},
        {"unknown fault", R"({"faults": {"jitter": true}})", "faults: unknown key \"jitter\""},
        {"vin form", R"({"vinForm": "medium"})", "vinForm"},
        {"short VIN", R"({"vin": "1XV0A"})", "vin"},
        {"firmware too short", R"({"firmware": "3.4"})", "firmware"},
        {"mark interval zero", R"({"markIntervalMs": 0})", "markIntervalMs"},
        {"latency not a number", R"({"latencyMs": "slow"})", "latencyMs"},
        {"no ECUs", R"({"ecus": []})", "ecus"},
        {"address not hex", R"({"ecus": [{"address": "1G"}]})", "address"},
        {"address missing", R"({"ecus": [{"pids": ["01"]}]})", "address"},
        {"PID of three digits", R"({"ecus": [{"address": "10", "pids": ["100"]}]})", "pid"},
        {"value for an unlisted PID",
         R"({"ecus": [{"address": "10", "pids": ["01"], "values": {"0C": "0BB8"}}]})", "0C"},
        {"value not hex",
         R"({"ecus": [{"address": "10", "pids": ["0C"], "values": {"0C": "xyz"}}]})", "0C"},
        {"negative retry count", R"({"faults": {"retryReplies": -1}})", "retryReplies"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario;
        scenario.name = "untouched";
        QString error;
        EXPECT_FALSE(parseScenario(row.json, &scenario, &error));
        EXPECT_TRUE(error.contains(QLatin1String(row.mentioned))) << error.toStdString();
        EXPECT_EQ(scenario.name, "untouched");
    }
}
