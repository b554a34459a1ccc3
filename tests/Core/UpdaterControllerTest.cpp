#include "Core/UpdaterController.h"

#include "Base/ManualClock.h"
#include "Base/UserDefaults.h"
#include "Fakes/FakeUpdateAlerts.h"
#include "Fakes/FakeUrlOpener.h"
#include "Platform/Appcast/Updater.h"
#include "TestSupport/LoopbackHttpServer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const char *const kAppcast = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <item>
      <title>Sonorvelle 1.2</title>
      <sparkle:version>42</sparkle:version>
      <sparkle:shortVersionString>1.2</sparkle:shortVersionString>
      <link>https://example.org/download/1.2</link>
    </item>
  </channel>
</rss>
)";

// An owner on a loopback feed, its results shown to a recording fake.
class UpdaterControllerAlerts : public testing::Test
{
protected:
    UpdaterControllerAlerts()
    {
        m_outer =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        server.respond("/appcast.xml", {200, kAppcast, "application/rss+xml"});
    }
    ~UpdaterControllerAlerts() override
    {
        if (owner) {
            EXPECT_TRUE(waitForCheck());
        }
        owner.reset();
        qInstallMessageHandler(m_outer);
    }

    Updater &make(const QString &currentVersion, const std::string &path = "/appcast.xml")
    {
        owner = UpdaterController::create(server.url(QString::fromStdString(path)).toString(),
                                          currentVersion, opener, defaults, clock);
        owner->setAlerts(&alerts);
        return owner->updater();
    }

    bool waitForCheck()
    {
        return QTest::qWaitFor([&] { return !owner->updater().isChecking(); }, 10000);
    }

    LoopbackHttpServer server;
    ManualClock clock;
    UserDefaults defaults;
    FakeUrlOpener opener;
    FakeUpdateAlerts alerts;
    std::unique_ptr<UpdaterController> owner;

private:
    QtMessageHandler m_outer = nullptr;
};

} // namespace

TEST_F(UpdaterControllerAlerts, ACheckTheUserAskedForAlwaysShowsItsResult)
{
    struct Case
    {
        const char *name;
        const char *running;
        std::string path;
        QString shown;
    };
    server.respond("/missing.xml", {404, "", "text/plain"});
    const Case cases[] = {
        {"newer version", "41", "/appcast.xml",
         QStringLiteral("available 1.2 https://example.org/download/1.2")},
        {"up to date", "42", "/appcast.xml", QStringLiteral("up to date")},
        {"failure", "41", "/missing.xml", QStringLiteral("failed ")},
    };
    for (const Case &c : cases) {
        alerts.shown.clear();
        make(QString::fromLatin1(c.running), c.path).checkForUpdates();
        ASSERT_TRUE(waitForCheck()) << c.name;
        ASSERT_EQ(alerts.shown.size(), 1) << c.name;
        EXPECT_TRUE(alerts.shown.first().startsWith(c.shown))
            << c.name << ": " << alerts.shown.first().toStdString();
        EXPECT_GT(alerts.shown.first().size(), QStringLiteral("failed ").size())
            << c.name << ": says what it found";
    }
}

TEST_F(UpdaterControllerAlerts, AScheduledCheckStaysQuietUnlessTheUserAskedMeanwhile)
{
    defaults.setValue(QStringLiteral("SUEnableAutomaticChecks"), true);
    Updater &updater = make(QStringLiteral("42"));
    clock.advance(0s);
    ASSERT_TRUE(updater.isChecking()) << "the first scheduled check is due at once";
    ASSERT_TRUE(waitForCheck());
    EXPECT_TRUE(alerts.shown.isEmpty());

    // The user asks while a scheduled check runs: that check answers them.
    clock.advance(Updater::checkInterval);
    ASSERT_TRUE(updater.isChecking());
    updater.checkForUpdates();
    ASSERT_TRUE(waitForCheck());
    EXPECT_EQ(alerts.shown, QStringList {QStringLiteral("up to date")});
}
