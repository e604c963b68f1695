#include "host/catalogue_table.h"

#include "support/qt_printers.h"
#include "util/error.h"

#include <gtest/gtest.h>

TEST(TCatalogueTable, ColumnsFollowTheKindOfList) {
    const struct {
        QString parentColumn;
        QStringList columns;
    } cases[] = {
        {"", {"ID", "NOME"}},
        {"ID_FABRICANTE", {"ID", "ID_FABRICANTE", "NOME"}},
        {"ID_LINHA", {"ID", "ID_LINHA", "NOME"}},
    };
    for (const auto& testCase : cases) {
        TCatalogueTable table(testCase.parentColumn);
        table.replaceAll({{"L1", "F1", "Linha Um"}});
        QStringList headers;
        QStringList values;
        for (int column = 0; column < table.columnCount(); ++column) {
            headers << table.headerData(column, Qt::Horizontal).toString();
            values << table.data(table.index(0, column)).toString();
        }
        EXPECT_EQ(headers, testCase.columns);
        EXPECT_EQ(values.first(), "L1");
        EXPECT_EQ(values.last(), "Linha Um");
        EXPECT_EQ(table.data(table.index(0, table.nomeColumn())).toString(), "Linha Um");
    }
}

TEST(TCatalogueTable, NomeOfFindsTheFirstEntryWhateverTheLetterCase) {
    TCatalogueTable table;
    table.replaceAll({{"ab", "", "Primeiro"}, {"AB", "", "Segundo"}, {"C", "", "Outro"}});
    EXPECT_EQ(table.NomeOf("aB"), std::optional<QString>("Primeiro"));
    EXPECT_EQ(table.NomeOf("X"), std::nullopt);
    EXPECT_THROW(table.at(3), MeltrixError);

    table.replaceAll({});
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(table.NomeOf("C"), std::nullopt);
}
