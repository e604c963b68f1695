#include "rules/regra_valor.h"

TRegraValor::TRegraValor(bool gerarRegistro, FnValueTranslation translateFn)
    : FGerarRegistro(gerarRegistro), translateFn(std::move(translateFn)) {}

void TRegraValor::set_(const QString& novoValor) {
    valor = novoValor;
    alteracaoCache = cache_valor != valor;
    alteracao = valor != valor_anterior;
    cache_valor = valor;
}

void TRegraValor::post() {
    valor_anterior = valor;
    cache_valor = valor;
    alteracao = false;
    alteracaoCache = false;
}

namespace {
QDateTime WholeSecond(const QDateTime& moment) { return moment.addMSecs(-moment.time().msec()); }
}  // namespace

qint64 TRegraValor::getTempoAcumulado(const QDateTime& timestamp) {
    if (!FGerarRegistro) return 0;
    if (!_timestamp.isValid()) {
        _timestamp = timestamp;
        return 0;
    }
    const qint64 seconds = std::abs(WholeSecond(_timestamp).secsTo(WholeSecond(timestamp)));
    if (alteracao) _timestamp = timestamp;
    return seconds;
}

std::unique_ptr<TRegraValor> TRegraValor::setGerarNovoRegistro(
    bool gerar, FnValueTranslation translation) const {
    auto copy = std::make_unique<TRegraValor>(gerar, std::move(translation));
    copy->_timestamp = _timestamp;
    copy->valor = valor;
    copy->valor_anterior = valor_anterior;
    copy->alteracao = alteracao;
    return copy;
}
