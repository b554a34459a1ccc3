#include "Core/TesterMode.h"

#include "Base/AppInfo.h"
#include "Base/ManualClock.h"
#include "Base/UserDefaults.h"
#include "Core/CloudSession.h"
#include "Core/DebugLogCapture.h"
#include "Platform/Qt/ProcessLogRing.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

Q_LOGGING_CATEGORY(lcTesterTest, "tester.test")

// 09:00 on the manual clock's first day.
QDateTime at(int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 1, 1), QTime(hour, minute, second), Qt::UTC);
}

class TesterModeTest : public ::testing::Test
{
protected:
    TesterModeTest()
    {
        // The process log ring sits on a handler that prints nothing, so the test output stays
        // readable while thousands of messages pass.
        m_outer =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        ring.install();
    }

    ~TesterModeTest() override
    {
        if (tester) {
            // Nothing may still be on its way when the object goes.
            EXPECT_TRUE(QTest::qWaitFor([&] { return finished->count() >= started; }, 10000));
            tester.reset();
        }
        ring.uninstall();
        qInstallMessageHandler(m_outer);
    }

    // Tester mode on a session to the fake service, or to the origin given.
    TesterMode &make(const QUrl &origin = QUrl())
    {
        session = std::make_unique<CloudSession>(origin.isEmpty() ? service.baseURL() : origin);
        tester = std::make_unique<TesterMode>(defaults, clock, ring, *session);
        finished = std::make_unique<QSignalSpy>(tester.get(), &TesterMode::uploadFinished);
        // Every upload stores its window start first, so a change of it counts uploads.
        QObject::connect(&defaults, &UserDefaults::changed, [this](const QString &key) {
            if (key == QStringLiteral("testerLastExport")) {
                ++started;
            }
        });
        return *tester;
    }

    // Waits for upload number `n` (from 1) to reach the server and returns its JSON body.
    QJsonObject upload(int n)
    {
        EXPECT_TRUE(service.waitForRequests(n)) << "upload " << n << " never arrived";
        const auto requests = service.requests();
        if (static_cast<int>(requests.size()) < n) {
            return {};
        }
        return QJsonDocument::fromJson(QByteArray::fromStdString(requests[n - 1].body)).object();
    }

    static std::string log(const QJsonObject &body)
    {
        return body.value(QStringLiteral("log")).toString().toStdString();
    }

    void waitUntilAllFinished()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished->count() >= started; }, 10000));
    }

    DebugLogCapture debugLog;
    ManualClock clock;
    UserDefaults defaults;
    ProcessLogRing ring {ProcessLogRing::defaultCapacity, &clock};
    FakeCloudService service;
    std::unique_ptr<CloudSession> session;
    std::unique_ptr<TesterMode> tester;
    std::unique_ptr<QSignalSpy> finished;
    int started = 0;

private:
    QtMessageHandler m_outer = nullptr;
};

TEST_F(TesterModeTest, OffAtLaunchDoesNothing)
{
    TesterMode &mode = make();
    EXPECT_FALSE(mode.enabled());
    mode.start();
    EXPECT_TRUE(debugLog.messages().isEmpty());
    EXPECT_EQ(clock.activeTimerCount(), 0);
    EXPECT_EQ(started, 0);
    EXPECT_FALSE(defaults.contains(QStringLiteral("testerLastExport")));
    EXPECT_EQ(mode.lastExport(), at(8, 30));
}

