#include "summaries/resumo_mem_cache.h"

#include "summaries/files.h"
#include "summary_fixtures.h"
#include "util/error.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <memory>
#include <thread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct TLogLine {
    QString message;
    bool danger;
};

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString BatchText(const QList<int>& numbers) {
    TResumoMemCache::TLoteResumo lote;
    for (int n : numbers) lote.add(NumberedResumo(n));
    return lote.text();
}

}  // namespace

class TResumoMemCacheTest : public SummaryFolderTest {
protected:
    std::unique_ptr<TResumoMemCache> create(const QString& serial = "M1") {
        return std::make_unique<TResumoMemCache>(
            serial, [this](const QString& message, bool danger) { logged.append({message, danger}); });
    }

    static void saveRange(TResumoMemCache& cache, int first, int last) {
        for (int n = first; n <= last; ++n) cache.save(NumberedResumo(n));
    }

    // Every batch the cache offers, acknowledged one after the other.
    static QList<QList<int>> drain(TResumoMemCache& cache) {
        QList<QList<int>> batches;
        for (QString text = cache.get(); !text.isEmpty(); text = cache.get()) {
            batches.append(NumbersIn(text));
            cache.delete_();
        }
        return batches;
    }

    QStringList journals() const { return resumoFiles().filter(".part"); }

    bool loggedDanger(const QString& part) const {
        for (const auto& line : logged)
            if (line.danger && line.message.contains(part)) return true;
        return false;
    }

    QList<TLogLine> logged;
};

TEST(TLoteResumo, BatchTextForm) {
    TResumoMemCache::TLoteResumo lote;
    lote.add(TResumo("a\r\nb"));
    lote.add(TResumo());
    lote.add(TResumo("c"));
    EXPECT_EQ(lote.text(), "a\r\nb\r\n\r\n***\r\nc\r\n\r\n***\r\n");
}

TEST(TLoteResumo, ParseClosesSummariesAtStars) {
    struct Case { QString text; QList<QStringList> summaries; };
    const Case cases[] = {
        {"a\r\nb\r\n\r\n***\r\nc\r\n\r\n***\r\n", {{"a", "b"}, {"c"}}},
        {"a\r\n\r\n***\r\n\r\n***\r\nc\r\n\r\n***\r\n", {{"a"}, {}, {"c"}}},
        {"a\r\n***\r\nb\r\n", {{"a"}, {"b"}}},
        {"a\n\n***\nb\n\n***\n", {{"a"}, {"b"}}},
        {"***\r\n", {{}}},
        {"\r\n\r\n", {}},
        {"", {}},
    };
    for (const auto& [text, summaries] : cases) {
        TResumoMemCache::TLoteResumo lote;
        lote.parse(text);
        QList<QStringList> parsed;
        for (const TResumo& resumo : lote.resumos()) parsed.append(resumo.lines());
        EXPECT_EQ(parsed, summaries) << text.toStdString();
    }
}

TEST_F(TResumoMemCacheTest, ElevenSummariesMakeBatchesOfTenAndOne) {
    auto cache = create();
    saveRange(*cache, 1, 11);
    EXPECT_EQ(cache->amountOfLotes(), 2);
    EXPECT_EQ(cache->amountOfLotesInMemory(), 2);
    EXPECT_EQ(cache->amountOfLotesInMemoryArray(), 10);
    EXPECT_EQ(cache->amountOfLotesInDisk(), 0u);
    EXPECT_EQ(drain(*cache), QList<QList<int>>({Range(1, 10), {11}}));
}

TEST_F(TResumoMemCacheTest, GetHandsOutOneBatchUntilItIsDeleted) {
    auto cache = create();
    EXPECT_EQ(cache->get(), "");
    EXPECT_TRUE(cache->currLote().isInvalid());
    EXPECT_THROW(cache->delete_(), MeltrixError);

    saveRange(*cache, 1, 3);
    const QString first = cache->get();
    EXPECT_EQ(first, BatchText({1, 2, 3}));
    EXPECT_EQ(cache->amountOfLotesInMemory(), 2);  // a new empty batch takes later summaries

    cache->save(NumberedResumo(4));
    EXPECT_EQ(cache->amountOfLotesInMemoryArray(), 3);
    EXPECT_EQ(cache->get(), first);
    const auto cursor = cache->currLote();
    EXPECT_TRUE(cursor.onMemory);
    EXPECT_EQ(cursor.idx, 0);

    cache->delete_();
    EXPECT_EQ(cache->amountOfLotesInMemory(), 1);
    EXPECT_EQ(journals().size(), 1);  // the deleted batch's journal went with it
    EXPECT_EQ(NumbersIn(cache->get()), QList<int>{4});
}

