#include "settings/machine_table.h"

#include "util/error.h"

#include <QSortFilterProxyModel>

#include <gtest/gtest.h>

namespace {

TMachineRow Row(const QString& nome, const QString& serial = QString()) {
    TMachineRow row = TMachineRow::NewMachine();
    row.Nome = nome;
    row.Serial = serial;
    return row;
}

QStringList Names(const QAbstractItemModel& model) {
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.data(model.index(row, TMachineTable::NOME)).toString();
    return names;
}

}  // namespace

TEST(MachineTable, BeforePostTrimsAndUpperCasesTheSerial) {
    const std::pair<QString, QString> cases[] = {
        {" ab1 ", "AB1"},
        {QString::fromUtf16(u"\t\x01sn-9\r\n"), "SN-9"},
        {QString::fromUtf16(u"máq"), QString::fromUtf16(u"MÁQ")},
        {"", ""},
    };
    for (const auto& [typed, posted] : cases) {
        TMachineTable table;
        const int appended = table.append(Row("A", typed));
        EXPECT_EQ(table.at(appended).Serial, posted) << typed.toStdString();

        table.update(appended, Row("B", "other"));
        const int updated = table.update(appended, Row("A", typed));
        EXPECT_EQ(table.at(updated).Serial, posted) << typed.toStdString();
    }
}

TEST(MachineTable, RefusesSeparatorsInColumnsTheListFileStores) {
    using Setter = void (*)(TMachineRow&, const QString&);
    const Setter stored[] = {
        [](TMachineRow& row, const QString& value) { row.Nome = value; },
        [](TMachineRow& row, const QString& value) { row.Serial = value; },
        [](TMachineRow& row, const QString& value) { row.Endereco = value; },
        [](TMachineRow& row, const QString& value) { row.Protocolo = value; },
        [](TMachineRow& row, const QString& value) { row.IDFabricante = value; },
        [](TMachineRow& row, const QString& value) { row.IDLinha = value; },
        [](TMachineRow& row, const QString& value) { row.IDModelo = value; },
    };
    TMachineTable table;
    table.append(Row("kept", "K1"));
    for (const Setter set : stored) {
        for (const QString value : {"fe80::1", "a|b", "two\nlines", "x\ry"}) {
            TMachineRow row = Row("new", "N1");
            set(row, value);
            EXPECT_THROW(table.append(row), MeltrixError) << value.toStdString();
            EXPECT_THROW(table.update(0, row), MeltrixError) << value.toStdString();
        }
    }
    ASSERT_EQ(table.count(), 1);
    EXPECT_EQ(table.at(0), Row("kept", "K1"));

    TMachineRow named = Row("other", "N2");
    named.Fabricante = "Maker: A|B";  // looked-up names are never written to the file
    EXPECT_NO_THROW(table.append(named));
}

TEST(MachineTable, KeepsRowsOrderedByNomeAndViewsInStep) {
    TMachineTable table;
    QSortFilterProxyModel view;  // what the grid binds to
    view.setSourceModel(&table);

    EXPECT_EQ(table.append(Row("Mill", "M")), 0);
    EXPECT_EQ(table.append(Row("drill", "D")), 0);
    EXPECT_EQ(table.append(Row("Lathe", "L1")), 1);
    EXPECT_EQ(table.append(Row("lathe", "L2")), 2);  // equal names keep their order
    EXPECT_EQ(Names(table), QStringList({"drill", "Lathe", "lathe", "Mill"}));

    EXPECT_EQ(table.update(1, Row("Lathe", "L1")), 1);  // unchanged name keeps its place
    EXPECT_EQ(table.update(0, Row("Zeta", "D")), 3);
    EXPECT_EQ(table.update(3, Row("Alpha", "D")), 0);
    EXPECT_EQ(table.update(2, Row("lathe", "L2")), 2);
    EXPECT_EQ(Names(table), QStringList({"Alpha", "Lathe", "lathe", "Mill"}));
    EXPECT_EQ(table.at(0).Serial, "D");
    EXPECT_EQ(Names(view), Names(table));

    table.removeAt(1);
    table.replaceAll({Row("b"), Row("C"), Row("a")});
    EXPECT_EQ(Names(table), QStringList({"a", "b", "C"}));
    EXPECT_EQ(Names(view), Names(table));
}

