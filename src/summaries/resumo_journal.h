#pragma once

#include <QString>

#include <optional>

// The on-disk copy of one batch that lives in memory, so that its summaries survive a crash
// of the process. The file holds the batch text as it grows, one summary at a time, under a
// name that batch-file listings never match: "<seq>_<serial>.part". The file is created by the
// first append.
class TResumoJournal {
public:
    explicit TResumoJournal(QString path) : FPath(std::move(path)) {}

    const QString& path() const { return FPath; }

    // Appends the text of one summary and hands it to the system, so that it survives the
    // end of the process. A failed append leaves the file to be rewritten. Throws MeltrixError.
    void append(const QString& piece);
    bool needsRewrite() const { return FNeedsRewrite; }
    // Replaces the file with wholeText, the batch text so far. Throws MeltrixError.
    void rewrite(const QString& wholeText);

    // Forces the written text to the disk. Throws MeltrixError.
    void sync() const;

    // Deletes the file; false when it exists and could not be deleted.
    bool remove() const;

    static QString fileName(const QString& serial, quint32 seq);
    // The sequence number of a journal of exactly this serial; nothing for any other name.
    static std::optional<quint32> seqOf(const QString& fileName, const QString& serial);

    // The text of a journal left by a process that ended without moving it: everything up to
    // its last complete summary, dropping a summary whose writing was cut short.
    static QString completeText(const QString& journalText);

private:
    QString FPath;
    bool FNeedsRewrite = false;
};
