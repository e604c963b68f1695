#pragma once

#include "messaging/mqtt_client.h"

#include <QCoreApplication>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QThread>

// Records the events a TMqttClient delivers, and whether every one of them arrived on the
// main thread.
struct MqttClientEvents {
    explicit MqttClientEvents(TMqttClient& client) {
        QObject::connect(&client, &TMqttClient::connecting, [this] { note(connecting); });
        QObject::connect(&client, &TMqttClient::connected, [this] { note(connected); });
        QObject::connect(&client, &TMqttClient::disconnected, [this] { note(disconnected); });
        QObject::connect(&client, &TMqttClient::error, [this](const QString& text) {
            errors.append(text);
            onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
        });
        QObject::connect(&client, &TMqttClient::messageReceived,
                         [this](const QString& topic, const QString& payload) {
                             messages.append({topic, payload});
                             onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
                         });
    }

    void note(int& counter) {
        ++counter;
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    }

    int connecting = 0;
    int connected = 0;
    int disconnected = 0;
    QStringList errors;
    QList<QPair<QString, QString>> messages;
    bool onMainThread = true;
};
