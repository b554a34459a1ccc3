#include "Platform/Appcast/Updater.h"

#include "Base/AppInfo.h"
#include "Base/ManualClock.h"
#include "Base/UserDefaults.h"
#include "Core/UpdaterController.h"
#include "Fakes/FakeUrlOpener.h"
#include "TestSupport/LoopbackHttpServer.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>

using namespace std::chrono_literals;

namespace {

const char *const kAppcast = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Sonorvelle</title>
    <item>
      <title>Sonorvelle 1.1</title>
      <sparkle:version>41</sparkle:version>
      <link>https://example.org/download/1.1</link>
    </item>
    <item>
      <title>Sonorvelle 1.2</title>
      <sparkle:version>42</sparkle:version>
      <sparkle:shortVersionString>1.2</sparkle:shortVersionString>
      <link>https://example.org/download/1.2</link>
      <enclosure url="https://example.org/sonorvelle-1.2.tar.gz" length="1"/>
    </item>
  </channel>
</rss>
)";

const QUrl kPage(QStringLiteral("https://example.org/download/1.2"));

class UpdaterTest : public ::testing::Test
{
protected:
    UpdaterTest()
    {
        // The updater logs what it finds; keep it off the test output.
        m_outer =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        server.respond("/appcast.xml", {200, kAppcast, "application/rss+xml"});
    }
    ~UpdaterTest() override
    {
        if (updater && updater->isChecking()) {
            EXPECT_TRUE(waitForCheck());
        }
        updater.reset();
        qInstallMessageHandler(m_outer);
    }

    Updater &make(const QString &currentVersion = QStringLiteral("40"), QUrl feed = QUrl())
    {
        updater = std::make_unique<Updater>(
            feed.isEmpty() ? server.url(QStringLiteral("/appcast.xml")) : feed, currentVersion,
            opener, defaults, clock);
        finished = std::make_unique<QSignalSpy>(updater.get(), &Updater::checkFinished);
        return *updater;
    }

    bool waitForCheck()
    {
        return QTest::qWaitFor([&] { return !updater->isChecking(); }, 10000);
    }

    Updater::CheckResult lastResult() const
    {
        return finished->last().at(0).value<Updater::CheckResult>();
    }
    bool lastWasUserInitiated() const { return finished->last().at(1).toBool(); }
    QString lastDetail() const { return finished->last().at(4).toString(); }

    ManualClock clock;
    UserDefaults defaults;
    FakeUrlOpener opener;
    LoopbackHttpServer server;
    std::unique_ptr<Updater> updater;
    std::unique_ptr<QSignalSpy> finished;

private:
    QtMessageHandler m_outer = nullptr;
};

TEST_F(UpdaterTest, UserCheckOpensTheNewestReleasesPage)
{
    Updater &u = make();
    QSignalSpy checking(&u, &Updater::checkingChanged);
    u.checkForUpdates();
    EXPECT_TRUE(u.isChecking());
    ASSERT_TRUE(waitForCheck());

    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].method, "GET");
    EXPECT_EQ(server.requests()[0].path, "/appcast.xml");
    EXPECT_EQ(opener.opened, QList<QUrl> {kPage});
    ASSERT_EQ(finished->count(), 1);
    const QList<QVariant> args = finished->at(0);
    EXPECT_EQ(args.at(0).value<Updater::CheckResult>(), Updater::CheckResult::updateFound);
    EXPECT_TRUE(args.at(1).toBool());
    EXPECT_EQ(args.at(2).toString(), QStringLiteral("1.2"));
    EXPECT_EQ(args.at(3).toUrl(), kPage);
    ASSERT_EQ(checking.count(), 2);
    EXPECT_EQ(checking.at(0).at(0), QVariant(true));
    EXPECT_EQ(checking.at(1).at(0), QVariant(false));
    EXPECT_EQ(u.lastUpdateCheckDate(), clock.now());
}

TEST_F(UpdaterTest, UpToDateOpensNothing)
{
    for (const QString &current : {QStringLiteral("42"), QStringLiteral("43")}) {
        Updater &u = make(current);
        u.checkForUpdates();
        ASSERT_TRUE(waitForCheck());
        EXPECT_EQ(lastResult(), Updater::CheckResult::upToDate) << current.toStdString();
    }
    EXPECT_TRUE(opener.opened.isEmpty());
}

TEST_F(UpdaterTest, FailedChecksOpenNothing)
{
    server.respond("/missing.xml", {404, "not here"});
    server.respond("/broken.xml", {200, "<rss><channel><item>", "application/rss+xml"});
    server.respond("/huge.xml",
                   {200, std::string(Updater::maxFeedBytes + 1, ' '), "application/rss+xml"});
    QUrl unreachable;
    {
        LoopbackHttpServer gone;
        unreachable = gone.url(QStringLiteral("/appcast.xml"));
    }
    const struct
    {
        QUrl feed;
        QString reason; // a part of the failure's detail
    } cases[] = {
        {server.url(QStringLiteral("/missing.xml")), QStringLiteral("not found")},
        {server.url(QStringLiteral("/broken.xml")), QStringLiteral("unreadable feed")},
        {server.url(QStringLiteral("/huge.xml")), QStringLiteral("larger than")},
        {unreachable, QStringLiteral("refused")},
        {QUrl(QStringLiteral("file:///tmp/appcast.xml")), QStringLiteral("not an http")},
    };
    for (const auto &test : cases) {
        Updater &u = make(QStringLiteral("40"), test.feed);
        u.checkForUpdates();
        ASSERT_TRUE(waitForCheck()) << test.feed.toString().toStdString();
        ASSERT_EQ(finished->count(), 1);
        EXPECT_EQ(lastResult(), Updater::CheckResult::failed) << test.feed.toString().toStdString();
        EXPECT_TRUE(lastDetail().contains(test.reason, Qt::CaseInsensitive))
            << lastDetail().toStdString();
    }
    EXPECT_TRUE(opener.opened.isEmpty());
}

