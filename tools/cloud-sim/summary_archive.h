#pragma once

#include <QString>

// Keeps every summary batch received: appended, as received, to one file per machine
// ("<serial>.txt", characters other than letters, digits, ".", "_" and "-" replaced by "_").
class TSummaryArchive {
public:
    // Creates the folder when missing. Throws MeltrixError when it cannot.
    explicit TSummaryArchive(QString folder);

    // Returns the file written to. Throws MeltrixError when the file cannot be written.
    QString append(const QString& serial, const QString& batch) const;

    static QString FileNameOf(const QString& serial);

private:
    QString FFolder;
};
