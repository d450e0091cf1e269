#pragma once

#include <QString>

namespace quorvex {

class ObdContext;

// Firmware identification: asks the interface for its id ("900101"), shows "F/W: " and the
// first five characters, and sets FWVersion from characters 2-5. Returns false when the
// interface had no vehicle contact (the report window then says "ECU not Communicating" and
// nothing was sent); the caller goes on to read the VIN only after true.
bool exchange_firmware_id(ObdContext &ctx);

// Asks the interface to address the other ECU ("800204"). Sent even when the ready check
// finds no vehicle contact; the three-character answer is read and ignored.
void exchange_change_ecu(ObdContext &ctx);

// The numeric value of the leading number of a text, 0 when there is none ("3.40" → 3.4,
// "3.4x" → 3.4, "x" → 0). Leading blanks are skipped.
double leading_number(const QString &text);

} // namespace quorvex
