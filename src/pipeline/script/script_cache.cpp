#include "pipeline/script/script_cache.h"

#include "pipeline/script/script_parser.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <optional>

namespace script_cache {

namespace {

struct Entry {
    std::shared_ptr<const ScriptProgram> program;
    std::optional<ScriptCompileError> error;
};

struct Cache {
    QMutex mutex;
    QHash<QString, Entry> entries;
};

Cache& Shared() {
    static Cache cache;
    return cache;
}

Entry Parse(const QString& source) {
    try {
        return Entry{ParseScript(source), std::nullopt};
    } catch (const ScriptCompileError& error) {
        return Entry{nullptr, error};
    }
}

std::shared_ptr<const ScriptProgram> Unpack(const Entry& entry) {
    if (entry.error) throw *entry.error;
    return entry.program;
}

}  // namespace

std::shared_ptr<const ScriptProgram> Obtain(const QString& source) {
    Cache& cache = Shared();
    {
        const QMutexLocker lock(&cache.mutex);
        const auto found = cache.entries.constFind(source);
        if (found != cache.entries.constEnd()) return Unpack(found.value());
    }
    // Parsing runs outside the lock; when two threads parse the same text, the first stored wins.
    Entry parsed = Parse(source);
    {
        const QMutexLocker lock(&cache.mutex);
        const auto found = cache.entries.constFind(source);
        if (found != cache.entries.constEnd()) return Unpack(found.value());
        if (cache.entries.size() >= kMaxEntries) cache.entries.clear();
        cache.entries.insert(source, parsed);
    }
    return Unpack(parsed);
}

}  // namespace script_cache
