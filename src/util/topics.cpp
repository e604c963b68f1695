#include "util/topics.h"

namespace topics {

namespace {
const QString IoT = QStringLiteral("/IoT/");

// Built in one allocation: rules ask for their topics on every publication.
QString MachineTopic(const QString& serial, const char* leaf) {
    const QLatin1String tail(leaf);
    QString topic;
    topic.reserve(IoT.size() + serial.size() + 1 + tail.size());
    topic.append(IoT).append(serial).append(u'/').append(tail);
    return topic;
}
}  // namespace

QString Dados(const QString& serial) { return MachineTopic(serial, "DADOS"); }
QString DadosPlus(const QString& serial) { return MachineTopic(serial, "DADOSPLUS"); }
QString DadosApontamento(const QString& serial) { return MachineTopic(serial, "DADOSAPONTAMENTO"); }
QString H1(const QString& serial) { return MachineTopic(serial, "H1"); }
QString H1DataHora(const QString& serial) { return MachineTopic(serial, "H1DATAHORA"); }
QString Horimetro(const QString& serial) { return MachineTopic(serial, "HORIMETRO"); }
QString D1(const QString& serial) { return MachineTopic(serial, "D1"); }
QString C1(const QString& serial) { return MachineTopic(serial, "C1"); }
QString Alarme(const QString& serial) { return MachineTopic(serial, "ALARME"); }
QString Mensagem(const QString& serial) { return MachineTopic(serial, "MENSAGEM"); }
QString Erro(const QString& serial) { return MachineTopic(serial, "ERRO"); }
QString Regras(const QString& serial) { return MachineTopic(serial, "REGRAS"); }
QString Response(const QString& serial) { return MachineTopic(serial, "RESPONSE"); }
QString Json(const QString& serial) { return MachineTopic(serial, "JSON"); }
QString Resumo(const QString& serial) { return MachineTopic(serial, "RESUMO"); }
QString ResumoAck(const QString& serial) { return MachineTopic(serial, "RESUMOACK"); }
QString DataInput(const QString& serial) { return MachineTopic(serial, "DATAINPUT"); }
QString Subscribe(const QString& serial) { return MachineTopic(serial, "SUBSCRIBE"); }
QString GetRegra(const QString& serial) { return MachineTopic(serial, "GET_REGRA"); }
QString Get(const QString& serial) { return MachineTopic(serial, "GET"); }
QString SetParam(const QString& serial) { return MachineTopic(serial, "SET_PARAM"); }
QString ChangeLog(const QString& serial) { return MachineTopic(serial, "CHANGELOG"); }
QString GetClientName(const QString& serial) { return MachineTopic(serial, "GETCLIENTNAME"); }
QString LastValues(const QString& serial) { return MachineTopic(serial, "LAST_VALUES"); }
QString LastValuesGet(const QString& serial) { return MachineTopic(serial, "LAST_VALUES/GET"); }
QString Telnet(const QString& serial) { return MachineTopic(serial, "TELNET"); }
QString Versao(const QString& serial) { return MachineTopic(serial, "VERSAO"); }
QString Fabricante(const QString& serial) { return MachineTopic(serial, "FABRICANTE"); }
QString Linha(const QString& serial) { return MachineTopic(serial, "LINHA"); }
QString Modelo(const QString& serial) { return MachineTopic(serial, "MODELO"); }
QString InfoV2(const QString& serial) { return MachineTopic(serial, "INFOv2"); }

QString ModeloRegras(const QString& idModelo) {
    return QStringLiteral("/MODELO/") + idModelo + QStringLiteral("/REGRAS");
}
QString TabReferencia() { return IoT + QStringLiteral("TABREFERENCIA"); }
QString SrvUpdate() { return IoT + QStringLiteral("SRV/UPDATE"); }

QString AgentPresence(const QString& description) { return QStringLiteral("iot/agents/") + description; }
QString AgentMachine(const QString& description, const QString& serial) {
    return AgentPresence(description) + u'/' + serial;
}
QString IsLive(const QString& description) { return MachineTopic(description, "ISLIVE"); }
QString IsLiveResponse(const QString& description) { return MachineTopic(description, "ISLIVE/RESPONSE"); }
QString GetMachines(const QString& description) { return MachineTopic(description, "GETMACHINES"); }
QString GetMachinesResponse(const QString& description) {
    return MachineTopic(description, "GETMACHINES/RESPONSE");
}
QString SetDescription(const QString& description) { return MachineTopic(description, "SETDESCRIPTION"); }
QString Fabricantes() { return IoT + QStringLiteral("FABRICANTES"); }
QString Linhas() { return IoT + QStringLiteral("LINHAS"); }
QString Modelos() { return IoT + QStringLiteral("MODELOS"); }
QString GetSerial() { return IoT + QStringLiteral("GETSERIAL"); }
QString SerialGeradoPrefix() { return IoT + QStringLiteral("SERIALGERADO"); }
QString SerialGerado(const QString& requestId) { return SerialGeradoPrefix() + u'/' + requestId; }

}  // namespace topics
