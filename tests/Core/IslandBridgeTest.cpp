#include "Core/IslandBridge.h"

#include "Core/DictationRig.h"
#include "Fakes/FakeCompanionHost.h"
#include "Fakes/FakePasteboard.h"
#include "Platform/Qt/QtCompanionSocket.h"
#include "Support/L10n.h"
#include "Support/LocalizationTables.h"
#include "TestSupport/ResidentMemory.h"
#include "TestSupport/TestTime.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <time.h>

using namespace std::chrono_literals;
using nlohmann::json;

namespace {

std::string text(const QString &key, const char *language = "en")
{
    return L10n::lookup(key, *AppLanguage::fromRawValue(QString::fromLatin1(language)))
        .toStdString();
}

QStringList keysOf(const json &object)
{
    QStringList keys;
    for (auto it = object.begin(); it != object.end(); ++it) {
        keys << QString::fromStdString(it.key());
    }
    keys.sort();
    return keys;
}

QStringList actionIds(const json &message)
{
    QStringList ids;
    for (const json &action : message["actions"]) {
        ids << QString::fromStdString(action["id"].get<std::string>());
    }
    return ids;
}

class IslandBridgeTest : public testing::Test
{
protected:
    IslandBridgeTest()
    {
        L10n::shared().apply(QStringLiteral("en"));
        IslandBridge::Services services;
        services.clock = &rig.clock;
        services.socket = std::make_unique<QtCompanionSocket>();
        services.history = &rig.history;
        services.pasteboard = &pasteboard;
        services.socketPath = host.socketPath();
        services.appID = QStringLiteral("org.sonorvelle.Sonorvelle");
        bridge = std::make_unique<IslandBridge>(std::move(services));
    }

    ~IslandBridgeTest() override { L10n::shared().apply(std::nullopt); }

    // The host up, the bridge started and its first messages read and put aside.
    void connectFresh()
    {
        ASSERT_TRUE(host.start());
        bridge->start(&rig.c(), &rig.appSettings());
        DictationRig::pump();
        // Five or six lines: the idle state itself goes out in the notch style only.
        ASSERT_TRUE(host.waitForLines(5)) << host.kinds().join(u' ').toStdString();
        QTest::qWait(30);
        host.lines.clear();
    }

    // Sends lines from the host and lets the bridge read them.
    void hostSays(const QByteArray &bytes)
    {
        host.send(bytes);
        QTest::qWait(20);
        DictationRig::pump();
    }

    json last() { return host.messages().last(); }

    void addRecord(const QString &cleaned, double seconds, std::optional<QString> app = {},
                   const QString &raw = QStringLiteral("raw"))
    {
        TranscriptRecord record;
        record.date = rig.clock.now().addSecs(-300);
        record.cleanedText = cleaned;
        record.rawText = raw;
        record.durationSeconds = seconds;
        record.appName = std::move(app);
        rig.history.add(record);
    }

    // The host sends `count` commands of every kind the bridge runs, a batch at a time as fast
    // as the link takes them, while a probe times every turn of the event loop; the longest turn
    // comes back. A turn is timed on the main thread's own processor clock: the time the loop
    // was busy between two answers, whatever else the machine runs and however long the test's
    // waits sleep. Ends once the bridge has read every line.
    std::chrono::milliseconds flood(int count)
    {
        addRecord(QStringLiteral("copied"), 2);
        DictationRig::pump();
        const QByteArray copy = R"({"v":1,"type":"widget.command","app":"h","itemId":")"
            + Json::uuidString(rig.history.records().first().id).toUtf8() + "\"}\n";
        const auto action = [](const char *id) {
            return QByteArray(R"({"v":1,"type":"widget.command","app":"h","actionId":")") + id
                + "\"}\n";
        };
        const QList<QByteArray> cycle = {
            action("toggle"),
            action("ask"),
            action("cancel"),
            copy,
            action("translate"),
            action("toggle"),
            action("cancel"),
            R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"ja"})"
            "\n",
            action("ask"),
            R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"en"})"
            "\n",
        };

        std::chrono::milliseconds longest {0};
        const auto busy = [] {
            timespec now {};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
            return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
        };
        auto last = busy();
        QTimer probe;
        probe.setInterval(0);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const auto now = busy();
            longest = std::max(longest,
                               std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
            last = now;
        });
        probe.start();
        const int batch = 500;
        for (int sent = 0; sent < count; sent += batch) {
            QByteArray bytes;
            for (int i = sent; i < sent + batch && i < count; ++i) {
                bytes += cycle[i % cycle.size()];
            }
            host.send(bytes);
            EXPECT_TRUE(QTest::qWaitFor([&] { return host.client->bytesToWrite() == 0; },
                                        TestTime::scaledMs(10000)));
            // What the bridge answers is not this test's concern; it must not pile up here.
            host.lines.clear();
        }
        // Lines are handled in order: once the bridge answers in German, it has read them all.
        host.lines.clear();
        host.send(R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"de"})"
                  "\n");
        const std::string german = text(QStringLiteral("menu.toggle_dictation"), "de");
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                for (const json &message : host.messages()) {
                    if (message.contains("actions") && message["actions"][0]["title"] == german) {
                        return true;
                    }
                }
                return false;
            },
            TestTime::scaledMs(10000)));
        probe.stop();
        return longest;
    }

    DictationRig rig;
    FakeCompanionHost host;
    FakePasteboard pasteboard;
    std::unique_ptr<IslandBridge> bridge;
};

} // namespace

