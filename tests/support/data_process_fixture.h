#pragma once

#include "agents/mtconnect_agent.h"
#include "settings/maquina.h"
#include "summaries/resumo_mem_cache.h"
#include "support/event_loop.h"
#include "support/recording_publisher.h"
#include "support/rule_fixtures.h"
#include "util/timing.h"


#include <gtest/gtest.h>

// One machine's pipeline on its own: machine record, summary cache, tag table and an
// MTConnect data process publishing through a recording publisher. Intervals are short.
class DataProcessTest : public ::testing::Test {
protected:
    DataProcessTest() {
        TimingConstants timing;
        timing.dataProcessTick = std::chrono::milliseconds(20);
        timing.poweroffStep = std::chrono::milliseconds(20);
        Timing::set(timing);
        maquina.setSerial(serial());
        maquina.setProtocolo("MTConnect");
    }
    ~DataProcessTest() override { Timing::reset(); }

    // A serial of its own per test, so that files of other tests never mix in.
    static QString serial() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return QString("DP_%1").arg(QString::fromLatin1(info->name()).toUpper());
    }

    TMTConnectAgent& process() {
        if (!dataProcess)
            dataProcess = std::make_unique<TMTConnectAgent>(
                maquina, [this](const QString& message, bool danger) { logged << (danger ? "! " : "") + message; },
                publisher, resumos, tags);
        return *dataProcess;
    }

    void load(const QJsonArray& rules) { process().setRegras(RulesDocument(rules)); }

    // Feeds one record "<time>|tag|value|..." the way an adapter sends it.
    void feed(const QString& fields) { process().run("2024-06-24T10:11:12.123Z|" + fields + "\r\n"); }

    QStringList topics() {
        QStringList names;
        for (const auto& publication : publisher.published()) names << publication.topic.section('/', 3);
        return names;
    }

    TRegra& rule(const QString& key) {
        TRegra* found = process().regras().find(key);
        if (!found) throw std::runtime_error("no rule " + key.toStdString());
        return *found;
    }

    TMaquina maquina;
    RecordingPublisher publisher;
    TResumoMemCache resumos{serial(), [this](const QString& message, bool) { logged << message; }};
    TTagMTConnectDict tags;
    QStringList logged;
    std::unique_ptr<TMTConnectAgent> dataProcess;
};
