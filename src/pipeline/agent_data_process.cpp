#include "pipeline/agent_data_process.h"

#include "pipeline/script/script_error.h"
#include "settings/maquina.h"
#include "summaries/files.h"
#include "summaries/resumo_mem_cache.h"
#include "util/clock.h"
#include "util/date_time.h"
#include "util/error.h"
#include "util/text.h"
#include "util/timing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace {

const QString H1Name = QStringLiteral("H1");
const QString AlarmeName = QStringLiteral("ALARME");
const QString PowerOff = QStringLiteral("POWER_OFF");


// The code of a machine state as summaries and the cloud write it.
QString StateCode(const QString& stateName) {
    if (stateName == u"ACTIVE") return QStringLiteral("1");
    if (stateName == u"STOP") return QStringLiteral("0");
    return QStringLiteral("-1");
}

QString RequiredString(const QJsonObject& element, const QString& key) {
    const QJsonValue value = element.value(key);
    if (!value.isString())
        throw MeltrixError(QStringLiteral("LAST_VALUES: \"%1\" ausente ou não é texto").arg(key));
    return value.toString();
}

}  // namespace

TAgentDataProcess::TAgentDataProcess(const TMaquina& maquina, TProcRegLog3 logProc, IAgentPublisher& mqttCli,
                                     TResumoMemCache& resumos, TTagMTConnectDict& TagMTConnectDict)
    : maquina(maquina),
      mqttCli(mqttCli),
      FTagMTConnectDict(TagMTConnectDict),
      resumos(resumos),
      ProcRegisterLog(std::move(logProc)),
      h1Notifier(maquina.Serial(), mqttCli),
      alarmeNotifier(maquina.Serial(), mqttCli) {
    scripter.setConstantResolver([this](const QString& name) { return ruleConstant(name); });
    loadRegrasFromDisk();
}

// Every rule is a constant of the scripts, named by its key without a leading "_", whose
// value is the rule's stored value, trimmed. Scripts read only a few, so they are looked up
// when read rather than defined before every run.
std::optional<ScriptValue> TAgentDataProcess::ruleConstant(const QString& name) const {
    const QString key = name.toUpper();
    const TRegra* regra = _regras.find(key);
    if (!regra || regra->Nome().startsWith(u'_')) regra = _regras.find(u'_' + key);
    if (!regra) return std::nullopt;
    return ScriptValue::String(text::Trim(regra->Valor().atualBruto()));
}

TAgentDataProcess::~TAgentDataProcess() {
    // A power-off summary still waiting for its pauses is written now rather than lost.
    try {
        flushPoweroff();
    } catch (const std::exception& error) {
        RegisterLog(QStringLiteral("[TAgentDataProcess.Destroy] ") + ErrorMessage(error), true);
    }
}

void TAgentDataProcess::flushPoweroff() {
    while (FPoweroffStage != PoweroffStage::None) runPoweroffStage();
}

void TAgentDataProcess::RegisterLog(const QString& message, bool danger) const {
    if (ProcRegisterLog) ProcRegisterLog(message, danger);
}

// ---- the main loop

void TAgentDataProcess::run(const QString& socketData) {
    QString step = QStringLiteral("9.1");
    try {
        std::lock_guard lock(_regrasLock);
        step = QStringLiteral("9.2");
        if (!hasRegras()) return;
        step = QStringLiteral("9.3");
        const QList<QStringList> lines = preProcessor.Execute(socketData);
        step = QStringLiteral("9.4");
        for (const QStringList& line : lines) {
            step = QStringLiteral("9.4.1");
            for (const QString& pair : line) {
                step = QStringLiteral("9.4.1.1");
                try {
                    step = QStringLiteral("9.4.1.2");
                    const qsizetype equals = pair.indexOf(u'=');
                    TRegra& regra = findOrCreateRegra(text::Trim(pair.left(equals)));
                    processValue(regra, text::Trim(pair.mid(equals + 1)));
                    step = QStringLiteral("9.4.1.3");
                } catch (const std::exception& error) {
                    RegisterLog(QStringLiteral("[TAgentDataProcess::run] ") + ErrorMessage(error), true);
                }
            }
            step = QStringLiteral("9.4.2");
        }
        step = QStringLiteral("9.5");
        afterLines();
        step = QStringLiteral("9.6");
    } catch (const std::exception& error) {
        RegisterLog(QStringLiteral("[TAgentDataProcess.run] StackTrace: ") + step + QStringLiteral(" | Erro: ") +
                        ErrorMessage(error),
                    false);
    }
}

