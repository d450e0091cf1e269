#include "simtestutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace quorvex::sim;
using namespace quorvex::sim::test;

namespace {

Scenario parsed(const QByteArray &json)
{
    Scenario scenario;
    QString error;
    EXPECT_TRUE(parseScenario(json, &scenario, &error)) << error.toStdString();
    return scenario;
}

Scenario scenarioFile(const QString &name)
{
    Scenario scenario;
    QString error;
    EXPECT_TRUE(
        readScenarioFile(QStringLiteral(QUORVEX_SIM_SCENARIO_DIR "/") + name, &scenario, &error))
        << name.toStdString() << ": " << error.toStdString();
    return scenario;
}

// A scenario of one ECU at address 10 with the given further keys.
QByteArray ecu(const char *keys)
{
    return R"({"ecus": [{"address": "10", )" + QByteArray(keys) + "}]}";
}

} // namespace

TEST(SimScenario, ShippedFilesParseAndServeTheirPurpose)
{
    const QStringList files = QDir(QStringLiteral(QUORVEX_SIM_SCENARIO_DIR))
                                  .entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : files)
        EXPECT_EQ(scenarioFile(name).name + QStringLiteral(".json"), name); // named after its file
    EXPECT_EQ(scenarioFile("default.json"), defaultScenario());

    // A command to the file's car, and the characters expected from a 0-based position on.
    const std::tuple<const char *, QByteArray, int, QByteArray> rows[] = {
        {"default.json", "020208", 13, "0301"}, // the misfire's freeze frame
        {"allpids.json", "010009", 11, "FFFFFFFF"},
        {"allpids.json", "014009", 11, "FFFC0000"},
        {"firstbitmap.json", "010009", 11, "FFFFFFFE"}, // no chain to PID 20
        {"d0.json", "010009", 5, "D0"},
        {"nocodes.json", "010109", 11, "00"},
        {"nocodes.json", "030A0A", 1, "FF"},
        {"nocodes.json", "02000A", 13, "40000000"}, // PID 02 alone: no frame stored
        {"longvin.json", "090208", 0, "R486B104902"},
        {"firmware309.json", "900101", 0, "V3.09"},
        {"default.json", "0A0A0A", 7, "4A03010420"}, // two permanent codes
        {"older.json", "0A0A0A", 7, "7F0A11"},       // no service 0A
        {"older.json", "01400A", 11, "00000000"},    // none of the later PIDs
    };
    for (const auto &[file, command, from, expected] : rows) {
        Engine engine(scenarioFile(file));
        const QByteArray reply = exchange(engine, command);
        EXPECT_EQ(reply.mid(from, expected.size()), expected) << file << ": " << reply.constData();
    }
}

TEST(SimScenario, ReadsEveryKeyAndKeepsTheBuiltInCarForTheOthers)
{
    EXPECT_EQ(
        parsed(R"({"name": "quiet", "passThrough": 8, "faults": {"silent": true,
                       "codesLatencyMs": 12000, "strayMarkBefore": ["012009"]}})"),
        (Scenario{
            .name = "quiet",
            .passThrough = 8,
            .faults = {.silent = true, .codesLatencyMs = 12000, .strayMarkBefore = {"012009"}}}));

    const Ecu expected{
        .pids = {0x01, 0x02, 0x0C},
        .values = {{0x0C, QByteArray::fromHex("0BB8")}},
        .silentPids = {0x02},
        .mil = true,
        .storedCodes = {"0301", "C001"},
        .monitors = QByteArray::fromHex("077F61"),
        .freezeFrame = FreezeFrame{.code = "0133",
                                   .pids = {0x04, 0x0C},
                                   .values = {{0x02, QByteArray::fromHex("0134")}}},
        .freezeFrameSupport = QByteArray::fromHex("58180000"),
        .o2Tests = {{0x01, QByteArray::fromHex("5A")}, {0x05, QByteArray::fromHex("190A32")}},
        .o2Service05 = false,
        .mode6Tests = {{0x1A, 0x01, 0x01F4, 0x01C2, true}}};
    EXPECT_EQ(parsed(ecu(R"("pids": ["01", "02", "0C"], "values": {"0C": "0BB8"},
        "silentPids": ["02"], "mil": true, "storedCodes": ["0301", "c001"], "monitors": "077f61",
        "freezeFrameSupport": "58180000",
        "freezeFrame": {"code": "0133", "pids": ["04", "0C"], "values": {"02": "0134"}},
        "o2Service05": false, "o2Tests": {"01": "5A", "05": "190A32"},
        "mode6": [{"tid": "1A", "cid": "01", "value": "01F4", "limit": "01C2",
                   "minimum": true}])"))
                  .ecus,
              QList<Ecu>{expected});
}

