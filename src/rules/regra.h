#pragma once

#include "rules/regra_valor.h"
#include "rules/tag_mtconnect.h"
#include "util/log_types.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// One publication a rule hands to the publisher: topic and payload.
struct TRegraPublishInstruction {
    QString topic;
    QString payload;

    static TRegraPublishInstruction Create(const QString& topic, const QString& payload) {
        return {topic, payload};
    }
    bool operator==(const TRegraPublishInstruction&) const = default;
};

using TRegraPublishInstructions = QList<TRegraPublishInstruction>;

// The names that select a rule kind, in this order.
enum class EnumRegraNome { C1, D1, H1, HORIMETRO, ALARME, MENSAGEM };

// One named value derived from the machine's data: it keeps the value, logs each change in
// a history kept on disk, decides whether the value may be published now (minimum interval,
// repeated values, heartbeat) and builds the publications for it. No lock of its own: the
// owning agent's rules mutex guards every operation.
class TRegra {
public:
    // When the rule was last published.
    class TPublishConstraint {
    public:
        bool canBePublished(const TRegra& regra, bool isAResend) const;
        void sended();
        // Local time; invalid while the rule was never published.
        QDateTime lastSentTimestamp() const;

    private:
        // Milliseconds since the epoch, compared on every value: cheaper than a local time.
        std::optional<qint64> _lastSentTimestamp;
    };

    static constexpr int MaxHistoryEntries = 1000;
    static constexpr int MaxValueLength = 130;

    explicit TRegra(const QString& nomeRegra);
    virtual ~TRegra();
    TRegra(const TRegra&) = delete;
    TRegra& operator=(const TRegra&) = delete;

    // The key a rule of this name has: trimmed, upper-cased, one leading "_" removed.
    static QString KeyOf(const QString& nomeRegra);

    // A rule of the kind the name selects (letter case ignored, name not trimmed).
    static std::unique_ptr<TRegra> Factory(const QString& nomeRegra);
    // A rule filled from one rule object; throws MeltrixError on a missing or mistyped key.
    static std::unique_ptr<TRegra> Factory(const QJsonObject& json);

    virtual bool isPublishable() const { return true; }
    virtual TRegraPublishInstructions buildPublishInstructions() const;
    virtual QString translateValue(const QString& v) const { return v; }
    virtual void update(const QString& valor);

    bool canBePublished(bool isAResend) const;
    TRegraPublishInstructions getPublishInstructions(const TTagMTConnectDict& TagMTConnectDict,
                                                     bool skipConstraints, bool isAResend) const;
    void sended();
    QString toJSON() const { return json; }
    QString getChangeHistory() const;
    void attachValueFrom(const TRegra& regra);

    const QString& Nome() const { return FNome; }
    const QString& OriginalName() const { return FOriginalName; }
    TRegraValor& Valor() { return *FValor; }
    const TRegraValor& Valor() const { return *FValor; }
    const QStringList& changeHistory() const { return FChangeHistory; }
    const TPublishConstraint& publishConstraint() const { return _publishConstraint; }

    bool GerarNovoRegistro() const { return FGerarNovoRegistro; }
    void setGerarNovoRegistro(bool gerar);

    const QString& maquinaSerial() const { return _maquinaSerial; }
    // Loads the change history file of the new serial when it exists; a file that exists
    // but cannot be read throws MeltrixError.
    void setMaquinaSerial(const QString& serial);

    // Where a history file that cannot be saved on destruction is reported.
    void setLogProc(TProcRegLog3 logProc) { FLogProc = std::move(logProc); }

    // Empty while the rule has no machine serial.
    QString historyFilePath() const;
    // Writes the change history file; throws MeltrixError when it cannot.
    void saveChangeHistory() const;

    QList<TRegra*>& regras() { return _regras; }
    const QList<TRegra*>& regras() const { return _regras; }

    bool Ativo = true;
    int IntervaloMinimo = 0;
    int IntervaloMaximo = 0;
    bool EnvioValoresRepetidos = true;
    bool TagEspecial = false;
    QString Script;
    QString Protocolo;
    QString ProtocoloParametro;
    QString IdTagReferencia;

protected:
    // Adds a change-history entry when the last update changed the last seen value.
    void doCache(const QString& cacheAnteriorBruto, const QString& cacheAnterior);

private:
    FnValueTranslation OwnTranslation() const;
    void loadChangeHistory();

    QString json;
    QString FNome;
    QString FOriginalName;
    QList<TRegra*> _regras;  // dependents, not owned
    bool FGerarNovoRegistro = false;
    std::unique_ptr<TRegraValor> FValor;
    TPublishConstraint _publishConstraint;
    QStringList FChangeHistory;  // newest first
    QString _maquinaSerial;
    TProcRegLog3 FLogProc;
};
