// libFuzzer target over the diagnostic services' decoding. The first byte chooses the case:
//   0  decode_mil: the MIL line and the monitor lines of a PID 01 reply (after a byte choosing
//      the copy it is compared with)
//   1  trouble_code_text: the letter rule, on any slot and on every four-digit code
//   2  shift_blank_at_10
//   3  HexToText and decode_long_vin on any text
//   4  GetVIN over an interface answering with the simulator's short or long VIN reply (which
//      must show that VIN) or with the fuzzer's text
//   5  request_trouble_codes over an interface answering with the fuzzer's texts: the report
//   6  read_permanent_codes on any text
//   7  read_info_messages on any text, and the service 09 decoders on any data bytes
//
// Cases 4 and 5 run the real exchange on the scripted interface and the stepping clock.
#include "fuzzsupport.h"

#include "diagnostics/definitions.h"
#include "diagnostics/mil.h"
#include "diagnostics/permanentcodes.h"
#include "diagnostics/troublecodes.h"
#include "diagnostics/vehicleinfo.h"
#include "diagnostics/vin.h"
#include "link/obdcontext.h"
#include "sim/simreplies.h"

#include <algorithm>

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A code as the letter rule writes it ("P0301": the letter and the digit after it say the slot's
// first digit), or "P" and a slot that is not hex.
bool isCodeText(const QString &code, const QString &slot)
{
    if (slot.size() != 4 || !std::all_of(slot.cbegin(), slot.cend(), isUpperHex))
        return code == u'P' + slot;
    if (code.size() != 5 || code.mid(2) != slot.mid(1))
        return false;
    const qsizetype letter = QStringView(u"PCBU").indexOf(code.at(0));
    const int digit = code.at(1).unicode() - u'0';
    return letter >= 0 && digit >= 0 && digit <= 3 &&
           letter * 4 + digit == slot.left(1).toInt(nullptr, 16);
}

void checkMil(Input &in)
{
    const bool garbage = in.byte() & 1;
    const QString reply = replyText(in.rest());
    const MilReport report = decode_mil(reply);

    // Only bytes A to D count, missing ones as zero.
    const MilReport other = decode_mil(sameData(reply, 0, 4, garbage));
    FUZZ_REQUIRE(other.text == report.text && other.o2MonitorComplete == report.o2MonitorComplete);

    FUZZ_REQUIRE(report.text.endsWith(kCrLf));
    QStringList lines = report.text.chopped(2).split(kCrLf);
    // The MIL line, three continuous and eight non-continuous monitors at most, each once.
    FUZZ_REQUIRE(lines.size() <= 12 && lines.removeDuplicates() == 0);
    FUZZ_REQUIRE(lines.first() == u"MIL is ON, Stored Trouble Codes Present" ||
                 (lines.first().startsWith(u"MIL is OFF, ") &&
                  lines.first().endsWith(u" stored Trouble Code(s)")));
    for (const QString &line : lines.mid(1))
        FUZZ_REQUIRE(line.endsWith(u" Complete") || line.endsWith(u" Incomplete") ||
                     line.endsWith(u" Inomplete"));
    const bool complete = lines.contains(u"O2 Sensor Monitoring Complete");
    const bool incomplete = lines.contains(u"O2 Sensor Monitoring Incomplete");
    FUZZ_REQUIRE(report.o2MonitorComplete.has_value() == (complete || incomplete));
    FUZZ_REQUIRE(!report.o2MonitorComplete || *report.o2MonitorComplete == complete);
}

void checkLetterRule(Input &in)
{
    const std::uint8_t mode = in.byte();
    QString slot;
    if (mode & 1) { // every code a slot can carry
        const QByteArray two = in.bytes(2).leftJustified(2, '\0');
        slot = QString::fromLatin1(two.toHex().toUpper());
    } else {
        slot = replyText(in.bytes(mode >> 5));
    }
    const QString code = trouble_code_text(slot);
    FUZZ_REQUIRE(isCodeText(code, slot));
}

void checkShiftBlank(Input &in)
{
    const QString reply = replyText(in.rest());
    const QString shifted = shift_blank_at_10(reply);
    if (reply.size() < 10 || reply.at(9) >= u'0') {
        FUZZ_REQUIRE(shifted == reply);
        return;
    }
    // Characters 10-21 take the values of 11-22 (missing ones as "0"); the rest stays.
    FUZZ_REQUIRE(shifted.size() == std::max<qsizetype>(reply.size(), 21));
    FUZZ_REQUIRE(shifted.left(9) == reply.left(9) && shifted.mid(21) == reply.mid(21));
    for (int p = 10; p <= 21; ++p)
        FUZZ_REQUIRE(shifted.at(p - 1) == (p < reply.size() ? reply.at(p) : QChar(u'0')));
}

void checkVinText(Input &in)
{
    const int count = in.byte() % 24;
    const QByteArray raw = in.rest();
    const QString text = replyText(raw);

    const QString decoded = HexToText(text, count);
    FUZZ_REQUIRE(decoded.size() == std::min<qsizetype>(count, text.size() / 2));
    // Upper-case hex of any bytes reads back as those bytes.
    const QString hex = QString::fromLatin1(raw.toHex().toUpper());
    FUZZ_REQUIRE(HexToText(hex, count) == QString::fromLatin1(raw.left(count)));
    FUZZ_REQUIRE(decode_long_vin(text).size() <= 17);
}

void checkGetVin(Input &in)
{
    const std::uint8_t flags = in.byte();
    const int form = flags & 3; // 0 short, 1 long (from the simulator), 2 and 3 the fuzzer's
    const QByteArray leading(flags >> 2 & 3, 'S');
    const QByteArray trailing(flags >> 4 & 3, flags & 0x40 ? 'P' : 'S');
    QByteArray vin;
    QByteArray reply;
    if (form < 2) {
        vin = in.bytes(17).leftJustified(17, '0');
        reply = form == 0 ? sim::vinShortReply(vin) : sim::vinLongReply(0x10, vin);
    } else {
        reply = in.rest();
    }

    ScriptedInterface interface;
    interface.pad = false;
    interface.replies = {leading + reply + trailing, reply};
    Session session(interface);
    const VinResult result = GetVIN(session.ctx);

    FUZZ_REQUIRE(result.text.isEmpty() != (result.status == ExchangeStatus::Ok));
    FUZZ_REQUIRE(result.text.isEmpty() ||
                 (result.text.startsWith(u"VIN= ") && result.text.size() <= 5 + 17));
    // The short form's first two characters double as the interface's status markers: an "S"
    // there is an ECU time-out or a request to ask again, whatever the VIN.
    if (form == 1 || (form == 0 && vin[0] != 'S' && vin[1] != 'S'))
        FUZZ_REQUIRE(result.text == QStringLiteral("VIN= ") + QString::fromLatin1(vin));
}

const TroubleCodeDefinitions &definitions()
{
    static const TroubleCodeDefinitions table(
        QStringLiteral("P0301 Cylinder 1 Misfire Detected\nP0171 System Too Lean (Bank 1)\n"
                       "C0123 Chassis code\nB0123 Body code\n"
                       "U0001 High Speed CAN Communication Bus\nU1123 Network code\n"
                       "Pzzzz not a code")
            .split(u'\n'));
    return table;
}

// A definition shown for a code is that code's line, or the "not found" text.
bool isDefinitionOf(const QString &definition, const QString &code)
{
    if (definition == QString::fromUtf16(kDefinitionNotFound))
        return true;
    return definitions().lines().contains(definition) && definition.startsWith(code);
}

void checkTroubleCodeReport(Input &in)
{
    const std::uint8_t flags = in.byte();
    ScriptedInterface interface;
    interface.mark = flags & 1 ? 'P' : 'S';
    interface.replies = in.rest().split('\n');
    Session session(interface);
    bool asked = false;
    const ReadAnyway readAnyway = [&](const QString &soFar) {
        // Asked only when the vehicle reports no stored code.
        FUZZ_REQUIRE(soFar.endsWith(u"Vehicle Reports  0 Stored Trouble Code(s)\r\n"));
        asked = true;
        return (flags & 2) != 0;
    };
    const TroubleCodeRun run = request_trouble_codes(session.ctx, definitions(), readAnyway);

    FUZZ_REQUIRE(run.report.startsWith(kCrLf));
    FUZZ_REQUIRE(run.CodesTimedOut ==
                 run.report.contains(u"==== Timeout waiting for Trouble Codes"));
    const QStringList lines = run.report.split(kCrLf);
    int stored = 0;
    int lastPending = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        // Codes are five characters: the letter rule's, or "P" and a four-character slot.
        if (line.startsWith(u"TC")) {
            // "TCn -CODE", the stored codes in order, each with its definition on the next line.
            FUZZ_REQUIRE(line.size() == 10 &&
                         line.mid(2, 3) == QStringLiteral("%1 -").arg(++stored));
            FUZZ_REQUIRE(i + 1 < lines.size() && isDefinitionOf(lines.at(i + 1), line.mid(5)));
        } else if (line.startsWith(u"Pending Code ")) {
            // "Pending Code n -CODE--DEFINITION"; slots starting with 00 are left out after the
            // first, which is shown without a definition when it is 0000.
            const int n = line.at(13).unicode() - u'0';
            FUZZ_REQUIRE(n > lastPending && n <= 3 && line.mid(14, 2) == u" -");
            FUZZ_REQUIRE(line.size() >= 23 && line.mid(21, 2) == u"--");
            const QString code = line.mid(16, 5);
            const QString definition = line.mid(23);
            FUZZ_REQUIRE(isDefinitionOf(definition, code) ||
                         (n == 1 && code == u"P0000" && definition.isEmpty()));
            lastPending = n;
        }
    }
    FUZZ_REQUIRE(stored <= 3);
    // Told not to read them anyway, the run shows no stored code.
    if (asked && !(flags & 2))
        FUZZ_REQUIRE(stored == 0);
}

