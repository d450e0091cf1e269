#pragma once

#include "link/protocol.h"

#include <QString>

namespace quorvex {

class ObdContext;

struct VinResult
{
    ExchangeStatus status = ExchangeStatus::Ok;
    QString text; // "VIN= " and the VIN for the identification field; empty: leave the field
};

// Asks for the vehicle identification number (service 09, info type 02); the reply is
// whatever arrived within half a second. The interface answers either with the 17 characters
// assembled (short form, under 80 characters) or with the vehicle's five raw messages in hex
// (long form, 111 characters). Without an answer the field keeps what it held (the user may
// have typed a VIN there).
VinResult GetVIN(ObdContext &ctx);

// Decodes count characters from hex pairs ("31" → "1"). A pair that did not arrive ends the
// text early instead of inventing characters.
QString HexToText(const QString &hex, int count);

// The VIN of a long-form reply: message 1's fourth data byte, then four characters from each
// of messages 2 to 5. Decodes as far as the reply goes.
QString decode_long_vin(const QString &reply);

} // namespace quorvex
