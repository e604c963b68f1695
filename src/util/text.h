#pragma once

#include <QString>
#include <QStringView>

namespace text {

// Removes leading and trailing characters whose code is 32 or below.
QString Trim(const QString& value);

// The same, as a view into value: for hot paths that build their own text from the result.
QStringView Trim(QStringView value);

// The text in single quotes, inner single quotes doubled.
QString Quoted(const QString& value);

}  // namespace text
