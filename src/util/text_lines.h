#pragma once

#include <QString>
#include <QStringList>

// Text seen as a list of lines, the way the system's text files are read and written.
namespace text_lines {

// Breaks at CR LF, LF or CR; a final line break adds no empty line; an empty text has no line.
QStringList Split(const QString& text);

// Every line followed by CR LF.
QString Join(const QStringList& lines);

// Split and Join: the text as it reads back from a file written with it.
QString Normalised(const QString& text);

}  // namespace text_lines
