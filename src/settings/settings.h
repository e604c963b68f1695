#pragma once

#include "settings/ini_file.h"

#include <QString>

// Where the installation's own connection and the machine agents connect.
struct TBrokerSettings {
    QString Host;
    QString User;
    QString Password;
    int Port = 1883;
    bool UseSsl = false;  // the installation's own connection only; agents never use TLS
};

// The broker choices as the configuration screen shows and edits them.
struct TServerConfig {
    bool Padrao = true;  // true: the brand's built-in cloud broker ("Cloud"); false: "Local"
    QString Host;
    QString User;
    QString Password;
    QString Port;  // as typed
    bool UseSsl = false;
    QString Description;  // the installation's name on the broker

    bool operator==(const TServerConfig&) const = default;
};

// The installation's settings, section "MQTT" of the settings file. Every change is on
// disk when the call returns; a failed write raises MeltrixError. Main thread only.
class TSettings {
public:
    TSettings();  // the installation's settings file
    explicit TSettings(QString fileName);

    // Settings load: reads the file into a screen and runs Save on it, so that "Padrao"
    // and a description (made now when there is none: 32 upper-case hexadecimal digits)
    // are stored at once and Cloud mode leaves no broker keys behind.
    TServerConfig Load();

    // Settings save: stores the choice and the description; Cloud removes the broker keys,
    // Local stores them as typed, with port 8883 when the typed port is empty or not a
    // number. Returns the screen as it is afterwards (Cloud empties the broker boxes).
    TServerConfig Save(const TServerConfig& screen);

    // The broker to connect to: stored values, else the brand's built-in host, user and
    // password, port 1883 and no TLS.
    TBrokerSettings Broker() const;

    bool AutoStart() const;
    void setAutoStart(bool autoStart);

    QString Description() const;

private:
    TIniFile FIniFile;
};