TEST_F(TesterModeTest, SwitchingOnSendsOneUploadOfTheExactShape)
{
    qCInfo(lcTesterTest).noquote() << "hello from the process";
    TesterMode &mode = make();
    QSignalSpy changed(&mode, &TesterMode::enabledChanged);

    mode.toggle();

    EXPECT_TRUE(mode.enabled());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0), QVariant(true));
    EXPECT_EQ(defaults.boolValue(QStringLiteral("testerModeEnabled")), true);
    EXPECT_EQ(defaults.string(QStringLiteral("testerLastExport")),
              QStringLiteral("2026-01-01T09:00:00.000Z"));
    EXPECT_EQ(clock.activeTimerCount(), 1);

    const QJsonObject body = upload(1);
    const auto request = service.requests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/testlog");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_FALSE(request.hasHeader("Authorization"));

    // Seven string fields, no more.
    EXPECT_EQ(
        body.keys(),
        (QStringList {QStringLiteral("app"), QStringLiteral("appVersion"), QStringLiteral("build"),
                      QStringLiteral("installID"), QStringLiteral("log"),
                      QStringLiteral("osVersion"), QStringLiteral("type")}));
    for (const QString &key : body.keys()) {
        EXPECT_TRUE(body.value(key).isString()) << key.toStdString();
    }
    EXPECT_EQ(body.value(QStringLiteral("type")).toString(), QStringLiteral("testlog"));
    EXPECT_EQ(body.value(QStringLiteral("app")).toString(), QStringLiteral("sonorvelle"));
    EXPECT_EQ(body.value(QStringLiteral("installID")).toString(),
              defaults.string(QStringLiteral("crashInstallID")).value_or(QString()));
    EXPECT_EQ(body.value(QStringLiteral("installID")).toString().size(), 36);
    EXPECT_EQ(body.value(QStringLiteral("appVersion")).toString(), AppInfo::shortVersion());
    EXPECT_EQ(body.value(QStringLiteral("build")).toString(), AppInfo::buildVersion());
    EXPECT_FALSE(body.value(QStringLiteral("osVersion")).toString().isEmpty());

    const std::string text = log(body);
    EXPECT_THAT(text, ::testing::StartsWith("== app log (DebugLog) ==\n"));
    EXPECT_THAT(text, HasSubstr("Z tester: mode ON\n"));
    // The window of a fresh installation starts half an hour before the object was made.
    EXPECT_THAT(text,
                HasSubstr("\n\n== unified log (own process, since 2026-01-01 08:30:00 "
                          "+0000) ==\n2026-01-01T09:00:00Z [tester.test] hello from the "
                          "process"));
    waitUntilAllFinished();
}

TEST_F(TesterModeTest, UploadsEveryHalfHourAndOnceMoreWhenSwitchedOff)
{
    TesterMode &mode = make();
    mode.toggle();
    upload(1);

    clock.advance(1799s);
    EXPECT_EQ(started, 1);
    clock.advance(1s);
    EXPECT_EQ(started, 2);
    EXPECT_EQ(mode.lastExport(), at(9, 30));
    EXPECT_THAT(log(upload(2)), HasSubstr("(own process, since 2026-01-01 09:00:00 +0000)"));

    clock.advance(1800s);
    EXPECT_EQ(started, 3);
    EXPECT_THAT(log(upload(3)), HasSubstr("(own process, since 2026-01-01 09:30:00 +0000)"));

    clock.advance(60s);
    mode.toggle();
    EXPECT_FALSE(mode.enabled());
    EXPECT_EQ(defaults.boolValue(QStringLiteral("testerModeEnabled")), false);
    EXPECT_EQ(clock.activeTimerCount(), 0);
    const std::string last = log(upload(4));
    EXPECT_THAT(last, HasSubstr("Z tester: mode OFF"));
    EXPECT_THAT(last, HasSubstr("(own process, since 2026-01-01 10:00:00 +0000)"));

    clock.advance(3h);
    EXPECT_EQ(started, 4);
    waitUntilAllFinished();
    EXPECT_EQ(service.requestCount(), 4u);
    EXPECT_EQ(
        debugLog.messages(),
        (QStringList {QStringLiteral("tester: mode ON"), QStringLiteral("tester: mode OFF")}));
}

