#include "shdr-sim/agent_text_reader.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

TEST(TAgentTextReader, SplitsLinesAndKeepAlives) {
    const struct {
        QList<QByteArray> chunks;
        QStringList messages;
    } cases[] = {
        {{"0123456789ABCDEF0123456789ABCDEF\r\n"}, {"0123456789ABCDEF0123456789ABCDEF"}},
        {{"Hello world!"}, {"Hello world!"}},
        {{"Hello world!Hello world!|S1|P1\r\n"}, {"Hello world!", "Hello world!", "|S1|P1"}},
        {{"Hello wo", "rld!"}, {"Hello world!"}},
        {{"|S1|P", "1|S2|P2\r", "\n"}, {"|S1|P1|S2|P2"}},
        {{"a\nb\r\n"}, {"a", "b"}},
        {{"\r\n \r\nx\r\n"}, {"x"}},
        {{"no line end yet"}, {}},
        {{"Brelk line with ", "Hello world! inside\r\n"}, {"Brelk line with Hello world! inside"}},
    };
    for (const auto& c : cases) {
        TAgentTextReader reader;
        QStringList messages;
        for (const QByteArray& chunk : c.chunks) {
            reader.append(chunk);
            messages += reader.takeMessages();
        }
        EXPECT_EQ(messages, c.messages) << c.chunks.join("+").toStdString();
    }
}

TEST(TAgentTextReader, AnEndlessLineIsHandedOutInsteadOfHeldForever) {
    TAgentTextReader reader;
    reader.append(QByteArray(70 * 1024, 'x'));
    const QStringList messages = reader.takeMessages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first().size(), 70 * 1024);
    reader.append("next\r\n");
    EXPECT_EQ(reader.takeMessages(), QStringList({"next"}));
}