TEST_F(TResumoMemCacheTest, DeleteWithoutGetRaisesTheSystemsMessage) {
    auto cache = create();
    saveRange(*cache, 1, 1);
    try {
        cache->delete_();
        FAIL() << "delete_ without get must raise";
    } catch (const MeltrixError& error) {
        EXPECT_EQ(error.message(),
                  "[TResumoMemCache::delete()] You cannot delete an lote without getting it first!");
    }
    EXPECT_EQ(cache->amountOfLotes(), 1);
}

TEST_F(TResumoMemCacheTest, RestartSendsFilesByNumberAndContinuesTheNumbering) {
    TPaths::resumo();
    WriteFile(resumoPath("12_M1_20240102.txt"), BatchText({12}).toUtf8());
    WriteFile(resumoPath("3_M1_20240101.txt"), BatchText({3}).toUtf8());
    WriteFile(resumoPath("5_M10_20240101.txt"), BatchText({5}).toUtf8());

    auto cache = create();
    EXPECT_EQ(cache->amountOfLotesInDisk(), 2u);
    EXPECT_EQ(NumbersIn(cache->get()), QList<int>{3});
    EXPECT_FALSE(cache->currLote().onMemory);
    cache->save(NumberedResumo(20));
    EXPECT_EQ(drain(*cache), QList<QList<int>>({{3}, {12}, {20}}));

    cache->save(NumberedResumo(21));
    cache->persist();
    EXPECT_EQ(resumoFiles(), QStringList({"13_M1_20240624.txt", "5_M10_20240101.txt"}));
    EXPECT_EQ(NumbersIn(TFiles::readFrom(resumoPath("13_M1_20240624.txt"))), QList<int>{21});
}

TEST_F(TResumoMemCacheTest, QueryLastGivesTheNewestSummary) {
    auto cache = create();
    EXPECT_FALSE(cache->queryLast());

    saveRange(*cache, 1, 2);
    ASSERT_TRUE(cache->queryLast());
    EXPECT_EQ(cache->queryLast()->text(), NumberedResumo(2).text());

    cache->get();  // appends an empty batch
    EXPECT_FALSE(cache->queryLast());

    cache->persist();
    cache.reset();
    auto restarted = create();
    ASSERT_TRUE(restarted->queryLast());
    EXPECT_EQ(restarted->queryLast()->text(), NumberedResumo(2).text());
}

TEST_F(TResumoMemCacheTest, The4991stSummaryMovesMemoryToFilesAndTheCursorFollows) {
    auto cache = create();
    saveRange(*cache, 1, 4990);
    EXPECT_EQ(cache->amountOfLotesInMemory(), 499);
    EXPECT_EQ(cache->amountOfLotesInDisk(), 0u);

    const QString handedOut = cache->get();  // the first batch, not the last: no batch appended
    EXPECT_EQ(NumbersIn(handedOut), Range(1, 10));

    cache->save(NumberedResumo(4991));
    EXPECT_EQ(cache->amountOfLotesInMemory(), 1);
    EXPECT_EQ(cache->amountOfLotesInMemoryArray(), 1);
    EXPECT_EQ(cache->amountOfLotesInDisk(), 499u);
    EXPECT_EQ(journals().size(), 1);
    EXPECT_TRUE(QFileInfo::exists(resumoPath("498_M1_20240624.txt")));

    const auto cursor = cache->currLote();
    EXPECT_FALSE(cursor.onMemory);
    EXPECT_EQ(cursor.idx, 0);
    EXPECT_EQ(cache->get(), handedOut);
    cache->delete_();
    EXPECT_FALSE(QFileInfo::exists(resumoPath("0_M1_20240624.txt")));
    EXPECT_EQ(NumbersIn(cache->get()), Range(11, 20));
}

