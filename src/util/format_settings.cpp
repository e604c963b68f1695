#include "util/format_settings.h"

#include <QStringList>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace format_settings {

namespace {

std::atomic<char16_t> decimalSeparator{u','};
std::atomic<char16_t> thousandSeparator{u'.'};

constexpr int kSignificantDigits = 15;

// Decimal digits of |value| rounded to 15 significant digits, trailing zeros removed, and
// the exponent of the first digit (value = d.ddd x 10^exponent).
struct DecimalDigits {
    QString digits;
    int exponent = 0;
};

DecimalDigits ToDecimalDigits(double value) {
    char buffer[64];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                         std::chars_format::scientific, kSignificantDigits - 1);
    const std::string text(buffer, converted.ptr);  // d.ddddddddddddddde-XX
    const auto exponentAt = text.find('e');
    DecimalDigits result;
    result.digits = QString::fromLatin1(text.substr(0, 1) + text.substr(2, exponentAt - 2));
    while (result.digits.size() > 1 && result.digits.endsWith(u'0')) result.digits.chop(1);
    result.exponent = std::atoi(text.c_str() + exponentAt + 1);
    return result;
}

QString ScientificForm(const DecimalDigits& decimal) {
    QString text = decimal.digits.left(1);
    if (decimal.digits.size() > 1) text += DecimalSeparator() + decimal.digits.mid(1);
    text += u'E';
    if (decimal.exponent < 0) text += u'-';
    return text + QString::number(std::abs(decimal.exponent));
}

QString FixedForm(const DecimalDigits& decimal) {
    if (decimal.exponent < 0)
        return QStringLiteral("0") + DecimalSeparator() +
               QString(-decimal.exponent - 1, u'0') + decimal.digits;
    const qsizetype integerDigits = decimal.exponent + 1;
    if (decimal.digits.size() <= integerDigits)
        return decimal.digits + QString(integerDigits - decimal.digits.size(), u'0');
    return decimal.digits.left(integerDigits) + DecimalSeparator() +
           decimal.digits.mid(integerDigits);
}

// Rounds the digits (value = 0.d1d2... x 10^(exponent + 1)) to `keep` digits, half up.
DecimalDigits RoundDigits(DecimalDigits decimal, qsizetype keep) {
    if (keep < 0 || decimal.digits.isEmpty()) return DecimalDigits{QString(), 0};
    if (keep >= decimal.digits.size()) return decimal;
    const bool up = decimal.digits.at(keep).unicode() >= u'5';
    decimal.digits.truncate(keep);
    if (!up) return decimal;
    qsizetype at = keep - 1;
    while (at >= 0 && decimal.digits.at(at) == u'9') decimal.digits[at--] = u'0';
    if (at >= 0) {
        decimal.digits[at] = QChar(decimal.digits.at(at).unicode() + 1);
    } else {
        decimal.digits.prepend(u'1');
        ++decimal.exponent;
    }
    return decimal;
}

// One section of a FormatFloat format, read once.
struct NumberPattern {
    QString prefix;
    QString suffix;
    int integerPlaceholders = 0;
    int minIntegerDigits = 0;
    int minFraction = 0;
    int maxFraction = 0;
    bool thousands = false;
    bool scientific = false;
    bool exponentSign = false;
    int exponentDigits = 0;
    bool hasPlaceholders = false;
};

QStringList SplitSections(const QString& format) {
    QStringList sections{QString()};
    QChar quote;
    for (const QChar c : format) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u';' && sections.size() < 3) {
            sections.append(QString());
            continue;
        }
        sections.last() += c;
    }
    return sections;
}

NumberPattern ReadPattern(const QString& section) {
    NumberPattern pattern;
    bool point = false;
    int firstZero = -1;
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section.at(i);
        QString& literal = pattern.hasPlaceholders ? pattern.suffix : pattern.prefix;
        if (c == u'"' || c == u'\'') {
            const qsizetype end = section.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? section.size() : end;
            literal += section.mid(i + 1, stop - i - 1);
            i = stop;
        } else if (c == u'0' || c == u'#') {
            pattern.hasPlaceholders = true;
            if (point) {
                ++pattern.maxFraction;
                if (c == u'0') pattern.minFraction = pattern.maxFraction;
            } else {
                if (c == u'0' && firstZero < 0) firstZero = pattern.integerPlaceholders;
                ++pattern.integerPlaceholders;
            }
        } else if (c == u'.' && !point) {
            point = true;
        } else if (c == u',' && !point) {
            pattern.thousands = true;
        } else if ((c == u'E' || c == u'e') && pattern.hasPlaceholders && !pattern.scientific &&
                   i + 1 < section.size() && (section.at(i + 1) == u'+' || section.at(i + 1) == u'-')) {
            pattern.scientific = true;
            pattern.exponentSign = section.at(++i) == u'+';
            while (i + 1 < section.size() && section.at(i + 1) == u'0') {
                ++pattern.exponentDigits;
                ++i;
            }
        } else {
            literal += c;
        }
    }
    pattern.minIntegerDigits = firstZero < 0 ? 0 : pattern.integerPlaceholders - firstZero;
    return pattern;
}