TEST_F(IslandBridgeTest, ConnectsWithinOneHeartbeatOfAHostThatStartsLate)
{
    bridge->start(&rig.c(), &rig.appSettings());
    DictationRig::pump();
    EXPECT_FALSE(bridge->isConnected());

    ASSERT_TRUE(host.start());
    rig.advance(5s);
    EXPECT_EQ(host.connections, 0);
    rig.advance(1s);
    EXPECT_TRUE(bridge->isConnected());
    ASSERT_TRUE(host.waitForLines(3));
    EXPECT_EQ(host.kinds(), QStringList({"hello", "state:actions", "state:items"}));
    EXPECT_EQ(keysOf(host.messages()[0]), QStringList({"app", "name", "type", "v"}));
    EXPECT_EQ(host.messages()[0]["app"], "org.sonorvelle.Sonorvelle");
    EXPECT_EQ(actionIds(host.messages()[1]), QStringList({"toggle", "ask", "translate"}));
    EXPECT_EQ(host.messages()[2]["items"], json::array());
    EXPECT_EQ(host.messages()[2]["itemsTitle"], text(QStringLiteral("menu.history")));
}

TEST_F(IslandBridgeTest, StartMirrorsTheIdleStateAndTheHeartbeatRefreshesHelloAndItems)
{
    ASSERT_TRUE(host.start());
    bridge->start(&rig.c(), &rig.appSettings());
    DictationRig::pump();
    ASSERT_TRUE(host.waitForLines(6));
    // Connect (hello, actions, items), then the current state, style and history.
    EXPECT_EQ(host.kinds(),
              QStringList({"hello", "state:actions", "state:items", "state", "state:actions",
                           "state:items"}));
    EXPECT_EQ(keysOf(host.messages()[3]), QStringList({"app", "name", "type", "v"}));

    host.lines.clear();
    rig.advance(IslandBridge::heartbeatInterval);
    ASSERT_TRUE(host.waitForLines(2));
    QTest::qWait(20);
    EXPECT_EQ(host.kinds(), QStringList({"hello", "state:items"}));
}

TEST_F(IslandBridgeTest, ARecordingInTheNotchIsHandedOverWithItsLevelAndElapsedTime)
{
    connectFresh();
    rig.startHeld();
    DictationRig::pump();
    ASSERT_TRUE(host.waitForLines(2));
    EXPECT_EQ(host.kinds().mid(0, 2), QStringList({"state:ear+status", "state:ear+actions"}));
    const json first = host.messages()[0];
    EXPECT_EQ(first["ear"]["meta"], "0:00");
    EXPECT_EQ(first["ear"]["priority"], 45);
    EXPECT_EQ(first["ear"]["tint"], 0xFF5B52);
    EXPECT_EQ(first["ear"]["sprite"], "voice/listening");
    EXPECT_EQ(first["status"]["text"], text(QStringLiteral("island.listening")) + " \u00B7 0:00");
    const json actions = host.messages()[1];
    EXPECT_EQ(actionIds(actions), QStringList({"toggle", "cancel"}));
    EXPECT_EQ(actions["actions"][0]["symbol"], "stop.fill");
    EXPECT_EQ(actions["actions"][0]["tint"], 0xFF453A);
    EXPECT_EQ(actions["ear"], first["ear"]);
    EXPECT_TRUE(bridge->handedOver());

    for (int i = 0; i < 65; ++i) {
        rig.advance(1s);
    }
    QTest::qWait(50);
    EXPECT_EQ(last()["ear"]["meta"], "1:05");
    EXPECT_EQ(last()["status"]["text"], text(QStringLiteral("island.listening")) + " \u00B7 1:05");
    // 20 live states a second; the action list is not repeated.
    EXPECT_GE(host.kinds().count(QStringLiteral("state:ear+status")), 65 * 20);
    EXPECT_EQ(host.kinds().count(QStringLiteral("state:ear+actions")), 1);

    host.lines.clear();
    rig.c().holdKeyUp(DictationTask::cleanup);
    ASSERT_TRUE(rig.waitIdle());
    DictationRig::pump();
    QTest::qWait(20);
    const QStringList kinds = host.kinds();
    ASSERT_GE(kinds.size(), 4);
    EXPECT_EQ(kinds.mid(0, 4),
              QStringList({"state:status", "state:actions", "state", "state:actions"}));
    const QList<json> messages = host.messages();
    EXPECT_EQ(messages[0]["status"]["text"], text(QStringLiteral("island.transcribing")));
    EXPECT_EQ(actionIds(messages[1]), QStringList({"toggle"}));
    EXPECT_FALSE(messages[1].contains("ear"));
    EXPECT_FALSE(bridge->handedOver());
}

