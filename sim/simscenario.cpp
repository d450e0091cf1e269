#include "sim/simscenario.h"

#include "files/safefile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvex::sim {

QList<Ecu> Scenario::defaultEcus()
{
    // The engine ECU: the MIL on for a misfire, a lean condition pending, the misfire's freeze
    // frame, and the second PID range reached through PID 21.
    Ecu engine;
    engine.address = 0x10;
    engine.pids = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
                   0x10, 0x11, 0x13, 0x14, 0x15, 0x1C, 0x1F, 0x21, 0x2F, 0x31, 0x33};
    engine.values = {{0x0C, QByteArray::fromHex("0BB8")}};
    engine.mil = true;
    engine.storedCodes = {QStringLiteral("0301")};
    engine.pendingCodes = {QStringLiteral("0171")};
    FreezeFrame frame;
    frame.code = QStringLiteral("0301");
    frame.pids = {0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x11};
    frame.values = {{0x04, QByteArray::fromHex("5A")},
                    {0x05, QByteArray::fromHex("7B")},
                    {0x0C, QByteArray::fromHex("1A2C")},
                    {0x0D, QByteArray::fromHex("38")}};
    engine.freezeFrame = frame;
    // A newer car's data: a sensible set of the later PIDs, the misfire and a catalyst code
    // permanent, two calibrations, its name and the in-use counts of its monitors.
    engine.pids +=
        {0x51, 0x52, 0x53, 0x55, 0x56, 0x59, 0x5A, 0x5C, 0x5E, 0x61, 0x62, 0x63, 0x67, 0xA6};
    engine.permanentCodes = {QStringLiteral("0301"), QStringLiteral("0420")};
    engine.calibrationIds = {QStringLiteral("QV12A3450100"), QStringLiteral("QV12E0017C")};
    engine.cvns = {0x1A2B3C4D, 0x00F0E1D2};
    // Conditions met 45 times in 120 ignition cycles; catalyst, O2 and EVAP monitors ran.
    engine.inUseCounts = {45, 120, 38, 45, 36, 45, 41, 45, 40, 45, 0, 0, 0, 0, 12, 30};
    engine.ecuName = QStringLiteral("ECM-EngineControl");

    // The transmission ECU: no emission monitors of its own.
    Ecu transmission;
    transmission.address = 0x18;
    transmission.pids = {0x01, 0x05, 0x0D};
    transmission.monitors = QByteArray::fromHex("000000");
    transmission.ecuName = QStringLiteral("TCM-TransmissionCtl");
    return {engine, transmission};
}

QMap<quint8, QByteArray> Ecu::defaultO2Tests()
{
    // Thresholds 0.45 V, switch-time voltages 0.1 and 0.8 V, a 0.1 s rich-to-lean switch time
    // within 0.04..0.2 s, a lean-to-rich one of 0.12 s, minimum and maximum voltages, and 2 s
    // between transitions.
    return {{0x01, QByteArray::fromHex("5A")},     {0x02, QByteArray::fromHex("5A")},
            {0x03, QByteArray::fromHex("14")},     {0x04, QByteArray::fromHex("A0")},
            {0x05, QByteArray::fromHex("190A32")}, {0x06, QByteArray::fromHex("1E0A32")},
            {0x07, QByteArray::fromHex("0A0014")}, {0x08, QByteArray::fromHex("B4A0FF")},
            {0x09, QByteArray::fromHex("320A64")}};
}

QList<Mode6Test> Ecu::defaultMode6Tests()
{
    // A catalyst test over its maximum, an EGR test within it, an EVAP test above its minimum,
    // and one test beyond $20, which the support scan reaches through the next range.
    return {{0x01, 0x01, 0x01F4, 0x01C2, false},
            {0x02, 0x01, 0x0030, 0x0050, false},
            {0x1A, 0x01, 0x01F4, 0x01C2, true},
            {0x21, 0x02, 0x0100, 0x0200, false}};
}

Scenario defaultScenario()
{
    return Scenario{};
}

namespace {

// The service 01 PIDs a scenario may list: the three support ranges, up to the last PID the
// program decodes.
constexpr quint8 kFirstPid = 0x01;
constexpr quint8 kLastPid = 0xA6;

// Each reader returns false with *error set; the caller adds where the key sits.
class Reader
{
public:
    explicit Reader(QString *error) : m_error(error) {}

