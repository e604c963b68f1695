#include "util/code_page.h"

#include "util/error.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(CodePage, DecodesByteOrderMarksUtf8AndWindows1252) {
    const std::pair<QByteArray, QString> cases[] = {
        {"plain", "plain"},
        {"\xEF\xBB\xBFinv\xC3\xA1lido", QString::fromUtf16(u"inválido")},
        {QByteArray("\xFF\xFE" "A\0B\0", 6), "AB"},
        {"inv\xE1lido \x80 \x93x\x94", QString::fromUtf16(u"inválido € “x”")},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(code_page::Decode(bytes), text);
}

TEST(CodePage, WritesUtf8WithoutMarkAndReadsItBack) {
    QTemporaryDir folder;
    const QString path = folder.filePath("x.txt");
    code_page::WriteTextFile(path, QString::fromUtf16(u"ação\r\n"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("a\xC3\xA7\xC3\xA3o\r\n"));
    EXPECT_EQ(code_page::ReadTextFile(path), QString::fromUtf16(u"ação\r\n"));
}

TEST(CodePage, MissingFileOrFolderIsAnError) {
    QTemporaryDir folder;
    EXPECT_THROW(code_page::ReadTextFile(folder.filePath("none.txt")), MeltrixError);
    EXPECT_THROW(code_page::WriteTextFile(folder.filePath("no/such/x.txt"), "x"), MeltrixError);
}
