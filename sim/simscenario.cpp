#include "simscenario.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace quorvex::sim {

QList<Ecu> Scenario::defaultEcus()
{
    Ecu engine;
    engine.address = 0x10;
    engine.pids = {0x01, 0x03, 0x04, 0x05, 0x0B, 0x0C, 0x0D, 0x0F, 0x10, 0x11};
    engine.values = {{0x0C, QByteArray::fromHex("0BB8")}};
    Ecu transmission;
    transmission.address = 0x18;
    transmission.pids = {0x01, 0x05, 0x0D};
    return {engine, transmission};
}

Scenario defaultScenario()
{
    return Scenario{};
}

namespace {

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
        if (!value.isString())
            return fail(QStringLiteral("%1\"%2\" must be a string").arg(where, key));
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

bool readFaults(Reader &reader, const QJsonObject &object, Faults *faults)
{
    const QString where = QStringLiteral("faults: ");
    const QStringList known = {"silent",        "noContact", "ecuTimeout",      "retryReplies",
                               "strayLeadingS", "garbage",   "disconnectAfter", "latencyMs"};
    return reader.checkKeys(object, known, where) &&
           reader.readBool(object, "silent", where, &faults->silent) &&
           reader.readBool(object, "noContact", where, &faults->noContact) &&
           reader.readBool(object, "ecuTimeout", where, &faults->ecuTimeout) &&
           reader.readInt(object, "retryReplies", where, 0, &faults->retryReplies) &&
           reader.readInt(object, "strayLeadingS", where, 0, &faults->strayLeadingS) &&
           reader.readBool(object, "garbage", where, &faults->garbage) &&
           reader.readInt(object, "disconnectAfter", where, -1, &faults->disconnectAfter) &&
           reader.readInt(object, "latencyMs", where, 0, &faults->latencyMs);
}

bool readEcu(Reader &reader, const QJsonValue &value, int index, Ecu *ecu)
{
    const QString where = QStringLiteral("ecus[%1]: ").arg(index);
    if (!value.isObject())
        return reader.fail(where + QStringLiteral("must be an object"));
    const QJsonObject object = value.toObject();
    if (!reader.checkKeys(object, {"address", "pids", "values"}, where))
        return false;

    QString address;
    if (!object.contains("address"))
        return reader.fail(where + QStringLiteral("\"address\" is required"));
    if (!reader.readString(object, "address", where, &address) ||
        !reader.parseByte(address, where + QStringLiteral("address"), &ecu->address)) {
        return false;
    }

    const QJsonValue pids = object.value("pids");
    if (!pids.isUndefined() && !pids.isArray())
        return reader.fail(where + QStringLiteral("\"pids\" must be an array of strings"));
    for (const QJsonValue &pid : pids.toArray()) {
        quint8 number = 0;
        if (!pid.isString())
            return reader.fail(where + QStringLiteral("\"pids\" must be an array of strings"));
        if (!reader.parseByte(pid.toString(), where + QStringLiteral("pid"), &number))
            return false;
        ecu->pids.append(number);
    }

    const QJsonValue values = object.value("values");
    if (!values.isUndefined() && !values.isObject())
        return reader.fail(where + QStringLiteral("\"values\" must be an object"));
    const QJsonObject valueMap = values.toObject();
    for (auto it = valueMap.begin(); it != valueMap.end(); ++it) {
        quint8 pid = 0;
        if (!reader.parseByte(it.key(), where + QStringLiteral("values key"), &pid))
            return false;
        // A pinned value for a PID the ECU does not answer would never be seen: a typo.
        if (!ecu->pids.contains(pid))
            return reader.fail(where +
                               QStringLiteral("value for PID %1 not in \"pids\"").arg(it.key()));
        const QString bytes = it.value().toString();
        if (!it.value().isString() || !isHexText(bytes))
            return reader.fail(where +
                               QStringLiteral("value for PID %1 must be hex text").arg(it.key()));
        ecu->values.insert(pid, QByteArray::fromHex(bytes.toLatin1()));
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
    const QStringList known = {"name",      "firmware",  "vin",  "vinForm", "markIntervalMs",
                               "latencyMs", "noContact", "ecus", "faults"};
    Scenario result;
    QString vinForm = QStringLiteral("short");
    if (!reader.checkKeys(object, known, QString()) ||
        !reader.readString(object, "name", {}, &result.name) ||
        !reader.readString(object, "firmware", {}, &result.firmware) ||
        !reader.readString(object, "vin", {}, &result.vin) ||
        !reader.readString(object, "vinForm", {}, &vinForm) ||
        !reader.readInt(object, "markIntervalMs", {}, 1, &result.markIntervalMs) ||
        !reader.readInt(object, "latencyMs", {}, 0, &result.latencyMs) ||
        !reader.readBool(object, "noContact", {}, &result.noContact)) {
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

} // namespace quorvex::sim
