// libFuzzer target over the service 01/02 decoders, one decoder per input.
//
// Input: a case byte, a flag byte (bit 0: metric units, bit 1: one extra byte ahead of the
// data, as in a freeze-frame reply, bit 2: which copy to compare, below), then the reply text.
// The case is a row of the PID table, or one of the status and computed decoders after the
// last row.
//
// Every decoder promises to read only its data bytes, through the bounds-safe field reader:
// so a reply decodes exactly as its zero-filled extension does, and exactly as a copy whose
// characters outside the data bytes are garbage.
#include "fuzzsupport.h"

#include "livedata/decoders.h"
#include "livedata/numberforms.h"
#include "livedata/pidtable.h"

#include <algorithm>
#include <cmath>

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

enum class Special { Lambda, FuelStatus, FuelTrim, SecondaryAir, O2Sensors, Mpg };
constexpr std::size_t kSpecials = 6;

// A number text as the decoders write them: blank or minus, digits, a point, an exponent.
bool isNumberText(const QString &text, int maxLength)
{
    return !text.isEmpty() && text.size() <= maxLength &&
           std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return QStringView(u"0123456789 -.E+").contains(c); });
}

// A value text of the later PIDs: its parts, separated by commas, each a number text with the
// words of its units; a fuel type is a name. An item that is not available is not listed, so
// its text says nothing.
bool isPartsText(const PidRow &row, const PidItem &item)
{
    if (!item.available || row.rule == ValueRule::FuelType)
        return item.valueText.size() <= 40;
    const QStringList parts = item.valueText.split(u',');
    return item.valueText.size() <= 64 &&
           std::all_of(parts.cbegin(), parts.cend(), [](const QString &part) {
               qsizetype n = 0;
               while (n < part.size() && QStringView(u"0123456789 -.E+").contains(part.at(n)))
                   ++n;
               return std::any_of(part.cbegin(), part.cbegin() + n,
                                  [](QChar c) { return c.isDigit(); });
           });
}

void checkRow(const PidRow &row, const QString &reply, bool metric, int offset, bool garbage)
{
    const PidItem item = decode_value(row, reply, metric, offset);
    FUZZ_REQUIRE(item.label == QString::fromUtf16(row.label));
    FUZZ_REQUIRE(item.units == QString::fromUtf16(metric ? row.unitsMetric : row.unitsEnglish));
    FUZZ_REQUIRE(std::isfinite(item.value));
    FUZZ_REQUIRE(row.pid > 0x4E ? isPartsText(row, item) : isNumberText(item.valueText, 22));
    FUZZ_REQUIRE(item.available || row.pid > 0x4E);

    // Service 01 rows read the current value wherever the run is; a row reads no more data
    // bytes than its reply length holds (at least A and B).
    const int at = row.kind == RequestKind::Service01 ? 0 : offset;
    const int bytes = std::max(2, row.n - 5);
    const PidItem other = decode_value(row, sameData(reply, at, bytes, garbage), metric, offset);
    FUZZ_REQUIRE(other.valueText == item.valueText && other.value == item.value &&
                 other.available == item.available);
}

// A status decoder's text: lines ending in CR LF, nothing else after the last one.
bool isReportText(const QString &text, int maxLines)
{
    return text.endsWith(u"\r\n") && text.count(u"\r\n") <= maxLines &&
           text.count(u'\r') == text.count(u'\n');
}

void checkSpecial(Special which, Input &in, bool metric, int offset, bool garbage)
{
    const QString reply = replyText(in.rest());
    const auto same = [&](auto decode, int at, int bytes) {
        const auto out = decode(reply);
        FUZZ_REQUIRE(decode(sameData(reply, at, bytes, garbage)) == out);
        return out;
    };
    switch (which) {
    case Special::Lambda: {
        const QString text =
            same([&](const QString &r) { return decode_lambda(r, offset).valueText; }, offset, 2);
        FUZZ_REQUIRE(isNumberText(text, 22));
        break;
    }
    case Special::FuelStatus: {
        const QString text =
            same([&](const QString &r) { return fuel_status_text(r, offset); }, offset, 2);
        FUZZ_REQUIRE(isReportText(text, 3) && text.count(u"Fuel Sys") <= 2);
        break;
    }
    case Special::FuelTrim: {
        const int pid = 0x06 + (reply.size() & 3);
        const QString text =
            same([&](const QString &r) { return fuel_trim_text(pid, r, offset); }, offset, 1);
        FUZZ_REQUIRE(isReportText(text, 1) && text.endsWith(u"%\r\n"));
        break;
    }
    case Special::SecondaryAir: {
        const QString text = same([](const QString &r) { return secondary_air_text(r); }, 0, 1);
        FUZZ_REQUIRE(isReportText(text, 1));
        break;
    }
    case Special::O2Sensors: {
        const int bits = same([](const QString &r) { return o2_sensor_bits(r); }, 0, 1);
        FUZZ_REQUIRE(bits >= 0 && bits <= 0xFF);
        FUZZ_REQUIRE(isReportText(o2_sensor_count_text(bits), 1));
        break;
    }
    case Special::Mpg: {
        // The computed line takes the air-flow and speed lines' value texts.
        const qsizetype cut = reply.indexOf(u',');
        const double airFlow = Val(reply.left(cut));
        const double speed = cut < 0 ? 0.0 : Val(reply.mid(cut + 1));
        const std::optional<double> lambda =
            offset ? std::optional<double>(Val(reply.mid(cut + 4))) : std::nullopt;
        const PidItem item = compute_mpg(airFlow, speed, metric, lambda);
        FUZZ_REQUIRE(!item.valueText.isEmpty() && item.valueText.size() <= 5);
        FUZZ_REQUIRE(std::isfinite(item.value));
        FUZZ_REQUIRE(item.units == (metric ? u"Km/L" : u"MPG"));
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const std::span<const PidRow> rows = pid_rows();
    const std::size_t cases = rows.size() + kSpecials;
    const std::size_t which = in.byte() % cases;
    const std::uint8_t flags = in.byte();
    const bool metric = flags & 0x01;
    const int offset = (flags >> 1) & 0x01;
    const bool garbage = flags & 0x04;
    if (which < rows.size())
        checkRow(rows[which], replyText(in.rest()), metric, offset, garbage);
    else
        checkSpecial(static_cast<Special>(which - rows.size()), in, metric, offset, garbage);
    return 0;
}
