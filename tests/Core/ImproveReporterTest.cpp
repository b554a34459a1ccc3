#include "Core/ImproveReporter.h"

#include "Base/Json.h"
#include "Base/ManualClock.h"
#include "Base/UserDefaults.h"
#include "Core/CloudSession.h"
#include "Core/ImproveConfig.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/OddFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr double kDay = 24 * 3600;

class ImproveReporterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // The folder does not exist yet: the reporter makes it.
        path = dir.path() + QStringLiteral("/data/org.sonorvelle.Sonorvelle/improve-queue.jsonl");
        // The user has seen the consent page of the guide.
        ImproveConfig::setConsentShown(defaults, true);
        reporter = std::make_unique<ImproveReporter>(
            ImproveReporter::Services {&session, &defaults, &clock, path});
        reporter->setTokenProvider([this] { return token; });
    }

    double now() const { return double(clock.now().toMSecsSinceEpoch()) / 1000.0; }

    static QByteArray line(double t, const char *name = "app.env",
                           const char *properties = R"({"k":1})")
    {
        return QStringLiteral(R"({"t":%1,"n":"%2","p":%3})")
            .arg(QString::number(t, 'f', 3), QLatin1String(name), QLatin1String(properties))
            .toUtf8();
    }

    // `count` fresh lines named "e0", "e1", ... in file order.
    QList<QByteArray> freshLines(int count) const
    {
        QList<QByteArray> lines;
        for (int i = 0; i < count; ++i) {
            lines << line(now() - 60 + i * 0.01, qPrintable(QStringLiteral("e%1").arg(i)));
        }
        return lines;
    }

    void writeFile(const QList<QByteArray> &lines, const QByteArray &trailer = {})
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const QByteArray &each : lines) {
            file.write(each + '\n');
        }
        file.write(trailer);
    }

    QList<QByteArray> fileLines()
    {
        reporter->waitForQueuedWork();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        QList<QByteArray> lines = file.readAll().split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }

    bool fileExists()
    {
        reporter->waitForQueuedWork();
        return QFile::exists(path);
    }

    // Lets a flush run to its end: the file work, the request on this thread, the answer.
    void settle()
    {
        reporter->waitForQueuedWork();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !reporter->uploadInFlight(); }, 10000));
        QTest::qWait(10); // a request that should not exist has its chance to show up
        reporter->waitForQueuedWork();
    }

    std::vector<FakeCloudService::Request> uploads() const
    {
        return service.requests("/api/improve");
    }

    static std::vector<std::string> eventNames(const FakeCloudService::Request &upload)
    {
        std::vector<std::string> names;
        const auto body = nlohmann::json::parse(upload.body);
        for (const auto &event : body.at("events")) {
            names.push_back(event.at("n").get<std::string>());
        }
        return names;
    }

    static std::vector<std::string> names(int from, int to)
    {
        std::vector<std::string> result;
        for (int i = from; i < to; ++i) {
            result.push_back("e" + std::to_string(i));
        }
        return result;
    }

    QTemporaryDir dir;
    FakeCloudService service;
    CloudSession session {service.baseURL()};
    UserDefaults defaults;
    ManualClock clock {QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC)};
    std::optional<QString> token = QStringLiteral("token-1");
    QString path;
    std::unique_ptr<ImproveReporter> reporter;
};

