// libFuzzer target over the files a user hands the log viewer and the replay. The first byte
// chooses the case:
//   0  a log read whole and read in two pieces split where the next byte says: the same
//      records, damaged lines and bytes read either way; times never run back
//   1  the recording form of the rest's bytes reads back as the same bytes
//   2  the rest read as a recording and, when it is one, served: every command the recording
//      holds, sent in order, is answered with what it recorded after it
#include "fuzzsupport.h"

#include "link/recording.h"
#include "monitor/logreader.h"
#include "sim/simreplay.h"

#include <algorithm>

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

void checkLog(Input &in)
{
    const std::size_t split = in.byte();
    const QByteArray file = in.rest();
    LogData whole;
    const LogFeed feed = feed_log(whole, file);
    FUZZ_REQUIRE(whole.consumed <= file.size());
    FUZZ_REQUIRE(std::is_sorted(whole.seconds.begin(), whole.seconds.end()));
    for (const auto &values : whole.values)
        FUZZ_REQUIRE(values.size() == whole.seconds.size());
    if (feed != LogFeed::Ok)
        return;
    LogData pieces;
    const qsizetype first = std::min<qsizetype>(static_cast<qsizetype>(split), file.size());
    if (feed_log(pieces, QByteArrayView(file).first(first)) == LogFeed::TooLong)
        return;
    feed_log(pieces, QByteArrayView(file).sliced(pieces.consumed));
    FUZZ_REQUIRE(pieces.consumed == whole.consumed);
    FUZZ_REQUIRE(pieces.seconds == whole.seconds);
    FUZZ_REQUIRE(pieces.values == whole.values);
    FUZZ_REQUIRE(pieces.labels == whole.labels);
}

void checkEscapes(Input &in)
{
    const QByteArray bytes = in.rest();
    const QByteArray text = escape_bytes(bytes);
    FUZZ_REQUIRE(!text.contains('\n') && !text.contains('\r') && !text.endsWith(' '));
    FUZZ_REQUIRE(unescape_bytes(text) == std::optional(bytes));
}

void checkReplay(Input &in)
{
    auto recording = std::make_shared<Recording>(read_recording(in.rest()));
    if (!recording->error.isEmpty())
        return;
    auto replay = std::make_shared<sim::ReplayOptions>();
    replay->recording = recording;
    int unanswered = 0;
    replay->unanswered = [&unanswered](const QByteArray &) { ++unanswered; };
    sim::Options options;
    options.personality = sim::Personality::Replay;
    options.replay = replay;
    sim::ReplayEngine engine(options);
    qint64 nowUs = 0;
    engine.take(nowUs);
    for (const RecordedExchange &e : recording->exchanges) {
        if (!e.sent)
            continue;
        nowUs += 1'000'000'000'000; // long past whatever the recording delays
        engine.receive(e.bytes, nowUs);
        engine.take(nowUs);
        FUZZ_REQUIRE(engine.nextEventUs() < 0 || engine.nextEventUs() >= nowUs);
    }
    // A command sent as recorded may be the start of a longer one the recording has further
    // on; none is left unanswered.
    FUZZ_REQUIRE(unanswered == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return runCase(data, size, {checkLog, checkEscapes, checkReplay});
}