TEST_F(IslandBridgeTest, TheClassicStyleSendsOnlyActionListsAndKeepsTheVoiceBar)
{
    rig.appSettings().setVoiceBarStyle(VoiceBarStyle::classic);
    connectFresh();
    rig.startHeld();
    for (int i = 0; i < 3; ++i) {
        rig.advance(1s);
    }
    QTest::qWait(20);
    EXPECT_EQ(host.kinds(), QStringList({"state:actions"}));
    EXPECT_FALSE(bridge->handedOver());
}

TEST_F(IslandBridgeTest, TheHostLeavingEndsTheHandOverAndTheNextHeartbeatReconnects)
{
    connectFresh();
    rig.startHeld();
    DictationRig::pump();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bridge->handedOver(); }, 2000));

    // Half a line, then the host goes: the half must not join a later line.
    hostSays(R"({"v":1,"type":"widget.command","app":"h",)");
    host.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bridge->isConnected(); }, 5000));
    EXPECT_FALSE(bridge->handedOver());
    EXPECT_EQ(rig.c().state(), DictationState::recording) << "dictation goes on";

    ASSERT_TRUE(host.start());
    host.lines.clear();
    rig.advance(IslandBridge::heartbeatInterval);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bridge->isConnected(); }, 2000));
    hostSays(R"("actionId":"cancel"})"
             "\n");
    EXPECT_EQ(rig.c().state(), DictationState::recording);
}

TEST_F(IslandBridgeTest, LinesAreSplitAtLineFeedsWhateverTheReadsAre)
{
    connectFresh();
    addRecord(QStringLiteral("copied text"), 3);
    DictationRig::pump();
    const QString id = Json::uuidString(rig.history.records().first().id);
    const QByteArray copy = R"({"v":1,"type":"widget.command","app":"h","itemId":")" + id.toUtf8()
        + R"("})"
          "\n";

    // Two messages and an empty line in one read.
    hostSays(R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"ja"})"
             "\n\n"
             + copy);
    ASSERT_EQ(pasteboard.content.size(), 1);
    EXPECT_EQ(pasteboard.content[0][0].data, QByteArray("copied text"));
    EXPECT_EQ(host.messages()[host.lines.size() - 2]["actions"][0]["title"],
              text(QStringLiteral("menu.toggle_dictation"), "ja"));

    // One message across two reads: nothing until its line feed.
    pasteboard.content.clear();
    hostSays(copy.left(20));
    EXPECT_TRUE(pasteboard.content.isEmpty());
    hostSays(copy.mid(20));
    EXPECT_EQ(pasteboard.content.size(), 1);

    // Lines that are not messages are dropped; the link stays.
    hostSays("not json\n{\"v\":1}\n\xff\xfe\n");
    EXPECT_TRUE(bridge->isConnected());
}

TEST_F(IslandBridgeTest, ALineWithoutEndPastTheCapDropsTheLink)
{
    connectFresh();
    host.send(QByteArray(IslandBridge::maxLineBytes + 1, 'x'));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !bridge->isConnected(); }, 5000));
}

TEST_F(IslandBridgeTest, AHostThatStopsReadingIsDroppedWhileDictationGoesOn)
{
    connectFresh();
    for (int i = 0; i < 10; ++i) {
        addRecord(QString(200, QLatin1Char('w')), 3, QStringLiteral("Editor"));
    }
    host.client->setReadBufferSize(1);
    host.reading = false;
    rig.startHeld();
    for (int i = 0; i < 400 && bridge->isConnected(); ++i) {
        rig.advance(1s);
    }
    EXPECT_FALSE(bridge->isConnected());
    EXPECT_FALSE(bridge->handedOver());
    EXPECT_EQ(rig.c().state(), DictationState::recording);
}

