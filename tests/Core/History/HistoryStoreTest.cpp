#include "Core/History/HistoryStore.h"

#include "Base/Json.h"
#include "Base/ManualClock.h"
#include "TestSupport/OddFiles.h"
#include "TestSupport/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

TranscriptRecord record(const QString &text, const QDateTime &date = kNow)
{
    TranscriptRecord r;
    r.date = date;
    r.rawText = text + QStringLiteral(" raw");
    r.cleanedText = text;
    r.appName = QStringLiteral("Mail");
    r.bundleID = QStringLiteral("org.gnome.Evolution");
    r.windowTitle = QStringLiteral("Inbox");
    r.engineName = QStringLiteral("SFSpeechRecognizer");
    r.localeIdentifier = QStringLiteral("en-US");
    r.durationSeconds = 1.5;
    r.inserted = true;
    return r;
}

QByteArray recordJson(const TranscriptRecord &r)
{
    return Json::serialize(r.toJson(Json::DateEncoding::Iso8601));
}

class HistoryStoreTest : public testing::Test
{
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Sonorvelle/history.json")); }

    std::unique_ptr<HistoryStore> makeStore()
    {
        return std::make_unique<HistoryStore>(path(), m_clock, [this] { return m_retentionDays; });
    }

    void writeFile(const QByteArray &bytes)
    {
        QDir().mkpath(m_dir.filePath(QStringLiteral("Sonorvelle")));
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QByteArray readFile(const QString &filePath) const
    {
        QFile file(filePath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The history file as the list of cleaned texts it holds, in file order.
    QStringList textsInFile() const
    {
        QStringList texts;
        const Json::Object array = Json::parse(readFile(path()));
        for (const Json::Object &item : array) {
            texts << Json::fromStd(item.at("cleanedText").get<std::string>());
        }
        return texts;
    }

    QStringList entriesBesideTheFile() const
    {
        QDir folder(m_dir.filePath(QStringLiteral("Sonorvelle")));
        return folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    static QStringList texts(const QList<TranscriptRecord> &records)
    {
        QStringList result;
        for (const TranscriptRecord &r : records) {
            result << r.cleanedText;
        }
        return result;
    }

    QTemporaryDir m_dir;
    ManualClock m_clock {kNow};
    qint64 m_retentionDays = 30;
};

TEST_F(HistoryStoreTest, MissingFileIsAnEmptyHistoryAndCreatesTheFolderButNoFile)
{
    auto store = makeStore();
    EXPECT_TRUE(store->records().isEmpty());
    EXPECT_EQ(store->fileURL(), path());
    EXPECT_TRUE(QDir(m_dir.filePath(QStringLiteral("Sonorvelle"))).exists());
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(HistoryStoreTest, AddKeepsNewestFirstAndTheFileMatchesAcrossAReload)
{
    auto store = makeStore();
    store->add(record(QStringLiteral("first")));
    store->add(record(QStringLiteral("second")));
    EXPECT_EQ(texts(store->records()), (QStringList {"second", "first"}));
    EXPECT_EQ(textsInFile(), (QStringList {"second", "first"}));
    // Compact: no indentation or blanks between tokens.
    EXPECT_FALSE(readFile(path()).contains('\n'));
    EXPECT_TRUE(readFile(path()).startsWith("[{\"id\":\""));

    auto reloaded = makeStore();
    EXPECT_EQ(reloaded->records(), store->records());
}

TEST_F(HistoryStoreTest, The501stRecordDropsTheOldest)
{
    // 500 records, newest ("499") first.
    QByteArray file = "[";
    for (int i = 499; i >= 0; --i) {
        file += recordJson(record(QString::number(i))) + (i ? "," : "]");
    }
    writeFile(file);
    auto store = makeStore();
    ASSERT_EQ(store->records().size(), 500);
    store->add(record(QStringLiteral("newest")));

    ASSERT_EQ(store->records().size(), HistoryStore::maxRecords);
    EXPECT_EQ(store->records().front().cleanedText, QStringLiteral("newest"));
    EXPECT_EQ(store->records()[1].cleanedText, QStringLiteral("499"));
    EXPECT_EQ(store->records().back().cleanedText, QStringLiteral("1")); // "0" was dropped
    const QStringList inFile = textsInFile();
    ASSERT_EQ(inFile.size(), 500);
    EXPECT_EQ(inFile.front(), QStringLiteral("newest"));
    EXPECT_EQ(inFile.back(), QStringLiteral("1"));
}

TEST_F(HistoryStoreTest, RetentionBoundaryIsInclusiveAndBelowOneDayKeepsForever)
{
    const qint64 thirtyDays = 30 * 86400;
    const struct
    {
        qint64 retentionDays;
        QStringList kept;
    } cases[] = {
        {30, {"today", "exactly 30 days"}},
        {0, {"today", "exactly 30 days", "a second older", "a year old"}},
        {-3, {"today", "exactly 30 days", "a second older", "a year old"}},
        {1, {"today"}},
        // Far beyond any date: nothing expires, nothing overflows.
        {std::numeric_limits<qint64>::max(),
         {"today", "exactly 30 days", "a second older", "a year old"}},
    };
    QByteArray file = "[";
    file += recordJson(record(QStringLiteral("today"))) + ",";
    file += recordJson(record(QStringLiteral("exactly 30 days"), kNow.addSecs(-thirtyDays))) + ",";
    file +=
        recordJson(record(QStringLiteral("a second older"), kNow.addSecs(-thirtyDays - 1))) + ",";
    file += recordJson(record(QStringLiteral("a year old"), kNow.addDays(-365))) + "]";

    for (const auto &c : cases) {
        SCOPED_TRACE(c.retentionDays);
        writeFile(file);
        m_retentionDays = c.retentionDays;
        auto store = makeStore(); // prunes at creation
        EXPECT_EQ(texts(store->records()), c.kept);
        EXPECT_EQ(textsInFile(), c.kept);
    }
}

TEST_F(HistoryStoreTest, PruneSavesOnlyWhenSomethingWasDroppedAndFollowsTheSetting)
{
    m_retentionDays = 7;
    auto store = makeStore();
    store->add(record(QStringLiteral("old")));
    m_clock.setNow(kNow.addDays(3));
    store->add(record(QStringLiteral("new"), m_clock.now()));

    // Nothing expired: the file is not touched (an outside edit survives).
    writeFile("outside edit");
    store->pruneExpired();
    EXPECT_EQ(readFile(path()), QByteArray("outside edit"));

    // The user shortens the period: the old record goes and the file is rewritten.
    QSignalSpy changed(store.get(), &HistoryStore::recordsChanged);
    m_retentionDays = 1;
    store->pruneExpired();
    EXPECT_EQ(texts(store->records()), QStringList {"new"});
    EXPECT_EQ(textsInFile(), QStringList {"new"});
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(HistoryStoreTest, DeleteRemovesEveryMatchAndRewritesTheFileEvenForAnUnknownId)
{
    TranscriptRecord a = record(QStringLiteral("a"));
    TranscriptRecord b = record(QStringLiteral("b"));
    TranscriptRecord bAgain = record(QStringLiteral("b again"));
    bAgain.id = b.id;
    TranscriptRecord c = record(QStringLiteral("c"));
    // Written by hand with blanks and an unknown key, so a rewrite shows.
    Json::Object aWithExtra = a.toJson(Json::DateEncoding::Iso8601);
    aWithExtra["extra"] = 1;
    writeFile("[ " + Json::serialize(aWithExtra) + " , " + recordJson(b) + ", " + recordJson(bAgain)
              + ", " + recordJson(c) + " ]");
    auto store = makeStore();
    ASSERT_EQ(store->records().size(), 4);
    QSignalSpy changed(store.get(), &HistoryStore::recordsChanged);

    store->deleteRecord(QUuid::createUuid());
    EXPECT_EQ(store->records().size(), 4);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(readFile(path()),
              "[" + recordJson(a) + "," + recordJson(b) + "," + recordJson(bAgain) + ","
                  + recordJson(c) + "]");

    store->deleteRecord(b.id);
    EXPECT_EQ(texts(store->records()), (QStringList {"a", "c"}));
    EXPECT_EQ(textsInFile(), (QStringList {"a", "c"}));
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(HistoryStoreTest, ClearEmptiesAndSaves)
{
    auto store = makeStore();
    store->add(record(QStringLiteral("a")));
    QSignalSpy changed(store.get(), &HistoryStore::recordsChanged);
    store->clear();
    EXPECT_TRUE(store->records().isEmpty());
    EXPECT_EQ(readFile(path()), QByteArray("[]"));
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(HistoryStoreTest, AbsentOptionalsAreLeftOutAndDatesKeepWholeSeconds)
{
    auto store = makeStore();
    TranscriptRecord r = record(QStringLiteral("bare"), kNow.addMSecs(-250));
    r.appName.reset();
    r.bundleID.reset();
    r.windowTitle.reset();
    store->add(r);

    const QByteArray file = readFile(path());
    EXPECT_FALSE(file.contains("appName"));
    EXPECT_FALSE(file.contains("bundleID"));
    EXPECT_FALSE(file.contains("windowTitle"));
    EXPECT_TRUE(file.contains("\"date\":\"2026-03-10T11:59:59Z\""));

    auto reloaded = makeStore();
    ASSERT_EQ(reloaded->records().size(), 1);
    const TranscriptRecord &back = reloaded->records().front();
    EXPECT_FALSE(back.appName);
    EXPECT_FALSE(back.bundleID);
    EXPECT_FALSE(back.windowTitle);
    EXPECT_NE(back, r); // the milliseconds are gone...
    TranscriptRecord truncated = r;
    truncated.date = QDateTime(QDate(2026, 3, 10), QTime(11, 59, 59), Qt::UTC);
    EXPECT_EQ(back, truncated); // ...and nothing else changed
}

TEST_F(HistoryStoreTest, SaveReplacesTheFileAtomically)
{
    auto store = makeStore();
    store->add(record(QStringLiteral("first")));
    const QByteArray before = readFile(path());

    // A reader that has the old file open keeps seeing all of it: the new content went to another
    // file that was moved into place, not written over the old one.
    QFile oldFile(path());
    ASSERT_TRUE(oldFile.open(QIODevice::ReadOnly));
    store->add(record(QStringLiteral("second")));
    EXPECT_EQ(oldFile.readAll(), before);
    EXPECT_EQ(textsInFile(), (QStringList {"second", "first"}));
    // No temporary file is left behind.
    EXPECT_EQ(entriesBesideTheFile(), QStringList {"history.json"});
}

TEST_F(HistoryStoreTest, OneCorruptRecordKeepsTheOthersAndTheFileAsFound)
{
    TranscriptRecord good1 = record(QStringLiteral("good 1"));
    TranscriptRecord good2 = record(QStringLiteral("good 2"));
    Json::Object missingRawText = record(QStringLiteral("bad")).toJson(Json::DateEncoding::Iso8601);
    missingRawText.erase("rawText");
    const QByteArray original = "[" + recordJson(good1) + "," + Json::serialize(missingRawText)
        + ",{\"id\":42}," + recordJson(good2) + "]";
    writeFile(original);

    auto store = makeStore();
    EXPECT_EQ(store->records(), (QList<TranscriptRecord> {good1, good2}));
    // Nothing changes on disk until the next save...
    EXPECT_EQ(entriesBesideTheFile(), QStringList {"history.json"});

    store->add(record(QStringLiteral("new")));
    EXPECT_EQ(textsInFile(), (QStringList {"new", "good 1", "good 2"}));
    // ...which first keeps the file as it was found.
    const QString aside = QStringLiteral("history.json.unreadable-20260310T120000Z");
    EXPECT_EQ(entriesBesideTheFile(), (QStringList {"history.json", aside}));
    EXPECT_EQ(readFile(m_dir.filePath(QStringLiteral("Sonorvelle/") + aside)), original);

    // Once the file holds only good records, later saves keep nothing more aside.
    store->add(record(QStringLiteral("newer")));
    EXPECT_EQ(entriesBesideTheFile().size(), 2);
}

TEST_F(HistoryStoreTest, AnUnreadableFileIsKeptAsideNeverOverwritten)
{
    const QByteArray cases[] = {
        "[{\"id\": \"truncated", // not JSON
        "{\"records\": []}", // JSON, but not a list
    };
    for (const QByteArray &original : cases) {
        SCOPED_TRACE(original.toStdString());
        QDir(m_dir.filePath(QStringLiteral("Sonorvelle"))).removeRecursively();
        writeFile(original);
        // An earlier set-aside file of the same second is not replaced either.
        const QString taken = path() + QStringLiteral(".unreadable-20260310T120000Z");
        {
            QFile earlier(taken);
            ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier");
        }

        auto store = makeStore();
        EXPECT_TRUE(store->records().isEmpty());
        EXPECT_EQ(readFile(path()), original); // untouched until a change is saved

        store->add(record(QStringLiteral("new")));
        EXPECT_EQ(textsInFile(), QStringList {"new"});
        EXPECT_EQ(readFile(taken), QByteArray("earlier"));
        EXPECT_EQ(readFile(taken + QStringLiteral("-2")), original);
    }
}

TEST_F(HistoryStoreTest, AnythingButAHistorySizedFileIsKeptAsideUnread)
{
    for (const OddFile &odd : OddFile::all()) {
        SCOPED_TRACE(odd.name);
        QDir(m_dir.filePath(QStringLiteral("Sonorvelle"))).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("Sonorvelle"))));
        odd.make(path());

        auto store = makeStore();
        EXPECT_TRUE(store->records().isEmpty());
        store->add(record(QStringLiteral("new")));
        EXPECT_EQ(textsInFile(), QStringList {"new"});
        odd.isIntact(path() + QStringLiteral(".unreadable-20260310T120000Z"));
    }
}

TEST_F(HistoryStoreTest, AnEmptyFileIsAnEmptyHistoryWithNothingToKeep)
{
    writeFile("");
    auto store = makeStore();
    EXPECT_TRUE(store->records().isEmpty());
    store->add(record(QStringLiteral("new")));
    EXPECT_EQ(entriesBesideTheFile(), QStringList {"history.json"});
}

TEST_F(HistoryStoreTest, ARecordWithoutJsonFormIsLeftOutOfTheFileNotTheOthers)
{
    auto store = makeStore();
    store->add(record(QStringLiteral("good")));
    TranscriptRecord bad = record(QStringLiteral("bad"));
    bad.durationSeconds = std::nan("");
    store->add(bad);
    store->add(record(QStringLiteral("later")));

    EXPECT_EQ(texts(store->records()), (QStringList {"later", "bad", "good"}));
    EXPECT_EQ(textsInFile(), (QStringList {"later", "good"}));
}

TEST_F(HistoryStoreTest, AFolderThatCannotBeWrittenKeepsTheHistoryInMemory)
{
    auto store = makeStore();
    // A plain file where the folder should be: nothing can be written below it.
    QDir(m_dir.filePath(QStringLiteral("Sonorvelle"))).removeRecursively();
    QFile blocker(m_dir.filePath(QStringLiteral("Sonorvelle")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    store->add(record(QStringLiteral("kept in memory")));
    EXPECT_EQ(texts(store->records()), QStringList {"kept in memory"});
}

TEST_F(HistoryStoreTest, RecordsIsAnObservableProperty)
{
    auto store = makeStore();
    QSignalSpy changed(store.get(), &HistoryStore::recordsChanged);
    store->add(record(QStringLiteral("a")));
    EXPECT_EQ(changed.count(), 1);
    const QVariant value = store->property("records");
    ASSERT_TRUE(value.canConvert<QList<TranscriptRecord>>());
    EXPECT_EQ(texts(value.value<QList<TranscriptRecord>>()), QStringList {"a"});
}

} // namespace
