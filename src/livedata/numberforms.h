#pragma once

#include <QString>

namespace quorvex {

// The number rules every decoder shares: reading reply bytes and turning numbers into display
// texts. The vehicle data lines are label & value text & units with nothing between them, so
// the signed text's leading blank is the column gap, and users (and the data logger's readers)
// rely on every text staying exactly as it is: leading blanks, cut-off digits, missing leading
// zeros. These rules produce those texts character for character.

// Two hexadecimal characters of a reply as a number: digit = character code - 48, minus a
// further 7 when that is above 9, result first digit * 16 + second digit. There is no
// validation: lower-case 'a' counts as 42, so garbage flows into the result unchanged.
// An empty text is replaced by "00" in the caller's variable as well and gives 0. A
// one-character text (a truncated reply) reads its missing second digit as 0 and is left as
// it was. Characters after the second are ignored.
int conv_hex(QString &Hex1);

// Signed text of a number, S(x): a blank before values >= 0, a minus sign before
// negative ones, no zero before the decimal point below 1, no trailing zeros, no point for
// integers. The value is rounded exactly to 15 significant digits (7 for S_single); values
// whose decimal exponent is below -4 or at least the digit count are written in exponent form
// ("1E+16", "1.5E-05"). S(0.45) is " .45", S(-0.25) is "-.25", S(750) is " 750".
QString S(double x);
QString S_single(float x);

// Plain text of a number, P(x): as S but without the blank for values >= 0 and
// with a 0 before the decimal point below 1: P(69.8) is "69.8", P(0.45) is "0.45",
// P(-0.25) is "-0.25".
QString P(double x);

// The first n characters of t; shorter texts whole, nothing for n <= 0. No rounding.
QString first(int n, const QString &t);

// The largest integer not above x (a floor: Int(-0.5) is -1).
double Int(double x);

// Nearest integer, halves to the even neighbour, in 64 bits (callers decide on the range): 72.5
// gives 72, 73.5 gives 74, -2.5 gives -2. NaN gives 0; values beyond the 64-bit range give its
// nearest end.
long long round_even(double x);

// The number at the start of a text: blanks, tabs and line feeds anywhere
// are skipped, then an optional sign, digits, an optional decimal part and an optional
// exponent (E or D) are read up to the first character that does not fit. A text that does
// not start with a number reads as 0.
double Val(const QString &t);

// A number written through a picture, Format(x, picture):
//   "0"  a digit that is always written (leading and trailing zeros),
//   "#"  a digit written only when significant,
//   "."  the decimal point (the first one; the number is rounded half away from zero to the
//        picture's decimal places, after rounding to 15 significant digits),
//   "%"  multiplies the number by 100 and is written where it stands,
//   any other character is written unchanged where it stands.
// Integer digits beyond the picture's places are all written at its leftmost digit place.
// A negative number keeps its minus sign, written just before the first digit place (after
// any leading literal characters), also when the rounded figure is zero.
// Format(79, " 000.0") is " 079.0", Format(11.455, " ##0.0") is " 11.5",
// Format(-40, " ###0") is " -40". An empty picture gives the plain text P(x).
QString Format(double x, const QString &picture);

// The text is first read as a number with Val, so " 79" and "79 Deg" both read as 79 and a
// text that is not a number reads as 0.
QString Format(const QString &t, const QString &picture);

} // namespace quorvex