TEST_F(TesterModeTest, EachUploadExportsOnlyItsOwnWindow)
{
    TesterMode &mode = make();
    qCInfo(lcTesterTest).noquote() << "first";
    clock.advance(1s);
    mode.toggle();
    clock.advance(1s);
    qCInfo(lcTesterTest).noquote() << "second";
    mode.toggle();

    std::string one = log(upload(1));
    std::string two = log(upload(2));
    // Both uploads are in flight at once and may reach the server in either order; the first
    // window is the one that starts at the stored export time.
    if (one.find("since 2026-01-01 08:30:00") == std::string::npos) {
        std::swap(one, two);
    }
    EXPECT_THAT(one, HasSubstr("[tester.test] first"));
    EXPECT_THAT(one, Not(HasSubstr("[tester.test] second")));
    EXPECT_THAT(two,
                HasSubstr("(own process, since 2026-01-01 09:00:01 +0000) ==\n"
                          "2026-01-01T09:00:02Z [tester.test] second"));
    EXPECT_THAT(two, Not(HasSubstr("[tester.test] first")));
    waitUntilAllFinished();
}

TEST_F(TesterModeTest, LaunchWithTheModeOnResumesTheStoredWindow)
{
    defaults.setValue(QStringLiteral("testerModeEnabled"), true);
    defaults.setValue(QStringLiteral("testerLastExport"),
                      QStringLiteral("2026-01-01T08:45:00.000Z"));
    TesterMode &mode = make();
    EXPECT_TRUE(mode.enabled());
    EXPECT_EQ(mode.lastExport(), at(8, 45));

    mode.start();

    EXPECT_EQ(debugLog.messages(),
              QStringList {QStringLiteral("tester: session start (v%1 build %2)")
                               .arg(AppInfo::shortVersion(), AppInfo::buildVersion())});
    EXPECT_EQ(clock.activeTimerCount(), 1);
    EXPECT_THAT(log(upload(1)), HasSubstr("(own process, since 2026-01-01 08:45:00 +0000)"));
    waitUntilAllFinished();
}

TEST_F(TesterModeTest, FailedUploadsAreDroppedAndTheirWindowIsNotSentAgain)
{
    service.respond("/api/testlog", FakeCloudService::Reply::json("broken", 500));
    TesterMode &mode = make();
    qCInfo(lcTesterTest).noquote() << "in the lost window";
    clock.advance(1s);
    mode.toggle();
    EXPECT_THAT(log(upload(1)), HasSubstr("in the lost window"));
    waitUntilAllFinished();

    clock.advance(10s);
    mode.toggle();
    const std::string second = log(upload(2));
    waitUntilAllFinished();
    EXPECT_EQ(service.requestCount(), 2u); // no retry
    EXPECT_THAT(second, HasSubstr("(own process, since 2026-01-01 09:00:01 +0000)"));
    EXPECT_THAT(second, Not(HasSubstr("in the lost window")));
    EXPECT_EQ(
        debugLog.messages(),
        (QStringList {QStringLiteral("tester: mode ON"), QStringLiteral("tester: mode OFF")}));
}

// The upload goes through the request layer with its bounds: a redirect is not followed, so the
// log never travels to another address.
TEST_F(TesterModeTest, AnUploadFollowsNoRedirect)
{
    FakeCloudService::Reply moved = FakeCloudService::Reply::json("", 307);
    moved.headers = {{"Location", service.baseURL().toString().toStdString() + "/api/improve"}};
    service.respond("/api/testlog", moved);
    TesterMode &mode = make();
    mode.toggle();
    upload(1);
    waitUntilAllFinished();
    EXPECT_EQ(service.requestCount(), 1u);
    EXPECT_TRUE(service.requests("/api/improve").empty());
}

TEST_F(TesterModeTest, UnreachableServiceChangesNothing)
{
    QUrl closed;
    {
        FakeCloudService gone;
        closed = gone.baseURL();
    }
    TesterMode &mode = make(closed);
    mode.toggle();
    waitUntilAllFinished();
    EXPECT_EQ(finished->count(), 1);
    EXPECT_TRUE(mode.enabled());
    EXPECT_EQ(mode.lastExport(), at(9, 0));
    EXPECT_EQ(debugLog.messages(), QStringList {QStringLiteral("tester: mode ON")});
}

