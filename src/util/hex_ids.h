#pragma once

#include <QString>

// The hexadecimal identifiers the system writes, each made in one place.
namespace hex_ids {

// SHA-1 of the text's UTF-8 bytes as 40 lower-case hexadecimal digits (rule-set documents,
// summary acknowledgements).
QString Sha1(const QString& text);

// A fresh GUID without braces and dashes: 32 upper-case hexadecimal digits (installation
// descriptions, serial requests).
QString NewGuid();

}  // namespace hex_ids
