#include "host/log_file_writer.h"

#include "support/frozen_clock.h"
#include "util/app_paths.h"
#include "util/error.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class TLogFileWriterTest : public FrozenClockTest {
protected:
    QByteArray contentOf(const QString& name) const {
        QFile file(QDir(app_paths::LogsFolder()).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void TearDown() override { QDir(app_paths::LogsFolder()).removeRecursively(); }

    TLogFileWriter writer;
};

}  // namespace

TEST_F(TLogFileWriterTest, FileNamesBySerial) {
    const QDate day(2024, 6, 4);
    EXPECT_EQ(TLogFileWriter::FileName("ABC", day), "ABC_04062024.log");
    EXPECT_EQ(TLogFileWriter::FileName("SOCKET", day), "SOCKET_04062024.log");
    EXPECT_EQ(TLogFileWriter::FileName("socket", day), "socket_04062024.log");
    EXPECT_EQ(TLogFileWriter::FileName("", day), "Meltrix_04062024.log");
}

TEST_F(TLogFileWriterTest, AppendsStampedLinesAndStartsANewFileEachDay) {
    writer.Append("ABC", TLogFileWriter::StampedLine("first"));
    writer.Append("ABC", TLogFileWriter::StampedLine("second | Máquina: Lathe 1 | Porta: 7878"));
    EXPECT_EQ(QString::fromUtf8(contentOf("ABC_24062024.log")),
              QString::fromUtf8("24/06 10:00:00 first\r\n24/06 10:00:00 second | Máquina: Lathe 1 | Porta: 7878\r\n"));

    Clock::setNow(QDateTime(QDate(2024, 6, 25), QTime(0, 0, 1)));
    writer.Append("ABC", TLogFileWriter::StampedLine("after midnight"));
    EXPECT_EQ(contentOf("ABC_25062024.log"), "25/06 00:00:01 after midnight\r\n");
}

TEST_F(TLogFileWriterTest, RecreatesADeletedFolder) {
    writer.Append("", "one");
    ASSERT_TRUE(QDir(app_paths::LogsFolder()).removeRecursively());
    writer.Append("", "two");
    EXPECT_EQ(contentOf("Meltrix_24062024.log"), "two\r\n");
}

TEST_F(TLogFileWriterTest, RefusesSerialsThatLeaveTheFolder) {
    for (const QString serial : {"../evil", "a/b", "..", "a\\b"})
        EXPECT_THROW(writer.Append(serial, "x"), MeltrixError) << serial.toStdString();
}
