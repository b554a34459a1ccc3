#include "Core/Keychain.h"

#include "Base/ManualClock.h"
#include "Core/DebugLog.h"
#include "Fakes/FakeKeychainBackend.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QUuid>

#include <QCoro/QCoroTask>

using namespace std::chrono_literals;

namespace {

struct KeychainFixture
{
    FakeKeychainBackend backend;
    ManualClock clock;
    Keychain keychain {&backend, clock};

    // Runs load() to its end; the backend must be able to finish it without the clock moving.
    void load(QStringList keys = Keychain::knownKeys)
    {
        QCoro::waitFor(keychain.load(std::move(keys)));
    }
};

QString logTail()
{
    DebugLog::flush();
    return DebugLog::tail();
}

} // namespace

TEST(Keychain, LoadReadsTheKnownItemsIntoTheCache)
{
    KeychainFixture f;
    f.backend.items.insert(QStringLiteral("cloudToken"), "token-1");
    f.backend.items.insert(QStringLiteral("cloudEmail"), "ada@example.org");
    f.backend.items.insert(QStringLiteral("unrelated"), "x");
    EXPECT_FALSE(f.keychain.isLoaded());

    f.load();

    EXPECT_TRUE(f.keychain.isLoaded());
    EXPECT_EQ(
        f.backend.jobs,
        (QStringList {QStringLiteral("read cloudToken"), QStringLiteral("read cloudEmail"),
                      QStringLiteral("read cloudTier"), QStringLiteral("read cloudDeviceID")}));
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudToken")), QStringLiteral("token-1"));
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudEmail")), QStringLiteral("ada@example.org"));
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudTier")), std::nullopt);
    EXPECT_EQ(f.keychain.get(QStringLiteral("unrelated")), std::nullopt);
    EXPECT_FALSE(f.keychain.isMemoryOnly());
    EXPECT_EQ(f.clock.activeTimerCount(), 0);
}

TEST(Keychain, GetSetAndRemove)
{
    KeychainFixture f;
    f.load();
    const QString key = QStringLiteral("cloudTier");
    EXPECT_EQ(f.keychain.get(key), std::nullopt) << "never set";

    f.keychain.set(QStringLiteral("pro"), key);
    EXPECT_EQ(f.keychain.get(key), QStringLiteral("pro"));
    f.keychain.set(QStringLiteral("team ✓"), key);
    EXPECT_EQ(f.keychain.get(key), QStringLiteral("team ✓"));
    EXPECT_EQ(f.backend.items.value(key), QStringLiteral("team ✓").toUtf8());
    EXPECT_EQ(f.backend.items.size(), 1);

    f.keychain.set(QString(), key);
    EXPECT_EQ(f.keychain.get(key), QString()) << "an empty string is present";
    EXPECT_TRUE(f.backend.items.contains(key));

    f.keychain.set(std::nullopt, key);
    EXPECT_EQ(f.keychain.get(key), std::nullopt);
    EXPECT_FALSE(f.backend.items.contains(key));

    f.keychain.remove(QStringLiteral("neverThere"));
    EXPECT_EQ(f.keychain.get(QStringLiteral("neverThere")), std::nullopt);
    EXPECT_FALSE(logTail().contains(QStringLiteral("\"neverThere\"")))
        << "removing a missing item is no failure";
}

TEST(Keychain, AnItemThatIsNotUtf8ReadsAsAbsent)
{
    KeychainFixture f;
    f.backend.items.insert(QStringLiteral("cloudToken"), QByteArray("\xff\xfe\x80", 3));
    f.backend.items.insert(QStringLiteral("cloudEmail"),
                           QByteArray("\xef\xbb\xbf"
                                      "bom",
                                      6));
    f.load();
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudToken")), std::nullopt);
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudEmail")), QStringLiteral("\ufeffbom"))
        << "the bytes are kept as they are";
}

