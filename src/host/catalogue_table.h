#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <optional>

// One entry of a catalogue list sent by the cloud: a manufacturer, a product line or a model.
struct TCatalogueEntry {
    QString ID;
    QString ParentID;  // ID_FABRICANTE of a line, ID_LINHA of a model; empty for a manufacturer
    QString NOME;

    bool operator==(const TCatalogueEntry&) const = default;
};

// An in-memory catalogue table (manufacturers, product lines or models), replaced whole each
// time the cloud sends its list. Columns: ID, the parent's column when there is one, NOME.
// The machine editor draws its choice lists from these tables. Main thread only.
class TCatalogueTable : public QAbstractTableModel {
    Q_OBJECT

public:
    // parentColumn: "ID_FABRICANTE" for lines, "ID_LINHA" for models, empty for manufacturers.
    explicit TCatalogueTable(QString parentColumn = {}, QObject* parent = nullptr);

    const QString& parentColumn() const { return FParentColumn; }
    QString columnName(int column) const;
    int idColumn() const { return 0; }
    int nomeColumn() const { return FParentColumn.isEmpty() ? 1 : 2; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    int count() const { return static_cast<int>(FEntries.size()); }
    const TCatalogueEntry& at(int position) const;  // throws MeltrixError out of range

    void replaceAll(QList<TCatalogueEntry> entries);

    // NOME of the first entry whose ID equals id, letter case ignored.
    std::optional<QString> NomeOf(const QString& id) const;

private:
    QString FParentColumn;
    QList<TCatalogueEntry> FEntries;
};
