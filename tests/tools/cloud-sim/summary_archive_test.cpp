#include "cloud-sim/summary_archive.h"

#include "support/qt_printers.h"
#include "util/error.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(TSummaryArchive, FileNamesAreSafeForAnySerial) {
    const struct {
        QString serial;
        QString file;
    } cases[] = {
        {"M123", "M123.txt"}, {"A/B", "A_B.txt"}, {"..", "_...txt"}, {"", "_.txt"}, {"Máq 1", "M_q_1.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(TSummaryArchive::FileNameOf(c.serial), c.file) << c.serial.toStdString();
}

TEST(TSummaryArchive, AppendsEachBatchEndingItsLastLine) {
    QTemporaryDir folder;
    const TSummaryArchive archive(folder.filePath("deep/er"));
    const QString path = archive.append("M1", "a\r\n***\r\n");
    archive.append("M1", "b\r\n***");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "a\r\n***\r\nb\r\n***\r\n");
}

TEST(TSummaryArchive, AFolderThatCannotBeMadeIsAnError) {
    EXPECT_THROW(TSummaryArchive("/proc/no-such-place"), MeltrixError);
}
