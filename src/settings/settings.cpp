#include "settings/settings.h"

#include "settings/brand.h"
#include "util/app_paths.h"
#include "util/hex_ids.h"
#include "util/text.h"

namespace {

const QString Section = QStringLiteral("MQTT");
const QString KeyPadrao = QStringLiteral("Padrao");
const QString KeyHost = QStringLiteral("Host");
const QString KeyUser = QStringLiteral("User");
const QString KeyPassword = QStringLiteral("Password");
const QString KeyPort = QStringLiteral("Port");
const QString KeyUseSsl = QStringLiteral("UseSsl");
const QString KeyAutoStart = QStringLiteral("AutoStart");
const QString KeyDescription = QStringLiteral("Description");

constexpr int DefaultPort = 1883;
constexpr int PortWhenUntyped = 8883;

int TypedPort(const QString& typed) {
    bool isNumber = false;
    const int port = text::Trim(typed).toInt(&isNumber, 10);
    return isNumber ? port : PortWhenUntyped;
}

}  // namespace

TSettings::TSettings() : TSettings(app_paths::SettingsFile()) {}

TSettings::TSettings(QString fileName) : FIniFile(std::move(fileName)) {}

TServerConfig TSettings::Load() {
    TServerConfig screen;
    screen.Host = FIniFile.ReadString(Section, KeyHost, QString());
    screen.User = FIniFile.ReadString(Section, KeyUser, QString());
    screen.Password = FIniFile.ReadString(Section, KeyPassword, QString());
    screen.Port = QString::number(FIniFile.ReadInteger(Section, KeyPort, DefaultPort));
    screen.UseSsl = FIniFile.ReadBool(Section, KeyUseSsl, false);
    screen.Padrao = FIniFile.ReadBool(Section, KeyPadrao, true);
    screen.Description = FIniFile.ReadString(Section, KeyDescription, QString());
    if (screen.Description.isEmpty()) screen.Description = hex_ids::NewGuid();
    return Save(screen);
}

TServerConfig TSettings::Save(const TServerConfig& screen) {
    // The description first: a value the file cannot hold is refused before anything changed.
    FIniFile.WriteString(Section, KeyDescription, screen.Description);
    FIniFile.WriteBool(Section, KeyPadrao, screen.Padrao);
    if (screen.Padrao) {
        for (const QString& key : {KeyHost, KeyUser, KeyPassword, KeyPort, KeyUseSsl})
            FIniFile.DeleteKey(Section, key);
        TServerConfig shown;
        shown.Padrao = true;
        shown.Description = screen.Description;
        return shown;
    }
    FIniFile.WriteString(Section, KeyHost, screen.Host);
    FIniFile.WriteString(Section, KeyUser, screen.User);
    FIniFile.WriteString(Section, KeyPassword, screen.Password);
    FIniFile.WriteInteger(Section, KeyPort, TypedPort(screen.Port));
    FIniFile.WriteBool(Section, KeyUseSsl, screen.UseSsl);
    return screen;
}

TBrokerSettings TSettings::Broker() const {
    const brand::TBrokerDefaults defaults = brand::BrokerDefaults();
    TBrokerSettings broker;
    broker.Host = FIniFile.ReadString(Section, KeyHost, defaults.Host);
    broker.User = FIniFile.ReadString(Section, KeyUser, defaults.User);
    broker.Password = FIniFile.ReadString(Section, KeyPassword, defaults.Password);
    broker.Port = FIniFile.ReadInteger(Section, KeyPort, DefaultPort);
    broker.UseSsl = FIniFile.ReadBool(Section, KeyUseSsl, false);
    return broker;
}

bool TSettings::AutoStart() const { return FIniFile.ReadBool(Section, KeyAutoStart, false); }

void TSettings::setAutoStart(bool autoStart) {
    FIniFile.WriteBool(Section, KeyAutoStart, autoStart);
}

QString TSettings::Description() const {
    return FIniFile.ReadString(Section, KeyDescription, QString());
}
