#pragma once

#include "link/protocol.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quorvex {

class ObdContext;

// A test or component ID as the user enters it: a whole number 0-255 in decimal, or "$" (or
// "&H", what the window turns "$" into) followed by hexadecimal digits worth 0-255. Leading
// zeros ("0042", "$0FF") and blanks around it are allowed; anything else is none.
std::optional<int> parse_id(const QString &text);

// What the entry box shows once read: "$1A" becomes "&H1A", anything else stays.
QString id_box_text(const QString &text);

// A scale factor: any finite real number, a period as decimal point.
std::optional<double> parse_scale(const QString &text);

// The outcome of one pass-through request.
struct Mode6Reply
{
    ExchangeStatus status = ExchangeStatus::Ok;
    bool acknowledged = false; // the interface took "F00504" ("A" at character 2)
    QByteArray bytes;          // the reply's 13 bytes when both went well
    // The reply carries the positive response $46 at byte 3.
    bool positive() const;
};

// The header bytes the interface's acknowledgement chooses: its third character's code masked
// with 0F: 4 gives 61 6A, 8 gives C3 33, anything else 68 6A.
std::pair<quint8, quint8> pass_through_header(const QString &acknowledgement);

// The 14-byte block: 1, the message length, the three header bytes (the third F1), the
// service, the test ID, the component ID, zeros.
QByteArray mode6_block(std::pair<quint8, quint8> header, quint8 service, quint8 tid, quint8 cid,
                       int count);

// One request: "F00504" to enter the pass-through mode, then the block; the reply is taken
// as bytes.
Mode6Reply RequestMode6(ObdContext &ctx, quint8 service, quint8 tid, quint8 cid, int count);

// A test result: the value (bytes 5-6) and the limit (bytes 7-8) times the scale, the limit
// rounded to a whole number with halves to even; byte 4's bit 7 says whether the limit is a
// minimum. FAIL when the value lies beyond it. None when a number overflows.
struct Mode6Result
{
    QString valueText; // the value in general number form, then the units
    QString limitText; // the whole limit, then the units
    bool minimum = false;
    bool fail = false;
};
std::optional<Mode6Result> mode6_result(const QByteArray &reply, double scale,
                                        const QString &units);

// The test numbers a support reply (bytes 6-9) lists under `base`, in the order the bits are
// read: each byte from bit 0 to bit 7, bit 7 of byte 6 being base + 1.
QList<int> ListMode6Tests(const QByteArray &reply, int base);

struct Mode6Scan
{
    Mode6Reply last; // the last request's outcome (acknowledgement, response)
    QList<int> tests;
};

// The scan for supported tests: support ID 00, and while bit 0 of a reply's last support byte
// says the next range is supported, the support ID of that range ($20, $40, ...), each reply
// listed under its base.
Mode6Scan ScanMode6Tests(ObdContext &ctx);

} // namespace quorvex
