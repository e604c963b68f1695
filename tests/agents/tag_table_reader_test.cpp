#include "agents/tag_table_reader.h"

#include "util/error.h"

#include <gtest/gtest.h>

namespace {
struct Log {
    QStringList lines;
    TProcRegLog3 proc() {
        return [this](const QString& message, bool) { lines << message; };
    }
};
}  // namespace

TEST(ReadTabReferencia, ReplacesTheWholeTable) {
    TTagMTConnectDict table;
    table["old"].Fill("old", "", "", "");
    Log log;
    readTabReferencia(R"([{"tag":105,"name":"Spindle","description":"Spindle speed","unit":"rpm","x":1},
                          {"tag":"7","name":"State","description":"","unit":""}])",
                      table, log.proc());
    EXPECT_FALSE(table.contains("old"));
    ASSERT_TRUE(table.contains("105"));
    EXPECT_EQ(table["105"].Unit, "rpm");
    EXPECT_EQ(log.lines, QStringList({"Reading TABREFERENCE", "Reading TABREFERENCE: Ended"}));
}

TEST(ReadTabReferencia, NotJsonLeavesTheTable) {
    TTagMTConnectDict table;
    table["1"].Fill("1", "a", "b", "c");
    Log log;
    readTabReferencia("not json", table, log.proc());
    EXPECT_TRUE(table.contains("1"));
    EXPECT_EQ(log.lines.last(), "Reading TABREFERENCE: not valid data found. Ignoring.");
}

TEST(ReadTabReferencia, MalformedDocumentsFailAfterEmptyingTheTable) {
    const char* cases[] = {
        R"({"tag":"1"})",
        R"([{"tag":"1","name":"a","description":"b","unit":"c"}, 5])",
        R"([{"tag":"1","name":"a","description":"b"}])",
        R"([{"tag":"1","name":"a","description":"b","unit":"c"},{"tag":"1","name":"a","description":"b","unit":"c"}])",
    };
    for (const char* payload : cases) {
        TTagMTConnectDict table;
        table["old"].Fill("old", "", "", "");
        Log log;
        EXPECT_THROW(readTabReferencia(payload, table, log.proc()), MeltrixError) << payload;
        EXPECT_FALSE(table.contains("old"));
    }
}