    bool fail(const QString &message)
    {
        if (m_error)
            *m_error = message;
        return false;
    }

    bool checkKeys(const QJsonObject &object, const QStringList &known, const QString &where)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!known.contains(it.key()))
                return fail(QStringLiteral("%1unknown key \"%2\"").arg(where, it.key()));
        }
        return true;
    }

    bool readBool(const QJsonObject &object, const QString &key, const QString &where, bool *out)
    {
        if (!object.contains(key))
            return true;
        const QJsonValue value = object.value(key);
        if (!value.isBool())
            return fail(QStringLiteral("%1\"%2\" must be true or false").arg(where, key));
        *out = value.toBool();
        return true;
    }

    bool readInt(const QJsonObject &object, const QString &key, const QString &where, int minimum,
                 int *out)
    {
        if (!object.contains(key))
            return true;
        const QJsonValue value = object.value(key);
        const double number = value.toDouble(std::numeric_limits<double>::quiet_NaN());
        if (!value.isDouble() || std::floor(number) != number || number < minimum ||
            number > std::numeric_limits<int>::max()) {
            return fail(QStringLiteral("%1\"%2\" must be an integer of at least %3")
                            .arg(where, key)
                            .arg(minimum));
        }
        *out = static_cast<int>(number);
        return true;
    }

    bool readString(const QJsonObject &object, const QString &key, const QString &where,
                    QString *out)
    {
        if (!object.contains(key))
            return true;
        const QJsonValue value = object.value(key);
        if (!value.isString() || value.toString().size() > kMaxScenarioString)
            return fail(QStringLiteral("%1\"%2\" must be a string of at most %3 characters")
                            .arg(where, key)
                            .arg(kMaxScenarioString));
        *out = value.toString();
        return true;
    }

    // A byte written as two hexadecimal digits, as addresses and PIDs are.
    bool parseByte(const QString &text, const QString &what, quint8 *out)
    {
        bool ok = false;
        const uint value = text.toUInt(&ok, 16);
        if (text.size() != 2 || !ok)
            return fail(QStringLiteral("%1 \"%2\" is not two hexadecimal digits").arg(what, text));
        *out = static_cast<quint8>(value);
        return true;
    }

private:
    QString *m_error = nullptr;
};

bool isPrintableAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

bool isHexText(const QString &text)
{
    if (text.isEmpty() || text.size() % 2 != 0)
        return false;
    for (const QChar c : text) {
        if (!QStringLiteral("0123456789ABCDEFabcdef").contains(c))
            return false;
    }
    return true;
}

// Six-character commands as the program sends them ("012009").
bool readCommands(Reader &reader, const QJsonObject &object, const QString &key,
                  const QString &where, QStringList *commands)
{
    const QJsonValue list = object.value(key);
    const QString shape =
        where + QStringLiteral("\"%1\" must be an array of six-character commands").arg(key);
    if (list.isUndefined())
        return true;
    if (!list.isArray())
        return reader.fail(shape);
    for (const QJsonValue &command : list.toArray()) {
        const QString text = command.toString();
        if (!command.isString() || text.size() != 6 || !isHexText(text) || text != text.toUpper())
            return reader.fail(shape);
        commands->append(text);
    }
    return true;
}

bool readFaults(Reader &reader, const QJsonObject &object, Faults *faults)
{
    const QString where = QStringLiteral("faults: ");
    const QStringList known = {"silent",          "noContact",     "ecuTimeout",
                               "retryReplies",    "strayLeadingS", "garbage",
                               "disconnectAfter", "latencyMs",     "clearRejected",
                               "codesLatencyMs",  "blankAt10",     "strayMarkBefore"};
    return reader.checkKeys(object, known, where) &&
           reader.readBool(object, "silent", where, &faults->silent) &&
           reader.readBool(object, "noContact", where, &faults->noContact) &&
           reader.readBool(object, "ecuTimeout", where, &faults->ecuTimeout) &&
           reader.readInt(object, "retryReplies", where, 0, &faults->retryReplies) &&
           reader.readInt(object, "strayLeadingS", where, 0, &faults->strayLeadingS) &&
           reader.readBool(object, "garbage", where, &faults->garbage) &&
           reader.readInt(object, "disconnectAfter", where, -1, &faults->disconnectAfter) &&
           reader.readInt(object, "latencyMs", where, 0, &faults->latencyMs) &&
           reader.readBool(object, "clearRejected", where, &faults->clearRejected) &&
           reader.readInt(object, "codesLatencyMs", where, 0, &faults->codesLatencyMs) &&
           reader.readInt(object, "blankAt10", where, 0, &faults->blankAt10) &&
           readCommands(reader, object, "strayMarkBefore", where, &faults->strayMarkBefore);
}

