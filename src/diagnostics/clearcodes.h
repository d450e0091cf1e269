#pragma once

namespace quorvex {

class ObdContext;

// "Clear/Reset Diagnostic Trouble Codes": sends service 04 ("040404") at once, without a
// question, and reports the outcome. The report window is first set to a single line break.
//  - ECU did not answer ("S" at character 2), or the wait ended by StopFlag or the link's
//    bound with too little to read: red "ECU Timeout", the report window keeps its line break;
//  - otherwise green "ECU Connected", and the report window shows "Trouble Codes Cleared" when
//    the reply's service byte (characters 8-9) is 44, else "Operation Failed" (a negative
//    response 7F among others).
// The caller releases the button.
void clear_trouble_codes(ObdContext &ctx);

} // namespace quorvex
