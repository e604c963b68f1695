// Cost of the line preprocessor alone, in tag values per second.
//   BM_Execute_Record      one line of 5 tag values, as an adapter sends it
//   BM_Execute_Block       100 such lines in one block
//   BM_Execute_TwoRecords  two records on one line, 5 tag values each
//   BM_Execute_Alarm       2 tag values and an alarm of 4 fields
//   BM_Execute_Surrogates  one line of 5 tag values, one holding a character beyond 16 bits
#include "preprocess/pre_processor.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kTagsPerRecord = 5;
const QString kStamp = QStringLiteral("2024-06-24T10:11:12.123Z");

QString Fields(int first, const QString& value = {}) {
    QString fields;
    for (int t = first; t < first + kTagsPerRecord; ++t)
        fields += QString("|T%1|%2").arg(t).arg(value.isEmpty() ? QString::number(t * 7 % 97) : value);
    return fields;
}

void Measure(benchmark::State& state, const TPreProcessor& preProcessor, const QString& text, int tagValues) {
    qsizetype entries = 0;
    for (auto _ : state) {
        const QList<QStringList> records = preProcessor.Execute(text);
        entries += records.size();
        benchmark::DoNotOptimize(records.constData());
    }
    if (entries == 0) state.SkipWithError("no record found");
    state.SetItemsProcessed(state.iterations() * tagValues);
}

void BM_Execute_Record(benchmark::State& state) {
    const TPreProcessor preProcessor;
    Measure(state, preProcessor, kStamp + Fields(0) + "\r\n", kTagsPerRecord);
}
BENCHMARK(BM_Execute_Record);

void BM_Execute_Block(benchmark::State& state) {
    const TPreProcessor preProcessor;
    QString block;
    for (int line = 0; line < 100; ++line) block += kStamp + Fields(line) + "\r\n";
    Measure(state, preProcessor, block, 100 * kTagsPerRecord);
}
BENCHMARK(BM_Execute_Block);

void BM_Execute_TwoRecords(benchmark::State& state) {
    const TPreProcessor preProcessor;
    Measure(state, preProcessor, kStamp + Fields(0) + " " + kStamp + Fields(5) + "\r\n", 2 * kTagsPerRecord);
}
BENCHMARK(BM_Execute_TwoRecords);

void BM_Execute_Alarm(benchmark::State& state) {
    TPreProcessor preProcessor;
    preProcessor.AddTagEspecialList("ALARME");
    Measure(state, preProcessor, kStamp + "|avail|AVAILABLE|mode|AUTO|ALARME|FAULT|1001|HIGH|X-axis over temp\r\n", 3);
}
BENCHMARK(BM_Execute_Alarm);

void BM_Execute_Surrogates(benchmark::State& state) {
    const TPreProcessor preProcessor;
    Measure(state, preProcessor, kStamp + Fields(0, QString::fromUtf8("ok \xF0\x9F\x98\x80")) + "\r\n", kTagsPerRecord);
}
BENCHMARK(BM_Execute_Surrogates);

}  // namespace

BENCHMARK_MAIN();
