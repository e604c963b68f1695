#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// Turns SIGTERM and SIGINT (systemd's stop request, Ctrl-C) into a signal on the main thread,
// where stopping the agents is safe. One instance per process.
class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    TTerminationSignals();
    ~TTerminationSignals() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    std::unique_ptr<QSocketNotifier> FNotifier;
};
