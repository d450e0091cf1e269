#pragma once

#include "link/protocol.h"

#include <QString>

namespace quorvex {

class ObdContext;

struct FirmwareId
{
    ExchangeStatus status = ExchangeStatus::Ok;
    QString id;         // the first five characters of the answer ("V3.40")
    double version = 0; // the leading number of characters 2-5 (3.4), 0 when there is none
};

// Asks the interface for its firmware identification ("900101"). Nothing is sent when the
// ready check finds no vehicle contact (status NoContact).
FirmwareId exchange_firmware_id(ObdContext &ctx);

// Asks the interface to address the other ECU ("800204"). Sent even when the ready check finds
// no vehicle contact; the three-character answer is read and not examined.
ExchangeStatus exchange_change_ecu(ObdContext &ctx);

// The numeric value of the leading number of a text, 0 when there is none ("3.40" → 3.4,
// "3.4x" → 3.4, "x" → 0). Leading blanks are skipped.
double leading_number(const QString &text);

} // namespace quorvex
