#pragma once

#include "pipeline/brelk_scripter.h"
#include "preprocess/pre_processor.h"
#include "rules/notifier.h"
#include "rules/regras.h"
#include "rules/tag_mtconnect.h"
#include "summaries/resumo.h"
#include "util/agent_publisher.h"
#include "util/log_types.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <mutex>
#include <optional>

class TMaquina;
class TResumoMemCache;

// The processing pipeline of one machine: every chunk of machine text is split into tag
// values, each value runs through its rule (script, value, notifiers, publication,
// dependants) and changes of referenced rules lead to summaries in the cache. It owns the
// rule set and the re-entrant rules mutex that guards it; the protocol agents add their
// one-second timer.
class TAgentDataProcess {
public:
    using TRegrasLock = std::recursive_timed_mutex;

    static constexpr int MaxDependencyDepth = 10;
    static constexpr char ScriptErrorValue[] = "ERRO no script. Verificar tabela TErro.";

    // Loads the cached rules of the machine. The references must outlive the data process.
    TAgentDataProcess(const TMaquina& maquina, TProcRegLog3 logProc, IAgentPublisher& mqttCli,
                      TResumoMemCache& resumos, TTagMTConnectDict& TagMTConnectDict);
    virtual ~TAgentDataProcess();
    TAgentDataProcess(const TAgentDataProcess&) = delete;
    TAgentDataProcess& operator=(const TAgentDataProcess&) = delete;

    // Lets the descendant's timer tick; may be called more than once.
    virtual void start() = 0;

    void run(const QString& socketData);
    void setRegras(const QString& jsonContent);
    void setLastValuesRegras(const QString& jsonContent, const std::optional<TResumo>& lastResumoInMemory);
    void setLastValuesFromResumo(const std::optional<TResumo>& resumo);
    void subscribe(const QString& id, const QDateTime& ttl);
    void initializeRegras();

    // Publishes H1 as powered off, notifies it one second later and, when its value changed,
    // writes a summary one more second later. The waits never block the main thread; work
    // still pending when the data process ends is done at once so that nothing is lost.
    void createPoweroffResumo();
    // Completes a pending power-off at once (before the agent's connection goes away).
    void flushPoweroff();

    // The caller holds the rules mutex.
    void writeResumo(const QDateTime& timestampResumo);
    void postChangesToRegras();
    void createResumoIfFlagged();
    void resendValues();

    TRegrasLock& regrasLock() { return _regrasLock; }
    TRegras& regras() { return _regras; }

    static void publishRegra(TRegra& regra, IAgentPublisher& mqttCli, const TTagMTConnectDict& TagMTConnectDict,
                             bool isAResend);
    static void publishRegraUnconstrained(const TRegra& regra, IAgentPublisher& mqttCli,
                                          const TTagMTConnectDict& TagMTConnectDict);

protected:
    virtual void processValue(TRegra& regra, const QString& valor);
    virtual void afterLines() {}

    void updateRegra(TRegra& regra, const QString& valor, int depth);
    void RegisterLog(const QString& message, bool danger) const;
    bool hasRegras() const { return !_regras.dict().empty(); }

private:
    enum class PoweroffStage { None, Notify, Resumo };

    TRegra& findOrCreateRegra(const QString& tag);
    void runScriptOf(TRegra& regra, QString valor);
    QString scriptResult(TRegra& regra, const QString& valor);
    std::optional<ScriptValue> ruleConstant(const QString& name) const;
    void notifyRegra(TRegra& regra, bool isAResend);
    void flagResumoIfNeeded(const TRegra& regra);
    void loadRegrasFromDisk();
    void setMaquinaSerialRegras();
    void setPreProcessor();
    void applyLastValue(const QString& name, const QString& valor, const QDateTime& timestamp);
    void schedulePoweroffStage(PoweroffStage stage);
    void runPoweroffStage();

    const TMaquina& maquina;
    IAgentPublisher& mqttCli;
    TTagMTConnectDict& FTagMTConnectDict;
    TResumoMemCache& resumos;
    TProcRegLog3 ProcRegisterLog;

    TRegrasLock _regrasLock;
    TRegras _regras;
    TPreProcessor preProcessor;
    TBrelkScripter scripter;
    bool shouldCreateResumoFlag = false;
    TH1Notifier h1Notifier;
    TAlarmeNotifier alarmeNotifier;
    bool lastValuesSetted = false;

    PoweroffStage FPoweroffStage = PoweroffStage::None;
    quint64 FPoweroffGeneration = 0;  // a wait of an earlier power-off must not run a newer stage
    QObject FPoweroffTimers;  // context of the pending waits: destroyed with the data process
};