void checkPermanentCodes(Input &in)
{
    const QString reply = replyText(in.rest());
    const PermanentCodes found = read_permanent_codes(reply);
    // At most three codes a whole frame (the first frame may be cut short), each a code text
    // of its slot; a refusal shows none.
    FUZZ_REQUIRE(found.codes.size() <= 3 * std::max<qsizetype>(1, reply.size() / 23));
    FUZZ_REQUIRE(!found.refused || found.codes.isEmpty());
    FUZZ_REQUIRE(found.ecu.size() == 2);
    for (const QString &code : found.codes)
        FUZZ_REQUIRE(code.size() >= 5 && code != u"P0000");
}

void checkVehicleInfo(Input &in)
{
    const int infoType = in.byte() & 1 ? 0x08 : 0x0B;
    const QByteArray raw = in.rest();
    const QString reply = replyText(raw);
    const QList<InfoMessage> messages = read_info_messages(reply);
    // Whole messages of 22 hex characters after the leading one, until the first that is not.
    FUZZ_REQUIRE(messages.size() <= std::max<qsizetype>(0, (reply.size() - 1) / 22));
    for (const InfoMessage &m : messages)
        FUZZ_REQUIRE(m.ecu.size() == 2 && m.data.size() == 4 && m.number >= 0 && m.number < 256);

    // The decoders on the fuzzer's bytes as data.
    const QStringList ids = calibration_ids(raw);
    FUZZ_REQUIRE(ids.size() == raw.size() / 16);
    for (const QString &id : ids)
        FUZZ_REQUIRE(id.size() <= 16 || id.size() == 32);
    const QStringList cvns = cvn_texts(raw);
    FUZZ_REQUIRE(cvns.size() == raw.size() / 4);
    for (const QString &cvn : cvns)
        FUZZ_REQUIRE(cvn.size() == 8);
    FUZZ_REQUIRE(ecu_name(raw).size() <= 40);
    FUZZ_REQUIRE(info_types_supported(raw).size() <= 32);
    EcuInfo info;
    in_use_counts(infoType, raw, &info);
    FUZZ_REQUIRE((info.obdConditions >= 0) == (raw.size() >= 4));
    FUZZ_REQUIRE(info.ratios.size() <= 10);
    for (const InUseRatio &r : info.ratios) {
        const QString ratio = in_use_ratio_text(r);
        FUZZ_REQUIRE(r.conditions == 0 ? ratio == u"-" : ratio.contains(u'.'));
    }
    VehicleInfoRun run;
    run.ecus = {info};
    FUZZ_REQUIRE(!vehicle_info_lines(run).isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return runCase(data, size,
                   {checkMil, checkLetterRule, checkShiftBlank, checkVinText, checkGetVin,
                    checkTroubleCodeReport, checkPermanentCodes, checkVehicleInfo});
}
