#include "summaries/resumo_mem_cache.h"

#include "summaries/files.h"
#include "summaries/paths.h"
#include "util/error.h"
#include "util/text.h"
#include "util/text_lines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

const QString SummaryClose = QStringLiteral("***");
const QString CRLF = QStringLiteral("\r\n");

const QString OriginCreate = QStringLiteral("[TResumoMemCache::create()] ");
const QString OriginSave = QStringLiteral("[TResumoMemCache::save()] ");
const QString OriginGet = QStringLiteral("[TResumoMemCache::get()] ");
const QString OriginDelete = QStringLiteral("[TResumoMemCache::delete()] ");
const QString OriginPersist = QStringLiteral("[TResumoMemCache::persist()] ");
const QString OriginQueryLast = QStringLiteral("[TResumoMemCache::queryLast()] ");

using TNumberedFile = QPair<quint32, QString>;

void SortByNumber(QList<TNumberedFile>& files) {
    std::stable_sort(files.begin(), files.end(),
                     [](const TNumberedFile& l, const TNumberedFile& r) { return l.first < r.first; });
}

std::optional<TResumo> LastOf(const TResumoMemCache::TLoteResumo& lote) {
    if (lote.isEmpty()) return std::nullopt;
    return lote.resumos().last();
}

}  // namespace

// ---- batches

void TResumoMemCache::TLoteResumo::parse(const QString& lote) {
    TResumo current;
    for (const QString& line : text_lines::Split(lote)) {
        if (line.isEmpty()) continue;
        if (line == SummaryClose) {
            FResumos.append(std::exchange(current, TResumo()));
            continue;
        }
        current.add(line);
    }
    if (!current.isEmpty()) FResumos.append(std::move(current));
}

QString TResumoMemCache::TLoteResumo::text() const {
    QString text;
    for (const TResumo& resumo : FResumos) text += textOf(resumo);
    return text;
}

QString TResumoMemCache::TLoteResumo::textOf(const TResumo& resumo) {
    const QString lines = resumo.text();
    return lines.isEmpty() ? QString() : lines + CRLF + SummaryClose + CRLF;
}

// ---- lock and log

template <typename Fn>
auto TResumoMemCache::underLock(Fn&& fn) const {
    // Declared before the guard, so the log lines go out after the lock is released.
    struct Flush {
        const TResumoMemCache& cache;
        ~Flush() { cache.flushLog(); }
    } flush{*this};
    std::lock_guard guard(lock);
    return fn();
}

void TResumoMemCache::log(const QString& message, bool danger) const {
    pendingLog.append({message, danger});
}

void TResumoMemCache::flushLog() const noexcept {
    QList<QPair<QString, bool>> lines;
    {
        std::lock_guard guard(lock);
        lines.swap(pendingLog);
    }
    if (!logProc) return;
    for (const auto& [message, danger] : lines) {
        try {
            logProc(message, danger);
        } catch (...) {
            // A failing log sink must not break the cache nor the caller's step.
        }
    }
}

// ---- creation

TResumoMemCache::TResumoMemCache(QString serial_, TProcRegLog3 logProc_)
    : serial(std::move(serial_)), logProc(std::move(logProc_)), resumoFolder(TPaths::resumo()) {
    underLock([this] {
        loadDiskIndex();
        recoverJournals();
    });
}

void TResumoMemCache::loadDiskIndex() {
    const QDir folder(resumoFolder);
    QList<TNumberedFile> files;
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
        if (!TFiles::isResumoOf(name, serial)) continue;
        if (const auto number = TFiles::resumoOrderID(name))
            files.append({*number, folder.filePath(name)});
        else
            log(OriginCreate + QStringLiteral("File without a batch number ignored: ") + name, true);
    }
    SortByNumber(files);
    for (const auto& file : files) secondaryMem.append(file.second);
    if (!files.isEmpty()) orderID = files.last().first + 1;
}

// Journals are the newest batches of the ended process: they become files numbered after
// the batch files already queued, the oldest journal first.
void TResumoMemCache::recoverJournals() {
    const QDir folder(resumoFolder);
    QList<TNumberedFile> journals;
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name))
        if (const auto seq = TResumoJournal::seqOf(name, serial)) journals.append({*seq, name});
    SortByNumber(journals);
    for (const auto& [seq, name] : journals) {
        journalSeq = std::max(journalSeq, seq + 1);
        recoverJournal(folder.filePath(name));
    }
}

