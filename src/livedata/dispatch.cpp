#include "dispatch.h"

#include "currentdata.h"
#include "mainview.h"
#include "numberforms.h"
#include "obdcontext.h"
#include "pidentries.h"
#include "pidtable.h"
#include "protocol.h"
#include "reply.h"

namespace quorvex {

namespace {

constexpr int kBitmapThreshold = 18; // a support reply is complete past 18 characters

// Lists item `code` as the next line: label & value text & units, the code in ListPID and
// the label among the logger's items, so line k of the window, of ListPID and of the
// logger's list always name the same item.
void list_line(ObdContext &ctx, int code, int &b)
{
    SharedState &st = ctx.state;
    if (b < 0 || b >= SharedState::kListPidSize)
        return;
    read_item(ctx, code);
    const PidItem &item = ctx.PIDitem;
    st.ListPID[static_cast<size_t>(b)] = code;
    ctx.view.addDataLine(item.label + item.valueText + item.units);
    st.LoggerItems << item.label;
    ++b;
}

// Runs the action of one supported PID. True when the rest of the support byte is to be
// skipped (PID 02 found no freeze frame).
bool run_pid(ObdContext &ctx, const DispatchHooks &hooks, int pid, int &b)
{
    SharedState &st = ctx.state;
    switch (pid) {
    case 0x01:
        if (hooks.getMIL)
            hooks.getMIL(ctx);
        return false;
    case 0x02:
        if (hooks.getTroubleCodes)
            hooks.getTroubleCodes(ctx);
        return st.NoFreezeFrame;
    case 0x03:
        get_fuel_status(ctx);
        return false;
    case 0x06:
        get_STFTB1(ctx);
        st.HasSTFTB1 = true;
        return false;
    case 0x07:
        get_LTFTB1(ctx);
        st.HasLTFTB1 = true;
        return false;
    case 0x08:
        get_STFTB2(ctx);
        st.HasSTFTB2 = true;
        return false;
    case 0x09:
        get_LTFTB2(ctx);
        st.HasLTFTB2 = true;
        return false;
    case 0x10:
        list_line(ctx, pid, b);
        // The fuel economy divides by the air flow: listed only while air is flowing.
        if (Val(ctx.PIDitem.valueText) > 0)
            list_line(ctx, kFuelEconomyItem, b);
        return false;
    case 0x12:
        get_cmd_sec_air_stat(ctx);
        return false;
    case 0x13:
    case 0x1D:
        get_O2_loc(ctx);
        return false;
    case 0x1C:
        get_OBD(ctx);
        return false;
    case 0x1F:
        get_Time_Since_Engine_Start(ctx); // asked, not listed
        return false;
    case 0x20:
        get_PIDs_21_40(ctx, hooks);
        return false;
    case 0x40:
        get_PIDs_41_60(ctx, hooks);
        return false;
    default:
        if (has_item(pid))
            list_line(ctx, pid, b);
        return false; // 1E, 41, 4F, 50 and anything else without an item: no action
    }
}

// The bit test shared by every dispatcher: bit 7 of `a` stands for firstPid, bit 0 for
// firstPid + 7. Each action runs before its bit is subtracted; the last bit is not.
void scan_byte(ObdContext &ctx, const DispatchHooks &hooks, int firstPid, int &a, int &b)
{
    static constexpr int kThresholds[] = {127, 63, 31, 15, 7, 3, 1};
    int pid = firstPid;
    for (const int threshold : kThresholds) {
        if (a > threshold) {
            const bool skipRest = run_pid(ctx, hooks, pid, b);
            a -= threshold + 1;
            if (skipRest)
                a = 0;
        }
        ++pid;
    }
    if (a > 0)
        run_pid(ctx, hooks, pid, b);
}

using Dispatcher = void (*)(ObdContext &, const DispatchHooks &, int &, int &);

// The second and third support requests. Only `count` of the four bytes are examined.
void request_bitmap(ObdContext &ctx, const DispatchHooks &hooks, const QString &command,
                    const Dispatcher *dispatchers, int count)
{
    wait_for_ECU(ctx);
    if (ctx.state.StopFlag)
        return;
    discard_input(ctx);
    ctx.link.OBDoutput(command);
    const QString reply = await_reply(ctx, kBitmapThreshold).reply;
    // No reply at all (the wait was ended or ran out) counts as the ECU not answering.
    if (reply.isEmpty() || reply_is(reply, 2, u'S')) {
        ctx.view.setStatus(QString::fromUtf16(kEcuTimeout), StatusColor::Red);
        return;
    }
    ctx.view.setStatus(QString::fromUtf16(kEcuConnected), StatusColor::Green);
    if (reply_field(reply, 6, 2) == u"D0") {
        ctx.view.setReportText(QString::fromUtf16(kNotObdText));
        return;
    }
    std::array<int, 4> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) {
        QString pair = reply_byte(reply, 12 + 2 * static_cast<int>(i));
        bytes[i] = conv_hex(pair);
    }
    for (int i = 0; i < count; ++i)
        dispatchers[i](ctx, hooks, bytes[static_cast<size_t>(i)], ctx.state.PIDcount);
}

} // namespace

void findPID1(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x01, a, b);
}
void findPID2(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x09, a, b);
}
void findPID3(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x11, a, b);
}
void findPID4(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x19, a, b);
}
void findPID5(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x21, a, b);
}
void findPID6(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x29, a, b);
}
void findPID7(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x31, a, b);
}
void findPID8(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x39, a, b);
}
void findPID9(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x41, a, b);
}
void findPID10(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b)
{
    scan_byte(ctx, hooks, 0x49, a, b);
}

void get_PIDs_21_40(ObdContext &ctx, const DispatchHooks &hooks)
{
    static constexpr Dispatcher kSecond[] = {findPID5, findPID6, findPID7, findPID8};
    request_bitmap(ctx, hooks, QStringLiteral("012009"), kSecond, 4);
}

void get_PIDs_41_60(ObdContext &ctx, const DispatchHooks &hooks)
{
    // PIDs 51 to 60 (bytes 3 and 4) have no decoders.
    static constexpr Dispatcher kThird[] = {findPID9, findPID10};
    request_bitmap(ctx, hooks, QStringLiteral("014009"), kThird, 2);
}

void dispatch_support(ObdContext &ctx, const DispatchHooks &hooks, const std::array<int, 4> &bytes)
{
    static constexpr Dispatcher kFirst[] = {findPID1, findPID2, findPID3, findPID4};
    for (size_t i = 0; i < bytes.size(); ++i) {
        int a = bytes[i];
        kFirst[i](ctx, hooks, a, ctx.state.PIDcount);
    }
}

} // namespace quorvex
