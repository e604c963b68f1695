#include "rules/regra.h"

#include "support/rule_fixtures.h"
#include "support/scoped_env.h"
#include "util/app_paths.h"
#include "util/b64url.h"
#include "util/clock.h"
#include "util/error.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "support/frozen_clock.h"

#include <gtest/gtest.h>

using TRegraTimed = FrozenClockTest;

TEST(TRegra, NamingTrimsUpperCasesAndDropsOneUnderscore) {
    struct Case { QString given, original, nome; };
    const Case cases[] = {
        {" _Spindle Load ", "_Spindle Load", "SPINDLE LOAD"},
        {"__X", "__X", "_X"},
        {"\tição\n", "ição", "IÇÃO"},
    };
    for (const auto& [given, original, nome] : cases) {
        TRegra regra(given);
        EXPECT_EQ(regra.OriginalName(), original);
        EXPECT_EQ(regra.Nome(), nome);
    }
}

TEST(TRegra, DefaultsOfARuleMadeByName) {
    TRegra regra("X");
    EXPECT_TRUE(regra.Ativo);
    EXPECT_EQ(regra.IntervaloMinimo, 0);
    EXPECT_EQ(regra.IntervaloMaximo, 0);
    EXPECT_TRUE(regra.EnvioValoresRepetidos);
    EXPECT_FALSE(regra.TagEspecial);
    EXPECT_FALSE(regra.GerarNovoRegistro());
    EXPECT_FALSE(regra.Valor().gerarRegistro());
    EXPECT_EQ(regra.toJSON(), "");
    EXPECT_TRUE(regra.regras().isEmpty());
}

TEST(TRegra, FactoryFromJsonReadsEveryKey) {
    auto regra = TRegra::Factory(RuleObject("Spindle", {
        {"EnvioValoresRepetidos", true}, {"TagEspecial", true}, {"Ativo", false},
        {"IntervaloMinimo", 2000}, {"IntervaloMaximo", 60000}, {"Script", "  Result := 1; "},
        {"Protocolo", " BrelkProtocol "}, {"ProtocoloParametro", 7}, {"IdTagReferencia", 105},
        {"GerarNovoRegistro", true}}));
    EXPECT_EQ(regra->Nome(), "SPINDLE");
    EXPECT_TRUE(regra->EnvioValoresRepetidos);
    EXPECT_TRUE(regra->TagEspecial);
    EXPECT_FALSE(regra->Ativo);
    EXPECT_EQ(regra->IntervaloMinimo, 2000);
    EXPECT_EQ(regra->IntervaloMaximo, 60000);
    EXPECT_EQ(regra->Script, "Result := 1;");
    EXPECT_EQ(regra->Protocolo, "BrelkProtocol");
    EXPECT_EQ(regra->ProtocoloParametro, "7");
    EXPECT_EQ(regra->IdTagReferencia, "105");
    EXPECT_TRUE(regra->GerarNovoRegistro());
    EXPECT_TRUE(regra->Valor().gerarRegistro());

    const QJsonDocument reparsed = QJsonDocument::fromJson(regra->toJSON().toUtf8());
    EXPECT_FALSE(regra->toJSON().contains(u'\n'));
    EXPECT_EQ(reparsed.object()["IdTagReferencia"].toInt(), 105);
    EXPECT_EQ(reparsed.object()["Gatilhos"].toArray().size(), 0);
}

TEST(TRegra, FactoryFromJsonRejectsMissingAndMistypedKeys) {
    const std::pair<QString, QJsonValue> cases[] = {
        {"Ativo", QJsonValue(QJsonValue::Undefined)},
        {"Nome", QJsonValue(QJsonValue::Undefined)},
        {"GerarNovoRegistro", QJsonValue(QJsonValue::Undefined)},
        {"Ativo", "true"},
        {"IntervaloMinimo", 1.5},
        {"IntervaloMaximo", "60000"},
        {"Script", QJsonArray{}},
    };
    for (const auto& [key, value] : cases) {
        QJsonObject object = RuleObject("X");
        if (value.isUndefined())
            object.remove(key);
        else
            object[key] = value;
        try {
            TRegra::Factory(object);
            ADD_FAILURE() << "accepted " << key.toStdString();
        } catch (const MeltrixError& error) {
            EXPECT_TRUE(error.message().contains(key)) << error.what();
        }
    }
}

