#pragma once

#include <QChar>
#include <QString>

// The process-wide number format and the number <-> text conversions that use it. The
// installation controller fixes the separators once at start; every conversion of a number
// to or from the system's text (script values and results) goes through here.
namespace format_settings {

QChar DecimalSeparator();   // default ','
QChar ThousandSeparator();  // default '.'
void SetDecimalSeparator(QChar separator);
void SetThousandSeparator(QChar separator);

// Object Pascal FloatToStr: general format with 15 significant digits, trailing zeros
// removed, scientific form ("1,5E-7", "1E20") below 1E-4 and from 1E15 on.
QString FloatToStr(double value);

// Object Pascal FormatFloat: sections "positive;negative;zero", digit placeholders 0 and #,
// the decimal point ".", a "," that turns on thousands grouping, exponents E+00 / E-00 and
// quoted literal text. Halves round away from zero. Output uses the separators above.
QString FormatFloat(const QString& format, double value);

// Object Pascal TryStrToFloat: optional blanks, sign, digits with the decimal separator, an
// optional exponent. No thousands separators. False for other text and for overflow.
bool TryStrToFloat(const QString& text, double& value);

// Object Pascal TryStrToInt/TryStrToInt64: optional leading blanks, sign, decimal digits or
// a hexadecimal number written $FF, 0xFF or xFF. Hexadecimal text may use the whole width
// (so $FFFFFFFF is -1 in 32 bits). `bits` is 32 or 64.
bool TryStrToInteger(const QString& text, int bits, qint64& value);

}  // namespace format_settings
