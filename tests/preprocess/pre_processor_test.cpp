#include "preprocess/pre_processor.h"

#include <gtest/gtest.h>

#include <ostream>

// Readable failure output for the records compared below.
static void PrintTo(const QString& value, std::ostream* out) { *out << '"' << value.toStdString() << '"'; }

namespace {

using Records = QList<QStringList>;

constexpr char Stamp[] = "2024-06-24T10:11:12.123Z";

QString Line(const QString& fields) { return QString::fromLatin1(Stamp) + fields; }

struct Example {
    const char* name;
    QStringList tagsEspeciais;
    QString text;
    Records records;
};

const Example Examples[] = {
    {"one record from one line", {}, Line("|execution|ACTIVE"), {{"execution=ACTIVE"}}},
    {"tag and value pairs in field order", {}, Line("|Xact|1200|S1speed|800"), {{"Xact=1200", "S1speed=800"}}},
    {"two records on one line, values trimmed", {}, Line("|a|1 2024-06-24T10:11:13.456Z|b|2"), {{"a=1"}, {"b=2"}}},
    {"one record per line", {}, Line("|a|1\n") + Line("|b|2"), {{"a=1"}, {"b=2"}}},
    {"line ends with CR LF", {}, Line("|a|1\r\n") + Line("|b|2\r\n"), {{"a=1"}, {"b=2"}}},
    {"several bars after the time stamp", {}, Line("|||a|1"), {{"a=1"}}},
    {"text before the time stamp ignored", {}, "LOG: " + Line("|a|1"), {{"a=1"}}},
    {"no word boundary before the time stamp", {}, "x" + Line("|a|1"), {}},
    {"line without a time stamp", {}, "a|1|b|2", {}},
    {"empty text", {}, "", {}},
    {"year not beginning with 2", {}, "1999-06-24T10:11:12.123Z|a|1", {}},
    {"any character before the fraction", {}, "2024-06-24T10:11:12,123Z|a|1", {{"a=1"}}},
    {"character beyond 16 bits before the fraction", {}, QString::fromUtf8("2024-06-24T10:11:12\xF0\x9F\x98\x80" "123Z|a|1"),
     {{"a=1"}}},
    {"fraction of 15 digits", {}, "2024-06-24T10:11:12.123456789012345Z|a|1", {{"a=1"}}},
    {"fraction of 16 digits", {}, "2024-06-24T10:11:12.1234567890123456Z|a|1", {}},
    {"fraction of 2 digits", {}, "2024-06-24T10:11:12.12Z|a|1", {}},
    {"letter beyond ASCII before the time stamp", {}, QString::fromUtf8("\xC3\xA9") + Line("|a|1"), {{"a=1"}}},
    {"tag without value", {}, Line("|a|"), {{"a="}}},
    {"last tag without value", {}, Line("|a|1|b"), {{"a=1", "b="}}},
    {"empty item skipped", {}, Line("||a|1"), {{"a=1"}}},
    {"empty item is a value", {}, Line("|a||b|2"), {{"a=", "b=2"}}},
    {"blanks in a tag name", {}, Line("|spindle load|50"), {{"spindle_load=50"}}},
    {"tag name with =", {}, Line("|a=b|5"), {{"a=b=5"}}},
    {"record mark in a value", {}, Line("|msg|a@b|c|d"), {{"msg=a"}, {"c=d"}}},
    {"record-start form in a value", {}, Line("|d|2024-06-24x|e|5"), {{"d="}, {"e=5"}}},
    {"block cut inside a record", {}, Line("|a|1|b"), {{"a=1", "b="}}},
    {"rest of a cut record in the next block", {}, "|2|c|3\n", {}},
    {"payload of several lines", {}, Line("|a|1\nb|2\n") + Line("|c|3"), {{"a=1"}, {"c=3"}}},
    {"special tag takes the rest of the record",
     {"ALARME"},
     Line("|avail|AVAILABLE|ALARME|FAULT|1001|HIGH|Over temp"),
     {{"avail=AVAILABLE", "ALARME=FAULT - 1001 - HIGH - Over temp", "ALARME_1=FAULT", "ALARME_2=1001",
       "ALARME_3=HIGH", "ALARME_4=Over temp"}}},
    {"special tag in other letter case", {"Alarme"}, Line("|ALARME|F|1"), {{"ALARME=F - 1", "ALARME_1=F", "ALARME_2=1"}}},
    {"special tag after a blank is not special", {"ALARME"}, Line("| ALARME|F|1"), {{"ALARME=F", "1="}}},
    {"special tag as last item", {"ALARME"}, Line("|a|1|ALARME"), {{"a=1", "ALARME="}}},
    {"hyphens in a special tag's field", {"ALARME"}, Line("|ALARME|X-axis|1001"),
     {{"ALARME=X - axis - 1001", "ALARME_1=X-axis", "ALARME_2=1001"}}},
    {"empty fields of a special tag", {"ALARME"}, Line("|ALARME||F||1|"),
     {{"ALARME=F - 1", "ALARME_1=", "ALARME_2=F", "ALARME_3=", "ALARME_4=1"}}},
    {"special tag with blanks in its name", {"my alarm"}, Line("|my alarm|F"), {{"my_alarm=F", "my_alarm_1=F"}}},
    {"broken UTF-16 does not hide the other lines", {}, Line("|a|1\n") + QChar(0xD800) + "|x\n" + Line("|b|2"),
     {{"a=1"}, {"b=2"}}},
};

}  // namespace

TEST(TPreProcessor, Examples) {
    for (const Example& example : Examples) {
        SCOPED_TRACE(example.name);
        TPreProcessor preProcessor;
        for (const QString& tag : example.tagsEspeciais) preProcessor.AddTagEspecialList(tag);
        EXPECT_EQ(preProcessor.Execute(example.text), example.records);
    }
}

TEST(TPreProcessor, ValidLinesRunFromTheTimeStampToTheEndOfTheLine) {
    const TPreProcessor preProcessor;
    EXPECT_EQ(preProcessor.ValidLines("LOG " + Line("|a|1 ") + Line("|b|2\nno stamp\n1999-06-24T10:11:12.123Z|c|3")),
              QStringList({Line("|a|1 ") + Line("|b|2"), "1999-06-24T10:11:12.123Z|c|3"}));
    EXPECT_EQ(preProcessor.ValidLines(Line("") + "\n" + Line("a|1")), QStringList());
}

TEST(TPreProcessor, SpecialTagsCanBeClearedAndRefilled) {
    TPreProcessor preProcessor;
    preProcessor.AddTagEspecialList("ALARME");
    preProcessor.AddTagEspecialList("alarme");
    EXPECT_EQ(preProcessor.Execute(Line("|ALARME|F")), Records({{"ALARME=F", "ALARME_1=F"}}));

    preProcessor.clearTagEspecialList();
    EXPECT_EQ(preProcessor.Execute(Line("|ALARME|F|MSG|hi")), Records({{"ALARME=F", "MSG=hi"}}));

    preProcessor.AddTagEspecialList("MSG");
    EXPECT_EQ(preProcessor.Execute(Line("|ALARME|F|MSG|hi")), Records({{"ALARME=F", "MSG=hi", "MSG_1=hi"}}));
}

TEST(TPreProcessor, ExecuteGoesThroughTheOverridableHalves) {
    struct FixedLines : TPreProcessor {
        QStringList ValidLines(const QString&) const override { return {Line("|fixed|1")}; }
    };
    const FixedLines preProcessor;
    EXPECT_EQ(preProcessor.Execute("ignored"), Records({{"fixed=1"}}));
}
