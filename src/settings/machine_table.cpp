#include "settings/machine_table.h"

#include "util/error.h"
#include "util/text.h"

#include <QMetaEnum>

#include <algorithm>

namespace {

int CompareNames(const QString& left, const QString& right) {
    return QString::compare(left, right, Qt::CaseInsensitive);
}

// The list file is one line, separates fields with ":" and records with "|" and has no escaping.
void RefuseSeparators(TMachineTable::Column column, const QString& value) {
    if (value.contains(u':') || value.contains(u'|') || value.contains(u'\r') || value.contains(u'\n'))
        throw MeltrixError(QStringLiteral("O campo %1 não pode conter \":\", \"|\" nem quebra de linha: %2")
                               .arg(TMachineTable::columnName(column), value));
}

}  // namespace

TMachineRow TMachineRow::NewMachine() {
    TMachineRow row;
    row.Endereco = QStringLiteral("127.0.0.1");
    row.Porta = 7878;
    row.Protocolo = QStringLiteral("MTConnect");
    return row;
}

QString TMachineRow::EnderecoDesc() const {
    return Protocolo + QStringLiteral(" - ") + Endereco + u':' + QString::number(Porta);
}

QString TMachineRow::MaquinaStatus() const {
    return Protocolo == u"MQTT" ? MqttStatus : TelnetStatus;
}

TMaquina TMachineRow::toMaquina() const {
    TMaquina maquina;
    maquina.setNome(Nome);
    maquina.setSerial(Serial);
    maquina.setEndereco(Endereco);
    maquina.setPorta(Porta);
    maquina.setProtocolo(Protocolo);
    maquina.setIDFabricante(IDFabricante);
    maquina.setIDLinha(IDLinha);
    maquina.setIDModelo(IDModelo);
    maquina.setEnviarStorage(EnviarStorage);
    return maquina;
}

TMachineTable::TMachineTable(QObject* parent) : QAbstractTableModel(parent) {}

QString TMachineTable::columnName(int column) {
    if (column < 0 || column >= ColumnCount) return {};
    return QString::fromLatin1(QMetaEnum::fromType<Column>().valueToKey(column));
}

int TMachineTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int TMachineTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TMachineTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this) return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    const TMachineRow& row = at(index.row());
    switch (index.column()) {
        case ID: return row.ID;
        case NOME: return row.Nome;
        case SERIAL: return row.Serial;
        case ENDERECO: return row.Endereco;
        case PORTA: return row.Porta;
        case PROTOCOLO: return row.Protocolo;
        case MAQUINA_STATUS: return row.MaquinaStatus();
        case MQTT_STATUS: return row.MqttStatus;
        case TELNET_STATUS: return row.TelnetStatus;
        case ID_FABRICANTE: return row.IDFabricante;
        case ID_LINHA: return row.IDLinha;
        case ID_MODELO: return row.IDModelo;
        case FABRICANTE: return row.Fabricante;
        case LINHA: return row.Linha;
        case MODELO: return row.Modelo;
        case INFO: return row.Info;
        case ENDERECO_DESC: return row.EnderecoDesc();
        case ENVIAR_STORAGE: return row.EnviarStorage;
        default: return {};
    }
}

QVariant TMachineTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return columnName(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

int TMachineTable::count() const { return static_cast<int>(FRows.size()); }

void TMachineTable::checkPosition(int position) const {
    if (position < 0 || position >= count())
        throw MeltrixError(QStringLiteral("[TMachineTable] Linha inexistente: %1").arg(position));
}

const TMachineRow& TMachineTable::at(int position) const {
    checkPosition(position);
    return FRows[position].row;
}

int TMachineTable::indexOfSerial(const QString& serial) const {
    const auto found = std::find_if(FRows.begin(), FRows.end(),
                                    [&](const Entry& entry) { return entry.row.Serial == serial; });
    return found == FRows.end() ? -1 : static_cast<int>(found - FRows.begin());
}

int TMachineTable::indexOfID(int id) const {
    const auto found = std::find_if(FRows.begin(), FRows.end(),
                                    [&](const Entry& entry) { return entry.row.ID == id; });
    return found == FRows.end() ? -1 : static_cast<int>(found - FRows.begin());
}

void TMachineTable::applyBeforePost(TMachineRow& row) {
    row.Serial = text::Trim(row.Serial).toUpper();
    RefuseSeparators(SERIAL, row.Serial);
    RefuseSeparators(ENDERECO, row.Endereco);
    RefuseSeparators(PROTOCOLO, row.Protocolo);
    RefuseSeparators(NOME, row.Nome);
    RefuseSeparators(ID_FABRICANTE, row.IDFabricante);
    RefuseSeparators(ID_LINHA, row.IDLinha);
    RefuseSeparators(ID_MODELO, row.IDModelo);
}

// Where a row named `nome` belongs among the other rows (the row at `keep` left out):
// its old place while that is still in order, else after the rows of the same name.
int TMachineTable::sortedPosition(const QString& nome, int keep) const {
    int lower = 0;
    int upper = 0;
    for (int position = 0; position < count(); ++position) {
        if (position == keep) continue;
        const int order = CompareNames(FRows[position].row.Nome, nome);
        if (order < 0) ++lower;
        if (order <= 0) ++upper;
    }
    return (keep >= lower && keep <= upper) ? keep : upper;
}

void TMachineTable::moveEntry(int from, int to) {
    if (from == to) return;
    beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to);
    Entry entry = std::move(FRows[from]);
    FRows.erase(FRows.begin() + from);
    FRows.insert(FRows.begin() + to, std::move(entry));
    endMoveRows();
}

