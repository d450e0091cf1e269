#pragma once

#include "link/protocol.h"

#include <QString>

namespace quorvex {

class ObdContext;

struct ClearResult
{
    ExchangeStatus status = ExchangeStatus::Ok; // what the status indicator shows at the end
    QString report;                             // the report window's text
};

// "Clear/Reset Diagnostic Trouble Codes": sends service 04 ("040404") at once, without a
// question, and reports the outcome; the report starts as a single line break. A destructive
// command is never sent after a ready check that failed (no vehicle contact, a silent
// interface). When the ECU answers, the report reads "Trouble Codes Cleared" for the positive
// response (service byte 44 at characters 8-9), else "Operation Failed" (a negative response 7F
// among others).
ClearResult clear_trouble_codes(ObdContext &ctx);

} // namespace quorvex
