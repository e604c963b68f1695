#pragma once

#include "rules/regra.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <unordered_map>

// The rule set of one machine: the rules of one JSON document keyed by name, the trigger
// links between them and the ordered sub-lists other parts walk. A reload keeps the value
// of every rule that survives it and is skipped when the same document arrives again.
// No lock of its own: the owning data process's rules mutex guards it.
class TRegras {
public:
    using ProcForEach = std::function<void(TRegra&)>;
    using TRegraList = QList<TRegra*>;
    using TRegraDict = std::unordered_map<QString, std::unique_ptr<TRegra>>;

    TRegras() = default;
    TRegras(const TRegras&) = delete;
    TRegras& operator=(const TRegras&) = delete;

    // Loads a document. Throws MeltrixError when it cannot be loaded; the previous rules
    // then stay in place untouched. An identifier of the reference list that is not an
    // integer throws after the new set is installed (the list then keeps document order).
    void fromJSON(const QString& json);

    void forEach(const ProcForEach& action) const;
    static void forEach(const TRegraList& inList, const ProcForEach& action);

    // The rule with this key (callers upper-case it), or nullptr.
    TRegra* find(const QString& nome) const;

    const QString& json() const { return _json; }
    const QString& jsonSHA1() const { return FJsonSHA1; }
    const TRegraDict& dict() const { return _dict; }
    const TRegraList& specialList() const { return _specialList; }
    const TRegraList& withRefList() const { return _withRefList; }
    const TRegraList& protBrelkProtList() const { return _protBrelkProtList; }

    // Adds a rule made outside a document (a tag without a rule); it stays until the next load.
    TRegra& add(std::unique_ptr<TRegra> regra);

private:
    struct Loaded;

    bool jsonChanged(const QString& trimmed);
    static Loaded parse(const QString& trimmed);
    void install(Loaded& loaded, const QString& trimmed);
    void sortWithRefList();

    QString _json;
    QString FJsonSHA1;
    TRegraDict _dict;
    TRegraList _protBrelkProtList;
    TRegraList _specialList;
    TRegraList _withRefList;
};
