// Throughput of the processing pipeline: machine text in, rule values (and publications) out.
//   BM_RuleScript/N          one value of a rule with a 10-line script, on a machine with N rules
//   BM_Run/0                 records of 5 tag values over 100 rules, nothing published
//   BM_Run/1                 the same, every value published through a real local broker
//   BM_PlainMosquittoPublish the same publications from a bare libmosquitto loop (the ceiling)
#include "agents/dm_agent_mqtt.h"
#include "agents/mtconnect_agent.h"
#include "messaging/mqtt_client.h"
#include "settings/maquina.h"
#include "summaries/resumo_mem_cache.h"
#include "support/mosquitto_broker.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>
#include <mosquitto.h>

namespace {

constexpr int kRules = 100;
constexpr int kTagsPerRecord = 5;

QJsonObject Rule(const QString& nome, const QString& script = {}) {
    return QJsonObject{{"Nome", nome},       {"EnvioValoresRepetidos", true}, {"TagEspecial", false},
                       {"Ativo", true},      {"IntervaloMinimo", 0},          {"IntervaloMaximo", 0},
                       {"Script", script},   {"Protocolo", ""},               {"ProtocoloParametro", ""},
                       {"IdTagReferencia", ""}, {"GerarNovoRegistro", false}, {"Gatilhos", QJsonArray{}}};
}

QString Document(int ruleCount, const QString& scriptRule = {}, const QString& script = {}) {
    QJsonArray rules;
    for (int i = 0; i < ruleCount; ++i) rules.append(Rule(QString("T%1").arg(i)));
    rules.append(Rule("EXECUTION"));
    rules.append(Rule("FATOR"));
    if (!scriptRule.isEmpty()) rules.append(Rule(scriptRule, script));
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"array", rules}}).toJson(QJsonDocument::Compact));
}

const QString kTenLineScript = QStringLiteral(
    "var v, f: double;\n"
    "begin\n"
    "  v := StringToDouble(_VALORATUAL);\n"
    "  f := StringToDouble(FATOR, 1);\n"
    "  if StringComparar(EXECUTION, 'ACTIVE') and (v > 0) then\n"
    "    Result := ArredondaFloat(FloatToStr(v * f))\n"
    "  else if StringVazia(T1) then\n"
    "    Result := '0'\n"
    "  else Result := T1;\n"
    "end.");

// A publisher whose connection is down: the pipeline does everything but publish.
class Offline : public IAgentPublisher {
public:
    quint16 Publish(const QString&, const QString&, TmqttQoS, bool) override { return 0; }
    bool IsConnected() const override { return false; }
};

struct Machine {
    explicit Machine(IAgentPublisher& publisher) {
        maquina.setSerial("BENCH");
        maquina.setProtocolo("MTConnect");
        process = std::make_unique<TMTConnectAgent>(maquina, TProcRegLog3([](const QString&, bool) {}), publisher,
                                                    resumos, tags);
    }
    TMaquina maquina;
    TResumoMemCache resumos{"BENCH", [](const QString&, bool) {}};
    TTagMTConnectDict tags;
    std::unique_ptr<TMTConnectAgent> process;
};

QStringList Records(int count) {
    QStringList records;
    for (int r = 0; r < count; ++r) {
        QString record = QStringLiteral("2024-06-24T10:11:12.123Z");
        for (int t = 0; t < kTagsPerRecord; ++t)
            record += QString("|T%1|%2").arg((r * kTagsPerRecord + t) % kRules).arg(r % 97 + t);
        records << record + QStringLiteral("\r\n");
    }
    return records;
}

void WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 10'000 && !condition(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
}

MosquittoBroker& Broker() {
    static MosquittoBroker broker;
    static const bool started = broker.start();
    if (!started) throw std::runtime_error("mosquitto did not start");
    return broker;
}

void BM_RuleScript(benchmark::State& state) {
    Offline offline;
    Machine machine(offline);
    machine.process->setRegras(Document(static_cast<int>(state.range(0)), "CALC", kTenLineScript));
    machine.process->run("2024-06-24T10:11:12.123Z|EXECUTION|ACTIVE|FATOR|1.5|T1|3\r\n");
    const QStringList values = {"2024-06-24T10:11:12.123Z|CALC|12.25\r\n", "2024-06-24T10:11:12.123Z|CALC|7.5\r\n"};
    qsizetype n = 0;
    for (auto _ : state) machine.process->run(values[n++ & 1]);
    if (machine.process->regras().find("CALC")->Valor().atualBruto().startsWith("ERRO"))
        state.SkipWithError("the script does not compile");
}
BENCHMARK(BM_RuleScript)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);

void BM_Run(benchmark::State& state) {
    const bool publish = state.range(0) == 1;
    Offline offline;
    TMqttClient client;
    TDMAgentMqtt online(client);
    if (publish) {
        client.Connect(Broker().connectionSettings());
        WaitFor([&] { return client.IsConnected(); });
    }
    Machine machine(publish ? static_cast<IAgentPublisher&>(online) : offline);
    machine.process->setRegras(Document(kRules));
    const QStringList records = Records(1000);
    qsizetype n = 0;
    for (auto _ : state) machine.process->run(records[n++ % records.size()]);
    state.SetItemsProcessed(state.iterations() * kTagsPerRecord);
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Run)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_PlainMosquittoPublish(benchmark::State& state) {
    mosquitto_lib_init();
    mosquitto* mosq = mosquitto_new(nullptr, true, nullptr);
    mosquitto_connect(mosq, "127.0.0.1", Broker().port(), 60);
    mosquitto_loop_start(mosq);
    const QByteArray topic = "/IoT/BENCH/DADOS";
    QList<QByteArray> payloads;
    for (int i = 0; i < 100; ++i) payloads << QString("T%1|%2").arg(i).arg(i % 97).toUtf8();
    qsizetype n = 0;
    for (auto _ : state) {
        for (int t = 0; t < kTagsPerRecord; ++t) {
            const QByteArray& payload = payloads[n++ % payloads.size()];
            mosquitto_publish(mosq, nullptr, topic.constData(), static_cast<int>(payload.size()), payload.constData(), 0,
                              false);
        }
    }
    state.SetItemsProcessed(state.iterations() * kTagsPerRecord);
    mosquitto_disconnect(mosq);
    mosquitto_loop_stop(mosq, false);
    mosquitto_destroy(mosq);
}
BENCHMARK(BM_PlainMosquittoPublish)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir sandbox;
    qputenv("MELTRIX_HOME", sandbox.filePath("home").toUtf8());
    qputenv("XDG_DATA_HOME", sandbox.filePath("data").toUtf8());
    if (!qEnvironmentVariableIsSet("TZ")) qputenv("TZ", ":/etc/localtime");  // as the service runs
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
