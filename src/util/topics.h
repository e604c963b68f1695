#pragma once

#include <QString>

// The MQTT topic tree. Every topic the system publishes or subscribes to is spelled here
// and nowhere else; it sits at the bottom of the layers because rules publish too.
namespace topics {

// ---- per machine: /IoT/{serial}/...
QString Dados(const QString& serial);
QString DadosPlus(const QString& serial);
QString DadosApontamento(const QString& serial);
QString H1(const QString& serial);
QString H1DataHora(const QString& serial);
QString Horimetro(const QString& serial);
QString D1(const QString& serial);
QString C1(const QString& serial);
QString Alarme(const QString& serial);
QString Mensagem(const QString& serial);
QString Erro(const QString& serial);
QString Regras(const QString& serial);
QString Response(const QString& serial);
QString Json(const QString& serial);
QString Resumo(const QString& serial);
QString ResumoAck(const QString& serial);
QString DataInput(const QString& serial);
QString Subscribe(const QString& serial);
QString GetRegra(const QString& serial);
QString Get(const QString& serial);
QString SetParam(const QString& serial);
QString ChangeLog(const QString& serial);
QString GetClientName(const QString& serial);
QString LastValues(const QString& serial);
QString LastValuesGet(const QString& serial);
QString Telnet(const QString& serial);
QString Versao(const QString& serial);
QString Fabricante(const QString& serial);
QString Linha(const QString& serial);
QString Modelo(const QString& serial);
QString InfoV2(const QString& serial);

// ---- shared by every machine
QString ModeloRegras(const QString& idModelo);  // /MODELO/{IDModelo}/REGRAS
QString TabReferencia();                         // /IoT/TABREFERENCIA
QString SrvUpdate();                             // /IoT/SRV/UPDATE

// ---- the installation's own connection
QString AgentPresence(const QString& description);  // iot/agents/{descr}
QString AgentMachine(const QString& description, const QString& serial);
QString IsLive(const QString& description);
QString IsLiveResponse(const QString& description);
QString GetMachines(const QString& description);
QString GetMachinesResponse(const QString& description);
QString SetDescription(const QString& description);
QString Fabricantes();
QString Linhas();
QString Modelos();
QString GetSerial();
QString SerialGerado(const QString& requestId);
QString SerialGeradoPrefix();  // what every generated-serial answer starts with

}  // namespace topics
