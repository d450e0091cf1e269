#include "diagnostics/o2test.h"

#include "link/obdcontext.h"
#include "link/reply.h"
#include "livedata/decoders.h"
#include "livedata/numberforms.h"

namespace quorvex {

namespace {

constexpr int kSupportThreshold = 18;
constexpr int kShortThreshold = 12; // TIDs 01-04: one value byte
constexpr int kLongThreshold = 16;  // TIDs 05-09: value and two limits

struct TidRow
{
    double scale;
    const char16_t *unit;
};

// TIDs 01-09: 5 mV per count for the voltages, 4 ms for the switch times, 40 ms between
// transitions.
constexpr TidRow kTids[] = {{0.005, u" V"}, {0.005, u" V"}, {0.005, u" V"},
                            {0.005, u" V"}, {0.004, u" S"}, {0.004, u" S"},
                            {0.005, u" V"}, {0.005, u" V"}, {0.04, u" S"}};

const char16_t *const kSensorLines[] = {u"Bank1, Sensor1", u"Bank1, Sensor2", u"Bank1, Sensor3",
                                        u"Bank1, Sensor4", u"Bank2, Sensor1", u"Bank2, Sensor2",
                                        u"Bank2, Sensor3", u"Bank2, Sensor4"};

Exchange ask(ObdContext &ctx, const QString &command, int threshold)
{
    ExchangeRequest request;
    request.command = command;
    request.threshold = threshold;
    return exchange(ctx, request);
}

} // namespace

QList<O2SensorChoice> o2_sensor_choices(const std::array<int, 8> &O2Sensors)
{
    QList<O2SensorChoice> choices;
    for (size_t k = 0; k < O2Sensors.size(); ++k)
        if (O2Sensors[k] != 0)
            choices.append({QString::fromUtf16(kSensorLines[k]), 1 << k});
    return choices;
}

O2TidResult o2_tid_result(int tid, const QString &reply)
{
    const TidRow &row = kTids[tid - 1];
    const auto text = [&row](double x) { return S(x) + QString::fromUtf16(row.unit); };
    O2TidResult r;
    r.tid = tid;
    const double value = data_byte(reply, 0, 0) * row.scale;
    r.value = text(value);
    if (tid >= 5) {
        const double minimum = data_byte(reply, 1, 0) * row.scale;
        const double maximum = data_byte(reply, 2, 0) * row.scale;
        r.minimum = text(minimum);
        r.maximum = text(maximum);
        r.outside = value < minimum || value > maximum;
    }
    return r;
}

O2TestRun RunO2Test(ObdContext &ctx, int sensor)
{
    O2TestRun run;
    run.service = QStringLiteral("05");
    const QString s = hex2(sensor);
    Exchange support;
    for (;;) {
        support = ask(ctx, run.service + QStringLiteral("00") + s, kSupportThreshold);
        run.supportEcho += support.received;
        if (!run.status.accept(support.status)) {
            run.outcome = support.status == ExchangeStatus::EcuTimeout
                              ? O2TestRun::Outcome::EcuTimeout
                              : O2TestRun::Outcome::Failed;
            return run;
        }
        if (reply_field(support.reply, 8, 4) == u"4600")
            break;
        if (run.service == u"06") {
            run.outcome = O2TestRun::Outcome::NotSupported;
            return run;
        }
        run.service = QStringLiteral("06"); // for every later request of this test
    }
    const int b1 = data_byte(support.reply, 1, 0);
    const int b2 = data_byte(support.reply, 2, 0);
    for (int tid = 1; tid <= 9 && !run.status.ended(); ++tid) {
        const bool supported = tid <= 8 ? (b1 & (0x80 >> (tid - 1))) : (b2 & 0x80);
        if (!supported)
            continue;
        const QString service = tid == 2 ? QStringLiteral("06") : run.service;
        const Exchange ex =
            ask(ctx, service + hex2(tid) + s, tid <= 4 ? kShortThreshold : kLongThreshold);
        if (run.status.accept(ex.status))
            run.results.append(o2_tid_result(tid, ex.reply));
    }
    return run;
}

} // namespace quorvex