QString GroupThousands(const QString& integer) {
    QString grouped;
    for (qsizetype i = 0; i < integer.size(); ++i) {
        if (i > 0 && (integer.size() - i) % 3 == 0) grouped += ThousandSeparator();
        grouped += integer.at(i);
    }
    return grouped;
}

QString TrimFraction(QString fraction, const NumberPattern& pattern) {
    while (fraction.size() > pattern.minFraction && fraction.endsWith(u'0')) fraction.chop(1);
    return fraction;
}

// The digits of |value| placed by a pattern without exponent; `zero` tells whether they
// rounded to zero.
QString FixedNumber(const DecimalDigits& exact, const NumberPattern& pattern, bool& zero) {
    const DecimalDigits decimal = RoundDigits(exact, exact.exponent + 1 + pattern.maxFraction);
    zero = decimal.digits.isEmpty() || decimal.digits.count(u'0') == decimal.digits.size();
    QString integer;
    QString fraction;
    if (!zero && decimal.exponent >= 0) {
        integer = decimal.digits.left(decimal.exponent + 1);
        integer += QString(decimal.exponent + 1 - integer.size(), u'0');
        fraction = decimal.digits.mid(decimal.exponent + 1);
    } else if (!zero) {
        fraction = QString(-decimal.exponent - 1, u'0') + decimal.digits;
    }
    fraction = TrimFraction(fraction.leftJustified(pattern.maxFraction, u'0', true), pattern);
    if (integer.size() < pattern.minIntegerDigits)
        integer = QString(pattern.minIntegerDigits - integer.size(), u'0') + integer;
    if (pattern.thousands) integer = GroupThousands(integer);
    return fraction.isEmpty() ? integer : integer + DecimalSeparator() + fraction;
}

QString ScientificNumber(const DecimalDigits& exact, const NumberPattern& pattern, bool& zero) {
    DecimalDigits decimal = RoundDigits(exact, 1 + pattern.maxFraction);
    zero = decimal.digits.isEmpty();
    if (zero) decimal = DecimalDigits{QStringLiteral("0"), 0};
    const QString fraction =
        TrimFraction(decimal.digits.mid(1).leftJustified(pattern.maxFraction, u'0', true), pattern);
    QString text = decimal.digits.left(1);
    if (!fraction.isEmpty()) text += DecimalSeparator() + fraction;
    text += u'E';
    if (decimal.exponent < 0) {
        text += u'-';
    } else if (pattern.exponentSign) {
        text += u'+';
    }
    return text + QString::number(std::abs(decimal.exponent)).rightJustified(pattern.exponentDigits, u'0');
}

qsizetype SkipSpaces(const QString& text, qsizetype at) {
    while (at < text.size() && text.at(at) == u' ') ++at;
    return at;
}

qsizetype SkipDigits(const QString& text, qsizetype at, std::string& out) {
    while (at < text.size() && text.at(at).unicode() >= u'0' && text.at(at).unicode() <= u'9')
        out += static_cast<char>(text.at(at++).unicode());
    return at;
}

int HexDigitValue(QChar c) {
    const char16_t code = c.unicode();
    if (code >= u'0' && code <= u'9') return code - u'0';
    if (code >= u'a' && code <= u'f') return code - u'a' + 10;
    if (code >= u'A' && code <= u'F') return code - u'A' + 10;
    return -1;
}

// Length of a hexadecimal prefix ($, x, X, 0x, 0X) at `at`, 0 when there is none.
qsizetype HexPrefixLength(const QString& text, qsizetype at) {
    const QChar first = at < text.size() ? text.at(at) : QChar();
    if (first == u'$' || first == u'x' || first == u'X') return 1;
    const QChar second = at + 1 < text.size() ? text.at(at + 1) : QChar();
    if (first == u'0' && (second == u'x' || second == u'X')) return 2;
    return 0;
}

// Reads the magnitude as an unsigned number no larger than `limit`.
bool ReadMagnitude(const QString& text, qsizetype at, int base, quint64 limit, quint64& magnitude) {
    if (at >= text.size()) return false;
    magnitude = 0;
    for (; at < text.size(); ++at) {
        const int digit = HexDigitValue(text.at(at));
        if (digit < 0 || digit >= base) return false;
        if (magnitude > (limit - static_cast<quint64>(digit)) / static_cast<quint64>(base))
            return false;
        magnitude = magnitude * static_cast<quint64>(base) + static_cast<quint64>(digit);
    }
    return true;
}

}  // namespace