TEST(MachineTable, CalculatesAddressAndMachineStatus) {
    struct Case {
        QString protocolo, endereco;
        int porta;
        QString enderecoDesc, maquinaStatus;
    };
    const Case cases[] = {
        {"MTConnect", "127.0.0.1", 7878, "MTConnect - 127.0.0.1:7878", "telnet"},
        {"BrelkProtocol", "cnc-7.local", 7000, "BrelkProtocol - cnc-7.local:7000", "telnet"},
        {"MQTT", "10.0.0.5", 1883, "MQTT - 10.0.0.5:1883", "mqtt"},
        {"mqtt", "h", 1, "mqtt - h:1", "telnet"},
        {"", "", 0, " - :0", "telnet"},
    };
    for (const Case& c : cases) {
        TMachineTable table;
        TMachineRow row = Row("A");
        row.Protocolo = c.protocolo;
        row.Endereco = c.endereco;
        row.Porta = c.porta;
        table.append(row);
        table.setStatus(0, "mqtt", "telnet", "info");
        EXPECT_EQ(table.data(table.index(0, TMachineTable::ENDERECO_DESC)).toString(),
                  c.enderecoDesc);
        EXPECT_EQ(table.data(table.index(0, TMachineTable::MAQUINA_STATUS)).toString(),
                  c.maquinaStatus);
    }
}

TEST(MachineTable, StatusUpdatesNotifyTheWholeRowAndKeepItsPlace) {
    TMachineTable table;
    table.append(Row("A", "S1"));
    table.append(Row("B", "S2"));
    std::vector<std::pair<QModelIndex, QModelIndex>> changes;
    QObject::connect(
        &table, &QAbstractItemModel::dataChanged,
        [&](const QModelIndex& from, const QModelIndex& to) { changes.emplace_back(from, to); });

    table.setStatus(1, "Online", "Connected", "info");
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].first, table.index(1, 0));
    EXPECT_EQ(changes[0].second, table.index(1, TMachineTable::ColumnCount - 1));
    TMachineRow expected = Row("B", "S2");
    expected.MqttStatus = "Online";
    expected.TelnetStatus = "Connected";
    expected.Info = "info";
    EXPECT_EQ(table.at(1), expected);

    table.clearStatuses();
    EXPECT_EQ(table.at(1), Row("B", "S2"));
    EXPECT_EQ(changes.size(), 2u);
}

TEST(MachineTable, CurrentRowStaysOnItsMachine) {
    TMachineTable table;
    std::vector<int> signalled;
    QObject::connect(&table, &TMachineTable::currentRowChanged,
                     [&](int position) { signalled.push_back(position); });
    EXPECT_EQ(table.currentRow(), -1);

    table.replaceAll({Row("B", "B"), Row("C", "C"), Row("D", "D")});
    EXPECT_EQ(table.currentRow(), 0);
    table.setCurrentRow(1);
    table.append(Row("A", "A"));  // C moves down
    EXPECT_EQ(table.at(table.currentRow()).Serial, "C");
    table.update(table.currentRow(), Row("E", "C"));  // C moves to the end
    EXPECT_EQ(table.currentRow(), 3);

    table.removeAt(3);  // the last row: the one before it takes over
    EXPECT_EQ(table.at(table.currentRow()).Serial, "D");
    table.setCurrentRow(0);
    table.removeAt(0);  // the row that takes its place
    EXPECT_EQ(table.at(table.currentRow()).Serial, "B");
    table.clear();
    EXPECT_EQ(table.currentRow(), -1);
    table.append(Row("A"));
    EXPECT_EQ(table.currentRow(), -1);
    table.setCurrentRow(0);
    table.setCurrentRow(5);
    EXPECT_EQ(table.currentRow(), -1);

    EXPECT_EQ(signalled, (std::vector<int>{0, 1, 2, 3, 2, 0, 0, -1, 0, -1}));
}

