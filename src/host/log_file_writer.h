#pragma once

#include <QDate>
#include <QString>

#include <mutex>

// Writes log lines into daily files in the "Logs" folder: "SOCKET_<ddmmyyyy>.log" for
// socket events, "Meltrix_<ddmmyyyy>.log" for the installation itself (empty serial) and
// "<serial>_<ddmmyyyy>.log" per machine. Every write opens, appends one line and closes,
// so a deleted folder or file is simply created again. Safe from any thread.
class TLogFileWriter {
public:
    // "dd/mm HH:nn:ss message", stamped with the current time.
    static QString StampedLine(const QString& message);

    static QString FileName(const QString& serial, const QDate& day);

    // Throws MeltrixError when the folder or file cannot be written, or when the serial
    // cannot be part of a file name.
    void Append(const QString& serial, const QString& line);

private:
    std::mutex FCriticalLog;
};