TEST_F(IslandBridgeTest, TheHostsLanguageGovernsTheTextsUntilItNamesNone)
{
    connectFresh();
    const auto toggleTitle = [&] {
        for (const json &message : host.messages()) {
            if (message.contains("actions")) {
                return message["actions"][0]["title"].get<std::string>();
            }
        }
        return std::string();
    };
    struct Step
    {
        const char *line;
        QStringList sent;
        const char *language;
    };
    const Step steps[] = {
        {R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"ja"})",
         {"state:actions", "state:items"},
         "ja"},
        {R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"ja"})", {}, nullptr},
        {R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"klingon"})",
         {"state:actions", "state:items"},
         "en"},
        {R"({"v":1,"type":"widget.hostinfo","app":"h"})", {}, nullptr},
        {R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"pt-BR"})",
         {"state:actions", "state:items"},
         "pt-BR"},
    };
    for (const Step &step : steps) {
        host.lines.clear();
        hostSays(QByteArray(step.line) + "\n");
        EXPECT_EQ(host.kinds(), step.sent) << step.line;
        if (step.language) {
            EXPECT_EQ(toggleTitle(), text(QStringLiteral("menu.toggle_dictation"), step.language))
                << step.line;
        }
    }
}

TEST_F(IslandBridgeTest, TheTenNewestEntriesAreListedWithTitlesTimesAndApplications)
{
    connectFresh();
    // Dates in the host's locale, so the phrase does not depend on the machine's.
    hostSays(R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"en"})"
             "\n");
    for (int i = 0; i < 3; ++i) {
        addRecord(QStringLiteral("older %1").arg(i), 1);
    }
    addRecord(QStringLiteral("  \n  Two lines  \nsecond"), 0.4, QStringLiteral("Editor"));
    addRecord(QString(80, QLatin1Char('a')), 59.5);
    addRecord(QString(), 61, {}, QStringLiteral("the raw text"));
    addRecord(QStringLiteral("nan"), std::nan(""));
    addRecord(QStringLiteral("huge"), 1e300);
    addRecord(QStringLiteral("infinite"), std::numeric_limits<double>::infinity());
    addRecord(QStringLiteral("negative"), -5);
    addRecord(QStringLiteral("newest"), 7);
    host.lines.clear();
    rig.advance(IslandBridge::heartbeatInterval);
    ASSERT_TRUE(host.waitForLines(2));
    const json items = last()["items"];
    ASSERT_EQ(items.size(), 10u);
    struct Expected
    {
        const char *title;
        std::optional<std::string> sub;
    };
    const Expected expected[] = {
        {"newest", "0:07"},  {"negative", {}},         {"infinite", {}},  {"huge", {}},
        {"nan", {}},         {"the raw text", "1:01"}, {nullptr, "1:00"}, {"Two lines  ", {}},
        {"older 2", "0:01"}, {"older 1", "0:01"},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        const json &item = items[i];
        if (expected[i].title) {
            EXPECT_EQ(item["title"], expected[i].title) << i;
        }
        EXPECT_EQ(item.contains("sub"), expected[i].sub.has_value()) << i;
        if (expected[i].sub) {
            EXPECT_EQ(item["sub"], *expected[i].sub) << i;
        }
        EXPECT_FALSE(item.contains("path"));
        EXPECT_FALSE(item.contains("tint"));
    }
    EXPECT_EQ(items[6]["title"], std::string(60, 'a'));
    EXPECT_EQ(items[0]["id"], Json::uuidString(rig.history.records()[0].id).toStdString());
    EXPECT_EQ(items[0]["meta"], "5 min. ago");
    EXPECT_EQ(items[7]["meta"], "Editor \u00B7 5 min. ago");
}

