#include "rules/regra_valor.h"

#include <gtest/gtest.h>

namespace {
QString Bracketed(const QString& v) { return u'<' + v + u'>'; }
QDateTime At(int h, int m, int s, int ms) { return QDateTime(QDate(2024, 6, 24), QTime(h, m, s, ms)); }
}  // namespace

TEST(TRegraValor, FreshObject) {
    TRegraValor counting(true, Bracketed);
    EXPECT_EQ(counting.atual(), "<>");
    EXPECT_FALSE(counting.alterou());
    EXPECT_FALSE(counting.alterouCache());
    EXPECT_EQ(counting.getTempoAcumulado(At(10, 0, 0, 0)), 0);
    EXPECT_EQ(counting.timestamp(), At(10, 0, 0, 0));

    TRegraValor notCounting(false, Bracketed);
    EXPECT_EQ(notCounting.getTempoAcumulado(At(10, 0, 0, 0)), 0);
    EXPECT_FALSE(notCounting.timestamp().isValid());
}

TEST(TRegraValor, ChangeFlagsFollowSetAndPost) {
    TRegraValor valor(false, Bracketed);
    valor.set_("A");
    EXPECT_TRUE(valor.alterou());
    EXPECT_TRUE(valor.alterouCache());
    valor.set_("A");
    EXPECT_TRUE(valor.alterou());
    EXPECT_FALSE(valor.alterouCache());
    valor.post();
    EXPECT_FALSE(valor.alterou());
    EXPECT_FALSE(valor.alterouCache());
    EXPECT_EQ(valor.anteriorBruto(), "A");
    EXPECT_EQ(valor.anterior(), "<A>");

    valor.set_("B");
    valor.set_("A");  // back to the posted value
    EXPECT_FALSE(valor.alterou());
    EXPECT_TRUE(valor.alterouCache());
    EXPECT_EQ(valor.cachedBruto(), "A");
}

TEST(TRegraValor, AccumulatedTimeCountsWholeSecondBoundaries) {
    struct Case { QDateTime from, to; qint64 seconds; };
    const Case cases[] = {
        {At(10, 0, 0, 900), At(10, 0, 1, 100), 1},
        {At(10, 0, 0, 100), At(10, 0, 0, 900), 0},
        {At(10, 0, 5, 0), At(10, 0, 0, 0), 5},  // never negative
    };
    for (const auto& [from, to, seconds] : cases) {
        TRegraValor valor(true, Bracketed);
        valor.getTempoAcumulado(from);
        EXPECT_EQ(valor.getTempoAcumulado(to), seconds);
    }
}

TEST(TRegraValor, ReferenceMovesOnlyWhenTheValueChanged) {
    TRegraValor valor(true, Bracketed);
    valor.getTempoAcumulado(At(10, 0, 0, 700));
    valor.set_("RUN");
    EXPECT_EQ(valor.getTempoAcumulado(At(10, 5, 0, 200)), 300);
    EXPECT_EQ(valor.timestamp(), At(10, 5, 0, 200));
    valor.post();
    EXPECT_EQ(valor.getTempoAcumulado(At(10, 5, 30, 0)), 30);
    EXPECT_EQ(valor.timestamp(), At(10, 5, 0, 200));
}

TEST(TRegraValor, SetGerarNovoRegistroCarriesStateButNotTheLastSeenValue) {
    TRegraValor valor(false, Bracketed);
    valor.set_("A");
    valor.post();
    valor.set_("B");
    valor.timestampUltimoGet = At(9, 0, 0, 0);
    auto counting = std::make_unique<TRegraValor>(true, Bracketed);
    counting->getTempoAcumulado(At(8, 0, 0, 0));
    auto copy = counting->setGerarNovoRegistro(false, [](const QString& v) { return v + v; });
    EXPECT_EQ(copy->timestamp(), At(8, 0, 0, 0));

    auto moved = valor.setGerarNovoRegistro(true, [](const QString& v) { return v + v; });
    EXPECT_TRUE(moved->gerarRegistro());
    EXPECT_EQ(moved->atualBruto(), "B");
    EXPECT_EQ(moved->atual(), "BB");
    EXPECT_EQ(moved->anteriorBruto(), "A");
    EXPECT_TRUE(moved->alterou());
    EXPECT_EQ(moved->cachedBruto(), "");
    EXPECT_FALSE(moved->alterouCache());
    EXPECT_FALSE(moved->timestampUltimoGet.isValid());
}
