#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Names and text of the agent's files. Text files are written as lines each followed by
// CR LF and read back in that same form; a missing file reads as the empty text.
class TFiles {
public:
    TFiles() = delete;

    // "<orderID>_<serial>_<YYYYMMDD>.txt", dated with the local date at the moment of the call.
    static QString resumo(const QString& serial, quint32 orderID);
    // "<serial>.json"
    static QString regras(const QString& serial);

    // Whether fileName is a batch-file name of exactly this serial (the text between the
    // first and the last "_"), whatever its leading text.
    static bool isResumoOf(const QString& fileName, const QString& serial);
    // The decimal batch number before the first "_"; nothing when there is none.
    static std::optional<quint32> resumoOrderID(const QString& fileName);

    // Both throw MeltrixError when the file exists but cannot be read, or cannot be written.
    static QString readFrom(const QString& filename);
    static void writeTo(const QString& filename, const QString& content);
    static void writeTo(const QString& filename, const QStringList& content);

    // The rule cache of a machine: empty for an empty serial or a missing file.
    static QString readRegrasFile(const QString& serial);
    // Replaces the rule cache; does nothing when json or the serial is empty.
    static void writeRegrasFile(const QString& serial, const QString& json);
};