QChar DecimalSeparator() { return QChar(decimalSeparator.load(std::memory_order_relaxed)); }
QChar ThousandSeparator() { return QChar(thousandSeparator.load(std::memory_order_relaxed)); }

void SetDecimalSeparator(QChar separator) {
    decimalSeparator.store(separator.unicode(), std::memory_order_relaxed);
}

void SetThousandSeparator(QChar separator) {
    thousandSeparator.store(separator.unicode(), std::memory_order_relaxed);
}

QString FloatToStr(double value) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0) return QStringLiteral("0");
    const DecimalDigits decimal = ToDecimalDigits(value);
    const bool scientific = decimal.exponent < -4 || decimal.exponent >= kSignificantDigits;
    const QString magnitude = scientific ? ScientificForm(decimal) : FixedForm(decimal);
    return value < 0 ? u'-' + magnitude : magnitude;
}

QString FormatFloat(const QString& format, double value) {
    if (format.isEmpty() || !std::isfinite(value)) return FloatToStr(value);
    const QStringList sections = SplitSections(format);
    qsizetype chosen = 0;
    if (value < 0 && sections.size() >= 2 && !sections.at(1).isEmpty()) {
        chosen = 1;
    } else if (value == 0 && sections.size() >= 3 && !sections.at(2).isEmpty()) {
        chosen = 2;
    }
    const NumberPattern pattern = ReadPattern(sections.at(chosen));
    if (!pattern.hasPlaceholders) return pattern.prefix + pattern.suffix;
    const DecimalDigits exact =
        value == 0 ? DecimalDigits{QString(), 0} : ToDecimalDigits(value);
    bool zero = true;
    const QString number = pattern.scientific ? ScientificNumber(exact, pattern, zero)
                                              : FixedNumber(exact, pattern, zero);
    const bool minus = value < 0 && chosen == 0 && !zero;
    return (minus ? QStringLiteral("-") : QString()) + pattern.prefix + number + pattern.suffix;
}

bool TryStrToFloat(const QString& text, double& value) {
    std::string number;
    qsizetype at = SkipSpaces(text, 0);
    if (at < text.size() && (text.at(at) == u'-' || text.at(at) == u'+'))
        number += static_cast<char>(text.at(at++).unicode());
    const size_t signLength = number.size();
    at = SkipDigits(text, at, number);
    size_t mantissaDigits = number.size() - signLength;
    if (at < text.size() && text.at(at) == DecimalSeparator()) {
        number += '.';
        const size_t before = number.size();
        at = SkipDigits(text, at + 1, number);
        mantissaDigits += number.size() - before;
    }
    if (mantissaDigits == 0) return false;
    if (at < text.size() && (text.at(at) == u'e' || text.at(at) == u'E')) {
        number += 'e';
        ++at;
        if (at < text.size() && (text.at(at) == u'-' || text.at(at) == u'+'))
            number += static_cast<char>(text.at(at++).unicode());
        const size_t before = number.size();
        at = SkipDigits(text, at, number);
        if (number.size() == before) return false;
    }
    if (SkipSpaces(text, at) != text.size()) return false;
    const char* first = number.c_str();
    if (*first == '+') ++first;
    double parsed = 0;
    const auto result = std::from_chars(first, number.c_str() + number.size(), parsed);
    if (result.ec != std::errc() || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

bool TryStrToInteger(const QString& text, int bits, qint64& value) {
    qsizetype at = SkipSpaces(text, 0);
    bool negative = false;
    if (at < text.size() && (text.at(at) == u'-' || text.at(at) == u'+'))
        negative = text.at(at++) == u'-';
    const quint64 widthMask = bits >= 64 ? std::numeric_limits<quint64>::max()
                                         : (quint64{1} << bits) - 1;
    const quint64 signedMax = widthMask >> 1;
    const qsizetype prefix = HexPrefixLength(text, at);
    quint64 magnitude = 0;
    if (prefix > 0) {
        if (!ReadMagnitude(text, at + prefix, 16, widthMask, magnitude)) return false;
    } else if (!ReadMagnitude(text, at, 10, negative ? signedMax + 1 : signedMax, magnitude)) {
        return false;
    }
    quint64 pattern = (negative ? quint64{0} - magnitude : magnitude) & widthMask;
    if (bits < 64 && (pattern >> (bits - 1)) != 0) pattern |= ~widthMask;  // sign-extend
    value = static_cast<qint64>(pattern);
    return true;
}

}  // namespace format_settings