TEST_F(TResumoMemCacheTest, ASummaryIsKeptWhenFullMemoryCannotBeWritten) {
    auto cache = create();
    saveRange(*cache, 1, 4990);
    ASSERT_TRUE(QDir().mkpath(resumoPath("5_M1_20240624.txt")));  // blocks the sixth file

    EXPECT_THROW(cache->save(NumberedResumo(4991)), MeltrixError);
    EXPECT_EQ(cache->amountOfLotesInDisk(), 5u);
    EXPECT_EQ(cache->amountOfLotesInMemory(), 495);

    ASSERT_TRUE(QDir().rmdir(resumoPath("5_M1_20240624.txt")));
    cache->persist();
    QList<int> delivered;
    for (const auto& batch : drain(*cache)) delivered += batch;
    EXPECT_EQ(delivered, Range(1, 4991));
}

TEST_F(TResumoMemCacheTest, PersistTakesTheCursorToTheHandedOutBatchsFile) {
    auto cache = create();
    saveRange(*cache, 1, 3);
    const QString handedOut = cache->get();
    cache->save(NumberedResumo(4));
    cache->persist();

    EXPECT_EQ(resumoFiles(), QStringList({"0_M1_20240624.txt", "1_M1_20240624.txt"}));
    EXPECT_EQ(cache->amountOfLotesInMemory(), 0);
    const auto cursor = cache->currLote();
    EXPECT_FALSE(cursor.onMemory);
    EXPECT_EQ(cursor.idx, 0);
    EXPECT_EQ(cursor.content, handedOut);

    cache->delete_();
    EXPECT_EQ(resumoFiles(), QStringList{"1_M1_20240624.txt"});
    EXPECT_EQ(drain(*cache), QList<QList<int>>({{4}}));
}

TEST_F(TResumoMemCacheTest, APartialWriteFailureKeepsEveryBatchExactlyOnce) {
    auto cache = create();
    saveRange(*cache, 1, 25);
    const QString handedOut = cache->get();
    ASSERT_TRUE(QDir().mkpath(resumoPath("1_M1_20240624.txt")));  // blocks the second file

    EXPECT_THROW(cache->persist(), MeltrixError);
    EXPECT_EQ(cache->amountOfLotesInDisk(), 1u);
    EXPECT_EQ(cache->amountOfLotesInMemory(), 2);
    EXPECT_FALSE(cache->currLote().onMemory);
    EXPECT_EQ(cache->get(), handedOut);

    ASSERT_TRUE(QDir().rmdir(resumoPath("1_M1_20240624.txt")));
    cache->persist();
    EXPECT_EQ(cache->amountOfLotesInMemory(), 0);
    EXPECT_EQ(journals(), QStringList());
    EXPECT_EQ(drain(*cache), QList<QList<int>>({Range(1, 10), Range(11, 20), Range(21, 25)}));
}

TEST_F(TResumoMemCacheTest, ACacheEndedWithoutPersistLosesNothing) {
    TPaths::resumo();
    WriteFile(resumoPath("7_M1_20240101.txt"), BatchText({100}).toUtf8());
    WriteFile(resumoPath("0_M10.part"), BatchText({200}).toUtf8());  // another machine's
    {
        auto crashed = create();
        saveRange(*crashed, 1, 25);
        EXPECT_EQ(NumbersIn(crashed->get()), QList<int>{100});  // sent, never acknowledged
        EXPECT_EQ(journals().size(), 4);
    }
    auto restarted = create();
    EXPECT_EQ(journals(), QStringList{"0_M10.part"});
    EXPECT_EQ(restarted->amountOfLotesInDisk(), 4u);
    EXPECT_EQ(drain(*restarted),
              QList<QList<int>>({{100}, Range(1, 10), Range(11, 20), Range(21, 25)}));
    EXPECT_TRUE(logged.last().message.contains("recovered into 10_M1_20240624.txt"));

    restarted->save(NumberedResumo(26));  // new journals do not collide with recovered ones
    restarted.reset();
    EXPECT_EQ(drain(*create()), QList<QList<int>>({{26}}));
}

TEST_F(TResumoMemCacheTest, AKilledProcessLosesNothing) {
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        auto cache = create();
        saveRange(*cache, 1, 25);
        raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(drain(*create()), QList<QList<int>>({Range(1, 10), Range(11, 20), Range(21, 25)}));
}

TEST_F(TResumoMemCacheTest, ARecoveredJournalDropsASummaryCutShort) {
    TPaths::resumo();
    const QByteArray complete = BatchText({1, 2}).toUtf8();
    struct Case { QByteArray journal; QList<QList<int>> batches; };
    const Case cases[] = {
        {complete + "M1|2024-06-24T10:00:03.000-03:00|H1|T4", {{1, 2}}},
        {complete + "M1|2024-06-24T10:00:03.000-03:00|H1|T45|3|0|1|2\r\n\r\n**", {{1, 2}}},
        {"M1|2024-06-24T10:00:01.000-03:00|H1", {}},
        {"", {}},
    };
    for (const auto& [journal, batches] : cases) {
        WriteFile(resumoPath("4_M1.part"), journal);
        EXPECT_EQ(drain(*create()), batches) << journal.toStdString();
        EXPECT_EQ(journals(), QStringList());
    }
}

