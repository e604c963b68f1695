#include "messaging/payloads.h"

#include "settings/maquina.h"
#include "support/qt_printers.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {
TMaquina Lathe() {
    TMaquina maquina;
    maquina.setSerial("SN01");
    maquina.setNome("Lathe 1");
    maquina.setProtocolo("MTConnect");
    maquina.setEndereco("10.0.0.5");
    maquina.setPorta(7878);
    maquina.setIDFabricante("12");
    maquina.setIDLinha("34");
    maquina.setIDModelo("56");
    return maquina;
}
}  // namespace

TEST(Payloads, MachineAnnouncementInOrder) {
    // Tests run at America/Sao_Paulo: three hours west of UTC.
    const QList<TPublication> expected = {
        {"/IoT/SN01/VERSAO", "1.0.0", true},
        {"/IoT/SN01/FABRICANTE", "12", true},
        {"/IoT/SN01/LINHA", "34", true},
        {"/IoT/SN01/MODELO", "56", true},
        {"/IoT/SN01/INFOv2", "Lathe 1|MTConnect;10.0.0.5;7878|180", false},
        {"/IoT/SRV/UPDATE", "info|SN01", false},
    };
    EXPECT_EQ(payloads::MachineAnnouncement(Lathe()), expected);
}

TEST(Payloads, TelnetChunkIsPaddedOnlyAt125Characters) {
    const QString topic = "/IoT/SN01/TELNET";  // 16 characters
    for (const int length : {108, 109, 110}) {
        const QString chunk(length, u'x');
        const QString sent = payloads::TelnetPayload(topic, chunk);
        EXPECT_EQ(sent, length == 109 ? chunk + ' ' : chunk) << length;
    }
}

TEST(Payloads, SmallTexts) {
    EXPECT_EQ(payloads::ClientName("PC01"), "meltrix_PC01");
    EXPECT_EQ(payloads::DataInputText(QDateTime(QDate(2024, 6, 24), QTime(10, 11, 12, 5)), "a|1"),
              "2024-06-24T10:11:12.005Z|a|1");
    EXPECT_EQ(payloads::MachineReportLine("SN01", "Conectado", "Desconectado", "Lathe"),
              "SN01 - StatusMQTT: Conectado - StatusTelnet: Desconectado - Machine: Lathe\r\n");
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{32}$").match(payloads::SerialRequestId()).hasMatch());
    EXPECT_NE(payloads::SerialRequestId(), payloads::SerialRequestId());
}

TEST(Payloads, CatalogueRecordsSplitIntoFields) {
    EXPECT_EQ(payloads::CatalogueRecords("1;Maker A|2;Maker;B|"), QList<QStringList>({{"1", "Maker A"}, {"2", "Maker", "B"}}));
    EXPECT_TRUE(payloads::CatalogueRecords("").isEmpty());
    EXPECT_TRUE(payloads::CatalogueRecords(" | ").isEmpty());
}
