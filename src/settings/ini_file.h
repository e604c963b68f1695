#pragma once

#include <QString>

// An initialisation file with Windows profile semantics: every call reads the file as it
// is on disk and every change is written back at once, so the file is always the truth.
// Section and key names are case-insensitive; values are stored verbatim ("Key=Value",
// no quoting, no escaping, no list syntax) and the file is written as UTF-8 without a
// byte-order mark. Booleans are written as 1 and 0 and read as integers (non-zero is
// true); integers are decimal.
//
// A missing file reads as empty and is created by the first write. A file that exists
// but cannot be read, or cannot be written, raises MeltrixError; so does a value holding
// a line break, which would turn into lines of its own (other keys) on the next read.
class TIniFile {
public:
    explicit TIniFile(QString fileName);

    const QString& fileName() const { return FFileName; }

    // The default only when the key is absent: a present, empty key reads as empty.
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // The default when the key is absent or its value is not a decimal integer.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // The section stays, even when it becomes empty.
    void DeleteKey(const QString& section, const QString& key);

private:
    QString FFileName;
};