TEST_F(TResumoMemCacheTest, AnEmptyOrUnreadableBatchFileIsMovedAside) {
    TPaths::resumo();
    WriteFile(resumoPath("1_M1_20240101.txt"), "");
    WriteFile(resumoPath("2_M1_20240101.txt"), "x");
    WriteFile(resumoPath("3_M1_20240101.txt"), "\r\n \r\n");
    WriteFile(resumoPath("4_M1_20240101.txt"), BatchText({4}).toUtf8());
    auto cache = create();
    ASSERT_TRUE(QFile::remove(resumoPath("2_M1_20240101.txt")));
    ASSERT_TRUE(QDir().mkpath(resumoPath("2_M1_20240101.txt")));  // cannot be read as a file

    EXPECT_EQ(NumbersIn(cache->get()), QList<int>{4});
    EXPECT_EQ(cache->amountOfLotesInDisk(), 1u);
    EXPECT_EQ(resumoFiles(),
              QStringList({"1_M1_20240101.txt.bad", "3_M1_20240101.txt.bad", "4_M1_20240101.txt"}));
    EXPECT_TRUE(QFileInfo(resumoPath("2_M1_20240101.txt.bad")).isDir());
    EXPECT_TRUE(loggedDanger("moved aside (empty): " + resumoPath("1_M1_20240101.txt.bad")));
    EXPECT_TRUE(loggedDanger(resumoPath("2_M1_20240101.txt.bad")));
}

TEST_F(TResumoMemCacheTest, AFileGoneFromTheFolderLeavesTheQueue) {
    TPaths::resumo();
    WriteFile(resumoPath("1_M1_20240101.txt"), BatchText({1}).toUtf8());
    auto cache = create();
    ASSERT_TRUE(QFile::remove(resumoPath("1_M1_20240101.txt")));
    EXPECT_EQ(cache->get(), "");
    EXPECT_EQ(cache->amountOfLotes(), 0);
    EXPECT_TRUE(loggedDanger("gone"));
}

TEST_F(TResumoMemCacheTest, AFileWithoutBatchNumberIsIgnored) {
    TPaths::resumo();
    WriteFile(resumoPath("abc_M1_20240101.txt"), BatchText({1}).toUtf8());
    WriteFile(resumoPath("4_M1_20240101.txt"), BatchText({4}).toUtf8());
    auto cache = create();
    EXPECT_EQ(cache->amountOfLotesInDisk(), 1u);
    EXPECT_TRUE(loggedDanger("File without a batch number ignored: abc_M1_20240101.txt"));
    cache->save(NumberedResumo(5));
    cache->persist();
    EXPECT_TRUE(QFileInfo::exists(resumoPath("5_M1_20240624.txt")));
    EXPECT_TRUE(QFileInfo::exists(resumoPath("abc_M1_20240101.txt")));
}

// Two producers save while the sender hands out and acknowledges batches: every summary is
// delivered exactly once, each producer's in its own order.
TEST_F(TResumoMemCacheTest, ConcurrentSavesAndSendsDeliverEverySummaryOnce) {
    auto cache = create();
    constexpr int perProducer = 150;
    auto produce = [&](int base) {
        for (int i = 1; i <= perProducer; ++i) cache->save(NumberedResumo(base + i));
    };
    std::thread first(produce, 1000);
    std::thread second(produce, 2000);

    QList<int> delivered;
    const QDeadlineTimer deadline(10000);
    while (delivered.size() < 2 * perProducer && !deadline.hasExpired()) {
        const QString text = cache->get();
        if (text.isEmpty()) continue;
        delivered += NumbersIn(text);
        cache->delete_();
    }
    first.join();
    second.join();

    QList<int> fromFirst, fromSecond;
    for (int n : delivered) (n < 2000 ? fromFirst : fromSecond).append(n);
    EXPECT_EQ(fromFirst, Range(1001, 1000 + perProducer));
    EXPECT_EQ(fromSecond, Range(2001, 2000 + perProducer));
}
