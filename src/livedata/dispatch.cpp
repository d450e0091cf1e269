#include "livedata/dispatch.h"

#include "link/obdcontext.h"
#include "link/reply.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/numberforms.h"
#include "livedata/sweep.h"

namespace quorvex {

namespace {

void list_line(SweepRun &run, int code)
{
    if (run.sweep.full())
        return;
    const Reading r = read_item(run.ctx, run.live, code);
    if (run.sweep.accept(r.status) && r.item.available)
        run.sweep.addLine({code, r.item});
}

void report(SweepRun &run, const StatusText &status)
{
    if (run.sweep.accept(status.status))
        run.sweep.appendReport(status.text);
}

void request_bitmap(SweepRun &run, const QString &pid, int firstPid, int count);

// Runs the action of one supported PID. True when the rest of the support byte is to be
// skipped (PID 02 of a freeze-frame run found no frame).
bool run_pid(SweepRun &run, int pid)
{
    LiveDataState &live = run.live;
    switch (pid) {
    case 0x01:
        if (run.hooks.getMIL)
            run.hooks.getMIL(run);
        return false;
    case 0x02:
        if (run.hooks.getTroubleCodes)
            run.hooks.getTroubleCodes(run);
        return run.freezeFrame && live.NoFreezeFrame;
    case 0x03:
        report(run, get_fuel_status(run.ctx, live));
        return false;
    case 0x06:
    case 0x07:
    case 0x08:
    case 0x09:
        // The trims the ECU supports, for the fuel trim monitor, whatever this reading gives.
        live.*kFuelTrimFlags[pid - 0x06] = true;
        report(run, get_fuel_trim(run.ctx, live, pid));
        return false;
    case 0x10:
        list_line(run, pid);
        // The fuel economy divides by the air flow: listed only while air is flowing.
        if (!run.sweep.lines().isEmpty() && run.sweep.lines().last().code == pid &&
            Val(run.sweep.lines().last().item.valueText) > 0)
            list_line(run, kFuelEconomyItem);
        return false;
    case 0x12:
        report(run, get_cmd_sec_air_stat(run.ctx, live));
        return false;
    case 0x13:
    case 0x1D:
        report(run, get_O2_loc(run.ctx, live));
        return false;
    case 0x1C:
        run.sweep.appendReport(QStringLiteral("OBDII\r\n")); // get_OBD: asks nothing
        return false;
    case 0x1F:
        // The run time is asked but not listed.
        run.sweep.accept(read_item(run.ctx, live, pid).status);
        return false;
    case 0x20:
        get_PIDs_21_40(run);
        return false;
    case 0x40:
        get_PIDs_41_60(run);
        return false;
    case 0x60:
    case 0x80:
    case 0xA0:
        request_bitmap(run, hex2(pid), pid + 1, 4);
        return false;
    default:
        if (has_item(pid))
            list_line(run, pid);
        return false; // 1E, 41 and anything else without an item: no action
    }
}

// The first request of every supported PID's action in `bytes` (the first `count` of them, bit
// 7 of the first standing for firstPid), in the order the dispatch asks them.
QStringList pass_commands(const LiveDataState &live, int firstPid, const std::array<int, 4> &bytes,
                          int count)
{
    QStringList commands;
    for (int i = 0; i < count; ++i)
        for (int bit = 0; bit < 8; ++bit)
            if (bytes[static_cast<size_t>(i)] & (0x80 >> bit))
                if (const std::optional<PidRequest> r = pass_request(live, firstPid + 8 * i + bit))
                    commands << r->command();
    return commands;
}

// A range's support bytes say the next range is supported (its last PID, 20, 40, ...).
bool chains(const std::array<int, 4> &bytes)
{
    return (bytes[3] & 0x01) != 0;
}

// What the range starting at firstPid announces (its support bytes `bytes`, the first `count`
// of them examined), keeping the bytes for the next run in a current-data run.
QStringList range_announcement(SweepRun &run, int firstPid, const std::array<int, 4> &bytes,
                               int count)
{
    if (!run.freezeFrame)
        run.live.SupportRead[firstPid] = bytes;
    QStringList commands = pass_commands(run.live, firstPid, bytes, count);
    if (chains(bytes))
        commands << expected_commands(run.live, run.expected, firstPid + 0x20);
    return commands;
}

// The second and third support requests. Only `count` of the four bytes are examined.
void request_bitmap(SweepRun &run, const QString &pid, int firstPid, int count)
{
    const Exchange ex = get_ecu_PID(run.ctx, *pass_request(run.live, pid.toInt(nullptr, 16)));
    if (!run.sweep.accept(ex.status))
        return;
    if (reply_field(ex.reply, 6, 2) == u"D0") {
        run.sweep.setReport(QString::fromUtf16(kNotObdText));
        return;
    }
    const std::array<int, 4> bytes = support_bytes(ex.reply, 12);
    const PassAnnouncement pass(run.ctx, range_announcement(run, firstPid, bytes, count));
    for (int i = 0; i < count; ++i)
        dispatch_byte(run, firstPid + 8 * i, bytes[static_cast<size_t>(i)]);
}

} // namespace

std::array<int, 4> support_bytes(const QString &reply, int first)
{
    std::array<int, 4> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) {
        QString pair = reply_byte(reply, first + 2 * static_cast<int>(i));
        bytes[i] = conv_hex(pair);
    }
    return bytes;
}

void dispatch_byte(SweepRun &run, int firstPid, int a)
{
    static constexpr int kThresholds[] = {127, 63, 31, 15, 7, 3, 1};
    int pid = firstPid;
    for (const int threshold : kThresholds) {
        if (run.sweep.ended())
            return;
        if (a > threshold) {
            const bool skipRest = run_pid(run, pid);
            a -= threshold + 1;
            if (skipRest)
                a = 0;
        }
        ++pid;
    }
    if (a > 0 && !run.sweep.ended())
        run_pid(run, pid);
}

void dispatch_first_range(SweepRun &run, const std::array<int, 4> &bytes)
{
    const PassAnnouncement pass(run.ctx, range_announcement(run, 0x01, bytes, 4));
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && run.freezeFrame && run.live.NoFreezeFrame)
            return;
        dispatch_byte(run, 0x01 + 8 * static_cast<int>(i), bytes[i]);
    }
}

QStringList expected_commands(const LiveDataState &live, const SupportRanges &expected,
                              int firstPid)
{
    QStringList commands;
    for (auto range = expected.find(firstPid); range != expected.end();
         range = expected.find(range->first + 0x20)) {
        commands << pass_commands(live, range->first, range->second, 4);
        if (!chains(range->second))
            break;
    }
    return commands;
}

void get_PIDs_21_40(SweepRun &run)
{
    request_bitmap(run, QStringLiteral("20"), 0x21, 4);
}

void get_PIDs_41_60(SweepRun &run)
{
    request_bitmap(run, QStringLiteral("40"), 0x41, 4);
}

} // namespace quorvex
