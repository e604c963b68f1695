#pragma once

#include <QString>

// The MQTT topic tree. Every topic the system publishes or subscribes to is spelled here
// and nowhere else; it sits at the bottom of the layers because rules publish too.
namespace topics {

QString Dados(const QString& serial);             // /IoT/{serial}/DADOS
QString DadosPlus(const QString& serial);         // /IoT/{serial}/DADOSPLUS
QString DadosApontamento(const QString& serial);  // /IoT/{serial}/DADOSAPONTAMENTO
QString H1(const QString& serial);
QString H1DataHora(const QString& serial);
QString Horimetro(const QString& serial);
QString D1(const QString& serial);
QString C1(const QString& serial);
QString Alarme(const QString& serial);
QString Mensagem(const QString& serial);

}  // namespace topics
