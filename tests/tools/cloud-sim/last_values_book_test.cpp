#include "cloud-sim/last_values_book.h"

#include "support/qt_printers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

// regra=valor@datahora, in the order of the answer.
QStringList Answer(const TLastValuesBook& book, const QString& serial) {
    QStringList entries;
    for (const QJsonValue& value : QJsonDocument::fromJson(book.json(serial).toUtf8()).array()) {
        const QJsonObject object = value.toObject();
        entries << object.value("regra").toString() + "=" + object.value("valor").toString() + "@" +
                       object.value("datahora").toString();
    }
    return entries;
}

}  // namespace

TEST(TLastValuesBook, KeepsTheNewestValueOfEveryRuleNewestFirst) {
    TLastValuesBook book;
    const int learned = book.learn(
        "M1",
        "M1|2024-06-24T10:00:00.000-03:00|H1|1|ACTIVE|0|1|STOP\r\n"
        "M1|2024-06-24T10:00:00.000-03:00|HORIMETRO|2|10.5|0|0|10.4\r\n\r\n***\r\n"
        "M1|2024-06-24T10:05:00.000-03:00|H1|1|STOP|300|1|ACTIVE\r\n\r\n***\r\n"
        "not a summary line\r\n");
    EXPECT_EQ(learned, 3);
    EXPECT_EQ(Answer(book, "M1"), QStringList({"H1=STOP@2024-06-24T10:05:00.000-03:00",
                                               "HORIMETRO=10.5@2024-06-24T10:00:00.000-03:00"}));

    // A re-sent older batch does not roll the value back.
    book.learn("M1", "M1|2024-06-24T10:00:00.000-03:00|H1|1|ACTIVE|0|1|STOP\r\n\r\n***\r\n");
    EXPECT_EQ(Answer(book, "M1").first(), "H1=STOP@2024-06-24T10:05:00.000-03:00");
}

TEST(TLastValuesBook, MachinesAreKeptApart) {
    TLastValuesBook book;
    book.learn("M1", "M1|2024-06-24T10:00:00.000-03:00|H1|1|ACTIVE|0|1|STOP\r\n\r\n***\r\n");
    EXPECT_EQ(book.json("M2"), "[]");
    EXPECT_EQ(Answer(book, "M1").size(), 1);
}
