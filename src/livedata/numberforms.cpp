#include "livedata/numberforms.h"

#include <QList>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace quorvex {

namespace {

constexpr int kDoubleDigits = 15; // significant digits of a double's text
constexpr int kSingleDigits = 7;  // significant digits of a single-precision text

// A decimal figure: value = 0.d1 d2 ... dn * 10^point. The digits have no leading or trailing
// zeros; zero has no digits and no sign (a figure rounded to zero keeps its sign).
struct Decimal
{
    bool negative = false;
    std::string digits;
    int point = 0;
};

void trim_trailing_zeros(Decimal &d)
{
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty())
        d.point = 0;
}

// x rounded to `precision` significant digits. to_chars rounds the exact binary value
// correctly and does not depend on the C locale's decimal separator.
Decimal to_decimal(double x, int precision)
{
    Decimal d;
    if (x == 0.0)
        return d;
    d.negative = x < 0.0;
    char buf[64] = {};
    const auto res = std::to_chars(buf, buf + sizeof(buf) - 1, std::fabs(x),
                                   std::chars_format::scientific, precision - 1);
    const std::string text(buf, res.ptr);
    const auto e = text.find('e');
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] != '.')
            d.digits += text[i];
    }
    d.point = std::stoi(text.substr(e + 1)) + 1;
    trim_trailing_zeros(d);
    return d;
}

// The general number text shared by S and P: fixed notation while the decimal exponent
// lies in -4 .. precision-1, exponent notation ("1.5E-05", "1E+16") outside it.
QString general_text(double x, int precision, bool zero_before_point)
{
    if (std::isnan(x))
        return QStringLiteral("-1.#IND");
    if (std::isinf(x))
        return x < 0 ? QStringLiteral("-1.#INF") : QStringLiteral("1.#INF");

    const Decimal d = to_decimal(x, precision);
    if (d.digits.empty())
        return QStringLiteral("0");

    std::string body;
    const int n = static_cast<int>(d.digits.size());
    const int exponent = d.point - 1;
    if (exponent < -4 || exponent >= precision) {
        body = d.digits.substr(0, 1);
        if (n > 1)
            body += '.' + d.digits.substr(1);
        std::string exp_digits = std::to_string(std::abs(exponent));
        if (exp_digits.size() < 2)
            exp_digits.insert(0, 1, '0');
        body += (exponent < 0 ? "E-" : "E+") + exp_digits;
    } else if (d.point <= 0) {
        body = (zero_before_point ? "0." : ".") + std::string(-d.point, '0') + d.digits;
    } else if (d.point >= n) {
        body = d.digits + std::string(d.point - n, '0');
    } else {
        body = d.digits.substr(0, d.point) + '.' + d.digits.substr(d.point);
    }
    if (d.negative)
        body.insert(0, 1, '-');
    return QString::fromLatin1(body.data(), static_cast<qsizetype>(body.size()));
}

QString signed_text(double x, int precision)
{
    const QString text = general_text(x, precision, false);
    return text.startsWith(u'-') ? text : QLatin1Char(' ') + text;
}

int hex_digit(QChar c)
{
    int v = static_cast<int>(c.unicode()) - 48;
    if (v > 9)
        v -= 7;
    return v;
}

// Rounds d half away from zero to `places` decimal places.
void round_to_places(Decimal &d, int places)
{
    const int keep = d.point + places; // digits that stay
    const int n = static_cast<int>(d.digits.size());
    if (d.digits.empty() || keep >= n)
        return;
    if (keep < 0) { // the first dropped digit is a leading zero: rounds to 0
        d.digits.clear();
        d.point = 0;
        return;
    }
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') {
            d.digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i >= 0) {
            ++d.digits[static_cast<std::size_t>(i)];
        } else { // carried out of the first digit: 9.96 -> 10.0
            d.digits.insert(0, 1, '1');
            ++d.point;
        }
    }
    trim_trailing_zeros(d);
}

// One picture character, resolved: a digit place, the decimal point or a literal.
struct PictureItem
{
    enum class Kind { IntDigit, Point, FracDigit, Literal };
    Kind kind = Kind::Literal;
    QChar literal;
};

} // namespace

int conv_hex(QString &Hex1)
{
    if (Hex1.isEmpty())
        Hex1 = QStringLiteral("00");
    const int high = hex_digit(Hex1.at(0));
    const int low = Hex1.size() > 1 ? hex_digit(Hex1.at(1)) : 0;
    return high * 16 + low;
}

QString S(double x)
{
    return signed_text(x, kDoubleDigits);
}

QString S_single(float x)
{
    return signed_text(static_cast<double>(x), kSingleDigits);
}

QString P(double x)
{
    return general_text(x, kDoubleDigits, true);
}

QString first(int n, const QString &t)
{
    if (n <= 0)
        return QString();
    return t.left(n);
}

double Int(double x)
{
    return std::floor(x);
}

long long round_even(double x)
{
    if (std::isnan(x))
        return 0;
    const double lower = std::floor(x);
    const double rest = x - lower;
    double r = lower;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(lower, 2.0) != 0.0))
        r = lower + 1.0;
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double kLimit = 9223372036854775808.0;
    if (r >= kLimit)
        return std::numeric_limits<long long>::max();
    if (r < -kLimit)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(r);
}

