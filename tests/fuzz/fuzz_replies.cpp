// libFuzzer target over the runs that read reply texts from the scan interface: current data
// and the freeze frame with their dispatch, single items, and the trouble-code report, over an
// interface that answers with the fuzzer's texts. The pure readers and decoders underneath
// have targets of their own (fuzz_fields, fuzz_decoders, fuzz_diagnostics).
//
// Input: one flag byte, then reply texts separated by line feeds.
//   flag bit 0: metric units           bit 1: no vehicle contact ("P" marks)
//   flag bit 2: debug echo             bit 3: a wide-range O2 PID known from before ("24")
//   flag bit 4: the run starts near the end of ListPID
#include "fuzzsupport.h"

#include "diagnostics/definitions.h"
#include "diagnostics/freezeframe.h"
#include "diagnostics/troublecodes.h"
#include "livedata/currentdata.h"
#include "livedata/dispatch.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/pidtable.h"
#include "livedata/sweep.h"

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

// A sink the optimiser cannot drop.
volatile std::size_t g_sink = 0;

void consume(const QString &text)
{
    g_sink = g_sink + static_cast<std::size_t>(text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const std::uint8_t flags = in.byte();
    ScriptedInterface interface;
    interface.replies = in.rest().split('\n');
    interface.mark = flags & 0x02 ? 'P' : 'S';
    Session session(interface);
    ObdContext &ctx = session.ctx;
    ctx.state.DebugMode = flags & 0x04;
    LiveDataState live;
    live.UnitsMetric = flags & 0x01;
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