TEST_F(ImproveReporterTest, EventPropertiesAreSanitisedAndSamplesKeepTheirTexts)
{
    // 300 characters of which each is two code points (e + combining acute).
    QString longText;
    for (int i = 0; i < 300; ++i) {
        longText += QStringLiteral("e\u0301");
    }
    const QVariantMap properties {
        {QStringLiteral("a"), longText},
        {QStringLiteral("b"), true},
        {QStringLiteral("c"), 3},
        {QStringLiteral("d"), 2.5},
        {QStringLiteral("e"), std::numeric_limits<double>::infinity()},
        {QStringLiteral("f"), QDateTime::currentDateTimeUtc()},
        {QStringLiteral("g"), std::nan("")},
        {QStringLiteral("h"), QVariantList {1, 2}},
        {QStringLiteral("i"), QVariant()},
        {QStringLiteral("j"), qint64(1) << 40},
        {QStringLiteral("app"), QStringLiteral("caller")},
        {QStringLiteral("os"), QStringLiteral("caller")},
    };
    reporter->record(QStringLiteral("dictation.result"), properties);
    reporter->sample(properties);

    const auto lines = fileLines();
    ASSERT_EQ(lines.size(), 1);
    const auto event = nlohmann::json::parse(lines[0].toStdString());
    EXPECT_EQ(event.at("n"), "dictation.result");
    EXPECT_DOUBLE_EQ(event.at("t").get<double>(), now()) << "stamped when recorded";
    const auto &p = event.at("p");
    EXPECT_EQ(Json::fromStd(p.at("a").get<std::string>()), longText.left(512))
        << "cut to 256 characters, not code units";
    EXPECT_EQ(p.at("b"), true);
    EXPECT_EQ(p.at("c"), 3);
    EXPECT_EQ(p.at("d"), 2.5);
    EXPECT_EQ(p.at("j"), qint64(1) << 40);
    for (const char *dropped : {"e", "f", "g", "h", "i"}) {
        EXPECT_FALSE(p.contains(dropped)) << dropped;
    }

    ASSERT_TRUE(service.waitForRequests("/api/improve/sample", 1, 5s));
    const auto sample = service.requests("/api/improve/sample").at(0);
    EXPECT_EQ(sample.header("Authorization"), "Bearer token-1");
    EXPECT_EQ(sample.header("Content-Type"), "application/json");
    const auto body = nlohmann::json::parse(sample.body);
    EXPECT_EQ(Json::fromStd(body.at("a").get<std::string>()), longText) << "kept whole";
    EXPECT_EQ(body.at("app"), "sonorvelle") << "the reporter's own values win";
    EXPECT_EQ(Json::fromStd(body.at("os").get<std::string>()), QSysInfo::prettyProductName());
    EXPECT_EQ(Json::fromStd(body.at("installID").get<std::string>()),
              defaults.string(QStringLiteral("crashInstallID")).value_or(QString()));
    EXPECT_TRUE(body.contains("appVersion"));
    for (const char *absent : {"build", "arch", "locale", "e", "f"}) {
        EXPECT_FALSE(body.contains(absent)) << absent;
    }
}

TEST_F(ImproveReporterTest, ASampleNeedsAToken)
{
    token.reset();
    reporter->sample({{QStringLiteral("cleaned"), QStringLiteral("text")}});
    QTest::qWait(50);
    EXPECT_EQ(service.requestCount(), 0u);
}

TEST_F(ImproveReporterTest, WithSharingOffNothingIsKeptOrSentAndStartDeletesTheQueue)
{
    writeFile(freshLines(3));
    defaults.setValue(QStringLiteral("improveDataSharing"), false);

    reporter->record(QStringLiteral("app.env"), {});
    reporter->sample({{QStringLiteral("cleaned"), QStringLiteral("text")}});
    reporter->flushNow(false);
    settle();
    EXPECT_EQ(fileLines(), freshLines(3));
    EXPECT_EQ(service.requestCount(), 0u);

    reporter->start();
    EXPECT_FALSE(fileExists());
}

