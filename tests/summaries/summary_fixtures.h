#pragma once

#include "summaries/resumo.h"
#include "summaries/resumo_mem_cache.h"
#include "summaries/paths.h"
#include "summaries/resumo_reg.h"
#include "support/scoped_env.h"
#include "util/clock.h"
#include "util/error.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A summary of one line whose value is n, so that tests can tell summaries apart by number.
inline TResumo NumberedResumo(int n, const QString& serial = QStringLiteral("M1")) {
    TResumoReg reg;
    reg.sensorId = serial;
    reg.dataHora = QDateTime(QDate(2024, 6, 24), QTime(10, 0)).addSecs(n);
    reg.tag = QStringLiteral("H1");
    reg.tagId = QStringLiteral("T45");
    reg.valor = QString::number(n);
    reg.valorAnterior = QString::number(n - 1);
    reg.alterouEstado = QStringLiteral("1");
    TResumo resumo;
    resumo.add(reg.BuildLine());
    return resumo;
}

// The numbers of the summaries of a batch text, in order.
inline QList<int> NumbersIn(const QString& batchText) {
    TResumoMemCache::TLoteResumo lote;
    lote.parse(batchText);
    QList<int> numbers;
    for (const TResumo& resumo : lote.resumos())
        numbers.append(TResumo::getRuleValue(resumo.lines().first()).toInt());
    return numbers;
}

inline QList<int> Range(int first, int last) {
    QList<int> numbers;
    for (int n = first; n <= last; ++n) numbers.append(n);
    return numbers;
}

// A base folder of its own and a clock frozen on 2024-06-24 for each test.
class SummaryFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        Clock::setNow(QDateTime(QDate(2024, 6, 24), QTime(10, 0)));
    }
    void TearDown() override { Clock::reset(); }

    QDir resumoFolder() const { return QDir(home.filePath("Resumo")); }
    QString resumoPath(const QString& name) const { return resumoFolder().filePath(name); }
    QStringList resumoFiles() const { return resumoFolder().entryList(QDir::Files, QDir::Name); }

    QTemporaryDir home;
    ScopedEnv homeEnv{"MELTRIX_HOME", home.path().toUtf8()};
};