TEST_F(IslandBridgeTest, CommandsFollowTheControllersState)
{
    connectFresh();
    const auto command = [&](const char *fields) {
        hostSays(QByteArray(R"({"v":1,"type":"widget.command","app":"h",)") + fields + "}\n");
        rig.settle();
    };

    command(R"("actionId":"ask")");
    EXPECT_EQ(rig.c().state(), DictationState::recording);
    EXPECT_EQ(rig.c().sessionTask(), DictationTask::ask);

    command(R"("actionId":"ask")");
    EXPECT_NE(rig.c().state(), DictationState::recording) << "a second toggle stops";
    ASSERT_TRUE(rig.waitIdle());

    rig.c().setPaused(true);
    command(R"("actionId":"translate")");
    EXPECT_EQ(rig.c().state(), DictationState::idle) << "paused";
    rig.c().setPaused(false);

    command(R"("actionId":"toggle")");
    EXPECT_EQ(rig.c().state(), DictationState::recording);
    EXPECT_EQ(rig.c().sessionTask(), DictationTask::cleanup);
    rig.c().setPaused(true);
    command(R"("actionId":"cancel")");
    EXPECT_EQ(rig.c().state(), DictationState::idle) << "cancel works while paused";
    rig.c().setPaused(false);

    command(R"("actionId":"unknown")");
    EXPECT_EQ(rig.c().state(), DictationState::idle);

    // A known entry is copied and its action not run; an unknown one lets the action run.
    addRecord(QStringLiteral("entry"), 2);
    const QString id = Json::uuidString(rig.history.records().first().id);
    command(QStringLiteral(R"("itemId":"%1","actionId":"ask")").arg(id).toUtf8().constData());
    EXPECT_EQ(rig.c().state(), DictationState::idle);
    ASSERT_EQ(pasteboard.content.size(), 1);
    EXPECT_EQ(pasteboard.content[0][0].data, QByteArray("entry"));
    command(
        QStringLiteral(R"("itemId":"%1","actionId":"ask")").arg(id.toLower()).toUtf8().constData());
    EXPECT_EQ(rig.c().state(), DictationState::recording) << "ids compare case and all";
}

TEST_F(IslandBridgeTest, AFloodOfCommandsRunsOneSessionAtATimeAndKeepsTheAppAnswering)
{
    connectFresh();
    const qint64 before = residentMemoryBytes();
    const std::chrono::milliseconds longestTurn = flood(10000);
    rig.c().cancel(true);

    EXPECT_TRUE(bridge->isConnected());
    EXPECT_GE(rig.engines.made.size(), 2) << "the flood ran sessions";
    EXPECT_EQ(rig.engines.mostOpenAtOnce, 1);
    EXPECT_LT(longestTurn, TestTime::scaled(std::chrono::milliseconds(100)));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.c().state() == DictationState::idle && !rig.c().isStopping(); }, 5000));
    EXPECT_EQ(rig.engines.openSessions(), 0);
    EXPECT_LT(residentMemoryBytes() - before, 30 * 1024 * 1024);
}

TEST_F(IslandBridgeTest, WhileACancelledSessionWaitsForItsEngineNoCommandStartsAnother)
{
    rig.engines.script.holdStart = true;
    connectFresh();
    flood(2000);
    ASSERT_EQ(rig.engines.made.size(), 1);
    EXPECT_EQ(rig.c().state(), DictationState::idle);
    EXPECT_TRUE(rig.c().isStopping());

    // The engine opens at last and is closed; the next command starts a session again.
    rig.engines.script.holdStart = false;
    rig.engines.made.first()->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.c().isStopping(); }, 5000));
    EXPECT_TRUE(rig.engines.made.first()->calls.contains(QStringLiteral("cancelSession")));
    hostSays(R"({"v":1,"type":"widget.command","app":"h","actionId":"toggle"})"
             "\n");
    EXPECT_EQ(rig.c().state(), DictationState::recording);
    EXPECT_EQ(rig.engines.made.size(), 2);
}

TEST(IslandBridgeTexts, TimesTitlesAndLevels)
{
    EXPECT_EQ(IslandBridge::timeText(7), "0:07");
    EXPECT_EQ(IslandBridge::timeText(65), "1:05");
    EXPECT_EQ(IslandBridge::timeText(720), "12:00");
    EXPECT_EQ(IslandBridge::durationText(0.4), std::nullopt);
    EXPECT_EQ(IslandBridge::durationText(0.5), QStringLiteral("0:01"));
    EXPECT_EQ(IslandBridge::durationText(59.5), QStringLiteral("1:00"));
    EXPECT_EQ(IslandBridge::durationText(std::nan("")), std::nullopt);
    EXPECT_EQ(IslandBridge::durationText(1e300), std::nullopt);
    // Grapheme clusters, not code units: each family emoji is one character.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    EXPECT_EQ(IslandBridge::itemTitle(family.repeated(70)), family.repeated(60));
    EXPECT_EQ(IslandBridge::itemTitle(QStringLiteral("a\u2028b")), "a");
    EXPECT_EQ(IslandBridge::earLevel(1.7f), 1.0);
    EXPECT_EQ(IslandBridge::earLevel(-0.2f), 0.0);
    EXPECT_EQ(IslandBridge::earLevel(std::nanf("")), 1.0);
    EXPECT_DOUBLE_EQ(IslandBridge::earLevel(0.25f), 0.25);
}