// Before the consent page of the guide has shown, nothing leaves: events wait in the queue and go
// once it has; samples are dropped. A guide completed before the page was tracked counts as seen,
// a guide closed before it does not.
TEST_F(ImproveReporterTest, NothingLeavesBeforeTheConsentPageHasShown)
{
    struct Case
    {
        const char *name;
        QVariantMap stored;
        bool sends;
    };
    const QList<Case> cases = {
        {"fresh installation", {}, false},
        {"guide closed before the page",
         {{"consentShown", false}, {"onboardingCompleted", true}},
         false},
        {"guide completed before the page was tracked", {{"onboardingCompleted", true}}, true},
        {"page shown", {{"consentShown", true}}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        service.clearRequests();
        defaults.remove(QStringLiteral("consentShown"));
        defaults.remove(QStringLiteral("onboardingCompleted"));
        for (auto it = c.stored.cbegin(); it != c.stored.cend(); ++it) {
            defaults.setValue(it.key(), it.value());
        }
        EXPECT_EQ(ImproveConfig::consentGiven(defaults), c.sends);
        writeFile(freshLines(3));
        reporter->sample({{QStringLiteral("cleaned"), QStringLiteral("text")}});
        reporter->flushNow(false);
        settle();
        if (c.sends) {
            EXPECT_TRUE(service.waitForRequests("/api/improve/sample", 1, 5s));
            EXPECT_EQ(service.requestCount(), 2u);
        } else {
            QTest::qWait(50);
            EXPECT_EQ(service.requestCount(), 0u);
            EXPECT_EQ(fileLines(), freshLines(3)) << "the queue is kept for later";
            ImproveConfig::setConsentShown(defaults, true);
            reporter->flushNow(false);
            settle();
            EXPECT_EQ(service.requestCount(), 1u);
        }
        EXPECT_FALSE(fileExists());
    }
}

// What one flush of a file holding 250 fresh lines sends, and what the answer leaves in the file.
TEST_F(ImproveReporterTest, TheAnswerDecidesWhichLinesLeaveTheFile)
{
    FakeCloudService::Reply dropped;
    dropped.dropMidBody = true;
    dropped.body = std::string(4096, 'x');
    const struct
    {
        const char *name;
        FakeCloudService::Reply reply;
        bool delivered;
    } cases[] = {
        {"200", FakeCloudService::Reply::json("{}", 200), true},
        {"404 will never be taken", FakeCloudService::Reply::json("{}", 404), true},
        {"499", FakeCloudService::Reply::json("{}", 499), true},
        {"500", FakeCloudService::Reply::json("{}", 500), false},
        {"503", FakeCloudService::Reply::json("{}", 503), false},
        {"connection dropped", dropped, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.clearRequests();
        writeFile(freshLines(250));
        service.script("/api/improve", c.reply);
        reporter->flushNow(false);
        settle();

        ASSERT_EQ(uploads().size(), 1u);
        EXPECT_EQ(eventNames(uploads()[0]), names(0, 200)) << "the first 200, in file order";
        if (c.delivered) {
            EXPECT_EQ(fileLines(), freshLines(250).mid(200)) << "the other 50 stay, in order";
        } else {
            EXPECT_EQ(fileLines(), freshLines(250)) << "unchanged";
        }
    }
}

TEST_F(ImproveReporterTest, TheUploadCarriesTheInstallationAndThisBuild)
{
    writeFile(freshLines(2));
    reporter->flushNow(false);
    settle();
    token.reset();
    writeFile(freshLines(2));
    reporter->flushNow(false);
    settle();

    const auto sent = uploads();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].header("Content-Type"), "application/json");
    EXPECT_EQ(sent[0].header("Authorization"), "Bearer token-1");
    EXPECT_FALSE(sent[1].hasHeader("Authorization")) << "signed out: sent without";

    const nlohmann::ordered_json body = nlohmann::ordered_json::parse(sent[0].body);
    std::vector<std::string> keys;
    for (const auto &item : body.items()) {
        keys.push_back(item.key());
    }
    EXPECT_EQ(keys,
              (std::vector<std::string> {"app", "installID", "appVersion", "build", "os", "arch",
                                         "locale", "events"}));
    EXPECT_EQ(body.at("app"), "sonorvelle");
    EXPECT_EQ(Json::fromStd(body.at("installID").get<std::string>()),
              *defaults.string(QStringLiteral("crashInstallID")));
    EXPECT_EQ(Json::fromStd(body.at("arch").get<std::string>()), QSysInfo::currentCpuArchitecture())
        << "the processor this build runs on";
    EXPECT_EQ(nlohmann::json::parse(body.at("events").at(0).dump()),
              nlohmann::json::parse(freshLines(1)[0].toStdString()))
        << "each event as it stands in the file";
}

