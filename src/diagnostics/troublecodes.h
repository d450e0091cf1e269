#pragma once

#include <QString>

namespace quorvex {

class ObdContext;
class TroubleCodeDefinitions;

// The trouble-code text of a code slot of four hex characters h1 h2 h3 h4: "P" and the four
// characters, except that a slot starting with "C" gives "U", "0" and h2 h3 h4 (C001 gives
// U0001). No other first character is mapped (4123 gives P4123), so only "P" and "U" occur.
QString trouble_code_text(const QString &slot);

// Some interfaces put a blank (or another character below "0") at character 10 of a service
// 03 or 07 reply. The reply is then read as if it were not there: characters 10-21 take the
// values of characters 11-22. Any other reply is returned unchanged.
QString shift_blank_at_10(const QString &reply);

struct TroubleCodeRun
{
    bool CodesTimedOut = false; // the stored codes did not arrive within 10 seconds
};

// The trouble-code report ("Request Diagnostic Trouble Codes"), written to the report window:
//  - service 01 PID 01: the ECU line, the MIL state and the stored-code count, with the
//    status indicator green "ECU Connected", or red "ECU Timeout" when the ECU does not answer
//    (the stored codes are then skipped);
//  - with a count of 0 the user is asked "The MIL is off, read codes anyway?";
//  - service 03: up to three stored codes ("TC1 -" to "TC3 -"), as many as the count says but
//    at least the first, each with its definition; a reply later than 10 seconds on the shared
//    timer ends the run with "==== Timeout waiting for Trouble Codes";
//  - service 07: up to three pending codes or "No pending codes reported".
// A wait ended by StopFlag or by the link's bound, or a reply too short for the positions
// read, decodes nothing and shows red "ECU Timeout". The caller releases the button.
TroubleCodeRun request_trouble_codes(ObdContext &ctx, const TroubleCodeDefinitions &definitions);

} // namespace quorvex