// Tags are looked up under the key their rule gets, so the rule created for an unknown tag
// is found again by the tag's next value.
TRegra& TAgentDataProcess::findOrCreateRegra(const QString& tag) {
    if (TRegra* existing = _regras.find(TRegra::KeyOf(tag))) return *existing;
    std::unique_ptr<TRegra> created = TRegra::Factory(tag);
    created->Ativo = true;
    created->setGerarNovoRegistro(false);
    created->IntervaloMinimo = 2000;
    created->EnvioValoresRepetidos = false;
    created->setLogProc(ProcRegisterLog);
    created->setMaquinaSerial(maquina.Serial());
    return _regras.add(std::move(created));
}

void TAgentDataProcess::processValue(TRegra& regra, const QString& valor) { updateRegra(regra, valor, 0); }

void TAgentDataProcess::updateRegra(TRegra& regra, const QString& valor, int depth) {
    if (valor.toLower() == u"unavailable" || depth >= MaxDependencyDepth) return;
    runScriptOf(regra, valor);
    notifyRegra(regra, false);
    publishRegra(regra, mqttCli, FTagMTConnectDict, false);
    for (TRegra* dependent : regra.regras()) updateRegra(*dependent, dependent->Valor().atualBruto(), depth + 1);
}

void TAgentDataProcess::runScriptOf(TRegra& regra, QString valor) {
    if (!text::Trim(regra.Script).isEmpty()) valor = scriptResult(regra, valor);
    regra.update(valor);
    flagResumoIfNeeded(regra);
}

QString TAgentDataProcess::scriptResult(TRegra& regra, const QString& valor) {
    static const QString prefix = QStringLiteral("[TAgentDataProcess::runScriptOf()]");
    try {
        scripter.setSource(regra.Script);
        scripter.defineConstant(QStringLiteral("_VALORATUAL"), ScriptValue::String(text::Trim(valor)));
        return scripter.execute().toText();
    } catch (const ScriptCompileError& error) {
        RegisterLog(prefix + QStringLiteral("  Compilation error: ") + error.message() + QStringLiteral(". Regra ") +
                        regra.OriginalName(),
                    false);
        TBrelkScripter::publishScriptError(error.message(), maquina, regra, _regras, mqttCli);
        return QString::fromLatin1(ScriptErrorValue);
    } catch (const std::exception& error) {
        RegisterLog(prefix + QStringLiteral(" Catastrophic error: ") + ErrorMessage(error) + QStringLiteral(". Regra ") +
                        regra.OriginalName() + QStringLiteral(" valor: ") + valor,
                    false);
        return valor;
    }
}

void TAgentDataProcess::flagResumoIfNeeded(const TRegra& regra) {
    if (!shouldCreateResumoFlag && !text::Trim(regra.IdTagReferencia).isEmpty() && regra.GerarNovoRegistro() &&
        regra.Valor().alterou())
        shouldCreateResumoFlag = true;
}

void TAgentDataProcess::notifyRegra(TRegra& regra, bool isAResend) {
    TNotifier* notifier = regra.Nome() == H1Name ? static_cast<TNotifier*>(&h1Notifier)
                          : regra.Nome() == AlarmeName ? static_cast<TNotifier*>(&alarmeNotifier)
                                                       : nullptr;
    if (!notifier) return;
    notifier->updateValue(regra.Valor().atualBruto());
    if (regra.canBePublished(isAResend)) notifier->publish();
}

