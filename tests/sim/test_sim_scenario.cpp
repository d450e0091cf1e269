#include "simengine.h"
#include "simscenario.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

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

TEST(SimScenario, EveryShippedFileParses)
{
    const QDir dir(QStringLiteral(QUORVEX_SIM_SCENARIO_DIR));
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    const QStringList expected = {"allpids.json",     "d0.json",          "default.json",
                                  "firmware309.json", "firstbitmap.json", "longvin.json",
                                  "nocodes.json"};
    for (const QString &name : expected)
        EXPECT_TRUE(files.contains(name)) << name.toStdString();
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        const Scenario scenario = scenarioFile(name.toLatin1().constData());
        EXPECT_EQ(scenario.name + QStringLiteral(".json"), name); // named after its file
    }
}

TEST(SimScenario, FilesServeTheirPurpose)
{
    EXPECT_EQ(scenarioFile("default.json"), defaultScenario());

    struct Row
    {
        const char *file;
        QByteArray command;
        int from;            // 0-based position in the reply
        QByteArray expected; // the characters there
    };
    const Row rows[] = {
        {"default.json", "010109", 11, "81"}, // MIL on, one stored code
        {"default.json", "030A0A", 1, "486B1043030100000000"},
        {"default.json", "070A0A", 1, "486B10470171"}, // one pending code
        {"default.json", "020208", 13, "0301"},        // the misfire's freeze frame
        {"allpids.json", "010009", 11, "FFFFFFFF"},
        {"allpids.json", "012009", 11, "FFFFFFFF"},
        {"allpids.json", "014009", 11, "FFFC0000"},
        {"firstbitmap.json", "010009", 11, "FFFFFFFE"}, // no chain to PID 20
        {"d0.json", "010009", 5, "D0"},
        {"nocodes.json", "010109", 11, "00"},
        {"nocodes.json", "030A0A", 1, "FF"},
        {"nocodes.json", "070A0A", 1, "FF"},
        {"nocodes.json", "02000A", 13, "40000000"}, // PID 02 alone: no frame stored
        {"nocodes.json", "020208", 13, "0000"},
        {"longvin.json", "090208", 0, "R486B104902"},
        {"firmware309.json", "900101", 0, "V3.09"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.file) + " " + row.command.constData());
        Engine engine(scenarioFile(row.file));
        engine.receive(row.command, 0);
        const QByteArray reply = engine.take(0);
        EXPECT_EQ(reply.mid(row.from, row.expected.size()), row.expected) << reply.constData();
    }
}

TEST(SimScenario, ReadsTheDiagnosticMemory)
{
    const QByteArray json = R"({"ecus": [{
        "address": "10", "pids": ["01", "02", "0C"], "values": {"0C": "0BB8"},
        "mil": true, "storedCodes": ["0301", "c001"], "pendingCodes": ["0171"],
        "monitors": "077f61", "freezeFrameSupport": "58180000",
        "freezeFrame": {"code": "0133", "pids": ["04", "0C"],
                        "values": {"02": "0134", "0C": "1A2C"}}}]})";
    Ecu expected;
    expected.pids = {0x01, 0x02, 0x0C};
    expected.values = {{0x0C, QByteArray::fromHex("0BB8")}};
    expected.mil = true;
    expected.storedCodes = {"0301", "C001"};
    expected.pendingCodes = {"0171"};
    expected.monitors = QByteArray::fromHex("077F61");
    expected.freezeFrameSupport = QByteArray::fromHex("58180000");
    FreezeFrame frame;
    frame.code = "0133";
    frame.pids = {0x04, 0x0C};
    frame.values = {{0x02, QByteArray::fromHex("0134")}, {0x0C, QByteArray::fromHex("1A2C")}};
    expected.freezeFrame = frame;

    Scenario scenario;
    QString error;
    ASSERT_TRUE(parseScenario(json, &scenario, &error)) << error.toStdString();
    ASSERT_EQ(scenario.ecus.size(), 1);
    EXPECT_EQ(scenario.ecus.at(0), expected);

    ASSERT_TRUE(parseScenario(R"({"faults": {"clearRejected": true, "codesLatencyMs": 12000,
                                             "blankAt10": 2}})",
                              &scenario, &error))
        << error.toStdString();
    EXPECT_TRUE(scenario.faults.clearRejected);
    EXPECT_EQ(scenario.faults.codesLatencyMs, 12000);
    EXPECT_EQ(scenario.faults.blankAt10, 2);
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
        {"PID 00", R"({"ecus": [{"address": "10", "pids": ["00"]}]})", "outside 01 to 4E"},
        {"PID 4F", R"({"ecus": [{"address": "10", "pids": ["4F"]}]})", "outside 01 to 4E"},
        {"PID twice", R"({"ecus": [{"address": "10", "pids": ["0C", "0c"]}]})", "twice"},
        {"MIL not a boolean", R"({"ecus": [{"address": "10", "mil": 1}]})", "mil"},
        {"code of three digits", R"({"ecus": [{"address": "10", "storedCodes": ["301"]}]})",
         "storedCodes"},
        {"code with a letter prefix", R"({"ecus": [{"address": "10", "pendingCodes": ["P0301"]}]})",
         "pendingCodes"},
        {"codes not an array", R"({"ecus": [{"address": "10", "storedCodes": "0301"}]})",
         "storedCodes"},
        {"monitors of two bytes", R"({"ecus": [{"address": "10", "monitors": "0765"}]})",
         "monitors"},
        {"support of three bytes",
         R"({"ecus": [{"address": "10", "freezeFrameSupport": "581800"}]})", "freezeFrameSupport"},
        {"freeze frame without code",
         R"({"ecus": [{"address": "10", "freezeFrame": {"pids": ["04"]}}]})",
         "freezeFrame: \"code\" is required"},
        {"freeze frame unknown key",
         R"({"ecus": [{"address": "10", "freezeFrame": {"code": "0133", "dtc": "0133"}}]})",
         "freezeFrame: unknown key \"dtc\""},
        {"freeze-frame value for a PID not stored",
         R"({"ecus": [{"address": "10",
                       "freezeFrame": {"code": "0133", "pids": ["04"], "values": {"05": "7B"}}}]})",
         "freezeFrame: value for PID 05"},
        {"freeze frame not an object", R"({"ecus": [{"address": "10", "freezeFrame": null}]})",
         "freezeFrame"},
        {"negative blank count", R"({"faults": {"blankAt10": -1}})", "blankAt10"},
        {"codes latency not a number", R"({"faults": {"codesLatencyMs": "long"}})",
         "codesLatencyMs"},
        {"clear rejection not a boolean", R"({"faults": {"clearRejected": "yes"}})",
         "clearRejected"},
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