void TResumoMemCache::recoverJournal(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    try {
        const QString text = TResumoJournal::completeText(TFiles::readFrom(path));
        if (text.isEmpty()) {
            log(OriginCreate + QStringLiteral("Journal without a complete summary removed: ") + name,
                false);
        } else {
            TLoteResumo lote;
            lote.parse(text);
            const QString file = writeBatchFile(text);
            log(OriginCreate + QStringLiteral("%1 summaries of the journal %2 recovered into %3")
                                   .arg(lote.count())
                                   .arg(name, QFileInfo(file).fileName()),
                false);
        }
        removeJournal(TResumoJournal(path), OriginCreate);
    } catch (const MeltrixError& error) {
        log(OriginCreate + QStringLiteral("Journal %1 not recovered: %2").arg(name, error.message()),
            true);
    }
}

// ---- batch files

QString TResumoMemCache::writeBatchFile(const QString& text) {
    const QString path = TPaths::combine(TPaths::resumo(), TFiles::resumo(serial, orderID));
    TFiles::writeTo(path, text);
    ++orderID;
    secondaryMem.append(path);
    return path;
}

// Batches leave memory one at a time, each right after its file is written, so a failure
// part-way leaves every batch exactly once: in the file queue or still in memory. A handed-out
// batch takes the cursor along to its file, so that delete removes that very batch.
void TResumoMemCache::writeMemoryToFiles() {
    while (!primaryMem.empty()) {
        TMemoryLote& first = primaryMem.front();
        const QString text = first.lote.text();
        if (!text.isEmpty()) {
            writeBatchFile(text);
            if (!_currLote.isInvalid() && _currLote.onMemory)
                _currLote.set_(false, static_cast<int>(secondaryMem.size() - 1), _currLote.content);
        }
        removeJournal(first.journal, OriginPersist);
        primaryMem.pop_front();
    }
}

void TResumoMemCache::removeJournal(const TResumoJournal& journal, const QString& origin) {
    if (!journal.remove())
        log(origin + QStringLiteral("Cannot delete the journal %1; its summaries will be sent again "
                                    "after a restart")
                         .arg(journal.path()),
            true);
}

// ---- memory batches

void TResumoMemCache::openLote() {
    const QString path = TPaths::combine(resumoFolder, TResumoJournal::fileName(serial, journalSeq++));
    primaryMem.push_back({TLoteResumo(), TResumoJournal(path)});
}

void TResumoMemCache::keep(TResumo resumo) {
    TMemoryLote& last = primaryMem.back();
    const QString piece = TLoteResumo::textOf(resumo);
    last.lote.add(std::move(resumo));
    if (piece.isEmpty()) return;
    try {
        if (last.journal.needsRewrite())
            last.journal.rewrite(last.lote.text());
        else
            last.journal.append(piece);
    } catch (const MeltrixError& error) {
        log(OriginSave + error.message(), true);
    }
    if (last.lote.count() == resumosPerLote) closeLote(last, OriginSave);
}

// A batch that takes no more summaries is forced to the disk.
void TResumoMemCache::closeLote(TMemoryLote& memoryLote, const QString& origin) {
    try {
        memoryLote.journal.sync();
    } catch (const MeltrixError& error) {
        log(origin + error.message(), true);
    }
}

// ---- operations

void TResumoMemCache::save(TResumo resumo) {
    underLock([&] {
        const bool needsNewLote =
            primaryMem.empty() || primaryMem.back().lote.count() == resumosPerLote;
        std::exception_ptr writeFailure;
        if (needsNewLote && primaryMem.size() + 1 >= maxLotesInMemory) {
            try {
                writeMemoryToFiles();
            } catch (const MeltrixError&) {
                writeFailure = std::current_exception();
            }
        }
        if (needsNewLote) openLote();
        keep(std::move(resumo));
        if (writeFailure) std::rethrow_exception(writeFailure);
    });
}