TEST(MachineTable, ExposesTypedColumnsByName) {
    TMachineTable table;
    TMachineRow row = Row("Lathe", "SN1");
    row.ID = 7;
    row.EnviarStorage = true;
    table.append(row);

    EXPECT_EQ(table.columnCount(), 18);
    EXPECT_EQ(table.headerData(TMachineTable::ID_MODELO, Qt::Horizontal).toString(), "ID_MODELO");
    EXPECT_EQ(TMachineTable::columnName(TMachineTable::ENVIAR_STORAGE), "ENVIAR_STORAGE");
    EXPECT_EQ(table.data(table.index(0, TMachineTable::ID)).typeId(), QMetaType::Int);
    EXPECT_EQ(table.data(table.index(0, TMachineTable::ID)).toInt(), 7);
    EXPECT_EQ(table.data(table.index(0, TMachineTable::PORTA), Qt::EditRole).toInt(), 7878);
    EXPECT_EQ(table.data(table.index(0, TMachineTable::ENVIAR_STORAGE)).typeId(), QMetaType::Bool);
    EXPECT_EQ(table.data(table.index(0, TMachineTable::SERIAL)).toString(), "SN1");
    EXPECT_FALSE(table.data(table.index(1, TMachineTable::SERIAL)).isValid());
    EXPECT_EQ(table.indexOfSerial("SN1"), 0);
    EXPECT_EQ(table.indexOfSerial("sn1"), -1);
    EXPECT_EQ(table.indexOfID(7), 0);
    EXPECT_EQ(table.indexOfID(8), -1);

    EXPECT_THROW(table.at(1), MeltrixError);
    EXPECT_THROW(table.update(-1, row), MeltrixError);
    EXPECT_THROW(table.setStatus(1, "", "", ""), MeltrixError);
    EXPECT_THROW(table.removeAt(1), MeltrixError);
}

TEST(MachineTable, RowBuildsTheMachineRecord) {
    const TMaquina blank;
    EXPECT_EQ(blank.Porta(), 7878);
    EXPECT_EQ(blank.Endereco(), "127.0.0.1");
    EXPECT_TRUE(blank.Protocolo().isEmpty());
    EXPECT_FALSE(blank.EnviarStorage());
    EXPECT_FALSE(blank.Active());

    TMachineRow row = TMachineRow::NewMachine();
    EXPECT_EQ(row.EnderecoDesc(), "MTConnect - 127.0.0.1:7878");
    row = {3,    "Lathe", "SN1", "10.0.0.5", 7000,   "MQTT",  "Online", "Connected",
           "F1", "L1",    "M1",  "Maker",    "Line", "Model", "info",   true};
    const TMaquina maquina = row.toMaquina();
    EXPECT_EQ(maquina.Nome(), "Lathe");
    EXPECT_EQ(maquina.Serial(), "SN1");
    EXPECT_EQ(maquina.Endereco(), "10.0.0.5");
    EXPECT_EQ(maquina.Porta(), 7000);
    EXPECT_EQ(maquina.Protocolo(), "MQTT");
    EXPECT_EQ(maquina.IDFabricante(), "F1");
    EXPECT_EQ(maquina.IDLinha(), "L1");
    EXPECT_EQ(maquina.IDModelo(), "M1");
    EXPECT_TRUE(maquina.EnviarStorage());
    // Statuses belong to the agent: a new record starts without them.
    EXPECT_TRUE(maquina.MqttStatus().isEmpty());
    EXPECT_TRUE(maquina.TelnetStatus().isEmpty());
    EXPECT_TRUE(maquina.Info().isEmpty());
}