// PIDs as two hex digits each, none twice: 01 to A6, or, with `within`, PIDs of that list.
bool readPids(Reader &reader, const QJsonObject &object, const QString &key, const QString &where,
              const QList<quint8> *within, QList<quint8> *pids)
{
    const QJsonValue list = object.value(key);
    const QString shape = where + QStringLiteral("\"%1\" must be an array of strings").arg(key);
    if (!list.isUndefined() && !list.isArray())
        return reader.fail(shape);
    for (const QJsonValue &pid : list.toArray()) {
        quint8 number = 0;
        if (!pid.isString())
            return reader.fail(shape);
        const QString text = pid.toString();
        if (!reader.parseByte(text, where + key + QStringLiteral(" entry"), &number))
            return false;
        if (within && !within->contains(number))
            return reader.fail(where + QStringLiteral("%1 \"%2\" not in \"pids\"").arg(key, text));
        if (!within && (number < kFirstPid || number > kLastPid))
            return reader.fail(where + QStringLiteral("pid \"%1\" is outside 01 to A6").arg(text));
        if (pids->contains(number))
            return reader.fail(where + QStringLiteral("pid \"%1\" listed twice").arg(text));
        pids->append(number);
    }
    return true;
}

// Data bytes pinned per PID. A value for a PID outside `pids` would never be seen: a typo.
bool readValues(Reader &reader, const QJsonObject &object, const QString &where,
                const QList<quint8> &pids, QMap<quint8, QByteArray> *values)
{
    const QJsonValue map = object.value("values");
    if (!map.isUndefined() && !map.isObject())
        return reader.fail(where + QStringLiteral("\"values\" must be an object"));
    const QJsonObject valueMap = map.toObject();
    for (auto it = valueMap.begin(); it != valueMap.end(); ++it) {
        quint8 pid = 0;
        if (!reader.parseByte(it.key(), where + QStringLiteral("values key"), &pid))
            return false;
        if (!pids.contains(pid))
            return reader.fail(where +
                               QStringLiteral("value for PID %1 not in \"pids\"").arg(it.key()));
        const QString bytes = it.value().toString();
        if (!it.value().isString() || !isHexText(bytes))
            return reader.fail(where +
                               QStringLiteral("value for PID %1 must be hex text").arg(it.key()));
        values->insert(pid, QByteArray::fromHex(bytes.toLatin1()));
    }
    return true;
}

// Trouble codes as a slot carries them: four hex digits each, kept in upper case.
bool readCodes(Reader &reader, const QJsonObject &object, const QString &key, const QString &where,
               QStringList *codes)
{
    const QJsonValue list = object.value(key);
    const QString shape =
        where + QStringLiteral("\"%1\" must be an array of four hex digits each").arg(key);
    if (list.isUndefined())
        return true;
    if (!list.isArray())
        return reader.fail(shape);
    for (const QJsonValue &code : list.toArray()) {
        if (!code.isString() || code.toString().size() != 4 || !isHexText(code.toString()))
            return reader.fail(shape);
        codes->append(code.toString().toUpper());
    }
    return true;
}

