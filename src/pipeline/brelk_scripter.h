#pragma once

#include "pipeline/script/script_engine.h"

class IAgentPublisher;
class TMaquina;
class TRegra;
class TRegras;

// The script engine of one data process: the language engine with the five functions the
// agent offers to rule scripts. Used only under the owning data process's rules mutex.
class TBrelkScripter : public ScriptEngine {
public:
    TBrelkScripter();

    // Publishes the report of a script that does not compile on the machine's ERRO topic.
    static void publishScriptError(const QString& message, const TMaquina& maquina, const TRegra& regra,
                                   const TRegras& regras, IAgentPublisher& mqttCli);

    // The report's text (lines joined with CR LF, a final CR LF).
    static QString scriptErrorReport(const QString& message, const TMaquina& maquina, const TRegra& regra,
                                     const TRegras& regras);
};
