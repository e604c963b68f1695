#pragma once

#include "settings/maquina.h"

#include <QAbstractTableModel>
#include <QString>

#include <utility>
#include <vector>

// One row of the machine table. Only the stored columns are held; ENDERECO_DESC and
// MAQUINA_STATUS are calculated whenever they are read.
struct TMachineRow {
    int ID = 0;  // unique within one run only (TMachines::GetNextID); never stored
    QString Nome;
    QString Serial;
    QString Endereco;
    int Porta = 0;
    QString Protocolo;  // "MTConnect", "BrelkProtocol" or "MQTT"
    QString MqttStatus;
    QString TelnetStatus;
    QString IDFabricante;
    QString IDLinha;
    QString IDModelo;
    QString Fabricante;
    QString Linha;
    QString Modelo;
    QString Info;
    bool EnviarStorage = false;

    // A machine the user is about to create: local MTConnect adapter on its usual port.
    static TMachineRow NewMachine();

    QString EnderecoDesc() const;   // PROTOCOLO - ENDERECO:PORTA
    QString MaquinaStatus() const;  // MQTT_STATUS for MQTT machines, else TELNET_STATUS

    // The record an agent receives; values as stored.
    TMaquina toMaquina() const;

    bool operator==(const TMachineRow&) const = default;
};

// The machine table of the installation, as a read-only model for views. Rows are kept
// ordered by NOME (case-insensitive; rows with equal names keep their order). Changes go
// through append/update, which apply the before-post rule, and through the status and
// removal operations. Main thread only.
//
// The table has a current row, like a cursor: it stays on its machine while rows move,
// and when its row is removed it goes to the row that took that place (or the last row).
class TMachineTable : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        ID,
        NOME,
        SERIAL,
        ENDERECO,
        PORTA,
        PROTOCOLO,
        MAQUINA_STATUS,
        MQTT_STATUS,
        TELNET_STATUS,
        ID_FABRICANTE,
        ID_LINHA,
        ID_MODELO,
        FABRICANTE,
        LINHA,
        MODELO,
        INFO,
        ENDERECO_DESC,
        ENVIAR_STORAGE,
        ColumnCount
    };
    Q_ENUM(Column)

    explicit TMachineTable(QObject* parent = nullptr);

    static QString columnName(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display and edit roles: ID and PORTA as int, ENVIAR_STORAGE as bool, the rest as text.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Horizontal headers are the column names ("NOME", ...); views set their own captions.
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    int count() const;
    const TMachineRow& at(int position) const;
    int indexOfSerial(const QString& serial) const;  // exact match, first row; -1 when none
    int indexOfID(int id) const;                     // -1 when none

    // Before-post rule: SERIAL trimmed and upper-cased. A stored text column holding ":"
    // or "|" is refused with MeltrixError, since the list file could not read it back.
    // Both return the row's position after ordering.
    int append(TMachineRow row);
    int update(int position, TMachineRow row);

    // Status texts reported by the machine's agent; the row keeps its position.
    void setStatus(int position, const QString& mqttStatus, const QString& telnetStatus,
                   const QString& info);
    void clearStatuses();

    void removeAt(int position);
    // Replaces every row at once (attached views are reset, not notified row by row);
    // the first row becomes current.
    void replaceAll(std::vector<TMachineRow> rows);
    void clear();

    int currentRow() const;            // -1 when there is none
    void setCurrentRow(int position);  // out of range: no current row

signals:
    void currentRowChanged(int position);

private:
    struct Entry {
        quint64 key;  // the current row's bookmark
        TMachineRow row;
    };

    using Cursor = std::pair<quint64, int>;  // current row's bookmark and position

    static void applyBeforePost(TMachineRow& row);
    void checkPosition(int position) const;  // throws MeltrixError
    int sortedPosition(const QString& nome, int keep) const;
    void moveEntry(int from, int to);
    void emitRowChanged(int position);
    Cursor cursor() const;
    void notifyCursor(const Cursor& before);

    std::vector<Entry> FRows;
    quint64 FNextKey = 1;
    quint64 FCurrentKey = 0;  // 0: no current row
};
