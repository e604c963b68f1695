#pragma once

#include <QString>

namespace text {

// Removes leading and trailing characters whose code is 32 or below.
QString Trim(const QString& value);

// The text in single quotes, inner single quotes doubled.
QString Quoted(const QString& value);

}  // namespace text