double Val(const QString &t)
{
    std::string text;
    qsizetype i = 0;
    const qsizetype n = t.size();
    // Blanks, tabs and line feeds are skipped wherever they stand.
    auto next = [&]() -> char {
        while (i < n && (t.at(i) == u' ' || t.at(i) == u'\t' || t.at(i) == u'\n'))
            ++i;
        return i < n && t.at(i).unicode() < 128 ? static_cast<char>(t.at(i).unicode()) : '\0';
    };
    auto is_digit = [](char c) { return c >= '0' && c <= '9'; };

    char c = next();
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        ++i;
        c = next();
    }
    bool any_digit = false;
    for (; is_digit(c); ++i, c = next()) {
        text += c;
        any_digit = true;
    }
    if (c == '.') {
        text += c;
        ++i;
        for (c = next(); is_digit(c); ++i, c = next()) {
            text += c;
            any_digit = true;
        }
    }
    if (!any_digit)
        return 0.0;
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
        // The exponent counts only when at least one digit follows its optional sign.
        std::string exponent = "e";
        ++i;
        c = next();
        if (c == '+' || c == '-') {
            exponent += c;
            ++i;
            c = next();
        }
        bool exp_digit = false;
        for (; is_digit(c); ++i, c = next()) {
            exponent += c;
            exp_digit = true;
        }
        if (exp_digit)
            text += exponent;
    }
    double value = 0.0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        const auto e = text.find('e');
        const bool huge = e != std::string::npos && text.compare(e + 1, 1, "-") != 0;
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

QString Format(double x, const QString &picture)
{
    if (picture.isEmpty() || !std::isfinite(x))
        return P(x);

    // Resolve the picture: digit places before and after the first ".", literals elsewhere.
    QList<PictureItem> items;
    bool seen_point = false;
    bool percent = false;
    int int_places = 0;
    int frac_places = 0;
    int first_int_zero = -1; // index among the integer places of the first "0"
    int last_frac_zero = -1; // index among the decimal places of the last "0"
    for (const QChar ch : picture) {
        PictureItem item;
        if (ch == u'0' || ch == u'#') {
            const bool zero = ch == u'0'; // a "0" place is always written
            if (seen_point) {
                item.kind = PictureItem::Kind::FracDigit;
                if (zero)
                    last_frac_zero = frac_places;
                ++frac_places;
            } else {
                item.kind = PictureItem::Kind::IntDigit;
                if (zero && first_int_zero < 0)
                    first_int_zero = int_places;
                ++int_places;
            }
        } else if (ch == u'.' && !seen_point) {
            item.kind = PictureItem::Kind::Point;
            seen_point = true;
        } else {
            item.literal = ch;
            percent = percent || ch == u'%';
        }
        items.append(item);
    }

    Decimal d = to_decimal(x, kDoubleDigits);
    if (percent && !d.digits.empty())
        d.point += 2;
    round_to_places(d, frac_places);

    // Integer figure, padded with leading zeros to the "0" places it must fill.
    std::string int_digits;
    if (d.point > 0) {
        const auto n = static_cast<int>(d.digits.size());
        int_digits = d.digits.substr(0, static_cast<std::size_t>(std::min(d.point, n)));
        int_digits.append(static_cast<std::size_t>(std::max(0, d.point - n)), '0');
    }
    const int min_int = first_int_zero < 0 ? 0 : int_places - first_int_zero;
    if (static_cast<int>(int_digits.size()) < min_int)
        int_digits.insert(0, static_cast<std::size_t>(min_int) - int_digits.size(), '0');

    // Decimal figure to the picture's places; "#" places drop trailing zeros unless a later
    // "0" place forces them.
    std::string frac_digits;
    int significant = 0;
    for (int k = 0; k < frac_places; ++k) {
        const int j = d.point + k;
        const char digit = (j >= 0 && j < static_cast<int>(d.digits.size()))
                               ? d.digits[static_cast<std::size_t>(j)]
                               : '0';
        frac_digits += digit;
        if (digit != '0')
            significant = k + 1;
    }
    const int frac_written = std::max(significant, last_frac_zero + 1);

    QString out;
    bool sign_due = d.negative;
    int int_index = 0;
    int frac_index = 0;
    const int int_len = static_cast<int>(int_digits.size());
    for (const PictureItem &item : items) {
        if (sign_due && item.kind != PictureItem::Kind::Literal) {
            out += u'-';
            sign_due = false;
        }
        switch (item.kind) {
        case PictureItem::Kind::IntDigit: {
            // Places are filled from the right; the leftmost place takes any excess digits.
            const int from_right = int_places - int_index;
            const int begin = int_index == 0 ? 0 : int_len - from_right;
            const int end = int_len - from_right + 1;
            for (int k = std::max(begin, 0); k < end; ++k)
                out += QLatin1Char(int_digits[static_cast<std::size_t>(k)]);
            ++int_index;
            break;
        }
        case PictureItem::Kind::Point:
            out += u'.';
            break;
        case PictureItem::Kind::FracDigit:
            if (frac_index < frac_written)
                out += QLatin1Char(frac_digits[static_cast<std::size_t>(frac_index)]);
            ++frac_index;
            break;
        case PictureItem::Kind::Literal:
            out += item.literal;
            break;
        }
    }
    if (sign_due) // a picture without digit places still shows the sign, in front
        out.prepend(u'-');
    return out;
}

QString Format(const QString &t, const QString &picture)
{
    return Format(Val(t), picture);
}

} // namespace quorvex