// Lines the service could never use are dropped; the good ones around them go out in order.
TEST_F(ImproveReporterTest, BadLinesAreDroppedAndGoodOnesSent)
{
    const double t = now();
    const QList<QByteArray> lines {
        line(t - 10, "good.first"),
        "not json at all",
        R"([1,2,3])",
        R"({"n":"no.time","p":{}})",
        R"({"t":"yesterday","n":"text.time","p":{}})",
        line(t - 8 * kDay, "eight.days.old"),
        line(t - 6 * kDay, "good.six.days.old"),
        line(t + 2 * kDay, "two.days.ahead"),
        line(t + 3600, "good.an.hour.ahead"),
        line(t + 1e12, "far.future"),
        R"({"t":1,"p":{}})",
        QStringLiteral(R"({"t":%1,"n":"props.not.object","p":[1]})").arg(t).toUtf8(),
        QByteArray(100, '{'),
        QByteArray(300, '[') + QByteArray(300, ']'),
        "\xff\xfe garbage \x01",
        line(t - 5, "good.last"),
    };
    writeFile(lines, R"({"t":1772366400,"n":"cut.sh)");
    reporter->flushNow(false);
    settle();

    ASSERT_EQ(uploads().size(), 1u);
    EXPECT_EQ(eventNames(uploads()[0]),
              (std::vector<std::string> {"good.first", "good.six.days.old", "good.an.hour.ahead",
                                         "good.last"}));
    EXPECT_FALSE(fileExists()) << "nothing worth keeping is left";

    service.clearRequests();
    writeFile({"garbage", line(t - 8 * kDay, "old"), R"({"n":"x","p":{}})"}, "{\"t\":");
    reporter->flushNow(false);
    settle();
    EXPECT_EQ(service.requestCount(), 0u);
    EXPECT_FALSE(fileExists()) << "a file of bad lines only is deleted without a request";
}

TEST_F(ImproveReporterTest, AnEventRecordedAfterACutLineIsNotSwallowedByIt)
{
    writeFile({line(now() - 1, "before")}, R"({"t":1772366400,"n":"cut.sh)");
    reporter->record(QStringLiteral("after.cut"), {});
    reporter->flushNow(false);
    settle();
    ASSERT_EQ(uploads().size(), 1u);
    EXPECT_EQ(eventNames(uploads()[0]), (std::vector<std::string> {"before", "after.cut"}));
}

TEST_F(ImproveReporterTest, TheTwoHundredthLineStartsAFlushAtOnce)
{
    writeFile(freshLines(198));
    reporter->record(QStringLiteral("e198"), {});
    settle();
    EXPECT_EQ(uploads().size(), 0u) << "199 lines wait for the timer";

    reporter->record(QStringLiteral("e199"), {});
    ASSERT_TRUE(service.waitForRequests("/api/improve", 1, 5s));
    settle();
    EXPECT_EQ(eventNames(uploads()[0]), names(0, 200));
    EXPECT_FALSE(fileExists());
}

// A service that fails is not sent the same batch again at every new event: after a failed
// upload the next waits a minute, twice as long after each further failure, never longer than
// the quarter-hour period; a delivered upload ends the wait.
TEST_F(ImproveReporterTest, AfterAFailedUploadTheNextWaitsLongerEachTimeUpToTheQuarterHour)
{
    service.respond("/api/improve", FakeCloudService::Reply::json("{}", 503));
    writeFile(freshLines(450));
    const auto uploadsAfter = [&](std::chrono::seconds step) {
        clock.advance(step);
        reporter->record(QStringLiteral("tick"), {});
        settle();
        return uploads().size();
    };
    EXPECT_EQ(uploadsAfter(0s), 1u) << "a full batch goes at once";
    EXPECT_EQ(uploadsAfter(1s), 1u) << "the next event does not send it again";
    std::chrono::seconds waited = 1s;
    size_t sent = 1;
    for (const std::chrono::seconds pause : {60s, 120s, 240s, 480s, 900s, 900s}) {
        SCOPED_TRACE("after a failure, a pause of " + std::to_string(pause.count()) + " s");
        EXPECT_EQ(uploadsAfter(pause - waited - 1s), sent);
        EXPECT_EQ(uploadsAfter(1s), ++sent);
        waited = 0s;
    }

    service.respond("/api/improve", FakeCloudService::Reply::json("{}", 200));
    EXPECT_EQ(uploadsAfter(900s), ++sent);
    EXPECT_EQ(uploadsAfter(1s), ++sent) << "delivered: the rest of a full queue goes at once";
}

