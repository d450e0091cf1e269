#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace quorvex::sim {

// How the vehicle answers "090208": the 17 characters already assembled by the interface
// ("short"), the five raw response messages ("long"), or not at all ("none").
enum class VinForm { Short, Long, None };

// Misbehaviour of the interface and the car, switchable while the simulator runs. A scenario's
// "faults" object uses the same names. The counters (retryReplies, strayLeadingS, blankAt10)
// count down as the replies they affect go out.
struct Faults
{
    bool silent = false;        // nothing is ever sent, not even ready marks
    bool noContact = false;     // marks are "P", vehicle requests time out, interface commands work
    bool ecuTimeout = false;    // every vehicle request is answered as an ECU time-out
    int retryReplies = 0;       // the next k vehicle replies carry "S" at character 3
    int strayLeadingS = 0;      // the next k replies of any kind are preceded by an extra "S"
    bool garbage = false;       // stray characters (never "S" or "P") between idle marks
    int disconnectAfter = -1;   // hang up once the reply to the n-th command is sent; -1 never
    int latencyMs = 0;          // delay before vehicle replies, added to the car's own latency
    bool clearRejected = false; // service 04 gets the negative response 7F 04 22; nothing cleared
    int codesLatencyMs = 0;     // extra delay before service 03 replies only
    int blankAt10 = 0;          // the next k service 03/07 replies carry a blank at character 10
    // Commands ("012009") whose every reply arrives after a stray ready mark, as when a mark
    // slips out between the program's flush and its command.
    QStringList strayMarkBefore{};

    bool operator==(const Faults &) const = default;
};

// The values the ECU stored with the trouble code that caused them (service 02, frame 0).
struct FreezeFrame
{
    QString code = QStringLiteral("0000"); // four hex digits, carried by PID 02 as bytes A B
    QList<quint8> pids;                    // PIDs stored with it; PID 02 is always included
    QMap<quint8, QByteArray> values;       // data bytes pinned per PID; the others come from
                                           // the model at the moment the frame was taken

    bool operator==(const FreezeFrame &) const = default;
};

// One on-board monitoring test (service $06, reached through the interface's pass-through
// mode): test and component ID, the test value and its limit, a minimum or a maximum.
struct Mode6Test
{
    quint8 tid = 0x01;
    quint8 cid = 0x01;
    quint16 value = 0;
    quint16 limit = 0;
    bool minimum = false;

    bool operator==(const Mode6Test &) const = default;
};

// One engine control unit the interface can address, with its diagnostic memory. Service 04
// clears storedCodes, pendingCodes, freezeFrame and mil.
struct Ecu
{
    quint8 address = 0x10;           // third header byte of its replies
    QList<quint8> pids;              // service 01 PIDs (01 to A6) it answers; the support
                                     // bitmaps of PIDs 00, 20, ... A0 are computed from them
    QMap<quint8, QByteArray> values; // data bytes pinned per PID; the others come from the model
    // PIDs of `pids` that the support bitmaps announce but the ECU never answers (on service
    // 01 or 02): the interface reports an ECU time-out for them.
    QList<quint8> silentPids{};

    bool mil = false;         // PID 01 byte A bit 7
    QStringList storedCodes;  // service 03, four hex digits each as the slot carries them
                              // ("C001" stays C001); PID 01 byte A counts them
    QStringList pendingCodes; // service 07, as storedCodes
    // PID 01 bytes B, C and D as raw bytes (the JSON writes them as hex text, "076500").
    QByteArray monitors = QByteArray::fromHex("076500");
    std::optional<FreezeFrame> freezeFrame; // none stored when empty
    // Four raw support bytes pinned for "02000A"; computed from the frame's PIDs when empty.
    std::optional<QByteArray> freezeFrameSupport;
    // The O2 sensor tests, asked for the sensors PID 13 reports: TID -> its value byte (TIDs
    // 01-04) or value, minimum and maximum (TIDs 05-09). The interface answers the support
    // request on service 05 with "46 00" when o2Service05 is set; otherwise only service 06
    // does, and service 05 gets the plain "45 00".
    QMap<quint8, QByteArray> o2Tests = defaultO2Tests();
    bool o2Service05 = true;
    QList<Mode6Test> mode6Tests = defaultMode6Tests();
    // Service 0A: the permanent codes, as storedCodes (service 04 leaves them).
    QStringList permanentCodes{};
    // Service 09 beyond the VIN: calibration IDs (up to 16 characters) with their verification
    // numbers (info types 04 and 06), the spark-ignition in-use performance counters in the
    // order of info type 08 (none: not supported), the ECU's name (info type 0A, "ECM-Engine
    // Control": the acronym, a dash, the name; empty: not supported).
    QStringList calibrationIds{};
    QList<quint32> cvns{};
    QList<quint16> inUseCounts{};
    QString ecuName{};
    // False: the ECU refuses service 0A and the info types of service 09 beyond the VIN with a
    // negative response (7F 0A 11, 7F 09 12).
    bool newerServices = true;

    bool operator==(const Ecu &) const = default;

    static QMap<quint8, QByteArray> defaultO2Tests();
    static QList<Mode6Test> defaultMode6Tests();
};

// The car behind the interface and the interface's own identity. Default-constructed, it is
// the built-in car that sim/scenarios/default.json describes.
struct Scenario
{
    QString name = QStringLiteral("default");
    QString firmware = QStringLiteral("V3.40"); // answer to "900101": a letter and the version
    QString vin = QStringLiteral("1XV0A12345R000001");
    VinForm vinForm = VinForm::Short;
    int markIntervalMs = 20; // period of the idle ready marks, at least 1
    int latencyMs = 0;       // the car's delay before answering a vehicle request
    bool noContact = false;  // the interface has no contact with the vehicle at all
    // The protocol code the interface acknowledges "F00504" with (its third character, "4" and
    // "8" choosing other header bytes); -1: the pass-through command is not acknowledged.
    int passThrough = 1;
    QList<Ecu> ecus = defaultEcus();
    Faults faults;

    bool operator==(const Scenario &) const = default;

    static QList<Ecu> defaultEcus();
};

// At most this many ECUs, so that "800204" can name the active one in a single digit.
inline constexpr int kMaxEcus = 9;

Scenario defaultScenario();

// Parses a scenario from JSON text. Keys left out keep the built-in car's values; unknown keys
// and malformed values are rejected with a message naming the key. On failure *scenario is left
// unchanged.
bool parseScenario(const QByteArray &json, Scenario *scenario, QString *error);

// A scenario file is small: anything bigger, or anything that is not a regular file, is
// refused with a message naming the file. String values are at most kMaxScenarioString long.
inline constexpr qint64 kMaxScenarioBytes = 1024 * 1024;
inline constexpr int kMaxScenarioString = 256;

// Reads and parses a scenario file; on failure *error names the file and the reason.
bool readScenarioFile(const QString &path, Scenario *scenario, QString *error);

} // namespace quorvex::sim
