#include "settings/settings.h"

#include "settings/brand.h"
#include "util/app_paths.h"
#include "util/error.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(app_paths::BaseFolder());
        QFile::remove(app_paths::SettingsFile());
    }

    void TearDown() override {
        QFile::remove(app_paths::SettingsFile());
        app_paths::OverrideTitle(QString());
    }

    static void write(const QByteArray& bytes) {
        QFile file(app_paths::SettingsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QByteArray content() {
        QFile file(app_paths::SettingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QString mqtt(const QString& key) {
        return TIniFile(app_paths::SettingsFile()).ReadString("MQTT", key, "<absent>");
    }

    static TServerConfig Local(const QString& port) {
        TServerConfig screen;
        screen.Padrao = false;
        screen.Host = "broker.local";
        screen.User = "user";
        screen.Password = "p,w;%#";
        screen.Port = port;
        screen.UseSsl = true;
        screen.Description = "Plant 1";
        return screen;
    }

    TSettings settings;
};

}  // namespace

TEST_F(Settings, FreshInstallationChoosesCloudAndStoresANewDescription) {
    const TServerConfig screen = settings.Load();
    EXPECT_TRUE(screen.Padrao);
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{32}$").match(screen.Description).hasMatch())
        << screen.Description.toStdString();
    EXPECT_TRUE(screen.Host.isEmpty() && screen.User.isEmpty() && screen.Password.isEmpty());
    EXPECT_TRUE(screen.Port.isEmpty());

    EXPECT_EQ(mqtt("Padrao"), "1");
    EXPECT_EQ(mqtt("Description"), screen.Description);
    EXPECT_EQ(settings.Description(), screen.Description);
    for (const char* key : {"Host", "User", "Password", "Port", "UseSsl"})
        EXPECT_EQ(mqtt(key), "<absent>");

    EXPECT_EQ(TSettings().Load(), screen);  // the description is made once
}

TEST_F(Settings, LoadShowsAndKeepsALocalBroker) {
    write(
        "[MQTT]\r\nPadrao=0\r\nHost=broker.local\r\nUser=user\r\nPassword=p,w;%#\r\n"
        "Port=1999\r\nUseSsl=1\r\nDescription=Plant 1\r\n");
    EXPECT_EQ(settings.Load(), Local("1999"));
    EXPECT_EQ(mqtt("Host"), "broker.local");
    EXPECT_EQ(mqtt("Port"), "1999");

    write("[MQTT]\nPadrao=0\nPort=abc\nDescription=D\n");
    const TServerConfig screen = settings.Load();
    EXPECT_EQ(screen.Port, "1883");
    EXPECT_EQ(mqtt("Port"), "1883");
    EXPECT_EQ(mqtt("Host"), "");
}

TEST_F(Settings, LocalSaveStoresTheTypedPortOr8883) {
    const std::pair<QString, int> ports[] = {
        {"", 8883}, {"  ", 8883}, {"abc", 8883}, {"18 83", 8883}, {" 1884 ", 1884}, {"1883", 1883},
    };
    for (const auto& [typed, stored] : ports) {
        EXPECT_EQ(settings.Save(Local(typed)), Local(typed));
        EXPECT_EQ(TIniFile(app_paths::SettingsFile()).ReadInteger("MQTT", "Port", -1), stored)
            << typed.toStdString();
        EXPECT_EQ(settings.Broker().Port, stored);
    }
    EXPECT_EQ(mqtt("Padrao"), "0");
    EXPECT_EQ(mqtt("Password"), "p,w;%#");
    EXPECT_EQ(mqtt("UseSsl"), "1");
}

TEST_F(Settings, SwitchingToCloudRemovesTheBrokerKeysAndFallsBackToTheBrand) {
    settings.Save(Local("1999"));
    settings.setAutoStart(true);
    TServerConfig cloud = Local("1999");
    cloud.Padrao = true;

    TServerConfig shown;
    shown.Padrao = true;
    shown.Description = "Plant 1";
    EXPECT_EQ(settings.Save(cloud), shown);
    EXPECT_EQ(content(), "[MQTT]\nDescription=Plant 1\nPadrao=1\nAutoStart=1\n");

    const TBrokerSettings broker = settings.Broker();
    EXPECT_EQ(broker.Host, QString::fromUtf16(brand::DefaultHost));
    EXPECT_EQ(broker.User, QString::fromUtf16(brand::DefaultUser));
    EXPECT_EQ(broker.Password, QString::fromUtf16(brand::DefaultPassword));
    EXPECT_EQ(broker.Port, 1883);
    EXPECT_FALSE(broker.UseSsl);
}

TEST_F(Settings, BrokerDefaultsFollowTheProgramTitle) {
    struct Case {
        const char* title;
        const char16_t *host, *user, *password;
    };
    const Case cases[] = {
        {"quorinview", brand::ClientHost, brand::ClientUser, brand::ClientPassword},
        {"QuorinView", brand::ClientHost, brand::ClientUser, brand::ClientPassword},
        {"meltrix", brand::DefaultHost, brand::DefaultUser, brand::DefaultPassword},
        {"quorinview2", brand::DefaultHost, brand::DefaultUser, brand::DefaultPassword},
    };
    for (const Case& c : cases) {
        app_paths::OverrideTitle(c.title);
        const TBrokerSettings broker = TSettings().Broker();
        EXPECT_EQ(broker.Host, QString::fromUtf16(c.host)) << c.title;
        EXPECT_EQ(broker.User, QString::fromUtf16(c.user)) << c.title;
        EXPECT_EQ(broker.Password, QString::fromUtf16(c.password)) << c.title;
        EXPECT_EQ(brand::IsClientBrand(), c.host == brand::ClientHost) << c.title;
    }
    EXPECT_EQ(QString::fromUtf16(brand::DefaultPassword).size(), 40);
    EXPECT_EQ(QString::fromUtf16(brand::ClientPassword).size(), 12);
}

TEST_F(Settings, BrokerUsesTheStoredLocalValues) {
    settings.Save(Local("1999"));
    const TBrokerSettings broker = settings.Broker();
    EXPECT_EQ(broker.Host, "broker.local");
    EXPECT_EQ(broker.User, "user");
    EXPECT_EQ(broker.Password, "p,w;%#");
    EXPECT_EQ(broker.Port, 1999);
    EXPECT_TRUE(broker.UseSsl);
}

TEST_F(Settings, AutoStartIsStoredOnEveryClickAndSurvivesLoads) {
    EXPECT_FALSE(settings.AutoStart());
    settings.setAutoStart(true);
    EXPECT_EQ(mqtt("AutoStart"), "1");
    settings.Load();
    EXPECT_TRUE(TSettings().AutoStart());
    settings.setAutoStart(false);
    EXPECT_EQ(mqtt("AutoStart"), "0");
}

TEST_F(Settings, RefusedSaveLeavesTheFileAsItWas) {
    settings.Save(Local("1999"));
    const QByteArray before = content();
    TServerConfig cloud = Local("");
    cloud.Padrao = true;
    cloud.Description = "Plant\r\nHost=evil";
    EXPECT_THROW(settings.Save(cloud), MeltrixError);
    EXPECT_EQ(content(), before);

    TSettings nowhere(app_paths::SettingsFile() + "/missing/meltrix.ini");
    EXPECT_THROW(nowhere.Save(Local("1")), MeltrixError);
}