TEST(SimScenario, RejectsMalformedInputNamingTheKey)
{
    // The scenario, and what the error message must mention.
    const std::pair<QByteArray, const char *> rows[] = {
        {"{", "invalid JSON"},
        {R"({"colour": "red"})", "colour"},
        {ecu(R"("speed": 1)"), "ecus[0]: unknown key \"speed\""},
        {R"({"faults": {"jitter": true}})", "faults: unknown key \"jitter\""},
        {R"({"vin": "1XV0A"})", "vin"},
        {R"({"firmware": "3.4"})", "firmware"},
        {R"({"markIntervalMs": 0})", "markIntervalMs"},
        {R"({"latencyMs": "slow"})", "latencyMs"},
        {R"({"ecus": []})", "ecus"},
        {R"({"ecus": [{"pids": ["01"]}]})", "address"},
        {ecu(R"("pids": ["01"], "values": {"0C": "0BB8"})"), "0C"},
        {ecu(R"("pids": ["A7"])"), "outside 01 to A6"},
        {ecu(R"("pids": ["0C", "0c"])"), "twice"},
        {ecu(R"("pendingCodes": ["P0301"])"), "pendingCodes"},
        {ecu(R"("freezeFrame": {"pids": ["04"]})"), "freezeFrame: \"code\" is required"},
        {ecu(R"("freezeFrame": {"code": "0133", "pids": ["04"], "values": {"05": "7B"}})"),
         "freezeFrame: value for PID 05"},
        {R"({"faults": {"strayMarkBefore": ["01200"]}})", "strayMarkBefore"},
        {ecu(R"("pids": ["01"], "silentPids": ["0C"])"), "silentPids \"0C\" not in"},
        {ecu(R"("o2Tests": {"05": "19"})"), "o2Tests 05"},
        {ecu(R"("mode6": [{"tid": "20", "cid": "01", "value": "0001", "limit": "0002"}])"),
         "support ID"},
    };
    for (const auto &[json, mentioned] : rows) {
        SCOPED_TRACE(json.constData());
        Scenario scenario{.name = "untouched"};
        QString error;
        EXPECT_FALSE(parseScenario(json, &scenario, &error));
        EXPECT_TRUE(error.contains(QLatin1String(mentioned))) << error.toStdString();
        EXPECT_EQ(scenario.name, "untouched"); // left as it was
    }
}

TEST(SimScenario, HostileFilesAreRefusedNamingTheFile)
{
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.filePath(QLatin1String(name)); };
    const auto writeNamed = [&](const char *file, qsizetype nameLength) {
        QFile out(path(file));
        return out.open(QIODevice::WriteOnly) &&
               out.write("{\"name\": \"" + QByteArray(nameLength, 'a') + "\"}") > 0;
    };
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.json")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path("zero.json")));
    ASSERT_TRUE(writeNamed("big.json", kMaxScenarioBytes));
    ASSERT_TRUE(writeNamed("long.json", kMaxScenarioString + 1));
    const std::pair<const char *, QString> rows[] = {
        {"pipe.json", " is not a regular file (a pipe, a device or a socket)"},
        {"zero.json", " is not a regular file (a pipe, a device or a socket)"},
        {"big.json", " is larger than 1 MB"},
        {"long.json", ": \"name\" must be a string of at most 256 characters"},
        {"missing.json", ": No such file or directory"},
    };
    for (const auto &[file, message] : rows) {
        Scenario scenario;
        QString error;
        EXPECT_FALSE(readScenarioFile(path(file), &scenario, &error)) << file;
        EXPECT_EQ(error, path(file) + message);
    }
}