void TAgentDataProcess::publishRegra(TRegra& regra, IAgentPublisher& mqttCli,
                                     const TTagMTConnectDict& TagMTConnectDict, bool isAResend) {
    if (!mqttCli.IsConnected()) return;
    const TRegraPublishInstructions instructions = regra.getPublishInstructions(TagMTConnectDict, false, isAResend);
    for (const TRegraPublishInstruction& instruction : instructions)
        mqttCli.Publish(instruction.topic, instruction.payload, TmqttQoS::AtMostOnce, false);
    if (!instructions.isEmpty()) regra.sended();
}

void TAgentDataProcess::publishRegraUnconstrained(const TRegra& regra, IAgentPublisher& mqttCli,
                                                  const TTagMTConnectDict& TagMTConnectDict) {
    for (const TRegraPublishInstruction& instruction : regra.getPublishInstructions(TagMTConnectDict, true, false))
        mqttCli.Publish(instruction.topic, instruction.payload, TmqttQoS::AtMostOnce, false);
}

// ---- summaries

void TAgentDataProcess::createResumoIfFlagged() {
    if (!shouldCreateResumoFlag) return;
    shouldCreateResumoFlag = false;
    try {
        writeResumo(Clock::now());
    } catch (...) {
        // The cache kept the summary; posting keeps the next tick from writing it again.
        postChangesToRegras();
        throw;
    }
    postChangesToRegras();
}

void TAgentDataProcess::writeResumo(const QDateTime& timestampResumo) {
    TResumo resumo;
    bool valid = false;
    TRegras::forEach(_regras.withRefList(), [&](TRegra& regra) {
        resumo.addLine(maquina.Serial(), regra, timestampResumo);
        valid = valid || (regra.Valor().alterou() && regra.GerarNovoRegistro());
    });
    if (valid) resumos.save(std::move(resumo));
}

void TAgentDataProcess::postChangesToRegras() {
    _regras.forEach([](TRegra& regra) { regra.Valor().post(); });
}

void TAgentDataProcess::resendValues() {
    {
        std::lock_guard lock(_regrasLock);
        if (!mqttCli.IsConnected()) return;
        _regras.forEach([&](TRegra& regra) {
            notifyRegra(regra, true);
            publishRegra(regra, mqttCli, FTagMTConnectDict, true);
        });
    }
    h1Notifier.sanitizeSubscriptions();
    alarmeNotifier.sanitizeSubscriptions();
}

void TAgentDataProcess::createPoweroffResumo() {
    // A power-off still pending (the link dropped twice within two seconds) completes first.
    flushPoweroff();
    std::lock_guard lock(_regrasLock);
    TRegra* h1 = _regras.find(H1Name);
    if (!h1) return;
    if (h1->Valor().atual() != PowerOff) h1->update(QStringLiteral("-1"));
    publishRegra(*h1, mqttCli, FTagMTConnectDict, false);
    schedulePoweroffStage(PoweroffStage::Notify);
}

void TAgentDataProcess::schedulePoweroffStage(PoweroffStage stage) {
    FPoweroffStage = stage;
    const quint64 generation = ++FPoweroffGeneration;
    QTimer::singleShot(Timing::get().poweroffStep, &FPoweroffTimers, [this, generation] {
        if (generation != FPoweroffGeneration || FPoweroffStage == PoweroffStage::None) return;
        try {
            runPoweroffStage();
        } catch (const std::exception& error) {
            RegisterLog(QStringLiteral("[TAgentDataProcess.createPoweroffResumo] ") + ErrorMessage(error), true);
        }
    });
}

void TAgentDataProcess::runPoweroffStage() {
    std::lock_guard lock(_regrasLock);
    const PoweroffStage stage = std::exchange(FPoweroffStage, PoweroffStage::None);
    ++FPoweroffGeneration;
    TRegra* h1 = _regras.find(H1Name);
    if (!h1) return;
    if (stage == PoweroffStage::Notify) {
        notifyRegra(*h1, false);
        if (h1->Valor().alterou()) schedulePoweroffStage(PoweroffStage::Resumo);
    } else if (stage == PoweroffStage::Resumo) {
        writeResumo(Clock::now());
        postChangesToRegras();
    }
}

// ---- rule sets

