#include "summaries/files.h"
#include "summaries/paths.h"

#include "summary_fixtures.h"

#include <QFile>
#include <QFileInfo>

using TFilesTest = SummaryFolderTest;

namespace {
QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
}  // namespace

TEST_F(TFilesTest, NamesOfBatchAndRuleCacheFiles) {
    EXPECT_EQ(TFiles::resumo("M123", 17), "17_M123_20240624.txt");
    EXPECT_EQ(TFiles::resumo("M123", 0), "0_M123_20240624.txt");
    EXPECT_EQ(TFiles::regras("M123"), "M123.json");
}

TEST(TFiles, BatchFileNamesMatchTheSerialExactly) {
    struct Case { QString name, serial; bool matches; };
    const Case cases[] = {
        {"3_M1_20240101.txt", "M1", true},
        {"3_M1_20240101.TXT", "M1", true},
        {"3_M10_20240101.txt", "M1", false},
        {"3_M1_X_20240101.txt", "M1_X", true},
        {"3_M1_X_20240101.txt", "M1", false},
        {"abc_M1_20240101.txt", "M1", true},
        {"3_M1_20240101.txt.bad", "M1", false},
        {"3_M1.part", "M1", false},
        {"3_20240101.txt", "M1", false},
    };
    for (const auto& [name, serial, matches] : cases)
        EXPECT_EQ(TFiles::isResumoOf(name, serial), matches) << name.toStdString();
}

TEST(TFiles, BatchNumberIsTheDecimalTextBeforeTheFirstUnderscore) {
    struct Case { QString name; std::optional<quint32> number; };
    const Case cases[] = {
        {"17_M1_20240101.txt", 17u},
        {"007_M1_20240101.txt", 7u},
        {"4294967295_M1_20240101.txt", 4294967295u},
        {"4294967296_M1_20240101.txt", std::nullopt},
        {"abc_M1_20240101.txt", std::nullopt},
        {"+1_M1_20240101.txt", std::nullopt},
        {"_M1_20240101.txt", std::nullopt},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(TFiles::resumoOrderID(name), number) << name.toStdString();
}

TEST_F(TFilesTest, TextFilesAreLinesEndedByCrLfWithoutMark) {
    const QString path = home.filePath("text.txt");
    EXPECT_EQ(TFiles::readFrom(path), "");

    TFiles::writeTo(path, QString("a\nção\r\nc"));
    EXPECT_EQ(Bytes(path), QByteArray("a\r\n\xc3\xa7\xc3\xa3o\r\nc\r\n"));
    EXPECT_EQ(TFiles::readFrom(path), "a\r\nção\r\nc\r\n");

    TFiles::writeTo(path, QStringList{"x", "", "y"});
    EXPECT_EQ(Bytes(path), QByteArray("x\r\n\r\ny\r\n"));

    QFile lfOnly(path);
    ASSERT_TRUE(lfOnly.open(QIODevice::WriteOnly));
    lfOnly.write("p\nq");
    lfOnly.close();
    EXPECT_EQ(TFiles::readFrom(path), "p\r\nq\r\n");

    EXPECT_THROW(TFiles::writeTo(home.filePath("no/such/folder.txt"), QString("x")), MeltrixError);
}

TEST_F(TFilesTest, RuleCacheRoundTrip) {
    const QString json = R"([{"Nome":"H1","Script":"x := 'ç'"}])";
    EXPECT_EQ(TFiles::readRegrasFile("M1"), "");

    TFiles::writeRegrasFile("M1", json);
    const QString path = QDir(home.filePath("Regras")).filePath("M1.json");
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(TFiles::readRegrasFile("M1"), json + "\r\n");

    TFiles::writeRegrasFile("M1", "[]");
    EXPECT_EQ(TFiles::readRegrasFile("M1"), "[]\r\n");
}

TEST_F(TFilesTest, RuleCacheIgnoresAnEmptySerialOrText) {
    TFiles::writeRegrasFile("M1", "[]");
    TFiles::writeRegrasFile("M1", "");
    TFiles::writeRegrasFile("", "[1]");
    EXPECT_EQ(TFiles::readRegrasFile("M1"), "[]\r\n");
    EXPECT_EQ(TFiles::readRegrasFile(""), "");
    EXPECT_EQ(QDir(home.filePath("Regras")).entryList(QDir::Files), QStringList{"M1.json"});
}

TEST_F(TFilesTest, PathsCreateTheirFoldersInTheBaseFolder) {
    EXPECT_EQ(TPaths::resumo(), home.filePath("Resumo"));
    EXPECT_EQ(TPaths::regras(), home.filePath("Regras"));
    EXPECT_EQ(TPaths::generic("Outra"), home.filePath("Outra"));
    for (const char* folder : {"Resumo", "Regras", "Outra"})
        EXPECT_TRUE(QFileInfo(home.filePath(folder)).isDir()) << folder;
    EXPECT_EQ(TPaths::combine("/a/b", "c.txt"), "/a/b/c.txt");
}
