#include "diagnostics/vehicleinfo.h"

#include "link/obdcontext.h"
#include "link/reply.h"
#include "livedata/decoders.h"

#include <QMap>

#include <algorithm>
#include <iterator>

namespace quorvex {

namespace {

constexpr int kMessageLength = 22;
// Several ECUs, several messages each: at 9600 baud twenty messages take half a second.
constexpr double kInfoWaitSeconds = 1.5;
constexpr int kNegativeResponse = 0x7F;
constexpr int kCalibrationIdBytes = 16;
constexpr int kCvnBytes = 4;

constexpr int kSupport = 0x00;
constexpr int kCalibrationIds = 0x04;
constexpr int kCvns = 0x06;
constexpr int kInUseSpark = 0x08;
constexpr int kEcuName = 0x0A;
constexpr int kInUseCompression = 0x0B;

// The monitors of the in-use tracking in the order their counter pairs follow the general
// conditions and ignition counters (SAE J1979, info types 08 and 0B).
const char16_t *const kSparkMonitors[] = {u"Catalyst bank 1",
                                          u"Catalyst bank 2",
                                          u"O2 sensor bank 1",
                                          u"O2 sensor bank 2",
                                          u"EGR and/or VVT",
                                          u"Secondary air",
                                          u"EVAP",
                                          u"Secondary O2 bank 1",
                                          u"Secondary O2 bank 2",
                                          u"Particulate filter"};
const char16_t *const kCompressionMonitors[] = {
    u"NMHC catalyst",      u"NOx catalyst",   u"NOx adsorber",   u"Particulate filter",
    u"Exhaust gas sensor", u"EGR and/or VVT", u"Boost pressure", u"Fuel monitor"};

int hex_value(const QString &text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 16);
    return ok ? v : 0;
}

// A text without its 00 padding when the rest is printable, else its bytes in hex.
QString text_or_hex(const QByteArray &bytes)
{
    QByteArray text = bytes;
    text.replace('\0', QByteArray());
    const bool printable = std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) <= 0x7E;
    });
    return printable ? QString::fromLatin1(text) : QString::fromLatin1(bytes.toHex().toUpper());
}

EcuInfo &entry_of(QList<EcuInfo> &ecus, const QString &ecu)
{
    for (EcuInfo &e : ecus)
        if (e.ecu == ecu)
            return e;
    ecus.append(EcuInfo{});
    ecus.last().ecu = ecu;
    return ecus.last();
}

// Each ECU's data bytes of one info type, its messages in number order.
void take_reply(QList<EcuInfo> &ecus, int infoType, const QString &reply)
{
    QList<InfoMessage> messages = read_info_messages(reply);
    std::stable_sort(
        messages.begin(), messages.end(),
        [](const InfoMessage &a, const InfoMessage &b) { return a.number < b.number; });
    QList<QString> order;
    QMap<QString, QByteArray> data;
    for (const InfoMessage &m : messages) {
        if (!order.contains(m.ecu))
            order << m.ecu;
        EcuInfo &info = entry_of(ecus, m.ecu);
        if (m.refused) {
            info.refused = info.refused || infoType != kSupport;
            continue;
        }
        if (m.infoType == infoType)
            data[m.ecu] += m.data;
    }
    for (const QString &ecu : order) {
        EcuInfo &info = entry_of(ecus, ecu);
        const QByteArray bytes = data.value(ecu);
        switch (infoType) {
        case kSupport:
            info.infoTypes = info_types_supported(bytes);
            break;
        case kCalibrationIds:
            info.calibrationIds = calibration_ids(bytes);
            break;
        case kCvns:
            info.cvns = cvn_texts(bytes);
            break;
        case kEcuName:
            info.name = ecu_name(bytes);
            break;
        default:
            in_use_counts(infoType, bytes, &info);
            break;
        }
    }
}

} // namespace

QList<InfoMessage> read_info_messages(const QString &reply)
{
    QList<InfoMessage> messages;
    for (qsizetype at = 1; at + kMessageLength <= reply.size(); at += kMessageLength) {
        const QString m = reply.mid(at, kMessageLength);
        // The interface's ready marks resume within the wait: they are no message.
        const bool hex = std::all_of(m.begin(), m.end(), [](QChar c) {
            return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
        });
        if (!hex)
            break;
        InfoMessage info;
        info.ecu = m.mid(4, 2);
        info.refused = hex_value(m.mid(6, 2)) == kNegativeResponse;
        info.infoType = hex_value(m.mid(8, 2));
        info.number = hex_value(m.mid(10, 2));
        info.data = QByteArray::fromHex(m.mid(12, 8).toLatin1());
        messages << info;
    }
    return messages;
}

