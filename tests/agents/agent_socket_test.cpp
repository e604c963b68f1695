#include "agents/agent_socket.h"

#include "support/event_loop.h"
#include "support/fake_machine.h"
#include "util/error.h"

#include <cerrno>
#include <thread>

#include <gtest/gtest.h>

namespace {

struct Events {
    int connected = 0;
    int disconnected = 0;
    QList<int> errors;
    QString text;
};

std::unique_ptr<TAgentSocket> SocketTo(quint16 port, Events& events) {
    return std::make_unique<TAgentSocket>(
        " 127.0.0.1 ", port, [&](TAgentSocket&) { ++events.connected; },
        [&](TAgentSocket&) { ++events.disconnected; },
        [&](TAgentSocket& socket) { events.text += socket.ReadAvailableText(); },
        [&](TAgentSocket&, int& code) { events.errors << code; });
}

}  // namespace

TEST(TAgentSocket, RefusesAMissingHostOrABadPort) {
    const std::pair<QString, int> cases[] = {{"", 7878}, {"   ", 7878}, {"10.0.0.1", 0}, {"10.0.0.1", 65536}};
    for (const auto& [host, port] : cases) {
        try {
            TAgentSocket socket(host, port, {}, {}, {}, {});
            ADD_FAILURE() << host.toStdString() << ":" << port;
        } catch (const MeltrixError& error) {
            EXPECT_EQ(error.message(), "The agent needs to known where to connect.");
        }
    }
}

TEST(TAgentSocket, ConnectsSendsAndReceives) {
    FakeMachine machine;
    Events events;
    auto socket = SocketTo(machine.port(), events);
    EXPECT_EQ(socket->getSocketPort(), machine.port());
    socket->Connect();
    ASSERT_TRUE(SpinUntil([&] { return events.connected == 1 && machine.connected(); }));
    EXPECT_TRUE(socket->isConnected());

    socket->Send("TOKEN\r\n");
    socket->CheckIfConnectionIsAlive();
    std::thread([&] { socket->Send("|from another thread"); }).join();
    ASSERT_TRUE(SpinUntil([&] { return machine.received().endsWith("thread"); }));
    EXPECT_EQ(machine.received(), "TOKEN\r\nHello world!|from another thread");

    machine.send("2024-06-24T10:11:12.123Z|execution|ACTIVE\r\n");
    ASSERT_TRUE(SpinUntil([&] { return events.text.endsWith("\r\n"); }));
    EXPECT_EQ(events.text, "2024-06-24T10:11:12.123Z|execution|ACTIVE\r\n");

    machine.dropConnection();
    ASSERT_TRUE(SpinUntil([&] { return events.disconnected == 1; }));
    EXPECT_FALSE(socket->isConnected());
}

TEST(TAgentSocket, BackOffGrowsWithFailuresAndRestartsAfterASuccess) {
    Events events;
    const quint16 closed = ClosedPort();
    auto socket = SocketTo(closed, events);
    QList<int> waits;
    for (int attempt = 1; attempt <= 5; ++attempt) {
        socket->Connect();
        ASSERT_TRUE(SpinUntil([&] { return events.errors.size() == attempt; }));
        waits << socket->GetReconnectionTryInterval();
    }
    EXPECT_EQ(waits, QList<int>({10, 20, 30, 40, 50}));
    EXPECT_EQ(events.errors.first(), ECONNREFUSED);
    EXPECT_EQ(events.connected, 0);
    for (int attempt = 6; attempt <= 14; ++attempt) {
        socket->Connect();
        ASSERT_TRUE(SpinUntil([&] { return events.errors.size() == attempt; }));
    }
    EXPECT_EQ(socket->GetReconnectionTryInterval(), 120);
}

TEST(TAgentSocket, SuccessfulConnectionResetsTheWaitToTenSeconds) {
    const quint16 port = ClosedPort();
    Events events;
    auto socket = SocketTo(port, events);
    socket->Connect();
    ASSERT_TRUE(SpinUntil([&] { return events.errors.size() == 1; }));
    socket->Connect();
    ASSERT_TRUE(SpinUntil([&] { return events.errors.size() == 2; }));
    EXPECT_EQ(socket->GetReconnectionTryInterval(), 20);

    FakeMachine machine(port);  // the machine comes up
    ASSERT_EQ(machine.port(), port);
    socket->Connect();
    ASSERT_TRUE(SpinUntil([&] { return events.connected == 1 && machine.connected(); }));
    machine.dropConnection();
    ASSERT_TRUE(SpinUntil([&] { return events.disconnected == 1; }));
    EXPECT_EQ(socket->GetReconnectionTryInterval(), 10);
}
