#pragma once

#include "shdr-sim/shdr_simulator.h"
#include "support/event_loop.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

// A simulator on a free loopback port with its log kept, and one client connected to it.
class ShdrSimulatorTest : public ::testing::Test {
protected:
    struct TLogLine {
        TSimLogKind kind;
        QString text;
    };

    void startSimulator(TShdrSimOptions options) {
        options.port = 0;
        simulator = std::make_unique<TShdrSimulator>(
            std::move(options), [this](TSimLogKind kind, const QString& text) { log.append({kind, text}); });
        simulator->start();
        QObject::connect(&client, &QTcpSocket::readyRead, [this] { received += client.readAll(); });
        client.connectToHost(QHostAddress::LocalHost, simulator->serverPort());
        ASSERT_TRUE(SpinUntil([this] { return client.state() == QAbstractSocket::ConnectedState; }));
    }

    bool waitForLines(int count) {
        return SpinUntil([this, count] { return received.count("\r\n") >= count; });
    }

    QStringList logOf(TSimLogKind kind) const {
        QStringList lines;
        for (const TLogLine& line : log)
            if (line.kind == kind) lines << line.text;
        return lines;
    }

    static TShdrSimOptions Options(TShdrMode mode) {
        TShdrSimOptions options;
        options.mode = mode;
        options.interval = std::chrono::hours(1);  // ticks only when a test asks for them
        options.behaviour.seed = 5;
        return options;
    }

    QList<TLogLine> log;
    std::unique_ptr<TShdrSimulator> simulator;
    QTcpSocket client;
    QByteArray received;
};