QList<int> info_types_supported(const QByteArray &support)
{
    QList<int> types;
    for (int type = 1; type <= 0x20 && (type - 1) / 8 < support.size(); ++type)
        if (static_cast<quint8>(support.at((type - 1) / 8)) & (0x80 >> ((type - 1) % 8)))
            types << type;
    return types;
}

QStringList calibration_ids(const QByteArray &data)
{
    QStringList ids;
    for (qsizetype at = 0; at + kCalibrationIdBytes <= data.size(); at += kCalibrationIdBytes)
        ids << text_or_hex(data.mid(at, kCalibrationIdBytes));
    return ids;
}

QStringList cvn_texts(const QByteArray &data)
{
    QStringList cvns;
    for (qsizetype at = 0; at + kCvnBytes <= data.size(); at += kCvnBytes)
        cvns << QString::fromLatin1(data.mid(at, kCvnBytes).toHex().toUpper());
    return cvns;
}

QString ecu_name(const QByteArray &data)
{
    return text_or_hex(data.left(20));
}

void in_use_counts(int infoType, const QByteArray &data, EcuInfo *info)
{
    QList<int> counts;
    for (qsizetype at = 0; at + 2 <= data.size(); at += 2)
        counts << (static_cast<quint8>(data.at(at)) << 8 | static_cast<quint8>(data.at(at + 1)));
    if (counts.size() < 2)
        return;
    info->obdConditions = counts.at(0);
    info->ignitionCycles = counts.at(1);
    info->ratios.clear();
    const bool spark = infoType == kInUseSpark;
    const int known = spark ? static_cast<int>(std::size(kSparkMonitors))
                            : static_cast<int>(std::size(kCompressionMonitors));
    for (int pair = 0; pair < known && 3 + 2 * pair < counts.size(); ++pair) {
        InUseRatio r;
        r.monitor = QString::fromUtf16(spark ? kSparkMonitors[pair] : kCompressionMonitors[pair]);
        r.completions = counts.at(2 + 2 * pair);
        r.conditions = counts.at(3 + 2 * pair);
        info->ratios << r;
    }
}

QString in_use_ratio_text(const InUseRatio &ratio)
{
    if (ratio.conditions == 0)
        return QStringLiteral("-");
    return QString::number(static_cast<double>(ratio.completions) / ratio.conditions, 'f', 2);
}

VehicleInfoRun request_vehicle_info(ObdContext &ctx)
{
    VehicleInfoRun run;
    RunOutcome outcome;
    const auto ask = [&](int infoType) {
        ExchangeRequest request;
        request.command = QStringLiteral("09") + hex2(infoType) + QStringLiteral("0A");
        request.fixedWaitSeconds = kInfoWaitSeconds;
        const Exchange ex = exchange(ctx, request);
        if (outcome.accept(ex.status))
            take_reply(run.ecus, infoType, ex.reply);
    };
    ask(kSupport);
    for (const int type : {kCalibrationIds, kCvns, kInUseSpark, kEcuName, kInUseCompression}) {
        if (outcome.ended())
            break;
        const bool named = std::any_of(run.ecus.begin(), run.ecus.end(), [type](const EcuInfo &e) {
            return e.infoTypes.contains(type);
        });
        if (named)
            ask(type);
    }
    run.status = outcome.outcome();
    return run;
}

QStringList vehicle_info_lines(const VehicleInfoRun &run)
{
    QStringList lines;
    for (const EcuInfo &e : run.ecus) {
        lines << QStringLiteral("ECU #=") + e.ecu;
        if (!e.name.isEmpty())
            lines << QStringLiteral("  ECU name: ") + e.name;
        for (qsizetype i = 0; i < e.calibrationIds.size(); ++i) {
            QString line = QStringLiteral("  Calibration ID: ") + e.calibrationIds.at(i);
            if (i < e.cvns.size())
                line += QStringLiteral("  CVN: ") + e.cvns.at(i);
            lines << line;
        }
        if (e.obdConditions >= 0) {
            lines << QStringLiteral("  In-use performance: conditions met %1, ignition cycles %2")
                         .arg(e.obdConditions)
                         .arg(e.ignitionCycles);
            for (const InUseRatio &r : e.ratios)
                lines << QStringLiteral("    %1: completed %2 of %3, ratio %4")
                             .arg(r.monitor)
                             .arg(r.completions)
                             .arg(r.conditions)
                             .arg(in_use_ratio_text(r));
        }
        if (e.refused)
            lines << QStringLiteral("  The ECU refused a vehicle information request");
        else if (e.name.isEmpty() && e.calibrationIds.isEmpty() && e.obdConditions < 0)
            lines << QStringLiteral("  No vehicle information beyond the VIN");
    }
    return lines;
}

} // namespace quorvex