TEST(Keychain, WritesGoThroughOneAfterTheOtherInCallOrder)
{
    KeychainFixture f;
    f.load();
    f.backend.jobs.clear();
    f.backend.mode = FakeKeychainBackend::Mode::deferred;

    f.keychain.set(QStringLiteral("a"), QStringLiteral("cloudToken"));
    f.keychain.set(QStringLiteral("b"), QStringLiteral("cloudToken"));
    f.keychain.remove(QStringLiteral("cloudEmail"));
    f.keychain.set(QStringLiteral("c"), QStringLiteral("cloudToken"));
    // The cache answers at once; the store has been asked for the first job only.
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudToken")), QStringLiteral("c"));
    EXPECT_EQ(f.backend.jobs, QStringList {QStringLiteral("write cloudToken")});

    while (f.backend.answerNext()) { }
    EXPECT_EQ(
        f.backend.jobs,
        (QStringList {QStringLiteral("write cloudToken"), QStringLiteral("write cloudToken"),
                      QStringLiteral("remove cloudEmail"), QStringLiteral("write cloudToken")}));
    EXPECT_EQ(f.backend.items.value(QStringLiteral("cloudToken")), QByteArray("c"));
    EXPECT_EQ(f.clock.activeTimerCount(), 0);
}

TEST(Keychain, WaitingForPendingJobsEndsWhenTheStoreAnsweredOrTimedOut)
{
    KeychainFixture f;
    f.load();
    QCoro::waitFor(f.keychain.waitForPendingJobs()); // nothing pending

    f.backend.mode = FakeKeychainBackend::Mode::deferred;
    f.keychain.set(QStringLiteral("a"), QStringLiteral("cloudToken"));
    f.keychain.remove(QStringLiteral("cloudTier"));
    auto answered = f.keychain.waitForPendingJobs();
    // The waiter resumes from the event loop.
    QCoreApplication::processEvents();
    EXPECT_FALSE(answered.isReady());
    f.backend.answerNext();
    QCoreApplication::processEvents();
    EXPECT_FALSE(answered.isReady());
    f.backend.answerNext();
    QCoreApplication::processEvents();
    EXPECT_TRUE(answered.isReady());

    f.backend.mode = FakeKeychainBackend::Mode::hung;
    f.keychain.set(QStringLiteral("b"), QStringLiteral("cloudToken"));
    auto timedOut = f.keychain.waitForPendingJobs();
    f.clock.advance(Keychain::defaultTimeout);
    QCoreApplication::processEvents();
    EXPECT_TRUE(timedOut.isReady());
}

TEST(Keychain, AnAssignmentDuringLoadWinsOverTheStoredValue)
{
    KeychainFixture f;
    f.backend.mode = FakeKeychainBackend::Mode::deferred;
    f.backend.items.insert(QStringLiteral("cloudToken"), "old");
    f.backend.items.insert(QStringLiteral("cloudEmail"), "old@example.org");
    auto load = f.keychain.load();

    f.keychain.set(QStringLiteral("new"), QStringLiteral("cloudToken"));
    f.keychain.remove(QStringLiteral("cloudEmail"));
    while (f.backend.answerNext()) { }
    QCoro::waitFor(std::move(load));

    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudToken")), QStringLiteral("new"));
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudEmail")), std::nullopt);
    EXPECT_EQ(f.backend.items.value(QStringLiteral("cloudToken")), QByteArray("new"));
    EXPECT_FALSE(f.backend.items.contains(QStringLiteral("cloudEmail")));
}

TEST(Keychain, AStoreThatNeverAnswersTimesOutAndReadsAsAbsent)
{
    KeychainFixture f;
    f.backend.mode = FakeKeychainBackend::Mode::hung;
    f.backend.items.insert(QStringLiteral("cloudToken"), "stored");
    auto load = f.keychain.load();

    for (int job = 0; job < Keychain::knownKeys.size(); ++job) {
        EXPECT_FALSE(f.keychain.isLoaded());
        f.clock.advance(Keychain::defaultTimeout - 1ms);
        EXPECT_EQ(f.backend.jobs.size(), job + 1) << "the next job waits for the time-out";
        f.clock.advance(1ms);
    }
    EXPECT_TRUE(f.keychain.isLoaded());
    QCoro::waitFor(std::move(load));
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudToken")), std::nullopt);
    EXPECT_TRUE(logTail().contains(
        QStringLiteral("keychain: the secret service did not answer within 5000 ms; reading "
                       "\"cloudDeviceID\" was given up")));

    // Writes still reach the cache, and each job is bounded the same way.
    f.keychain.set(QStringLiteral("fresh"), QStringLiteral("cloudToken"));
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudToken")), QStringLiteral("fresh"));
    f.clock.advance(Keychain::defaultTimeout);
    EXPECT_EQ(f.clock.activeTimerCount(), 0);
}

