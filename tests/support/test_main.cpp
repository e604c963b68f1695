// Every test process gets its own QCoreApplication and private folders: the base folder
// (MELTRIX_HOME) and the user data folder (change histories) live in a temporary folder
// that is removed when the process ends.
#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QTemporaryDir sandbox;
    if (!sandbox.isValid()) return 2;
    qputenv("MELTRIX_HOME", sandbox.filePath(QStringLiteral("home")).toUtf8());
    qputenv("XDG_DATA_HOME", sandbox.filePath(QStringLiteral("data")).toUtf8());
    qputenv("TZ", "America/Sao_Paulo");

    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
