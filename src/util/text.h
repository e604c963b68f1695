#pragma once

#include <QString>

namespace text {

// Removes leading and trailing characters whose code is 32 or below.
QString Trim(const QString& value);

}  // namespace text
