#include "host/catalogue_table.h"

#include "util/error.h"

TCatalogueTable::TCatalogueTable(QString parentColumn, QObject* parent)
    : QAbstractTableModel(parent), FParentColumn(std::move(parentColumn)) {}

QString TCatalogueTable::columnName(int column) const {
    if (column == idColumn()) return QStringLiteral("ID");
    if (column == nomeColumn()) return QStringLiteral("NOME");
    if (column == 1 && !FParentColumn.isEmpty()) return FParentColumn;
    return {};
}

int TCatalogueTable::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

int TCatalogueTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : nomeColumn() + 1;
}

QVariant TCatalogueTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this) return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    const TCatalogueEntry& entry = at(index.row());
    if (index.column() == idColumn()) return entry.ID;
    if (index.column() == nomeColumn()) return entry.NOME;
    return entry.ParentID;
}

QVariant TCatalogueTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return columnName(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

const TCatalogueEntry& TCatalogueTable::at(int position) const {
    if (position < 0 || position >= count())
        throw MeltrixError(QStringLiteral("[TCatalogueTable] Linha inexistente: %1").arg(position));
    return FEntries[position];
}

void TCatalogueTable::replaceAll(QList<TCatalogueEntry> entries) {
    beginResetModel();
    FEntries = std::move(entries);
    endResetModel();
}

std::optional<QString> TCatalogueTable::NomeOf(const QString& id) const {
    for (const TCatalogueEntry& entry : FEntries)
        if (entry.ID.compare(id, Qt::CaseInsensitive) == 0) return entry.NOME;
    return std::nullopt;
}
