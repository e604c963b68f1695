#include "settings/machines.h"

#include "util/app_paths.h"
#include "util/error.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Machines : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(app_paths::BaseFolder());
        removeListFile();
        TMachines::resetInstance();
        machines = TMachines::initialise(table);
    }

    void TearDown() override {
        TMachines::resetInstance();
        removeListFile();
    }

    static void removeListFile() {
        const QString path = app_paths::ListFile();
        if (QFileInfo(path).isDir()) QDir(path).removeRecursively();
        QFile::remove(path);
    }

    static void writeListFile(const QByteArray& bytes) {
        QFile file(app_paths::ListFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QByteArray listFile() {
        QFile file(app_paths::ListFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A row as the file keeps it: no run identifier, no statuses or looked-up names.
    static TMachineRow Stored(const QString& serial, const QString& endereco, int porta,
                              const QString& protocolo, const QString& nome,
                              const QString& fabricante, const QString& linha,
                              const QString& modelo, bool enviarStorage) {
        TMachineRow row;
        row.Serial = serial;
        row.Endereco = endereco;
        row.Porta = porta;
        row.Protocolo = protocolo;
        row.Nome = nome;
        row.IDFabricante = fabricante;
        row.IDLinha = linha;
        row.IDModelo = modelo;
        row.EnviarStorage = enviarStorage;
        return row;
    }

    std::vector<TMachineRow> rowsWithoutIDs() const {
        std::vector<TMachineRow> rows;
        for (int position = 0; position < table.count(); ++position) {
            rows.push_back(table.at(position));
            rows.back().ID = 0;
        }
        return rows;
    }

    std::vector<int> ids() const {
        std::vector<int> result;
        for (int position = 0; position < table.count(); ++position)
            result.push_back(table.at(position).ID);
        return result;
    }

    TMachineTable table;
    std::shared_ptr<IMachines> machines;
};

}  // namespace

TEST_F(Machines, IsOneInstanceReachedAfterInitialise) {
    TMachines::resetInstance();
    try {
        TMachines::instance();
        FAIL() << "instance before initialise";
    } catch (const MeltrixError& error) {
        EXPECT_EQ(error.message(), "TMachines is not initialized");
    }

    const auto first = TMachines::initialise(table);
    EXPECT_EQ(first->GetNextID(), 0);
    TMachineTable other;
    writeListFile("SN1:h:1:MTConnect:N:1:2:3:False|\r\n");
    const auto second = TMachines::initialise(other);
    EXPECT_EQ(second, first);
    EXPECT_EQ(TMachines::instance(), first);
    EXPECT_TRUE(second->loadFromDisk().isEmpty());
    EXPECT_EQ(other.count(), 1);
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(other.at(0).ID, 1);  // the counter belongs to the instance
}

TEST_F(Machines, HandsOutIdentifiersFromZero) {
    EXPECT_EQ(machines->GetNextID(), 0);
    EXPECT_EQ(machines->GetNextID(), 1);
    EXPECT_EQ(machines->GetNextID(), 2);
    TMachines::resetInstance();
    EXPECT_EQ(TMachines::initialise(table)->GetNextID(), 0);
}

TEST_F(Machines, SavesTheWholeTableAsOneLineInNomeOrder) {
    table.append(
        Stored("D4E5F6", "192.168.0.11", 7000, "BrelkProtocol", "Mill", "12", "35", "57", false));
    table.append(
        Stored("A1B2C3", "192.168.0.10", 7878, "MTConnect", "Lathe 1", "12", "34", "56", false));
    EXPECT_TRUE(machines->saveToDisk());
    EXPECT_EQ(listFile(),
              "A1B2C3:192.168.0.10:7878:MTConnect:Lathe 1:12:34:56:False|"
              "D4E5F6:192.168.0.11:7000:BrelkProtocol:Mill:12:35:57:False|\r\n");

    table.clear();
    EXPECT_TRUE(machines->saveToDisk());
    EXPECT_EQ(listFile(), "\r\n");
    EXPECT_TRUE(machines->loadFromDisk().isEmpty());
    EXPECT_EQ(table.count(), 0);
}

TEST_F(Machines, SavedListLoadsBackUnchanged) {
    const std::vector<TMachineRow> saved = {
        Stored("SN0", "", 0, "", "", "", "", "", false),
        Stored("SN1", "10.0.0.5", 7878, "MTConnect", "", "F", "L", "M", true),
        Stored("SN3", "h", -1, "BrelkProtocol", " spaced name ", "", "", "", true),
        Stored("SN2", "cnc.local", 65535, "MQTT", QString::fromUtf16(u"Torno ação ✓"), "1", "2",
               "3", false),
    };  // in table order
    for (const TMachineRow& row : saved) table.append(row);
    table.setStatus(1, "Online", "Connected", "info");  // statuses are not kept in the file
    machines->saveToDisk();

    table.clear();
    EXPECT_TRUE(machines->loadFromDisk().isEmpty());
    EXPECT_EQ(rowsWithoutIDs(), saved);
}

TEST_F(Machines, LoadsShortAndDamagedRecordsKeepingWhatCanBeRead) {
    struct Case {
        QByteArray file;
        std::vector<TMachineRow> rows;
        int problems;
    };
    const Case cases[] = {
        {"SN1:10.0.0.5:7878|", {Stored("SN1", "10.0.0.5", 7878, "", "", "", "", "", false)}, 1},
        {"SN1:10.0.0.5:7878:MTConnect:Lathe|",
         {Stored("SN1", "10.0.0.5", 7878, "MTConnect", "Lathe", "", "", "", false)},
         1},
        {"SN1:10.0.0.5:7878:MTConnect:Lathe:12|",
         {Stored("SN1", "10.0.0.5", 7878, "MTConnect", "Lathe", "12", "", "", false)},
         1},
        {"SN1:10.0.0.5:abc:MTConnect|",
         {Stored("SN1", "10.0.0.5", 0, "MTConnect", "", "", "", "", false)},
         2},
        {"SN1:h:1:P:N:F:L:M:True|\r\n", {Stored("SN1", "h", 1, "P", "N", "F", "L", "M", true)}, 0},
        {"SN1:h:1:P:N:F:L:M:False:true|",
         {Stored("SN1", "h", 1, "P", "N", "F", "L", "M", true)},
         0},
        {"SN1:h:1:P:N:F:L:M:maybe|", {Stored("SN1", "h", 1, "P", "N", "F", "L", "M", false)}, 1},
        {"SN1:h:1:P:N:F:L:M:1:0:extra|",
         {Stored("SN1", "h", 1, "P", "N", "F", "L", "M", false)},
         1},
        // Without the final "|", and with records on lines of their own.
        {"SN1:h:1:P:N:F:L:M:False\r\n", {Stored("SN1", "h", 1, "P", "N", "F", "L", "M", false)}, 0},
        {"sn1 :h:1:P:A:F:L:M:False|\r\nsn2:h:2:P:B:F:L:M:False|\r\n",
         {Stored("SN1", "h", 1, "P", "A", "F", "L", "M", false),
          Stored("SN2", "h", 2, "P", "B", "F", "L", "M", false)},
         0},
        {"junk|SN2:h:2:MQTT:N:1:2:3:False||x:y|",
         {Stored("SN2", "h", 2, "MQTT", "N", "1", "2", "3", false)},
         2},
        {"", {}, 0},
        {"\r\n", {}, 0},
    };
    for (const Case& c : cases) {
        writeListFile(c.file);
        const QStringList problems = machines->loadFromDisk();
        EXPECT_EQ(rowsWithoutIDs(), c.rows) << c.file.toStdString();
        EXPECT_EQ(problems.size(), c.problems) << c.file.toStdString() << "\n"
                                               << problems.join('\n').toStdString();
    }
}

TEST_F(Machines, ReportsEachDamagedRecordByNumberAndText) {
    writeListFile("SN1:h:abc:P:N:F:L:M:False|oops|");
    EXPECT_EQ(
        machines->loadFromDisk(),
        QStringList(
            {"[TMachines.loadFromDisk] Record 1 \"SN1:h:abc:P:N:F:L:M:False\": "
             "port \"abc\" is not a number, loaded as 0",
             "[TMachines.loadFromDisk] Record 2 \"oops\": fewer than three fields, skipped"}));
}

TEST_F(Machines, LoadsInNomeOrderWithFreshIdentifiersEachTime) {
    writeListFile("M:h:1:P:Mill:F:L:M:False|L:h:1:P:Lathe:F:L:M:False|D:h:1:P:drill:F:L:M:False|");
    machines->loadFromDisk();
    EXPECT_EQ(table.at(0).Serial, "D");
    EXPECT_EQ(table.at(1).Serial, "L");
    EXPECT_EQ(table.at(2).Serial, "M");
    EXPECT_EQ(ids(), (std::vector<int>{2, 1, 0}));  // given in file order
    EXPECT_EQ(table.currentRow(), 0);

    machines->loadFromDisk();
    EXPECT_EQ(ids(), (std::vector<int>{5, 4, 3}));
}

TEST_F(Machines, ReadsAListWrittenInTheWindowsCodePage) {
    writeListFile("SN1:h:1:MTConnect:M\xE1quina \x80:F:L:M:False|\r\n");
    machines->loadFromDisk();
    ASSERT_EQ(table.count(), 1);
    EXPECT_EQ(table.at(0).Nome, QString::fromUtf16(u"Máquina €"));
}

TEST_F(Machines, MissingFileEmptiesTheTable) {
    table.append(Stored("SN1", "h", 1, "P", "N", "F", "L", "M", false));
    EXPECT_TRUE(machines->loadFromDisk().isEmpty());
    EXPECT_EQ(table.count(), 0);
}

TEST_F(Machines, UnreadableOrUnwritableFileRaisesAndKeepsTheTable) {
    table.append(Stored("SN1", "h", 1, "P", "N", "F", "L", "M", false));
    QDir().mkpath(app_paths::ListFile());  // a folder where the file should be
    EXPECT_THROW(machines->loadFromDisk(), MeltrixError);
    EXPECT_EQ(table.count(), 1);
    EXPECT_THROW(machines->saveToDisk(), MeltrixError);
}

TEST_F(Machines, RemovesBySerialOrTheCurrentRow) {
    struct Case {
        QString serial;
        int current;
        bool removed;
        QStringList left;
    };
    const Case cases[] = {
        {"B2", -1, true, {"A1", "C3"}},       {"b2", -1, false, {"A1", "B2", "C3"}},
        {"Z9", 0, false, {"A1", "B2", "C3"}}, {"", 2, true, {"A1", "B2"}},
        {"", -1, false, {"A1", "B2", "C3"}},
    };
    for (const Case& c : cases) {
        table.replaceAll({Stored("A1", "h", 1, "P", "a", "", "", "", false),
                          Stored("B2", "h", 1, "P", "b", "", "", "", false),
                          Stored("C3", "h", 1, "P", "c", "", "", "", false)});
        table.setCurrentRow(c.current);
        EXPECT_EQ(machines->remove(c.serial), c.removed) << c.serial.toStdString();
        QStringList left;
        for (int position = 0; position < table.count(); ++position)
            left << table.at(position).Serial;
        EXPECT_EQ(left, c.left) << c.serial.toStdString();
    }
}

TEST_F(Machines, RefusesToWorkOnATableThatIsGone) {
    {
        TMachineTable shortLived;
        TMachines::initialise(shortLived);
    }
    EXPECT_THROW(machines->loadFromDisk(), MeltrixError);
    EXPECT_THROW(machines->saveToDisk(), MeltrixError);
    EXPECT_THROW(machines->remove("X"), MeltrixError);
}
