#pragma once

#include <QString>

namespace quorvex {

class ObdContext;

// Asks for the vehicle identification number (service 09, info type 02), waits half a second
// and shows "VIN= " and the VIN in the identification field. The interface answers either
// with the 17 characters assembled (short form, under 80 characters) or with the vehicle's
// five raw messages in hex (long form, 111 characters). A reply marked "not usable" or, in
// the short form, "ECU did not answer" leaves the field as it was (the user may have typed a
// VIN there).
void GetVIN(ObdContext &ctx);

// Decodes count characters from hex pairs ("31" → "1"). A pair that did not arrive ends the
// text early instead of inventing characters.
QString HexToText(const QString &hex, int count);

// The VIN of a long-form reply: message 1's fourth data byte, then four characters from each
// of messages 2 to 5. Decodes as far as the reply goes.
QString decode_long_vin(const QString &reply);

} // namespace quorvex
