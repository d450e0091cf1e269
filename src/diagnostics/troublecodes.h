#pragma once

#include "link/protocol.h"

#include <QString>

#include <functional>

namespace quorvex {

class ObdContext;
class TroubleCodeDefinitions;

// The trouble-code text of a code slot of four hex characters h1 h2 h3 h4 (SAE J2012): the
// first two bits of h1 choose the letter (P, C, B, U), the next two the first digit (0-3), and
// h2 h3 h4 follow unchanged. 0301 gives P0301, 4123 C0123, 8123 B0123, C001 U0001, D123 U1123.
// A slot that is not four hex characters keeps "P" and its characters as they are.
QString trouble_code_text(const QString &slot);

// Some interfaces put a blank (or another character below "0") at character 10 of a service
// 03 or 07 reply. The reply is then read as if it were not there: characters 10-21 take the
// values of characters 11-22. Any other reply is returned unchanged.
QString shift_blank_at_10(const QString &reply);

struct TroubleCodeRun
{
    QString report;             // the report window's text at the end
    ExchangeStatus status;      // what the status indicator shows at the end (see RunOutcome)
    bool CodesTimedOut = false; // the stored codes did not arrive within 10 seconds
};

// Asked when the vehicle reports no stored code, with the report so far: read them anyway?
using ReadAnyway = std::function<bool(const QString &reportSoFar)>;

// The trouble-code report ("Request Diagnostic Trouble Codes"), starting from a single line
// break:
//  - service 01 PID 01: the ECU line, the MIL state and the stored-code count; when the ECU
//    does not answer the stored codes are skipped;
//  - with a count of 0 the user is asked whether to read the codes anyway;
//  - service 03: up to three stored codes ("TC1 -" to "TC3 -"), as many as the count says but
//    at least the first, each with its definition; a reply later than 10 seconds on the shared
//    timer ends the run with "==== Timeout waiting for Trouble Codes";
//  - service 07: up to three pending codes or "No pending codes reported".
// A failed exchange writes nothing of its own; one that says the interface or the link is gone
// ends the run.
TroubleCodeRun request_trouble_codes(ObdContext &ctx, const TroubleCodeDefinitions &definitions,
                                     const ReadAnyway &readAnyway);

} // namespace quorvex
