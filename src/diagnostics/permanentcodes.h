#pragma once

#include "link/protocol.h"

#include <QString>
#include <QStringList>

namespace quorvex {

class ObdContext;
class TroubleCodeDefinitions;

// What a permanent-code reply holds. The reply is one frame or several (an adapter that had
// more than three codes to pass on), each of the scan interface's layout: the leading
// character, three header bytes, the service byte, three two-byte code slots and the check
// byte.
struct PermanentCodes
{
    bool refused = false; // the first frame is a negative response (7F): no service 0A
    QString ecu;          // the answering ECU's address, two hex digits
    QStringList codes;    // the codes' texts (P0301), the empty slots (0000) left out
};
PermanentCodes read_permanent_codes(const QString &reply);

struct PermanentCodeRun
{
    QString report;                             // the report window's text at the end
    ExchangeStatus status = ExchangeStatus::Ok; // for the status indicator
};

// The permanent-code report (service 0A, "0A0A0A", the same exchange as the stored codes):
// the ECU line, the count line and each code with its definition, in the stored codes' form;
// a vehicle that refuses the service is told so in a line. A failed exchange writes nothing
// but the single line break the report starts from.
PermanentCodeRun request_permanent_codes(ObdContext &ctx,
                                         const TroubleCodeDefinitions &definitions);

} // namespace quorvex