TEST(TRegra, LongValuesAreCutAt130Characters) {
    struct Case { int length; int stored; };
    const Case cases[] = {{200, 133}, {130, 133}, {129, 129}};
    for (const auto& [length, stored] : cases) {
        TRegra regra("X");
        regra.update(QString(length, u'v'));
        EXPECT_EQ(regra.Valor().atualBruto().size(), stored);
        if (stored == 133) {
            EXPECT_EQ(regra.Valor().atualBruto(), QString(130, u'v') + "...");
        }
    }
}

TEST_F(TRegraTimed, HistoryGetsOneEntryPerChangeOfTheLastSeenValue) {
    TRegra regra("Temp");
    regra.update("20");
    regra.update("20");
    Clock::advance(1000);
    regra.update("21");
    ASSERT_EQ(regra.changeHistory().size(), 2);
    EXPECT_EQ(regra.changeHistory()[0], "[24/06/2024 10:00:01] 20 (20) -> 21 (21)");
    EXPECT_EQ(regra.changeHistory()[1], "[24/06/2024 10:00:00]  () -> 20 (20)");
    EXPECT_EQ(regra.getChangeHistory(),
              "Change History: TEMP\r\n[data hora] valor anterior (valor anterior traduzido) -> "
              "valor atual (valor atual traduzido)\r\n" +
                  regra.changeHistory()[0] + "\r\n" + regra.changeHistory()[1] + "\r\n");
}

TEST(TRegra, HistoryKeepsTheNewest1000Entries) {
    TRegra regra("X");
    for (int i = 0; i <= 1000; ++i) regra.update(QString::number(i));
    ASSERT_EQ(regra.changeHistory().size(), 1000);
    EXPECT_TRUE(regra.changeHistory().first().endsWith("-> 1000 (1000)"));
    EXPECT_TRUE(regra.changeHistory().last().endsWith("0 (0) -> 1 (1)"));
}

TEST(TRegra, EmptyHistoryEndsWithTheLegendLine) {
    EXPECT_TRUE(TRegra("X").getChangeHistory().endsWith("valor atual (valor atual traduzido)\r\n"));
}

TEST(TRegra, HistoryFileRoundTripUnderTheSerial) {
    QString path;
    {
        TRegra regra("Temp");
        EXPECT_EQ(regra.historyFilePath(), "");
        regra.setMaquinaSerial("M1");
        regra.update("20");
        regra.update("21");
        path = regra.historyFilePath();
        EXPECT_EQ(QFileInfo(path).fileName(), TB64URL::encode("TEMP_M1") + ".txt");
        EXPECT_EQ(QFileInfo(path).dir().path(), app_paths::HistoryFolder());
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), 2);

    TRegra reloaded("_temp");
    reloaded.setMaquinaSerial("M1");
    ASSERT_EQ(reloaded.changeHistory().size(), 2);
    EXPECT_TRUE(reloaded.changeHistory()[0].endsWith("20 (20) -> 21 (21)"));

    TRegra otherMachine("Temp");
    otherMachine.setMaquinaSerial("M2");
    EXPECT_TRUE(otherMachine.changeHistory().isEmpty());
}

TEST(TRegra, UnwritableHistoryIsReportedAndDestructionGoesOn) {
    QTemporaryDir data;
    const ScopedEnv xdg("XDG_DATA_HOME", data.path().toUtf8());
    QFile blocker(app_paths::HistoryFolder());  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QStringList logged;
    {
        auto regra = std::make_unique<TRegra>("X");
        regra->setMaquinaSerial("M1");
        regra->setLogProc([&](const QString& message, bool danger) {
            EXPECT_TRUE(danger);
            logged << message;
        });
        regra->update("1");
        EXPECT_THROW(regra->saveChangeHistory(), MeltrixError);
    }
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].startsWith("[TRegra.Destroy] "));
}

