#pragma once

#include "support/qt_printers.h"
#include "util/agent_publisher.h"

#include <QList>
#include <QString>

#include <mutex>

// An in-process publisher that keeps every publication it is given while "connected".
class RecordingPublisher : public IAgentPublisher {
public:
    struct Publication {
        QString topic;
        QString payload;
        bool retain = false;
        bool operator==(const Publication&) const = default;
        friend void PrintTo(const Publication& p, std::ostream* out) {
            *out << p.topic.toStdString() << " <- " << p.payload.toStdString() << (p.retain ? " (retained)" : "");
        }
    };

    quint16 Publish(const QString& topic, const QString& payload, TmqttQoS, bool retain) override {
        std::lock_guard lock(FGuard);
        if (FConnected) FPublished.append({topic, payload, retain});
        return 0;
    }
    bool IsConnected() const override {
        std::lock_guard lock(FGuard);
        return FConnected;
    }

    void setConnected(bool connected) {
        std::lock_guard lock(FGuard);
        FConnected = connected;
    }
    QList<Publication> published() const {
        std::lock_guard lock(FGuard);
        return FPublished;
    }
    QList<Publication> takePublished() {
        std::lock_guard lock(FGuard);
        return std::exchange(FPublished, {});
    }

private:
    mutable std::mutex FGuard;
    bool FConnected = true;
    QList<Publication> FPublished;
};