// The identification data of service 09: calibration IDs (texts of up to 16 characters), their
// verification numbers (eight hex digits each) and the in-use counters (0 to 65535 each).
bool readVehicleInfo(Reader &reader, const QJsonObject &object, const QString &where, Ecu *ecu)
{
    const auto array = [&](const char *key, const QString &shape, auto take) {
        const QJsonValue list = object.value(QLatin1String(key));
        if (list.isUndefined())
            return true;
        if (!list.isArray())
            return reader.fail(where + shape);
        for (const QJsonValue &entry : list.toArray())
            if (!take(entry))
                return reader.fail(where + shape);
        return true;
    };
    if (!object.contains("calibrationIds") && !object.contains("cvns") &&
        !object.contains("inUseCounts"))
        return true; // the built-in ECU's data stays
    ecu->calibrationIds.clear();
    ecu->cvns.clear();
    ecu->inUseCounts.clear();
    return array("calibrationIds",
                 QStringLiteral("\"calibrationIds\" must be texts of up to 16 characters"),
                 [&](const QJsonValue &v) {
                     ecu->calibrationIds << v.toString();
                     return v.isString() && v.toString().size() <= 16;
                 }) &&
           array("cvns", QStringLiteral("\"cvns\" must be eight hex digits each"),
                 [&](const QJsonValue &v) {
                     ecu->cvns << v.toString().toUInt(nullptr, 16);
                     return v.isString() && v.toString().size() == 8 && isHexText(v.toString());
                 }) &&
           array("inUseCounts", QStringLiteral("\"inUseCounts\" must be numbers 0 to 65535"),
                 [&](const QJsonValue &v) {
                     const double n = v.toDouble(-1);
                     ecu->inUseCounts << static_cast<quint16>(std::clamp(n, 0.0, 65535.0));
                     return v.isDouble() && n >= 0 && n <= 65535 && n == std::floor(n);
                 });
}

// Exactly `count` bytes as hex text.
bool readFixedHex(Reader &reader, const QJsonObject &object, const QString &key,
                  const QString &where, int count, QByteArray *out)
{
    if (!object.contains(key))
        return true;
    const QJsonValue value = object.value(key);
    if (!value.isString() || value.toString().size() != 2 * count || !isHexText(value.toString()))
        return reader.fail(where +
                           QStringLiteral("\"%1\" must be %2 hex digits").arg(key).arg(2 * count));
    *out = QByteArray::fromHex(value.toString().toLatin1());
    return true;
}

// The O2 sensor tests: TID -> hex bytes, one for TIDs 01-04, three for TIDs 05-09.
bool readO2Tests(Reader &reader, const QJsonObject &object, const QString &where,
                 QMap<quint8, QByteArray> *tests)
{
    if (!object.contains("o2Tests"))
        return true;
    if (!object.value("o2Tests").isObject())
        return reader.fail(where + QStringLiteral("\"o2Tests\" must be an object"));
    tests->clear();
    const QJsonObject map = object.value("o2Tests").toObject();
    for (auto it = map.begin(); it != map.end(); ++it) {
        quint8 tid = 0;
        if (!reader.parseByte(it.key(), where + QStringLiteral("o2Tests key"), &tid))
            return false;
        const int bytes = tid >= 0x05 ? 3 : 1;
        const QString hex = it.value().toString();
        if (tid < 0x01 || tid > 0x09 || !it.value().isString() || hex.size() != 2 * bytes ||
            !isHexText(hex)) {
            return reader.fail(where + QStringLiteral("o2Tests %1: TIDs 01-04 take one hex byte, "
                                                      "05-09 three")
                                           .arg(it.key()));
        }
        tests->insert(tid, QByteArray::fromHex(hex.toLatin1()));
    }
    return true;
}

// The service $06 tests: [{"tid": "1A", "cid": "01", "value": "01F4", "limit": "01C2",
// "minimum": true}, ...].
bool readMode6(Reader &reader, const QJsonObject &object, const QString &where,
               QList<Mode6Test> *tests)
{
    if (!object.contains("mode6"))
        return true;
    const QString shape = where + QStringLiteral("\"mode6\" must be an array of tests");
    if (!object.value("mode6").isArray())
        return reader.fail(shape);
    tests->clear();
    for (const QJsonValue &entry : object.value("mode6").toArray()) {
        if (!entry.isObject())
            return reader.fail(shape);
        const QJsonObject test = entry.toObject();
        const QString at = where + QStringLiteral("mode6: ");
        Mode6Test t;
        QString tid;
        QString cid;
        QByteArray value;
        QByteArray limit;
        if (!reader.checkKeys(test, {"tid", "cid", "value", "limit", "minimum"}, at) ||
            !reader.readString(test, "tid", at, &tid) ||
            !reader.parseByte(tid, at + QStringLiteral("tid"), &t.tid) ||
            !reader.readString(test, "cid", at, &cid) ||
            !reader.parseByte(cid, at + QStringLiteral("cid"), &t.cid) ||
            !readFixedHex(reader, test, "value", at, 2, &value) ||
            !readFixedHex(reader, test, "limit", at, 2, &limit) ||
            !reader.readBool(test, "minimum", at, &t.minimum))
            return false;
        if (value.size() != 2 || limit.size() != 2 || t.tid % 0x20 == 0)
            return reader.fail(at + QStringLiteral("a test needs a tid (not a support ID), a "
                                                   "value and a limit"));
        t.value = static_cast<quint16>((quint8(value[0]) << 8) | quint8(value[1]));
        t.limit = static_cast<quint16>((quint8(limit[0]) << 8) | quint8(limit[1]));
        tests->append(t);
    }
    return true;
}