TEST(Keychain, ALateAnswerAfterTheTimeOutChangesNothing)
{
    KeychainFixture f;
    f.backend.mode = FakeKeychainBackend::Mode::deferred;
    f.backend.items.insert(QStringLiteral("cloudToken"), "late");
    auto load = f.keychain.load({QStringLiteral("cloudToken"), QStringLiteral("cloudEmail")});
    f.clock.advance(Keychain::defaultTimeout);
    EXPECT_EQ(f.backend.jobs.size(), 2);

    // The first read answers now, while the second is the job in progress.
    ASSERT_TRUE(f.backend.answerNext());
    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudToken")), std::nullopt);
    EXPECT_FALSE(f.keychain.isLoaded());
    ASSERT_TRUE(f.backend.answerNext());
    EXPECT_TRUE(f.keychain.isLoaded());
    QCoro::waitFor(std::move(load));
}

TEST(Keychain, WithoutASecretServiceTheItemsLiveInMemory)
{
    struct Case
    {
        const char *name;
        bool backendGiven;
        bool available;
        std::optional<KeychainBackend::Status> failure;
        int jobsSent;
    };
    const QList<Case> cases = {
        {"no backend", false, true, std::nullopt, 0},
        {"no service on the bus", true, false, std::nullopt, 0},
        {"the store reports none", true, true, KeychainBackend::Status::noBackend, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeKeychainBackend backend;
        backend.available = c.available;
        backend.failWith = c.failure;
        ManualClock clock;
        Keychain keychain(c.backendGiven ? &backend : nullptr, clock);
        QCoro::waitFor(keychain.load());

        EXPECT_TRUE(keychain.isMemoryOnly());
        keychain.set(QStringLiteral("in memory"), QStringLiteral("cloudToken"));
        EXPECT_EQ(keychain.get(QStringLiteral("cloudToken")), QStringLiteral("in memory"));
        keychain.remove(QStringLiteral("cloudToken"));
        EXPECT_EQ(keychain.get(QStringLiteral("cloudToken")), std::nullopt);
        EXPECT_EQ(backend.jobs.size(), c.jobsSent);
        EXPECT_EQ(clock.activeTimerCount(), 0);
    }
    EXPECT_TRUE(logTail().contains(QStringLiteral("items are kept in memory for this session")));
}

TEST(Keychain, AFailedWriteIsLoggedWithoutItsValue)
{
    KeychainFixture f;
    f.load();
    f.backend.failWith = KeychainBackend::Status::failed;
    const QString secret = QStringLiteral("s3cr3t-%1").arg(QUuid::createUuid().toString());

    f.keychain.set(secret, QStringLiteral("cloudToken"));
    f.keychain.remove(QStringLiteral("cloudEmail"));

    EXPECT_EQ(f.keychain.get(QStringLiteral("cloudToken")), secret);
    const QString log = logTail();
    EXPECT_TRUE(log.contains(
        QStringLiteral("keychain: could not store \"cloudToken\": the store refused")));
    EXPECT_TRUE(log.contains(
        QStringLiteral("keychain: could not remove \"cloudEmail\": the store refused")));
    EXPECT_FALSE(log.contains(secret));
}

TEST(Keychain, OtherThreadsReadTheCacheAndTheirWritesReachTheStoreOnTheOwnerThread)
{
    KeychainFixture f;
    f.load();
    f.backend.jobs.clear();
    std::optional<QString> seenThere;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        f.keychain.set(QStringLiteral("from a task"), QStringLiteral("cloudToken"));
        seenThere = f.keychain.get(QStringLiteral("cloudToken"));
    }));
    worker->start();
    worker->wait();

    EXPECT_EQ(seenThere, QStringLiteral("from a task"));
    EXPECT_TRUE(f.backend.jobs.isEmpty()) << "the job starts on the owner thread";
    QCoreApplication::processEvents();
    EXPECT_EQ(f.backend.jobs, QStringList {QStringLiteral("write cloudToken")});
    EXPECT_EQ(f.backend.items.value(QStringLiteral("cloudToken")), QByteArray("from a task"));
}
