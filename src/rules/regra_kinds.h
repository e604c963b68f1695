#pragma once

#include "rules/regra.h"

// The rule kinds: each differs from the plain rule only in its topics, the translation of
// its raw value and, for alarms and messages, a clean-up of the incoming text.

// Machine state: "1" active, "0" stopped, anything else powered off.
class TH1 : public TRegra {
public:
    using TRegra::TRegra;
    TRegraPublishInstructions buildPublishInstructions() const override;
    QString translateValue(const QString& v) const override;
};

// A rule that publishes its value on one topic of its own.
class TSingleTopicRegra : public TRegra {
public:
    using TopicOf = QString (*)(const QString& serial);
    TSingleTopicRegra(const QString& nomeRegra, TopicOf topic) : TRegra(nomeRegra), FTopic(topic) {}
    TRegraPublishInstructions buildPublishInstructions() const override;

private:
    TopicOf FTopic;
};

class THorimetro : public TSingleTopicRegra {
public:
    explicit THorimetro(const QString& nomeRegra);
};

class TD1 : public TSingleTopicRegra {
public:
    explicit TD1(const QString& nomeRegra);
};

class TC1 : public TSingleTopicRegra {
public:
    explicit TC1(const QString& nomeRegra);
};

// Free text from the machine (alarms, operator messages): runs of dashes are cleaned and
// the text is published on its own topic and on DADOS.
class TTextoRegra : public TRegra {
public:
    using TopicOf = QString (*)(const QString& serial);
    TTextoRegra(const QString& nomeRegra, TopicOf topic) : TRegra(nomeRegra), FTopic(topic) {}
    TRegraPublishInstructions buildPublishInstructions() const override;
    void update(const QString& valor) override;

    static QString CleanDashes(const QString& valor);

private:
    TopicOf FTopic;
};

class TAlarme : public TTextoRegra {
public:
    explicit TAlarme(const QString& nomeRegra);
};

class TMensagem : public TTextoRegra {
public:
    explicit TMensagem(const QString& nomeRegra);
};

std::unique_ptr<TRegra> CreateRegraKind(EnumRegraNome kind, const QString& nomeRegra);