bool readFreezeFrame(Reader &reader, const QJsonValue &value, const QString &ecuWhere,
                     FreezeFrame *frame)
{
    const QString where = ecuWhere + QStringLiteral("freezeFrame: ");
    if (!value.isObject())
        return reader.fail(where + QStringLiteral("must be an object"));
    const QJsonObject object = value.toObject();
    if (!reader.checkKeys(object, {"code", "pids", "values"}, where))
        return false;
    if (!object.contains("code"))
        return reader.fail(where + QStringLiteral("\"code\" is required"));
    const QJsonValue code = object.value("code");
    if (!code.isString() || code.toString().size() != 4 || !isHexText(code.toString()))
        return reader.fail(where + QStringLiteral("\"code\" must be four hex digits"));
    frame->code = code.toString().toUpper();
    if (!readPids(reader, object, "pids", where, nullptr, &frame->pids))
        return false;
    QList<quint8> held = frame->pids;
    if (!held.contains(0x02))
        held.append(0x02); // the frame's code, always there
    return readValues(reader, object, where, held, &frame->values);
}

bool readEcu(Reader &reader, const QJsonValue &value, int index, Ecu *ecu)
{
    const QString where = QStringLiteral("ecus[%1]: ").arg(index);
    if (!value.isObject())
        return reader.fail(where + QStringLiteral("must be an object"));
    const QJsonObject object = value.toObject();
    const QStringList known = {
        "address",       "pids",           "values",       "silentPids",     "mil",
        "storedCodes",   "monitors",       "pendingCodes", "freezeFrame",    "freezeFrameSupport",
        "o2Tests",       "o2Service05",    "mode6",        "permanentCodes", "ecuName",
        "newerServices", "calibrationIds", "cvns",         "inUseCounts"};
    if (!reader.checkKeys(object, known, where))
        return false;

    QString address;
    if (!object.contains("address"))
        return reader.fail(where + QStringLiteral("\"address\" is required"));
    if (!reader.readString(object, "address", where, &address) ||
        !reader.parseByte(address, where + QStringLiteral("address"), &ecu->address) ||
        !readPids(reader, object, "pids", where, nullptr, &ecu->pids) ||
        !readValues(reader, object, where, ecu->pids, &ecu->values) ||
        // PIDs announced but never answered: each must be one the ECU announces.
        !readPids(reader, object, "silentPids", where, &ecu->pids, &ecu->silentPids) ||
        !reader.readBool(object, "mil", where, &ecu->mil) ||
        !readCodes(reader, object, "storedCodes", where, &ecu->storedCodes) ||
        !readCodes(reader, object, "pendingCodes", where, &ecu->pendingCodes) ||
        !readFixedHex(reader, object, "monitors", where, 3, &ecu->monitors) ||
        !readO2Tests(reader, object, where, &ecu->o2Tests) ||
        !reader.readBool(object, "o2Service05", where, &ecu->o2Service05) ||
        !readMode6(reader, object, where, &ecu->mode6Tests) ||
        !readCodes(reader, object, "permanentCodes", where, &ecu->permanentCodes) ||
        !reader.readString(object, "ecuName", where, &ecu->ecuName) ||
        !reader.readBool(object, "newerServices", where, &ecu->newerServices) ||
        !readVehicleInfo(reader, object, where, ecu)) {
        return false;
    }
    if (object.contains("freezeFrame")) {
        FreezeFrame frame;
        if (!readFreezeFrame(reader, object.value("freezeFrame"), where, &frame))
            return false;
        ecu->freezeFrame = frame;
    }
    if (object.contains("freezeFrameSupport")) {
        QByteArray support;
        if (!readFixedHex(reader, object, "freezeFrameSupport", where, 4, &support))
            return false;
        ecu->freezeFrameSupport = support;
    }
    return true;
}

} // namespace

