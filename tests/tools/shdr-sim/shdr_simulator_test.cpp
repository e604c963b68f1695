#include "shdr-sim/shdr_simulator.h"

#include "preprocess/pre_processor.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "tools/shdr-sim/shdr_simulator_fixture.h"
#include "util/cipher.h"
#include "util/clock.h"
#include "util/error.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

QList<QStringList> AgentRecords(const QByteArray& block, const QString& specialTag = QStringLiteral("ALARME")) {
    TPreProcessor preProcessor;
    preProcessor.AddTagEspecialList(specialTag);
    return preProcessor.Execute(cipher::DecriptarTexto(QString::fromUtf8(block)));
}

QStringList NamesOf(const QStringList& record) {
    QStringList names;
    for (const QString& entry : record) names << entry.section(u'=', 0, 0);
    return names;
}

}  // namespace

// The agent's opening (token, keep-alive) and its poll, as the agent writes them.
TEST_F(ShdrSimulatorTest, BrelkModeAnswersAnEncipheredPollWithEncipheredRecords) {
    startSimulator(Options(TShdrMode::Brelk));
    client.write((cipher::TokenDoDia() + "\r\nHello world!").toLatin1());
    client.write((cipher::EncriptarLinha("GET|H1|STATE|HORIMETRO|HOURS|SPINDLE|SPEED|TEMP|T1") + "\r\n").toLatin1());

    ASSERT_TRUE(waitForLines(1));
    EXPECT_TRUE(received.startsWith("Brelk"));
    EXPECT_TRUE(received.endsWith("\r\n"));
    EXPECT_EQ(AgentRecords(received), QList<QStringList>({{"H1=1", "HORIMETRO=1523.5000", "SPINDLE=1200",
                                                            "TEMP=" + simulator->values().valueOf("TEMP")}}));

    EXPECT_TRUE(logOf(TSimLogKind::Warning).isEmpty()) << logOf(TSimLogKind::Warning).join('\n').toStdString();
    const QString traffic = logOf(TSimLogKind::Traffic).join('\n');
    EXPECT_TRUE(traffic.contains("handshake token " + cipher::TokenDoDia() + " (today's token)"));
    EXPECT_TRUE(traffic.contains("keep-alive \"Hello world!\""));
    EXPECT_TRUE(traffic.contains("poll GET|H1|STATE|HORIMETRO|HOURS|SPINDLE|SPEED|TEMP|T1 (enciphered)"));
    EXPECT_TRUE(traffic.contains(QRegularExpression("-> 127\\.0\\.0\\.1:\\d+ \\S+Z\\|H1\\|1\\|HORIMETRO\\|1523\\.5000"
                                                    "\\|SPINDLE\\|1200\\|TEMP\\|[0-9.]+ \\(enciphered\\)")))
        << traffic.toStdString();
}

TEST_F(ShdrSimulatorTest, BrelkModeWithPlainAnswersTakesPlainPolls) {
    TShdrSimOptions options = Options(TShdrMode::Brelk);
    options.plain = true;
    startSimulator(options);
    client.write("|H1|STATE|SPINDLE|SPEED\r\n");

    ASSERT_TRUE(waitForLines(1));
    EXPECT_TRUE(QString::fromLatin1(received).contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z\\|")))
        << received.toStdString();
    EXPECT_EQ(AgentRecords(received), QList<QStringList>({{"H1=1", "SPINDLE=1200"}}));
}

TEST_F(ShdrSimulatorTest, BrelkModeReportsWhatItCannotReadAndAnswersNothing) {
    startSimulator(Options(TShdrMode::Brelk));
    client.write("00000000000000000000000000000000\r\nBrelk2024-06-24T10:11:12.123Z|a b\r\nwhat?\r\n");

    ASSERT_TRUE(SpinUntil([this] { return log.size() >= 5; }));  // listening, connected, three lines
    SpinFor(50);
    EXPECT_TRUE(received.isEmpty());
    const QStringList warnings = logOf(TSimLogKind::Warning);
    ASSERT_EQ(warnings.size(), 2);
    EXPECT_TRUE(warnings.at(0).contains("differs from today's token " + cipher::TokenDoDia()));
    EXPECT_TRUE(warnings.at(1).contains("not deciphered: Caracter inválido em \"Decriptar\""));
    EXPECT_TRUE(logOf(TSimLogKind::Traffic).join('\n').contains("what? (not a poll request, ignored)"));
}

// An agent takes the adapter's stream as it comes: every line must be a record for the
// preprocessor, stamped with the UTC time.
TEST_F(ShdrSimulatorTest, MTConnectModeStreamsUtcStampedRecordsOfTheChangedValues) {
    TShdrSimOptions options = Options(TShdrMode::MTConnect);
    options.interval = 10ms;
    options.behaviour.stateTicks = 2;
    options.behaviour.alarmEveryTicks = 3;
    startSimulator(options);

    ASSERT_TRUE(waitForLines(12));
    const QStringList lines = QString::fromUtf8(received).split("\r\n", Qt::SkipEmptyParts);
    static const QRegularExpression stamp("^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3})Z\\|[^|]");
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = stamp.match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString();
        QDateTime sent = QDateTime::fromString(match.captured(1), Qt::ISODateWithMs);
        sent.setTimeZone(QTimeZone::utc());
        EXPECT_LT(qAbs(sent.secsTo(Clock::nowUtc())), 60) << line.toStdString();
    }

    const QList<QStringList> records = AgentRecords(received);
    ASSERT_EQ(records.size(), lines.size());
    // A new client first gets every value: the alarm on a line of its own.
    EXPECT_EQ(NamesOf(records.at(0)), QStringList({"execution", "H1", "SPINDLE", "HORIMETRO"}));
    EXPECT_EQ(NamesOf(records.at(1)).first(), "ALARME");
    QSet<QString> seen;
    for (const QStringList& record : records)
        for (const QString& entry : record) seen.insert(entry);
    for (const char* entry : {"execution=STOPPED", "H1=0", "SPINDLE=0", "ALARME=FAULT - 1001 - Over temp"})
        EXPECT_TRUE(seen.contains(QString::fromUtf8(entry))) << entry;
}

TEST_F(ShdrSimulatorTest, MTConnectModeReplaysAFileLineByLineInALoop) {
    QTemporaryDir folder;
    QFile file(folder.filePath("stream.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("2024-06-24T10:11:12.123Z|Xact|1200|S1speed|800\n\n2024-06-24T10:11:13.123Z|avail|AVAILABLE\r\n");
    file.close();
    TShdrSimOptions options = Options(TShdrMode::MTConnect);
    options.replayFile = file.fileName();
    options.interval = 10ms;
    startSimulator(options);

    ASSERT_TRUE(waitForLines(3));
    EXPECT_TRUE(received.startsWith("2024-06-24T10:11:12.123Z|Xact|1200|S1speed|800\r\n"
                                    "2024-06-24T10:11:13.123Z|avail|AVAILABLE\r\n"
                                    "2024-06-24T10:11:12.123Z|Xact|1200|S1speed|800\r\n"))
        << received.toStdString();
}

TEST(TShdrSimulator, AReplayFileThatCannotBeReadStopsTheStart) {
    TShdrSimOptions options;
    options.port = 0;
    options.replayFile = QStringLiteral("/nonexistent/stream.txt");
    TShdrSimulator simulator(options, [](TSimLogKind, const QString&) {});
    EXPECT_THROW(simulator.start(), MeltrixError);
}
