#include "util/date_time.h"

#include "util/error.h"
#include "util/text.h"

#include <QTimeZone>

#include <gtest/gtest.h>

TEST(DateTime, TextForms) {
    const QDateTime moment(QDate(2024, 6, 4), QTime(9, 1, 2, 45), QTimeZone(-3 * 3600));
    EXPECT_EQ(date_time::IsoWithOffset(moment), "2024-06-04T09:01:02.045-03:00");
    EXPECT_EQ(date_time::IsoWithOffset(moment.toUTC()), "2024-06-04T12:01:02.045Z");
    EXPECT_EQ(date_time::IsoWithOffset(moment.toOffsetFromUtc(5 * 3600 + 1800)),
              "2024-06-04T17:31:02.045+05:30");
    EXPECT_EQ(date_time::IsoLocalWithZ(moment), "2024-06-04T09:01:02.045Z");
    EXPECT_EQ(date_time::DataHora(moment), "04/06/2024 09:01:02");
    EXPECT_EQ(date_time::DiaHora(moment), "04/06 09:01:02");
    EXPECT_EQ(date_time::DDMMYYYY(moment.date()), "04062024");
    EXPECT_EQ(date_time::YYYYMMDD(moment.date()), "20240604");
}

TEST(DateTime, ParsesIsoToUtc) {
    const QDateTime expected(QDate(2024, 6, 24), QTime(13, 11, 12, 345), QTimeZone::utc());
    EXPECT_EQ(date_time::ParseIsoToUtc("2024-06-24T10:11:12.345-03:00"), expected);
    EXPECT_EQ(date_time::ParseIsoToUtc("2024-06-24T13:11:12.345Z"), expected);
    EXPECT_EQ(date_time::ParseIsoToUtc("2024-06-24T13:11:12.345"), expected);  // no offset: UTC
    EXPECT_EQ(date_time::ParseIsoToUtc("2024-06-24T10:11:12.345-03:00").timeSpec(), Qt::UTC);
    EXPECT_EQ(date_time::ParseIsoToLocal("2024-06-24T13:11:12.345Z"), expected.toLocalTime());
}

TEST(DateTime, RejectsTextThatIsNoDate) {
    EXPECT_THROW(date_time::ParseIsoToUtc("yesterday"), MeltrixError);
    EXPECT_THROW(date_time::ParseIsoToUtc(""), MeltrixError);
}

TEST(Text, TrimRemovesCodesUpTo32Only) {
    EXPECT_EQ(text::Trim(QString("\x01\t \r\nA B\x1f ")), "A B");
    EXPECT_EQ(text::Trim(QString::fromUtf16(u"\u00a0X\u00a0")), QString::fromUtf16(u"\u00a0X\u00a0"));
    EXPECT_EQ(text::Trim("   "), "");
}

TEST(DateTime, DataHoraOfAnInstantFollowsEverySecond) {
    const QDateTime start(QDate(2024, 6, 24), QTime(10, 0, 0, 900));
    for (const qint64 offset : {0, 50, 99, 100, 1100, -1, -1000, 86'400'000}) {
        const QDateTime moment = start.addMSecs(offset);
        EXPECT_EQ(date_time::DataHora(moment.toMSecsSinceEpoch()), date_time::DataHora(moment)) << offset;
    }
}