TEST_F(TRegraTimed, MinimumIntervalAndRepeatedValues) {
    TRegra regra("X");
    regra.IntervaloMinimo = 2000;
    regra.EnvioValoresRepetidos = false;
    regra.update("A");
    EXPECT_TRUE(regra.canBePublished(false));
    regra.sended();

    regra.update("B");
    EXPECT_FALSE(regra.canBePublished(false));  // changed, but too soon
    Clock::advance(2000);
    EXPECT_FALSE(regra.canBePublished(false));  // exactly 2 s is not more than 2 s
    regra.update("B");
    Clock::advance(1);
    EXPECT_FALSE(regra.canBePublished(false));  // the refused change is not kept: a repeat now
    regra.update("C");
    EXPECT_TRUE(regra.canBePublished(false));

    regra.EnvioValoresRepetidos = true;
    regra.sended();
    regra.update("C");
    EXPECT_FALSE(regra.canBePublished(false));
    Clock::advance(2001);
    EXPECT_TRUE(regra.canBePublished(false));
}

TEST_F(TRegraTimed, HeartbeatOfTheResendPass) {
    TRegra regra("X");
    regra.IntervaloMaximo = 60000;
    EXPECT_TRUE(regra.canBePublished(true));  // never published
    regra.sended();
    Clock::advance(59999);
    EXPECT_FALSE(regra.canBePublished(true));
    Clock::advance(1);
    EXPECT_TRUE(regra.canBePublished(true));

    regra.IntervaloMaximo = 0;
    EXPECT_FALSE(regra.canBePublished(true));
}

TEST_F(TRegraTimed, InactiveRulesArePublishedOnlyWithoutConstraints) {
    TRegra regra("Spindle");
    regra.setMaquinaSerial("M1");
    regra.Ativo = false;
    regra.IntervaloMaximo = 1000;
    regra.update("1200");
    const TTagMTConnectDict noTags;
    EXPECT_TRUE(regra.getPublishInstructions(noTags, false, false).isEmpty());
    EXPECT_TRUE(regra.getPublishInstructions(noTags, false, true).isEmpty());
    const TRegraPublishInstructions expected = {{"/IoT/M1/DADOS", "Spindle|1200"}};
    EXPECT_EQ(regra.getPublishInstructions(noTags, true, false), expected);
}

TEST_F(TRegraTimed, ReferenceTagAddsDadosPlusAndDadosApontamento) {
    TRegra regra("Spindle");
    regra.setMaquinaSerial("M1");
    regra.IdTagReferencia = "105";
    regra.update("1200");

    TTagMTConnectDict tags;
    tags["105"].Fill("105", "Spindle", "Spindle speed", "rpm");
    const TRegraPublishInstructions withEntry = {
        {"/IoT/M1/DADOS", "Spindle|1200"},
        {"/IoT/M1/DADOSPLUS", "105|1200|Spindle|Spindle speed|rpm"},
        {"/IoT/M1/DADOSAPONTAMENTO", "2024-06-24T10:00:00.000-03:00|105|1200|Spindle|Spindle speed|rpm"},
    };
    EXPECT_EQ(regra.getPublishInstructions(tags, false, false), withEntry);

    const TRegraPublishInstructions withoutEntry = {
        {"/IoT/M1/DADOS", "Spindle|1200"},
        {"/IoT/M1/DADOSPLUS", "105|1200"},
        {"/IoT/M1/DADOSAPONTAMENTO", "2024-06-24T10:00:00.000-03:00|105|1200"},
    };
    EXPECT_EQ(regra.getPublishInstructions({}, false, false), withoutEntry);
}

TEST(TRegra, AttachValueFromCarriesTheValueStateWithTheOwnTranslation) {
    const QDateTime reference(QDate(2024, 6, 24), QTime(9, 30, 0));
    auto old = TRegra::Factory("H1");
    old->setGerarNovoRegistro(true);
    old->update("1");
    old->Valor().post();
    old->update("0");
    old->Valor().getTempoAcumulado(reference);

    auto renewed = TRegra::Factory("H1");
    renewed->attachValueFrom(*old);
    old.reset();
    EXPECT_EQ(renewed->Valor().atualBruto(), "0");
    EXPECT_EQ(renewed->Valor().atual(), "STOP");
    EXPECT_EQ(renewed->Valor().anteriorBruto(), "1");
    EXPECT_TRUE(renewed->Valor().alterou());
    EXPECT_EQ(renewed->Valor().timestamp(), reference);
    EXPECT_FALSE(renewed->Valor().gerarRegistro());  // the receiving rule's flag
    EXPECT_EQ(renewed->Valor().cachedBruto(), "");
}