bool parseScenario(const QByteArray &json, Scenario *scenario, QString *error)
{
    Reader reader(error);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return reader.fail(QStringLiteral("invalid JSON at offset %1: %2")
                               .arg(parseError.offset)
                               .arg(parseError.errorString()));
    }
    if (!document.isObject())
        return reader.fail(QStringLiteral("a scenario must be a JSON object"));

    const QJsonObject object = document.object();
    const QStringList known = {"name",      "firmware",  "vin",  "vinForm",     "markIntervalMs",
                               "latencyMs", "noContact", "ecus", "passThrough", "faults"};
    Scenario result;
    QString vinForm = QStringLiteral("short");
    if (!reader.checkKeys(object, known, QString()) ||
        !reader.readString(object, "name", {}, &result.name) ||
        !reader.readString(object, "firmware", {}, &result.firmware) ||
        !reader.readString(object, "vin", {}, &result.vin) ||
        !reader.readString(object, "vinForm", {}, &vinForm) ||
        !reader.readInt(object, "markIntervalMs", {}, 1, &result.markIntervalMs) ||
        !reader.readInt(object, "latencyMs", {}, 0, &result.latencyMs) ||
        !reader.readBool(object, "noContact", {}, &result.noContact) ||
        !reader.readInt(object, "passThrough", {}, -1, &result.passThrough)) {
        return false;
    }

    if (result.firmware.size() < 5 || !result.firmware.at(0).isLetter() ||
        !isPrintableAscii(result.firmware)) {
        return reader.fail(QStringLiteral("\"firmware\" must be a letter and a version, "
                                          "at least five printable characters"));
    }
    if (result.vin.size() != 17 || !isPrintableAscii(result.vin))
        return reader.fail(QStringLiteral("\"vin\" must be 17 printable characters"));
    if (vinForm == QLatin1String("short"))
        result.vinForm = VinForm::Short;
    else if (vinForm == QLatin1String("long"))
        result.vinForm = VinForm::Long;
    else if (vinForm == QLatin1String("none"))
        result.vinForm = VinForm::None;
    else
        return reader.fail(QStringLiteral("\"vinForm\" must be \"short\", \"long\" or \"none\""));

    if (object.contains("ecus")) {
        const QJsonValue ecus = object.value("ecus");
        const int count = ecus.toArray().size();
        if (!ecus.isArray() || count < 1 || count > kMaxEcus)
            return reader.fail(QStringLiteral("\"ecus\" must list 1 to %1 ECUs").arg(kMaxEcus));
        result.ecus.clear();
        for (int i = 0; i < count; ++i) {
            Ecu ecu;
            if (!readEcu(reader, ecus.toArray().at(i), i, &ecu))
                return false;
            result.ecus.append(ecu);
        }
    }

    if (object.contains("faults")) {
        if (!object.value("faults").isObject())
            return reader.fail(QStringLiteral("\"faults\" must be an object"));
        if (!readFaults(reader, object.value("faults").toObject(), &result.faults))
            return false;
    }

    *scenario = result;
    return true;
}

bool readScenarioFile(const QString &path, Scenario *scenario, QString *error)
{
    const SafeFileRead file = read_regular_file(path, kMaxScenarioBytes);
    if (!file.ok()) {
        *error = file.failure == SafeFileRead::Failure::Unreadable
                     ? path + QStringLiteral(": ") + file.describe(path, kMaxScenarioBytes)
                     : file.describe(path, kMaxScenarioBytes);
        return false;
    }
    QString parseError;
    if (!parseScenario(file.contents, scenario, &parseError)) {
        *error = path + QStringLiteral(": ") + parseError;
        return false;
    }
    return true;
}

} // namespace quorvex::sim