// Lines recorded while an upload waits for its answer are not the ones it sent: they stay, and a
// flush meanwhile starts no second upload.
TEST_F(ImproveReporterTest, LinesRecordedDuringAnUploadSurviveIt)
{
    FakeCloudService::Reply slow = FakeCloudService::Reply::json("{}", 200);
    slow.delay = 300ms;
    service.script("/api/improve", slow);
    writeFile(freshLines(250));
    reporter->flushNow(false);
    ASSERT_TRUE(service.waitForRequests("/api/improve", 1, 5s));
    ASSERT_TRUE(reporter->uploadInFlight());

    reporter->record(QStringLiteral("during.one"), {});
    reporter->flushNow(false);
    reporter->record(QStringLiteral("during.two"), {});
    settle();

    EXPECT_EQ(uploads().size(), 1u);
    const auto lines = fileLines();
    ASSERT_EQ(lines.size(), 52);
    EXPECT_EQ(lines.mid(0, 50), freshLines(250).mid(200)) << "the batch held back";
    EXPECT_EQ(nlohmann::json::parse(lines[50].toStdString()).at("n"), "during.one");
    EXPECT_EQ(nlohmann::json::parse(lines[51].toStdString()).at("n"), "during.two");
}

TEST_F(ImproveReporterTest, ClearingDuringAnUploadKeepsNothingOfTheFileBefore)
{
    FakeCloudService::Reply slow = FakeCloudService::Reply::json("{}", 200);
    slow.delay = 300ms;
    service.script("/api/improve", slow);
    writeFile(freshLines(250));
    reporter->flushNow(false);
    ASSERT_TRUE(service.waitForRequests("/api/improve", 1, 5s));

    reporter->record(QStringLiteral("before.clear"), {});
    reporter->clearQueue();
    reporter->record(QStringLiteral("after.clear"), {});
    settle();

    const auto lines = fileLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(nlohmann::json::parse(lines[0].toStdString()).at("n"), "after.clear");
}

TEST_F(ImproveReporterTest, TheTimerFlushesAMinuteAfterStartThenEveryQuarterHour)
{
    reporter->start();
    const auto uploadsAfter = [&](std::chrono::seconds step) {
        reporter->record(QStringLiteral("tick"), {});
        reporter->waitForQueuedWork();
        clock.advance(step);
        settle();
        return uploads().size();
    };
    EXPECT_EQ(uploadsAfter(59s), 0u);
    EXPECT_EQ(uploadsAfter(1s), 1u) << "60 s after start";
    EXPECT_EQ(uploadsAfter(899s), 1u);
    EXPECT_EQ(uploadsAfter(1s), 2u) << "then every 900 s";
    EXPECT_EQ(uploadsAfter(900s), 3u);
}