TEST_F(UpdaterTest, AutomaticChecksRunDailyOnceSwitchedOn)
{
    Updater &u = make();
    EXPECT_FALSE(u.automaticallyChecksForUpdates());
    u.start();
    EXPECT_EQ(clock.activeTimerCount(), 0);
    clock.advance(48h);
    EXPECT_EQ(server.requestCount(), 0u);

    QSignalSpy switched(&u, &Updater::automaticallyChecksForUpdatesChanged);
    u.setAutomaticallyChecksForUpdates(true);
    EXPECT_EQ(switched.count(), 1);
    EXPECT_EQ(defaults.boolValue(QStringLiteral("SUEnableAutomaticChecks")), true);
    // Never checked before: due at once.
    clock.advance(0s);
    EXPECT_TRUE(u.isChecking());
    ASSERT_TRUE(waitForCheck());
    EXPECT_FALSE(lastWasUserInitiated());
    EXPECT_EQ(opener.opened, QList<QUrl> {kPage});

    clock.advance(Updater::checkInterval - 1s);
    EXPECT_FALSE(u.isChecking());
    clock.advance(1s);
    EXPECT_TRUE(u.isChecking());
    ASSERT_TRUE(waitForCheck());
    EXPECT_EQ(server.requestCount(), 2u);
    // The same release is announced once by the schedule...
    EXPECT_EQ(opener.opened.size(), 1);
    // ...and every time the user asks.
    u.checkForUpdates();
    ASSERT_TRUE(waitForCheck());
    EXPECT_EQ(opener.opened.size(), 2);

    u.setAutomaticallyChecksForUpdates(false);
    EXPECT_EQ(defaults.boolValue(QStringLiteral("SUEnableAutomaticChecks")), false);
    EXPECT_EQ(clock.activeTimerCount(), 0);
    clock.advance(72h);
    EXPECT_EQ(server.requestCount(), 3u);
}

TEST_F(UpdaterTest, ScheduleResumesOneIntervalAfterTheLastCheck)
{
    defaults.setValue(QStringLiteral("SUEnableAutomaticChecks"), true);
    defaults.setValue(QStringLiteral("SULastCheckTime"),
                      clock.now().addSecs(-3600).toString(Qt::ISODateWithMs));
    Updater &u = make();
    EXPECT_TRUE(u.automaticallyChecksForUpdates());
    u.start();
    clock.advance(Updater::checkInterval - 3600s - 1s);
    EXPECT_FALSE(u.isChecking());
    clock.advance(1s);
    EXPECT_TRUE(u.isChecking());
    ASSERT_TRUE(waitForCheck());
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(UpdaterTest, UserCheckDuringAScheduledOneJoinsIt)
{
    defaults.setValue(QStringLiteral("SUEnableAutomaticChecks"), true);
    defaults.setValue(QStringLiteral("updaterAnnouncedVersion"), QStringLiteral("42"));
    Updater &u = make();
    u.start();
    clock.advance(0s);
    ASSERT_TRUE(u.isChecking());
    u.checkForUpdates();
    ASSERT_TRUE(waitForCheck());

    EXPECT_EQ(server.requestCount(), 1u);
    ASSERT_EQ(finished->count(), 1);
    EXPECT_TRUE(lastWasUserInitiated());
    EXPECT_EQ(opener.opened, QList<QUrl> {kPage});
}

TEST_F(UpdaterTest, PageTheDesktopRefusesIsOfferedAgain)
{
    defaults.setValue(QStringLiteral("SUEnableAutomaticChecks"), true);
    opener.accepts = false;
    Updater &u = make();
    u.start();
    clock.advance(0s);
    ASSERT_TRUE(waitForCheck());
    EXPECT_EQ(lastResult(), Updater::CheckResult::updateFound);
    EXPECT_FALSE(defaults.contains(QStringLiteral("updaterAnnouncedVersion")));

    opener.accepts = true;
    clock.advance(Updater::checkInterval);
    ASSERT_TRUE(waitForCheck());
    EXPECT_EQ(opener.opened, (QList<QUrl> {kPage, kPage}));
}

TEST(UpdaterControllerTest, ExistsOnlyWithAFeed)
{
    ManualClock clock;
    UserDefaults defaults;
    FakeUrlOpener opener;
    EXPECT_EQ(UpdaterController::create(QString(), QStringLiteral("1"), opener, defaults, clock),
              nullptr);

    defaults.setValue(QStringLiteral("SUEnableAutomaticChecks"), true);
    defaults.setValue(QStringLiteral("SULastCheckTime"), clock.now().toString(Qt::ISODateWithMs));
    const auto owner = UpdaterController::create(QStringLiteral("https://example.org/appcast.xml"),
                                                 QStringLiteral("7"), opener, defaults, clock);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(owner->updater().feedURL(), QUrl(QStringLiteral("https://example.org/appcast.xml")));
    EXPECT_EQ(owner->updater().currentVersion(), QStringLiteral("7"));
    // Started at creation: the next automatic check is scheduled.
    EXPECT_EQ(clock.activeTimerCount(), 1);

    // This build's own feed decides whether the process has an updater at all.
    EXPECT_EQ(UpdaterController::isConfigured(), !AppInfo::feedURL().isEmpty());
    EXPECT_EQ(UpdaterController::shared() != nullptr, UpdaterController::isConfigured());
}

} // namespace
