#pragma once

#include <QByteArray>
#include <QString>

// Text as it crosses the disk and the machine link. Written text is UTF-8 without a
// byte-order mark; read text honours a byte-order mark, else is UTF-8, and falls back
// to Windows-1252 when the bytes are not valid UTF-8 (files from a Windows installation).
namespace code_page {

QString Decode(const QByteArray& bytes);
QByteArray Encode(const QString& text);

// Throws MeltrixError when the file cannot be read or written.
QString ReadTextFile(const QString& path);
void WriteTextFile(const QString& path, const QString& text);

}  // namespace code_page
