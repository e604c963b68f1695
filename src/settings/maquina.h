#pragma once

#include <QString>

#include <functional>

// The machine record: one configured machine as its agent sees it. Built from a row of
// the machine table when the agents start; the agent owns it and writes the status texts
// that the installation controller copies back into the table. A plain value: the status
// sink may receive a copy, so a queued status update never refers to a freed agent.
class TMaquina {
public:
    const QString& Protocolo() const { return FProtocolo; }
    void setProtocolo(const QString& value) { FProtocolo = value; }

    const QString& Serial() const { return FSerial; }
    void setSerial(const QString& value) { FSerial = value; }

    qint32 Porta() const { return FPorta; }
    void setPorta(qint32 value) { FPorta = value; }

    const QString& Endereco() const { return FEndereco; }
    void setEndereco(const QString& value) { FEndereco = value; }

    // Machine-link status, written by the agent.
    const QString& TelnetStatus() const { return FTelnetStatus; }
    void setTelnetStatus(const QString& value) { FTelnetStatus = value; }

    // Cloud-link status, written by the agent.
    const QString& MqttStatus() const { return FMqttStatus; }
    void setMqttStatus(const QString& value) { FMqttStatus = value; }

    const QString& Nome() const { return FNome; }
    void setNome(const QString& value) { FNome = value; }

    const QString& IDFabricante() const { return FIDFabricante; }
    void setIDFabricante(const QString& value) { FIDFabricante = value; }

    const QString& IDLinha() const { return FIDLinha; }
    void setIDLinha(const QString& value) { FIDLinha = value; }

    const QString& IDModelo() const { return FIDModelo; }
    void setIDModelo(const QString& value) { FIDModelo = value; }

    // Free information text, written by the agent.
    const QString& Info() const { return FInfo; }
    void setInfo(const QString& value) { FInfo = value; }

    // Carried from the list file; nothing depends on it.
    bool EnviarStorage() const { return FEnviarStorage; }
    void setEnviarStorage(bool value) { FEnviarStorage = value; }

    // Set by the agent that serves the machine.
    bool Active() const { return FActive; }
    void setActive(bool value) { FActive = value; }

private:
    QString FProtocolo;
    QString FSerial;
    qint32 FPorta = 7878;
    QString FEndereco = QStringLiteral("127.0.0.1");
    QString FTelnetStatus;
    QString FMqttStatus;
    QString FNome;
    QString FIDFabricante;
    QString FIDLinha;
    QString FIDModelo;
    QString FInfo;
    bool FEnviarStorage = false;
    bool FActive = false;
};

// The status sink: a machine agent reports a changed status of its machine record.
using TMaquinaStatusChangedProc = std::function<void(const TMaquina& machine)>;