void TAgentDataProcess::loadRegrasFromDisk() {
    RegisterLog(QStringLiteral("Carregando regras do disco"), false);
    try {
        _regras.fromJSON(maquina.Serial().isEmpty() ? QString() : TFiles::readRegrasFile(maquina.Serial()));
    } catch (const std::exception& error) {
        RegisterLog(QStringLiteral("Erro ao carregar regras do disco: ") + ErrorMessage(error), true);
    }
    setMaquinaSerialRegras();
    setPreProcessor();
}

void TAgentDataProcess::setRegras(const QString& jsonContent) {
    RegisterLog(QStringLiteral("Regras recebidas via MQTT"), false);
    std::lock_guard lock(_regrasLock);
    try {
        _regras.fromJSON(jsonContent);
        setMaquinaSerialRegras();
        if (!_regras.json().isEmpty() && !maquina.Serial().isEmpty())
            TFiles::writeRegrasFile(maquina.Serial(), _regras.json());
    } catch (const std::exception& error) {
        RegisterLog(QStringLiteral("Erro ao preencher regras: ") + ErrorMessage(error), true);
        // A set installed before the failure still needs its serial for its topics.
        setMaquinaSerialRegras();
    }
    setPreProcessor();
}

void TAgentDataProcess::setMaquinaSerialRegras() {
    _regras.forEach([&](TRegra& regra) {
        regra.setLogProc(ProcRegisterLog);
        try {
            regra.setMaquinaSerial(maquina.Serial());
        } catch (const std::exception& error) {
            RegisterLog(QStringLiteral("[TAgentDataProcess] ") + ErrorMessage(error), true);
        }
    });
}

void TAgentDataProcess::setPreProcessor() {
    preProcessor.clearTagEspecialList();
    TRegras::forEach(_regras.specialList(), [&](TRegra& regra) { preProcessor.AddTagEspecialList(regra.OriginalName()); });
}

// ---- last values

void TAgentDataProcess::setLastValuesRegras(const QString& jsonContent,
                                            const std::optional<TResumo>& lastResumoInMemory) {
    if (lastValuesSetted) return;
    const QJsonDocument document = QJsonDocument::fromJson(jsonContent.toUtf8());
    if (!document.isArray()) return;
    const QJsonArray values = document.array();
    std::lock_guard lock(_regrasLock);
    if (lastResumoInMemory && !values.isEmpty()) {
        const QDateTime firstValueTime =
            date_time::ParseIsoToUtc(RequiredString(values.first().toObject(), QStringLiteral("datahora")));
        if (lastResumoInMemory->getDate() > firstValueTime) {
            setLastValuesFromResumo(lastResumoInMemory);
            return;
        }
    }
    for (const QJsonValue& value : values) {
        const QJsonObject element = value.toObject();
        applyLastValue(RequiredString(element, QStringLiteral("regra")), RequiredString(element, QStringLiteral("valor")),
                       date_time::ParseIsoToUtc(RequiredString(element, QStringLiteral("datahora"))));
    }
}

void TAgentDataProcess::setLastValuesFromResumo(const std::optional<TResumo>& resumo) {
    if (lastValuesSetted || !resumo) return;
    for (const QString& line : resumo->lines())
        applyLastValue(TResumo::getRuleName(line), TResumo::getRuleValue(line), resumo->getDate());
    lastValuesSetted = true;
}

void TAgentDataProcess::applyLastValue(const QString& name, const QString& valor, const QDateTime& timestamp) {
    TRegra* regra = _regras.find(name);
    if (!regra) return;
    regra->update(regra->Nome() == H1Name ? StateCode(valor) : valor);
    regra->Valor().getTempoAcumulado(timestamp);
    regra->Valor().post();
}

void TAgentDataProcess::initializeRegras() {
    std::lock_guard lock(_regrasLock);
    _regras.forEach([](TRegra& regra) { regra.update(QString()); });
}

void TAgentDataProcess::subscribe(const QString& id, const QDateTime& ttl) {
    h1Notifier.subscribe(id, ttl);
    alarmeNotifier.subscribe(id, ttl);
}
