#pragma once

#include "summaries/resumo.h"
#include "summaries/resumo_journal.h"
#include "util/log_types.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <deque>
#include <mutex>
#include <optional>

// The summaries of one machine that the cloud has not acknowledged yet. Summaries are grouped
// in batches of ten; batches live in memory, each also kept in a journal file so that a crash
// loses nothing, and move to numbered batch files in "Resumo" when memory is full or when the
// agent ends. Batch files are handed out before memory batches, the oldest first, one batch at
// a time until it is deleted.
//
// Every operation takes the cache's own lock, which nests inside the rules mutex; log lines
// are handed to the log procedure after the lock is released.
class TResumoMemCache {
public:
    static constexpr quint16 resumosPerLote = 10;
    static constexpr quint16 maxLotesInMemory = 500;

    // Summaries in the order in which they were saved.
    class TLoteResumo {
    public:
        // Appends the summaries of a batch text: "***" closes a summary, even an empty one.
        void parse(const QString& lote);
        void add(TResumo resumo) { FResumos.append(std::move(resumo)); }

        // Each summary with lines: its lines, an empty line and "***", all ended by CR LF.
        QString text() const;
        static QString textOf(const TResumo& resumo);

        const QList<TResumo>& resumos() const { return FResumos; }
        qsizetype count() const { return FResumos.size(); }
        bool isEmpty() const { return FResumos.isEmpty(); }

    private:
        QList<TResumo> FResumos;
    };

    // The batch that get handed out: the first memory batch or the batch file at idx.
    struct RLoteCursor {
        bool onMemory = true;
        int idx = -1;
        QString content;

        bool isInvalid() const { return onMemory && idx == -1; }
        void reset() { *this = RLoteCursor(); }
        void set_(bool onMemory_, int idx_, const QString& content_) {
            onMemory = onMemory_;
            idx = idx_;
            content = content_;
        }
    };

    // Indexes the batch files of this serial left by earlier runs, after turning the journals
    // of batches that an ended process kept only in memory into batch files. Throws
    // MeltrixError when the "Resumo" folder cannot be created.
    TResumoMemCache(QString serial, TProcRegLog3 logProc);
    // Writes nothing: memory batches stay only in their journals until the next creation.
    ~TResumoMemCache() = default;
    TResumoMemCache(const TResumoMemCache&) = delete;
    TResumoMemCache& operator=(const TResumoMemCache&) = delete;

    // Keeps a summary. When memory is full all memory batches are written to files first; if
    // that fails the summary is kept all the same and the MeltrixError is rethrown.
    void save(TResumo resumo);
    // The batch to send next; the same text until it is deleted; empty when there is none.
    QString get();
    // Deletes the batch that get handed out. Throws MeltrixError when there is none.
    void delete_();
    // A copy of the newest summary, or nothing.
    std::optional<TResumo> queryLast() const;
    // Writes every memory batch to a batch file. Throws MeltrixError on a write failure; the
    // batches not written stay in memory.
    void persist();

    quint16 amountOfLotes() const;               // memory batches plus batch files
    quint16 amountOfLotesInMemory() const;
    quint16 amountOfLotesInMemoryArray() const;  // summaries in the first memory batch
    quint32 amountOfLotesInDisk() const;
    RLoteCursor currLote() const;

private:
    struct TMemoryLote {
        TLoteResumo lote;
        TResumoJournal journal;
    };

    template <typename Fn>
    auto underLock(Fn&& fn) const;
    void log(const QString& message, bool danger) const;
    void flushLog() const noexcept;

    void loadDiskIndex();
    void recoverJournals();
    void recoverJournal(const QString& path);
    QString writeBatchFile(const QString& text);
    void writeMemoryToFiles();
    void openLote();
    void keep(TResumo resumo);
    void closeLote(TMemoryLote& memoryLote, const QString& origin);
    void removeJournal(const TResumoJournal& journal, const QString& origin);
    std::optional<QString> nextBatchFile();
    void setAside(const QString& path, const QString& problem);

    mutable std::mutex lock;
    const QString serial;
    const TProcRegLog3 logProc;
    const QString resumoFolder;
    std::deque<TMemoryLote> primaryMem;
    QStringList secondaryMem;
    quint32 orderID = 0;
    RLoteCursor _currLote;
    quint32 journalSeq = 0;
    mutable QList<QPair<QString, bool>> pendingLog;
};
