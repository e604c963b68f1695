#include "summaries/resumo.h"

#include "rules/regra.h"
#include "summaries/resumo_reg.h"
#include "util/error.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

TResumoReg Reg(const QDateTime& dataHora) {
    TResumoReg reg;
    reg.sensorId = "M123";
    reg.dataHora = dataHora;
    reg.tag = "H1";
    reg.tagId = "T45";
    reg.valor = "ACTIVE";
    reg.valorAnterior = "STOP";
    reg.alterouEstado = "1";
    reg.tempoAcumulado = 75;
    return reg;
}

QDateTime At(int secondsAfterT0) {
    return QDateTime(QDate(2024, 6, 24), QTime(10, 0)).addSecs(secondsAfterT0);
}

}  // namespace

TEST(TResumoReg, LineRoundTripKeepsEveryFieldAndTheMilliseconds) {
    const QDate day(2024, 6, 24);
    const QTime time(10, 15, 30, 123);
    struct Case { QDateTime dataHora; QString line; };
    const Case cases[] = {
        {QDateTime(day, time), "M123|2024-06-24T10:15:30.123-03:00|H1|T45|ACTIVE|75|1|STOP"},
        {QDateTime(day, time, QTimeZone::utc()),
         "M123|2024-06-24T10:15:30.123Z|H1|T45|ACTIVE|75|1|STOP"},
        {QDateTime(day, time, QTimeZone(3600)),
         "M123|2024-06-24T10:15:30.123+01:00|H1|T45|ACTIVE|75|1|STOP"},
    };
    for (const auto& [dataHora, line] : cases) {
        const TResumoReg reg = Reg(dataHora);
        EXPECT_EQ(reg.BuildLine(), line);
        const TResumoReg back = TResumoReg::Split(line);
        EXPECT_EQ(back.sensorId, reg.sensorId);
        EXPECT_EQ(back.dataHora, dataHora) << line.toStdString();
        EXPECT_EQ(back.dataHora.time().msec(), QDateTime(dataHora).toLocalTime().time().msec());
        EXPECT_EQ(back.dataHora.timeSpec(), Qt::LocalTime);
        EXPECT_EQ(back.tag, reg.tag);
        EXPECT_EQ(back.tagId, reg.tagId);
        EXPECT_EQ(back.valor, reg.valor);
        EXPECT_EQ(back.tempoAcumulado, reg.tempoAcumulado);
        EXPECT_EQ(back.alterouEstado, reg.alterouEstado);
        EXPECT_EQ(back.valorAnterior, reg.valorAnterior);
    }
}

TEST(TResumoReg, EmptyFieldsSurviveTheRoundTrip) {
    TResumoReg reg = Reg(At(0));
    reg.tagId.clear();
    reg.valorAnterior.clear();
    const TResumoReg back = TResumoReg::Split(reg.BuildLine());
    EXPECT_EQ(back.tagId, "");
    EXPECT_EQ(back.valorAnterior, "");
    EXPECT_EQ(back.valor, "ACTIVE");
}

TEST(TResumoReg, SeparatorsAndLineBreaksInTextsBecomeSpaces) {
    TResumoReg reg = Reg(At(0));
    reg.valor = "A|B\r\nC";
    const QString line = reg.BuildLine();
    EXPECT_EQ(line.count(u'|'), 7);
    EXPECT_FALSE(line.contains(u'\n'));
    EXPECT_EQ(TResumoReg::Split(line).valor, "A B  C");
}

TEST(TResumoReg, SplitRejectsMalformedLines) {
    const QString lines[] = {
        "M123|2024-06-24T10:15:30.123-03:00|H1|T45|ACTIVE|75|1",          // seven fields
        "M123|2024-06-24T10:15:30.123-03:00|H1|T45|ACTIVE|75|1|STOP|X",   // nine fields
        "M123|24/06/2024 10:15:30|H1|T45|ACTIVE|75|1|STOP",               // not ISO 8601
        "M123|2024-06-24T10:15:30.123-03:00|H1|T45|ACTIVE|7.5|1|STOP",    // not an integer
        "",
    };
    for (const QString& line : lines)
        EXPECT_THROW(TResumoReg::Split(line), MeltrixError) << line.toStdString();
}

TEST(TResumo, TextFormAndEmptySummary) {
    const TResumo resumo("a\r\nb\nc\r");
    EXPECT_EQ(resumo.lines(), QStringList({"a", "b", "c"}));
    EXPECT_EQ(resumo.text(), "a\r\nb\r\nc\r\n");

    const TResumo empty;
    EXPECT_EQ(empty.text(), "");
    EXPECT_FALSE(empty.getDate().isValid());
}

TEST(TResumo, ReadersTakeTheLine) {
    const QString line = "M123|2024-06-24T10:15:30.123-03:00|H1|T45|ACTIVE|75|1|STOP";
    const TResumo resumo(line);
    EXPECT_EQ(resumo.getDate(), QDateTime(QDate(2024, 6, 24), QTime(10, 15, 30, 123)));
    EXPECT_EQ(TResumo::getRuleName(line), "H1");
    EXPECT_EQ(TResumo::getRuleValue(line), "ACTIVE");
    EXPECT_THROW(TResumo::getRuleValue("M123|bad|H1|T45|ACTIVE|75|1|STOP"), MeltrixError);
    EXPECT_THROW(TResumo("M123|2024-06-24T10:15:30Z|H1|T45|ACTIVE|x|1|STOP").getDate(), MeltrixError);
}

// A machine-state rule that went from ACTIVE to STOP after 75 s, then stayed stopped.
TEST(TResumo, AddLineCountsFromTheLastChange) {
    auto regra = TRegra::Factory(QString("H1"));
    regra->setGerarNovoRegistro(true);
    regra->IdTagReferencia = "T45";
    struct Step { QString raw; int at; QString line; };
    const Step steps[] = {
        {"1", 0, "M123|2024-06-24T10:00:00.000-03:00|H1|T45|ACTIVE|0|1|POWER_OFF"},
        {"0", 75, "M123|2024-06-24T10:01:15.000-03:00|H1|T45|STOP|75|1|ACTIVE"},
        {"0", 100, "M123|2024-06-24T10:01:40.000-03:00|H1|T45|STOP|25|0|STOP"},
        {"0", 130, "M123|2024-06-24T10:02:10.000-03:00|H1|T45|STOP|55|0|STOP"},
    };
    for (const auto& [raw, at, line] : steps) {
        regra->update(raw);
        TResumo resumo;
        resumo.addLine("M123", *regra, At(at));
        EXPECT_EQ(resumo.lines(), QStringList{line});
        EXPECT_EQ(resumo.getDate(), At(at));
        regra->Valor().post();
    }
}

TEST(TResumo, ARuleThatGeneratesNoRecordsCountsNothing) {
    TRegra regra("TEMP");
    regra.update("20");
    TResumo resumo;
    resumo.addLine("M123", regra, At(0));
    resumo.addLine("M123", regra, At(60));
    EXPECT_EQ(resumo.lines(), QStringList({"M123|2024-06-24T10:00:00.000-03:00|TEMP||20|0|0|",
                                           "M123|2024-06-24T10:01:00.000-03:00|TEMP||20|0|0|"}));
}
