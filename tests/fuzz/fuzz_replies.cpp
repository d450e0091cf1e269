// libFuzzer target over everything that reads reply texts from the scan interface: the field
// reader, conv_hex, every pure decoder, the MIL report, and the current-data and freeze-frame
// runs with their dispatch and the trouble-code report over an interface that answers with the
// fuzzer's texts.
//
// Input: one flag byte, then reply texts separated by line feeds. The whole text after the
// flag byte is also fed to the pure decoders as one reply.
//   flag bit 0: metric units           bit 1: no vehicle contact ("P" marks)
//   flag bit 2: debug echo             bit 3: a wide-range O2 PID known from before ("24")
//   flag bit 4: the run starts near the end of ListPID
#include "fuzzsupport.h"

#include "currentdata.h"
#include "decoders.h"
#include "definitions.h"
#include "dispatch.h"
#include "freezeframe.h"
#include "items.h"
#include "livestate.h"
#include "mil.h"
#include "numberforms.h"
#include "pidtable.h"
#include "reply.h"
#include "sweep.h"
#include "troublecodes.h"

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

// A sink the optimiser cannot drop.
volatile std::size_t g_sink = 0;

void consume(const QString &text)
{
    g_sink = g_sink + static_cast<std::size_t>(text.size());
}

void decodePure(const QString &reply, bool metric)
{
    for (int pos = -2; pos <= reply.size() + 2; ++pos) {
        g_sink = g_sink + reply_char(reply, pos).unicode();
        consume(reply_field(reply, pos, 4));
    }
    QString pair = reply.left(2);
    g_sink = g_sink + static_cast<std::size_t>(conv_hex(pair));
    QString one = reply.left(1);
    g_sink = g_sink + static_cast<std::size_t>(conv_hex(one));

    for (const PidRow &row : pid_rows()) {
        for (const int offset : {0, 1})
            consume(decode_value(row, reply, metric, offset).valueText);
    }
    for (const int offset : {0, 1}) {
        consume(decode_lambda(reply, offset).valueText);
        consume(fuel_status_text(reply, offset));
        for (int pid = 0x06; pid <= 0x09; ++pid)
            consume(fuel_trim_text(pid, reply, offset));
    }
    consume(secondary_air_text(reply));
    consume(o2_sensor_count_text(o2_sensor_bits(reply)));
    consume(decode_mil(reply).text);
    consume(trouble_code_text(reply.left(4)));
    consume(shift_blank_at_10(reply));
    g_sink = g_sink + static_cast<std::size_t>(coolant_listed_value(reply));
    consume(compute_mpg(Val(reply), Val(reply.mid(3)), metric, std::nullopt).valueText);
    consume(compute_mpg(Val(reply), Val(reply.mid(3)), metric, Val(reply.mid(5))).valueText);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const std::uint8_t flags = in.byte();
    const QByteArray rest = in.rest();
    const bool metric = flags & 0x01;

    decodePure(QString::fromLatin1(rest), metric);

    ScriptedInterface interface;
    interface.replies = rest.split('\n');
    interface.mark = flags & 0x02 ? 'P' : 'S';
    Session session(interface);
    ObdContext &ctx = session.ctx;
    ctx.state.DebugMode = flags & 0x04;
    LiveDataState live;
    live.UnitsMetric = metric;
    if (flags & 0x08)
        live.WideO2PID = QStringLiteral("24");

    Sweep sweep;
    if (flags & 0x10) {
        for (int i = 0; i < Sweep::kMaxLines - 3; ++i)
            sweep.addLine({4, PidItem{}});
    }
    request_current_data(ctx, live, sweep, diagnostic_hooks());
    FUZZ_REQUIRE(sweep.lines().size() <= Sweep::kMaxLines);
    consume(sweep.report());
    Sweep frame;
    ReadFreezeFrame(ctx, live, frame);
    consume(frame.report());
    for (const int code : {0x05, 0x0C, kFuelEconomyItem, 0x24, 0x44})
        consume(read_item(ctx, live, code).item.valueText);
    const TroubleCodeRun codes =
        request_trouble_codes(ctx, TroubleCodeDefinitions(), [](const QString &) { return true; });
    consume(codes.report);
    return 0;
}