void TMachineTable::emitRowChanged(int position) {
    emit dataChanged(index(position, 0), index(position, ColumnCount - 1));
}

TMachineTable::Cursor TMachineTable::cursor() const { return {FCurrentKey, currentRow()}; }

// Views follow the current row only through this signal: a different row at the same
// position counts as a change.
void TMachineTable::notifyCursor(const Cursor& before) {
    if (cursor() != before) emit currentRowChanged(currentRow());
}

int TMachineTable::append(TMachineRow row) {
    applyBeforePost(row);
    const Cursor before = cursor();
    const int target = sortedPosition(row.Nome, -1);
    beginInsertRows(QModelIndex(), target, target);
    FRows.insert(FRows.begin() + target, Entry{FNextKey++, std::move(row)});
    endInsertRows();
    notifyCursor(before);
    return target;
}

int TMachineTable::update(int position, TMachineRow row) {
    checkPosition(position);
    applyBeforePost(row);
    const Cursor before = cursor();
    const int target = sortedPosition(row.Nome, position);
    moveEntry(position, target);
    FRows[target].row = std::move(row);
    emitRowChanged(target);
    notifyCursor(before);
    return target;
}

void TMachineTable::setStatus(int position, const QString& mqttStatus, const QString& telnetStatus,
                              const QString& info) {
    checkPosition(position);
    TMachineRow& row = FRows[position].row;
    row.MqttStatus = mqttStatus;
    row.TelnetStatus = telnetStatus;
    row.Info = info;
    emitRowChanged(position);
}

void TMachineTable::clearStatuses() {
    for (Entry& entry : FRows) {
        entry.row.MqttStatus.clear();
        entry.row.TelnetStatus.clear();
        entry.row.Info.clear();
    }
    if (!FRows.empty()) emit dataChanged(index(0, 0), index(count() - 1, ColumnCount - 1));
}

void TMachineTable::removeAt(int position) {
    checkPosition(position);
    const Cursor before = cursor();
    if (before.second == position) {
        const int successor = position + 1 < count() ? position + 1 : position - 1;
        FCurrentKey = successor >= 0 ? FRows[successor].key : 0;
    }
    beginRemoveRows(QModelIndex(), position, position);
    FRows.erase(FRows.begin() + position);
    endRemoveRows();
    notifyCursor(before);
}

void TMachineTable::replaceAll(std::vector<TMachineRow> rows) {
    for (TMachineRow& row : rows) applyBeforePost(row);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TMachineRow& left, const TMachineRow& right) {
                         return CompareNames(left.Nome, right.Nome) < 0;
                     });
    const Cursor before = cursor();
    beginResetModel();
    FRows.clear();
    for (TMachineRow& row : rows) FRows.push_back(Entry{FNextKey++, std::move(row)});
    FCurrentKey = FRows.empty() ? 0 : FRows.front().key;
    endResetModel();
    notifyCursor(before);
}

void TMachineTable::clear() { replaceAll({}); }

int TMachineTable::currentRow() const {
    if (FCurrentKey == 0) return -1;
    const auto found = std::find_if(FRows.begin(), FRows.end(),
                                    [&](const Entry& entry) { return entry.key == FCurrentKey; });
    return found == FRows.end() ? -1 : static_cast<int>(found - FRows.begin());
}

void TMachineTable::setCurrentRow(int position) {
    const Cursor before = cursor();
    FCurrentKey = (position >= 0 && position < count()) ? FRows[position].key : 0;
    notifyCursor(before);
}