TEST_F(TesterModeTest, ExportFailureIsSentInPlaceOfTheEntries)
{
    ring.uninstall();
    TesterMode &mode = make();
    mode.toggle();
    const std::string text = log(upload(1));
    EXPECT_THAT(text,
                ::testing::EndsWith(") ==\n(oslog export failed: the process's log messages "
                                    "are not being recorded)"));
    waitUntilAllFinished();
}

TEST_F(TesterModeTest, ExportTakesTheFirst4000MessagesOfTheWindow)
{
    ring.record(QStringLiteral("old"), QStringLiteral("before the window"));
    clock.advance(1s);
    const QDateTime since = clock.now();
    for (int i = 0; i < TesterMode::maxProcessLogLines; ++i) {
        ring.record(QStringLiteral("c"), QStringLiteral("message %1").arg(i));
    }
    QStringList lines = TesterMode::exportProcessLog(ring, since).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4000);
    EXPECT_EQ(lines.first(), QStringLiteral("2026-01-01T09:00:01Z [c] message 0"));
    EXPECT_EQ(lines.last(), QStringLiteral("2026-01-01T09:00:01Z [c] message 3999"));

    ring.record(QStringLiteral("c"), QStringLiteral("message 4000"));
    lines = TesterMode::exportProcessLog(ring, since).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4000);
    EXPECT_EQ(lines.last(), QStringLiteral("2026-01-01T09:00:01Z [c] message 3999"));

    EXPECT_EQ(TesterMode::exportProcessLog(ring, clock.now().addSecs(1)), QString());
}

TEST(TesterModeTextTest, LogTextLayout)
{
    EXPECT_EQ(TesterMode::logText(QStringLiteral("tail line"), at(8, 30, 5),
                                  QStringLiteral("entry one\nentry two")),
              QStringLiteral("== app log (DebugLog) ==\ntail line\n\n== unified log (own process, "
                             "since 2026-01-01 08:30:05 +0000) ==\nentry one\nentry two"));
}

TEST(TesterModeTextTest, CapCountsBytesAndCutsCharacters)
{
    const QString exact(TesterMode::maxLogBytes, QLatin1Char('a'));
    EXPECT_EQ(TesterMode::capped(exact), exact);

    const QString oneMore = QStringLiteral("b") + exact;
    EXPECT_EQ(TesterMode::capped(oneMore), exact);

    // Cut by characters: a "é" written as e + U+0301 stays whole at the edge of the cut.
    const QString decomposed = QStringLiteral("e\u0301");
    const QString mixed = QString(TesterMode::maxLogBytes, QLatin1Char('x')) + decomposed;
    const QString cut = TesterMode::capped(mixed);
    EXPECT_EQ(cut.size(), TesterMode::maxLogBytes + 1);
    EXPECT_TRUE(cut.endsWith(decomposed));
    EXPECT_TRUE(cut.startsWith(QLatin1Char('x')));

    // Two bytes each: longer than the limit in bytes, yet within it in characters, so kept whole.
    const QString wide((TesterMode::maxLogBytes / 2) + 1, QChar(0x00E9));
    EXPECT_GT(wide.toUtf8().size(), TesterMode::maxLogBytes);
    EXPECT_EQ(TesterMode::capped(wide), wide);
}

TEST(TesterModeTextTest, VersionTextsFallBackWhenTheBuildHasNone)
{
    EXPECT_EQ(TesterMode::versionOr(QString(), QStringLiteral("dev")), QStringLiteral("dev"));
    EXPECT_EQ(TesterMode::versionOr(QStringLiteral("1.4.2"), QStringLiteral("dev")),
              QStringLiteral("1.4.2"));
    EXPECT_EQ(TesterMode::appVersion(), AppInfo::shortVersion());
    EXPECT_EQ(TesterMode::appBuild(), AppInfo::buildVersion());
}

} // namespace
