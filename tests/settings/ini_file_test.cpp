#include "settings/ini_file.h"

#include "util/error.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class IniFile : public ::testing::Test {
protected:
    QByteArray content() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void write(const QByteArray& bytes) const {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir folder;
    QString path = folder.filePath("meltrix.ini");
    TIniFile ini{path};
};

}  // namespace

TEST_F(IniFile, StoresValuesVerbatim) {
    const QString values[] = {
        "a,b,c",
        "@Variant(x)",
        "%41%",
        "%uPwo9K#mbad",
        "a;b # c",
        "x=y",
        "\"quoted\"",
        "'single'",
        "[MQTT]",
        "<<<END",
        "#starts",
        ";starts",
        "back\\slash",
        QString::fromUtf16(u"ação ✓"),
        "",
    };
    for (const QString& value : values) {
        ini.WriteString("MQTT", "Password", value);
        EXPECT_EQ(TIniFile(path).ReadString("MQTT", "Password", "default"), value)
            << value.toStdString();
    }
    ini.WriteString("MQTT", "Host", "broker.local");
    EXPECT_EQ(content(), "[MQTT]\nPassword=\nHost=broker.local\n");
}

TEST_F(IniFile, WritesUtf8WithoutByteOrderMark) {
    ini.WriteString("MQTT", "Description", QString::fromUtf16(u"Fábrica"));
    EXPECT_EQ(content(),
              "[MQTT]\nDescription=F\xC3\xA1"
              "brica\n");
}

TEST_F(IniFile, ReadsFilesFromWindows) {
    const std::pair<QByteArray, QString> files[] = {
        {"[MQTT]\r\nHost=m\xE1quina\r\n", QString::fromUtf16(u"máquina")},
        {"\xEF\xBB\xBF[MQTT]\r\nHost=m\xC3\xA1quina\r\n", QString::fromUtf16(u"máquina")},
        {"; comment\r\n[Other]\r\nHost=no\r\n[mqtt]\r\nhost = spaced \r\n", "spaced"},
    };
    for (const auto& [bytes, host] : files) {
        write(bytes);
        EXPECT_EQ(ini.ReadString("MQTT", "Host", "default"), host) << bytes.toStdString();
    }
}

TEST_F(IniFile, ReadsIntegersAndBooleansAsProfilesDo) {
    write("[S]\nN=42\nM=-7\nX=abc\nE=\nH=0x10\nT=True\nZ=0\nTwo=2\n");
    struct Case {
        const char* key;
        int integer;  // read with default 99
        bool withFalse, withTrue;
    };
    const Case cases[] = {
        {"N", 42, true, true},  {"M", -7, true, true},  {"X", 99, false, true},
        {"E", 99, false, true}, {"H", 99, false, true}, {"T", 99, false, true},
        {"Z", 0, false, false}, {"Two", 2, true, true}, {"Absent", 99, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ini.ReadInteger("S", c.key, 99), c.integer) << c.key;
        EXPECT_EQ(ini.ReadBool("S", c.key, false), c.withFalse) << c.key;
        EXPECT_EQ(ini.ReadBool("S", c.key, true), c.withTrue) << c.key;
    }
    ini.WriteBool("S", "B", true);
    ini.WriteInteger("S", "I", -12);
    EXPECT_TRUE(content().endsWith("B=1\nI=-12\n"));
}

TEST_F(IniFile, AbsentKeysGiveTheDefaultAndPresentEmptyKeysDoNot) {
    EXPECT_EQ(ini.ReadString("MQTT", "Host", "default"), "default");
    ini.DeleteKey("MQTT", "Host");
    EXPECT_FALSE(QFileInfo::exists(path));  // reading and deleting nothing create no file

    ini.WriteString("MQTT", "Host", "");
    EXPECT_EQ(ini.ReadString("MQTT", "Host", "default"), "");
    EXPECT_EQ(ini.ReadString("mqtt", "HOST", "default"), "");  // names ignore case
}

TEST_F(IniFile, DeletesOneKeyAndKeepsTheRest) {
    ini.WriteString("MQTT", "Host", "h");
    ini.WriteString("MQTT", "User", "u");
    ini.WriteString("Other", "Host", "o");
    ini.DeleteKey("mqtt", "host");
    const QByteArray expected = "[MQTT]\nUser=u\n\n\n[Other]\nHost=o\n";
    EXPECT_EQ(content(), expected);
    ini.WriteString("Other", "Host", "o");  // rewriting the file does not let it grow
    EXPECT_EQ(content(), expected);
    ini.DeleteKey("MQTT", "User");
    EXPECT_EQ(ini.ReadString("MQTT", "User", "gone"), "gone");
    EXPECT_EQ(ini.ReadString("Other", "Host", ""), "o");
}

TEST_F(IniFile, SeesChangesMadeByOthers) {
    TIniFile other(path);
    other.WriteString("MQTT", "Host", "first");
    EXPECT_EQ(ini.ReadString("MQTT", "Host", ""), "first");
    write("[MQTT]\nHost=edited\n");
    EXPECT_EQ(ini.ReadString("MQTT", "Host", ""), "edited");
    ini.WriteString("MQTT", "User", "u");
    EXPECT_EQ(other.ReadString("MQTT", "Host", ""), "edited");
}

TEST_F(IniFile, RefusesValuesThatWouldBecomeLinesOfTheirOwn) {
    ini.WriteString("MQTT", "Description", "safe");
    const QString values[] = {"x\r\nHost=evil", "x\nHost=evil", "x\r[Other]",
                              QString(QChar(0)) + "x"};
    for (const QString& value : values) {
        EXPECT_THROW(ini.WriteString("MQTT", "Description", value), MeltrixError);
        EXPECT_EQ(content(), "[MQTT]\nDescription=safe\n");
    }
}

TEST_F(IniFile, FailuresToReadOrWriteRaise) {
    TIniFile nowhere(folder.filePath("missing/meltrix.ini"));
    EXPECT_THROW(nowhere.WriteString("MQTT", "Host", "h"), MeltrixError);

    TIniFile folderInstead(folder.path());  // exists, cannot be read as a file
    EXPECT_THROW(folderInstead.ReadString("MQTT", "Host", ""), MeltrixError);
    EXPECT_THROW(folderInstead.WriteString("MQTT", "Host", "h"), MeltrixError);
}