QString TResumoMemCache::get() {
    return underLock([this]() -> QString {
        if (!_currLote.isInvalid()) return _currLote.content;
        if (auto text = nextBatchFile()) return *text;
        if (primaryMem.empty()) {
            _currLote.reset();
            return {};
        }
        TMemoryLote& first = primaryMem.front();
        if (first.lote.isEmpty()) return {};
        const QString text = first.lote.text();
        if (text.isEmpty()) {
            _currLote.reset();
            return text;
        }
        _currLote.set_(true, 0, text);
        if (primaryMem.size() == 1) {
            // Later summaries go to another batch than the one handed out.
            closeLote(first, OriginGet);
            openLote();
        }
        return text;
    });
}

// An empty or unreadable file would be offered forever: it leaves the queue and the next one
// is offered.
std::optional<QString> TResumoMemCache::nextBatchFile() {
    while (!secondaryMem.isEmpty()) {
        const QString path = secondaryMem.first();
        QString text;
        QString problem = QStringLiteral("empty");
        try {
            text = TFiles::readFrom(path);
        } catch (const MeltrixError& error) {
            problem = error.message();
        }
        if (!text::Trim(text).isEmpty()) {
            _currLote.set_(false, 0, text);
            return text;
        }
        secondaryMem.removeFirst();
        setAside(path, problem);
    }
    return std::nullopt;
}

void TResumoMemCache::setAside(const QString& path, const QString& problem) {
    if (!QFileInfo::exists(path)) {
        log(OriginGet + QStringLiteral("Batch file gone, left out of the queue: ") + path, true);
        return;
    }
    const QString aside = path + QStringLiteral(".bad");
    QFile::remove(aside);
    if (QFile::rename(path, aside))
        log(OriginGet + QStringLiteral("Batch file moved aside (%1): %2").arg(problem, aside), true);
    else
        log(OriginGet + QStringLiteral("Batch file left out of the queue (%1), it could not be "
                                       "renamed: %2")
                            .arg(problem, path),
            true);
}

void TResumoMemCache::delete_() {
    underLock([this] {
        if (_currLote.isInvalid())
            throw MeltrixError(OriginDelete +
                               QStringLiteral("You cannot delete an lote without getting it first!"));
        if (_currLote.onMemory) {
            const auto handedOut = primaryMem.begin() + _currLote.idx;
            removeJournal(handedOut->journal, OriginDelete);
            primaryMem.erase(handedOut);
        } else {
            const QString path = secondaryMem.takeAt(_currLote.idx);
            if (!QFile::remove(path) && QFileInfo::exists(path))
                log(OriginDelete + QStringLiteral("Cannot delete the batch file ") + path, true);
        }
        _currLote.reset();
    });
}

std::optional<TResumo> TResumoMemCache::queryLast() const {
    return underLock([this]() -> std::optional<TResumo> {
        if (!primaryMem.empty()) return LastOf(primaryMem.back().lote);
        if (secondaryMem.isEmpty()) return std::nullopt;
        try {
            TLoteResumo newest;
            newest.parse(TFiles::readFrom(secondaryMem.last()));
            return LastOf(newest);
        } catch (const MeltrixError& error) {
            log(OriginQueryLast + error.message(), true);
            return std::nullopt;
        }
    });
}

void TResumoMemCache::persist() {
    underLock([this] { writeMemoryToFiles(); });
}

// ---- counters

quint16 TResumoMemCache::amountOfLotes() const {
    return underLock(
        [this] { return static_cast<quint16>(primaryMem.size() + secondaryMem.size()); });
}

quint16 TResumoMemCache::amountOfLotesInMemory() const {
    return underLock([this] { return static_cast<quint16>(primaryMem.size()); });
}

quint16 TResumoMemCache::amountOfLotesInMemoryArray() const {
    return underLock([this] {
        return static_cast<quint16>(primaryMem.empty() ? 0 : primaryMem.front().lote.count());
    });
}

quint32 TResumoMemCache::amountOfLotesInDisk() const {
    return underLock([this] { return static_cast<quint32>(secondaryMem.size()); });
}

TResumoMemCache::RLoteCursor TResumoMemCache::currLote() const {
    return underLock([this] { return _currLote; });
}
