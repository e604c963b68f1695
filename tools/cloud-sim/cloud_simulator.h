#pragma once

#include "cloud-sim/last_values_book.h"
#include "cloud-sim/summary_archive.h"
#include "messaging/mqtt_client.h"
#include "sim_log.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

struct TCloudSimOptions {
    TMqttConnectionSettings connection;
    QString model = QStringLiteral("1");  // the rule set goes to this model's REGRAS topic
    QString regras;                       // rule set document
    QString tabReferencia;                // tag table document
    QString fabricantes;                  // catalogue records
    QString linhas;
    QString modelos;
    bool acknowledge = true;              // answer every RESUMO with its RESUMOACK
    std::chrono::milliseconds ackDelay{0};
    bool answerLastValues = true;         // answer LAST_VALUES/GET
    QString summariesFolder;              // when set, every RESUMO batch is appended to a file there
    QString serialPrefix = QStringLiteral("SIM");
};

// The cloud side of the agents, on a real broker. On every connection it subscribes to the
// whole topic tree, publishes (retained) the rule set of one model, the tag table and the
// catalogue lists; then it acknowledges every summary batch with its SHA-1, answers
// last-value requests with what it learned from the summaries, and hands out new serials.
// Every message it receives or publishes is reported as traffic.
class TCloudSimulator : public QObject {
    Q_OBJECT

public:
    // Throws MeltrixError when the summaries folder cannot be created.
    TCloudSimulator(TCloudSimOptions options, TSimLog log, QObject* parent = nullptr);

    // Connects to the broker (asynchronously; reconnects by itself).
    void start();
    void stop();

    // Connected, subscribed and the retained documents published.
    bool isReady() const { return FReady; }
    const TLastValuesBook& lastValues() const { return FLastValues; }

    // Why a rule set or a tag table document would not be accepted by an agent; empty when
    // it would.
    static QString RegrasProblem(const QString& document);
    static QString TabReferenciaProblem(const QString& document);

    // The SHA-1 of the text's UTF-8 bytes as 40 lower-case hexadecimal digits.
    static QString Sha1Hex(const QString& text);

signals:
    void ready();

private:
    void onConnected();
    void onMessage(const QString& topic, const QString& payload);
    void onResumo(const QString& serial, const QString& batch);
    void acknowledge(const QString& serial, const QString& batch);
    void answerSerialRequest(const QString& requestId);
    QString newSerial() const;
    void publish(const QString& topic, const QString& payload, bool retain = false);
    void report(const QString& direction, const QString& topic, const QString& payload) const;

    TCloudSimOptions FOptions;
    TSimLog FLog;
    TMqttClient FClient;
    TLastValuesBook FLastValues;
    std::optional<TSummaryArchive> FArchive;
    bool FReady = false;
};
