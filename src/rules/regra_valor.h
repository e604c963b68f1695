#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

// The translation a rule applies to its raw values (its own translateValue).
using FnValueTranslation = std::function<QString(const QString&)>;

// The value of one rule: the raw text last given, the raw text at the last post (the
// previous state), the raw text seen at the previous update, the two change flags and the
// reference time from which the accumulated time of the current state is counted.
// No lock of its own: the owning agent's rules mutex guards every access.
class TRegraValor {
public:
    TRegraValor(bool gerarRegistro, FnValueTranslation translateFn);

    void set_(const QString& novoValor);
    void post();

    // Whole seconds the current state has lasted at `timestamp`; may move the reference.
    qint64 getTempoAcumulado(const QDateTime& timestamp);

    // A new value object carrying this one's state with another gerarRegistro. The
    // last-seen value, its flag and the poll time start afresh.
    std::unique_ptr<TRegraValor> setGerarNovoRegistro(bool gerar,
                                                      FnValueTranslation translateFn) const;

    QString atual() const { return translateFn(valor); }
    const QString& atualBruto() const { return valor; }
    QString anterior() const { return translateFn(valor_anterior); }
    const QString& anteriorBruto() const { return valor_anterior; }
    QString cached() const { return translateFn(cache_valor); }
    const QString& cachedBruto() const { return cache_valor; }
    bool alterou() const { return alteracao; }
    bool alterouCache() const { return alteracaoCache; }
    const QDateTime& timestamp() const { return _timestamp; }
    bool gerarRegistro() const { return FGerarRegistro; }

    // Time of the last poll request sent for the rule; invalid means never.
    QDateTime timestampUltimoGet;

private:
    QDateTime _timestamp;
    QString valor;
    QString valor_anterior;
    QString cache_valor;
    bool alteracao = false;
    bool FGerarRegistro;
    bool alteracaoCache = false;
    FnValueTranslation translateFn;
};
