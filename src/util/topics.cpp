#include "util/topics.h"

namespace topics {

namespace {
QString MachineTopic(const QString& serial, QStringView leaf) {
    return QStringLiteral("/IoT/") + serial + u'/' + leaf.toString();
}
}  // namespace

QString Dados(const QString& serial) { return MachineTopic(serial, u"DADOS"); }
QString DadosPlus(const QString& serial) { return MachineTopic(serial, u"DADOSPLUS"); }
QString DadosApontamento(const QString& serial) { return MachineTopic(serial, u"DADOSAPONTAMENTO"); }
QString H1(const QString& serial) { return MachineTopic(serial, u"H1"); }
QString H1DataHora(const QString& serial) { return MachineTopic(serial, u"H1DATAHORA"); }
QString Horimetro(const QString& serial) { return MachineTopic(serial, u"HORIMETRO"); }
QString D1(const QString& serial) { return MachineTopic(serial, u"D1"); }
QString C1(const QString& serial) { return MachineTopic(serial, u"C1"); }
QString Alarme(const QString& serial) { return MachineTopic(serial, u"ALARME"); }
QString Mensagem(const QString& serial) { return MachineTopic(serial, u"MENSAGEM"); }

}  // namespace topics