// The quit flush sends from the thread that waits: the main thread may be the one blocked in the
// wait, so nothing of the flush may need it. Either way the wait ends within two seconds.
TEST_F(ImproveReporterTest, TheQuitFlushSendsFromTheWaitingThreadWithinTwoSeconds)
{
    const struct
    {
        const char *name;
        bool fromOtherThread;
        std::chrono::milliseconds answerDelay;
    } cases[] = {
        {"main thread, prompt answer", false, 0ms},
        {"other thread while the main thread is blocked", true, 0ms},
        {"main thread, stalled service", false, 2500ms},
        {"other thread, stalled service", true, 2500ms},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.clearRequests();
        FakeCloudService::Reply reply = FakeCloudService::Reply::json("{}", 200);
        reply.delay = c.answerDelay;
        service.script("/api/improve", reply);
        writeFile(freshLines(3));

        QElapsedTimer elapsed;
        elapsed.start();
        if (c.fromOtherThread) {
            std::thread waiting([&] { reporter->flushNow(true); });
            waiting.join(); // no event loop runs on the main thread meanwhile
        } else {
            reporter->flushNow(true);
        }
        const qint64 took = elapsed.elapsed();

        ASSERT_EQ(uploads().size(), 1u) << "the request went out during the wait";
        EXPECT_EQ(eventNames(uploads()[0]), names(0, 3));
        if (c.answerDelay == 0ms) {
            EXPECT_LT(took, 1000);
            EXPECT_FALSE(fileExists()) << "delivered before the wait ended";
        } else {
            EXPECT_GE(took, 1900);
            EXPECT_LT(took, 2500);
            EXPECT_EQ(fileLines(), freshLines(3)) << "not delivered: the lines stay";
            // A transfer of the main session goes on after the wait; let it end before the next
            // case.
            ASSERT_TRUE(QTest::qWaitFor([&] { return !reporter->uploadInFlight(); }, 10000));
        }
    }
}

TEST_F(ImproveReporterTest, AnOversizedQueueIsReadFromItsNewestEndAndTrimmedOnAppend)
{
    // About 50 MB of fresh lines.
    const QByteArray filler =
        line(now() - 100, "old.filler", R"({"pad":")" + QByteArray(400, 'x') + R"("})");
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray block = (filler + '\n').repeated(1000);
        while (file.size() < 50 * 1024 * 1024) {
            file.write(block);
        }
    }
    reporter->record(QStringLiteral("newest"), {});
    reporter->waitForQueuedWork();
    EXPECT_LE(QFileInfo(path).size(), ImproveReporter::maxFileBytes);
    const auto lines = fileLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(nlohmann::json::parse(lines.last().toStdString()).at("n"), "newest");

    service.respond("/api/improve", FakeCloudService::Reply::json("{}", 503));
    reporter->flushNow(false);
    settle();
    ASSERT_EQ(uploads().size(), 1u);
    EXPECT_EQ(eventNames(uploads()[0]).size(), 200u);

    // One unbroken run of bytes past the bound holds no line at all.
    writeFile({}, QByteArray(ImproveReporter::maxFileBytes + 10, 'z'));
    reporter->flushNow(false);
    settle();
    EXPECT_FALSE(fileExists());
}

// What is found in the queue's place is read within the bound or not at all; what is not a file
// is kept aside as found, and the events recorded next travel as usual.
TEST_F(ImproveReporterTest, AnythingButAFileInTheQueuesPlaceIsKeptAsideAndANewQueueStarts)
{
    const QString folder = QFileInfo(path).absolutePath();
    for (const OddFile &odd : OddFile::all()) {
        SCOPED_TRACE(odd.name);
        reporter->waitForQueuedWork();
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        odd.make(path);
        service.clearRequests();

        reporter->flushNow(false);
        settle();
        EXPECT_TRUE(uploads().empty());
        reporter->record(QStringLiteral("fresh"), {});
        reporter->flushNow(false);
        settle();
        ASSERT_EQ(uploads().size(), 1u);
        EXPECT_EQ(eventNames(uploads()[0]), std::vector<std::string> {"fresh"});

        const QString kept = path + QStringLiteral(".unreadable-20260301T120000Z");
        if (QFileInfo(kept).isSymLink() || QFileInfo::exists(kept)) {
            odd.isIntact(kept);
        } else {
            // A file is the queue's own, grown past its bound; holding no line, it was dropped.
            EXPECT_EQ(odd.name, std::string("a sparse file of 1 GB"));
        }
    }
}

} // namespace
