#include "Core/CloudSync.h"

#include "Core/AppSettings.h"
#include "Core/DebugLogCapture.h"
#include "Core/SyncComputer.h"
#include "Core/SyncPayload.h"
#include "Fakes/TestAppSettings.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"
#include "TestSupport/VersionedSyncStore.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using namespace std::chrono_literals;
using Reply = FakeCloudService::Reply;
using Status = CloudSync::Status;

namespace {

const std::string kPath = "/api/sync/sonorvelle";

// One computer: its settings on their own defaults (which also hold the sync state), signed in
// as a@example.org unless the token is empty.
class SettingsRig
{
public:
    explicit SettingsRig(FakeCloudService &service, const QString &token = QStringLiteral("tok-a"),
                         const QString &email = QStringLiteral("a@example.org"))
        : computer(service, token, email)
    {
        settings.make();
    }

    CloudSync &make()
    {
        sync = std::make_unique<CloudSync>(
            CloudSync::Services {settings.settings.get(), &settings.defaults, &computer.session,
                                 computer.account.get(), &computer.clock});
        return *sync;
    }

    AppSettings &s() { return *settings.settings; }
    bool settle() { return SyncComputer::settle(sync->sync()); }
    void firePush() { computer.clock.advance(VersionedBlobSync::pushDelay); }
    QString snapshot() { return SyncPayload::from(s()).blob(); }

    TestAppSettings settings;
    SyncComputer computer;
    std::unique_ptr<CloudSync> sync;
};

std::vector<std::string> methods(const FakeCloudService &service)
{
    std::vector<std::string> result;
    for (const auto &request : service.requests(kPath)) {
        result.push_back(request.method);
    }
    return result;
}

// The settings that the last request to the service carried.
nlohmann::json lastSentSettings(const FakeCloudService &service)
{
    const auto body = nlohmann::json::parse(service.requests(kPath).back().body);
    return nlohmann::json::parse(body.at("blob").get<std::string>());
}

std::string copyReply(qint64 version, const QString &blob)
{
    return nlohmann::json {{"version", version}, {"blob", blob.toStdString()}}.dump();
}

// The payload of fresh settings, as JSON to edit.
nlohmann::json freshPayload()
{
    return nlohmann::json::parse(
        R"({"cleanupMode":"cloud","customInstructions":"","historyEnabled":true,)"
        R"("historyRetentionDays":30,"holdKey":"rightCommand","insertionMethod":"paste",)"
        R"("playSounds":true,"restoreClipboard":true,"restoreClipboardDelayMs":800,)"
        R"("showVoiceBar":true,"useFocusContext":false})");
}

// MARK: The payload

TEST(SyncPayload, TheBlobHoldsTheThirteenSettingsCompactAndSorted)
{
    TestAppSettings fresh(true);
    EXPECT_EQ(SyncPayload::from(*fresh.settings).blob(),
              QString::fromStdString(freshPayload().dump()))
        << "no language keys while both follow the system";

    AppSettings &s = *fresh.settings;
    s.setLanguageCode(QStringLiteral("de"));
    s.setSpeechLocaleID(QStringLiteral("de_DE"));
    s.setCustomInstructions(QStringLiteral("Say \"and/or\""));
    s.setVoiceBarStyle(VoiceBarStyle::classic); // not synced
    s.setCleanupIntensity(3); // not synced
    EXPECT_EQ(SyncPayload::from(s).blob(),
              QStringLiteral(
                  R"({"cleanupMode":"cloud","customInstructions":"Say \"and\/or\"",)"
                  R"("historyEnabled":true,"historyRetentionDays":30,"holdKey":"rightCommand",)"
                  R"("insertionMethod":"paste","languageCode":"de","playSounds":true,)"
                  R"("restoreClipboard":true,"restoreClipboardDelayMs":800,"showVoiceBar":true,)"
                  R"("speechLocaleID":"de_DE","useFocusContext":false})"));
}

TEST(SyncPayload, AMissingOrMistypedRequiredKeyMakesTheWholeBlobUndecodable)
{
    struct Case
    {
        const char *name;
        const char *key;
        nlohmann::json value; // discarded: the key is removed
        bool decodes;
    };
    const nlohmann::json removed = nlohmann::json::value_t::discarded;
    const Case cases[] = {
        {"complete", "cleanupMode", "cloud", true},
        {"no historyEnabled", "historyEnabled", removed, false},
        {"no holdKey", "holdKey", removed, false},
        {"a flag as text", "playSounds", "true", false},
        {"a flag as number", "playSounds", 1, false},
        {"an integer with a fraction", "restoreClipboardDelayMs", 800.5, false},
        {"an integer as text", "historyRetentionDays", "30", false},
        {"a whole number written with a point", "restoreClipboardDelayMs", 800.0, true},
        {"an enumeration as number", "holdKey", 3, false},
        {"an unknown enumeration value", "cleanupMode", "superClean", true},
        {"no language code", "languageCode", removed, true},
        {"a null language code", "languageCode", nullptr, true},
        {"a numeric language code", "languageCode", 5, false},
        {"vocabulary terms", "dictionaryTerms", nlohmann::json::array({"Grafana"}), true},
        {"vocabulary terms as text", "dictionaryTerms", "Grafana", false},
        {"vocabulary rules", "replacements",
         nlohmann::json::parse(R"([{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
                               R"("phrase":"a","expansion":"b","isEnabled":true}])"),
         true},
        {"a vocabulary rule without its flag", "replacements",
         nlohmann::json::parse(R"([{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
                               R"("phrase":"a","expansion":"b"}])"),
         false},
        {"an unknown key", "voiceBarStyle", "classic", true},
    };
    for (const Case &c : cases) {
        nlohmann::json json = freshPayload();
        if (c.value.is_discarded()) {
            json.erase(c.key);
        } else {
            json[c.key] = c.value;
        }
        EXPECT_EQ(SyncPayload::decodeBlob(QString::fromStdString(json.dump())).has_value(),
                  c.decodes)
            << c.name;
    }
    EXPECT_FALSE(SyncPayload::decodeBlob(QStringLiteral("[]")).has_value());
    EXPECT_FALSE(SyncPayload::decodeBlob(QStringLiteral("{\"holdKey\":")).has_value());
}

TEST(SyncPayload, ApplyingKeepsEverySettingWithinWhatTheSettingsAccept)
{
    struct Case
    {
        const char *name;
        const char *key;
        nlohmann::json value; // discarded: the key is removed
        nlohmann::json applied; // discarded: the setting is unset
    };
    const nlohmann::json removed = nlohmann::json::value_t::discarded;
    const Case cases[] = {
        {"a cloud mode", "cleanupMode", "cloud", "cloud"},
        {"rules, not offered here, is the cloud mode as at launch", "cleanupMode", "rules",
         "cloud"},
        {"off is the cloud mode", "cleanupMode", "off", "cloud"},
        {"an on-device mode is the cloud mode", "cleanupMode", "localModel", "cloud"},
        {"an on-device rewrite is the cloud mode", "cleanupMode", "rewrite", "cloud"},
        {"an unknown cleanup mode keeps the current one", "cleanupMode", "superClean",
         "cloudRewrite"},
        {"a hold key", "holdKey", "rightShift", "rightShift"},
        {"no hold key", "holdKey", "none", "none"},
        {"fn, which X11 does not report, is the default key", "holdKey", "fn", "rightCommand"},
        {"an unknown hold key keeps the current one", "holdKey", "leftPinky", "rightOption"},
        {"typing", "insertionMethod", "type", "type"},
        {"an unknown method keeps the current one", "insertionMethod", "dictate", "paste"},
        {"a restore delay on offer", "restoreClipboardDelayMs", 1500, 1500},
        {"a restore delay below the range", "restoreClipboardDelayMs", 5, 300},
        {"a negative restore delay", "restoreClipboardDelayMs", -800, 300},
        {"a restore delay above the range", "restoreClipboardDelayMs", 100000, 3000},
        {"a week of history", "historyRetentionDays", 7, 7},
        {"history for ever", "historyRetentionDays", 0, 0},
        {"a negative retention is for ever", "historyRetentionDays", -3, 0},
        {"a retention above the range is for ever", "historyRetentionDays", 365, 0},
        {"a retention far above the range is for ever", "historyRetentionDays",
         std::int64_t(9223372036854775807), 0},
        {"a language", "languageCode", "ja", "ja"},
        {"no language follows the system", "languageCode", removed, removed},
        {"no speech locale follows the system", "speechLocaleID", removed, removed},
    };
    for (const Case &c : cases) {
        TestAppSettings local(true);
        AppSettings &s = *local.settings;
        s.setCleanupMode(CleanupMode::cloudRewrite);
        s.setHoldKey(DictationHoldKey::rightOption);
        s.setLanguageCode(QStringLiteral("de"));
        s.setSpeechLocaleID(QStringLiteral("de_DE"));

        nlohmann::json json = freshPayload();
        json["playSounds"] = false; // and every other setting of the copy is applied as well
        json["languageCode"] = "fr";
        json["speechLocaleID"] = "fr_FR";
        if (c.value.is_discarded()) {
            json.erase(c.key);
        } else {
            json[c.key] = c.value;
        }
        const auto payload = SyncPayload::decodeBlob(QString::fromStdString(json.dump()));
        ASSERT_TRUE(payload.has_value()) << c.name;
        payload->apply(s);

        const nlohmann::json after =
            nlohmann::json::parse(SyncPayload::from(s).blob().toStdString());
        if (c.applied.is_discarded()) {
            EXPECT_FALSE(after.contains(c.key)) << c.name << ": " << after.dump();
        } else {
            EXPECT_EQ(after.value(c.key, nlohmann::json()), c.applied) << c.name;
        }
        EXPECT_FALSE(s.playSounds()) << c.name;
        EXPECT_EQ(local.defaults.boolValue(QStringLiteral("historyEnabled")), true)
            << c.name << ": every setting is stored, also when unchanged";
    }
}

// MARK: Sync against the service

TEST(CloudSync, ASettingThatIsNotSyncedArmsAPushThatSendsNothing)
{
    FakeCloudService service;
    SettingsRig rig(service);
    rig.settings.defaults.setValue(CloudSync::lastBlobKey, rig.snapshot());
    rig.settings.defaults.setValue(CloudSync::baseVersionKey, 4);
    CloudSync &sync = rig.make();
    sync.start();
    ASSERT_TRUE(rig.settle());
    service.clearRequests();

    rig.s().setVoiceBarStyle(VoiceBarStyle::classic);
    rig.s().setCleanupIntensity(1);
    EXPECT_TRUE(sync.sync().isPushArmed());
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    rig.s().setPlaySounds(true); // assigned as it is
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    QTest::qWait(20);
    EXPECT_TRUE(methods(service).empty());

    rig.s().setPlaySounds(false);
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    ASSERT_EQ(methods(service), std::vector<std::string>({"PUT"}));
    const auto body = nlohmann::json::parse(service.requests(kPath).at(0).body);
    EXPECT_EQ(body.at("baseVersion"), 4);
    EXPECT_EQ(nlohmann::json::parse(body.at("blob").get<std::string>()).at("playSounds"), false);
}

TEST(CloudSync, APulledCopyIsAppliedWithoutAPushUnknownValuesKeptAndAnUnreadableOneRecorded)
{
    FakeCloudService service;
    SettingsRig rig(service);
    rig.s().setCleanupMode(CleanupMode::cloudRewrite);
    CloudSync &sync = rig.make();
    sync.start();
    ASSERT_TRUE(rig.settle());
    service.clearRequests();

    nlohmann::json copy = freshPayload();
    copy["cleanupMode"] = "superClean";
    copy["holdKey"] = "rightShift";
    copy["customInstructions"] = "Short sentences.";
    service.script(kPath, Reply::json(copyReply(6, QString::fromStdString(copy.dump()))));
    sync.setEnabled(true); // switching on pulls
    ASSERT_TRUE(rig.settle());
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(methods(service), std::vector<std::string>({"GET"})) << "applying pushes nothing";
    EXPECT_EQ(rig.s().cleanupMode(), CleanupMode::cloudRewrite);
    EXPECT_EQ(rig.s().holdKey(), DictationHoldKey::rightShift);
    EXPECT_EQ(rig.s().customInstructions(), QStringLiteral("Short sentences."));
    EXPECT_EQ(sync.sync().baseVersion(), 6);
    EXPECT_EQ(sync.status(), Status::idle);

    DebugLogCapture log;
    nlohmann::json incomplete = freshPayload();
    incomplete.erase("historyEnabled");
    incomplete["playSounds"] = false;
    const QString unreadable = QString::fromStdString(incomplete.dump());
    service.script(kPath, Reply::json(copyReply(7, unreadable)));
    sync.setEnabled(true);
    ASSERT_TRUE(rig.settle());
    EXPECT_TRUE(rig.s().playSounds()) << "nothing of an undecodable copy is applied";
    EXPECT_EQ(sync.sync().baseVersion(), 7);
    EXPECT_EQ(sync.sync().lastBlob(), unreadable);
    EXPECT_EQ(sync.status(), Status::idle);
    EXPECT_EQ(log.lines(),
              std::vector<std::string>({"sync: pulled settings v7 unreadable; settings kept"}));
}

TEST(CloudSync, AModeThisComputerOnlyMappedIsUsedAsTheCloudModeAndNeverPushedBack)
{
    FakeCloudService service;
    SettingsRig rig(service);
    CloudSync &sync = rig.make();
    sync.start();
    ASSERT_TRUE(rig.settle());
    service.clearRequests();

    // The other computer chose the rule-based cleanup, which this one does not offer.
    nlohmann::json copy = freshPayload();
    copy["cleanupMode"] = "rules";
    const QString blob = QString::fromStdString(copy.dump());
    service.respond(kPath, Reply::json(copyReply(6, blob)));
    sync.setEnabled(true);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.s().cleanupMode(), CleanupMode::cloud);
    EXPECT_EQ(rig.settings.defaults.string(QStringLiteral("cleanupMode")), QStringLiteral("cloud"))
        << "a restart reads what the tab shows";
    sync.setEnabled(true);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(methods(service), std::vector<std::string>({"GET", "GET"}))
        << "nothing to push after the copy is applied";

    // A change on this computer travels with the other computer's mode.
    service.respond(kPath, Reply::json(R"({"version":7})"));
    rig.s().setPlaySounds(false);
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    ASSERT_EQ(methods(service), std::vector<std::string>({"GET", "GET", "PUT"}));
    EXPECT_EQ(lastSentSettings(service).at("cleanupMode"), "rules");
    EXPECT_EQ(lastSentSettings(service).at("playSounds"), false);

    // A mode chosen here does travel.
    rig.s().setCleanupMode(CleanupMode::cloudRewrite);
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(lastSentSettings(service).at("cleanupMode"), "cloudRewrite");
}

TEST(CloudSync, SwitchedOffNothingMovesAndSwitchingOnSendsTheSettingsToAnEmptyService)
{
    FakeCloudService service;
    SettingsRig rig(service);
    rig.settings.defaults.setValue(CloudSync::enabledKey, false);
    CloudSync &sync = rig.make();
    EXPECT_FALSE(sync.enabled());
    QSignalSpy statuses(&sync, &CloudSync::statusChanged);
    sync.start();
    rig.s().setHoldKey(DictationHoldKey::rightControl);
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    QTest::qWait(20);
    EXPECT_TRUE(methods(service).empty());
    EXPECT_EQ(statuses.count(), 0);
    EXPECT_EQ(sync.status(), Status::idle);

    sync.setEnabled(true);
    EXPECT_EQ(sync.status(), Status::syncing);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(methods(service), std::vector<std::string>({"GET", "PUT"}));
    EXPECT_EQ(QString::fromStdString(
                  nlohmann::json::parse(service.requests(kPath).at(1).body).at("blob")),
              rig.snapshot());
    EXPECT_EQ(rig.settings.defaults.boolValue(CloudSync::enabledKey), true);
    EXPECT_EQ(sync.status(), Status::idle);

    // A stored value that is not a flag reads as on.
    SettingsRig other(service);
    other.settings.defaults.setValue(CloudSync::enabledKey, QStringLiteral("no"));
    EXPECT_TRUE(other.make().enabled());
}

TEST(CloudSync, StatusFollowsEachOutcome)
{
    struct Case
    {
        const char *name;
        std::vector<Reply> replies;
        Status status;
    };
    const Case cases[] = {
        {"pull and push accepted",
         {Reply::json("{}"), Reply::json(R"({"version":1})")},
         Status::idle},
        {"push answered 401", {Reply::json("{}"), Reply::json("{}", 401)}, Status::error},
        {"push refused", {Reply::json("{}"), Reply::json("{}", 500)}, Status::error},
        {"pull answered 401", {Reply::json("{}", 401)}, Status::idle},
        {"pull refused", {Reply::json("{}", 502)}, Status::error},
        {"push answered 409 twice",
         {Reply::json("{}"), Reply::json("{}", 409), Reply::json("{}"), Reply::json("{}", 409)},
         Status::error},
    };
    for (const Case &c : cases) {
        FakeCloudService service;
        SettingsRig rig(service);
        for (const Reply &reply : c.replies) {
            service.script(kPath, reply);
        }
        CloudSync &sync = rig.make();
        sync.start();
        EXPECT_EQ(sync.status(), Status::syncing) << c.name;
        ASSERT_TRUE(rig.settle()) << c.name;
        EXPECT_EQ(sync.status(), c.status) << c.name;
        EXPECT_EQ(service.requests(kPath).size(), c.replies.size()) << c.name;
    }
}

TEST(CloudSync, TheDebounceSendsOnePushTwoSecondsAfterTheLastChange)
{
    FakeCloudService service;
    SettingsRig rig(service);
    CloudSync &sync = rig.make();
    rig.settings.defaults.setValue(CloudSync::lastBlobKey, rig.snapshot());
    sync.start();
    ASSERT_TRUE(rig.settle());
    service.clearRequests();

    rig.s().setPlaySounds(false);
    rig.computer.clock.advance(1s);
    rig.s().setHistoryRetentionDays(7);
    rig.computer.clock.advance(1999ms);
    QTest::qWait(20);
    EXPECT_TRUE(methods(service).empty());
    rig.computer.clock.advance(1ms);
    ASSERT_TRUE(rig.settle());
    ASSERT_EQ(methods(service), std::vector<std::string>({"PUT"}));
    const auto blob = nlohmann::json::parse(
        nlohmann::json::parse(service.requests(kPath).at(0).body).at("blob").get<std::string>());
    EXPECT_EQ(blob.at("playSounds"), false);
    EXPECT_EQ(blob.at("historyRetentionDays"), 7);
}

// MARK: Two computers

TEST(CloudSync, TwoComputersOfOneAccountConvergeAfterEditsOnBoth)
{
    FakeCloudService service;
    VersionedSyncStore store(service, kPath);
    SettingsRig first(service);
    SettingsRig second(service);
    first.s().setHoldKey(DictationHoldKey::rightOption);
    first.s().setLanguageCode(std::nullopt);
    second.s().setLanguageCode(QStringLiteral("de"));

    // The first computer finds no copy and sends its settings; the second takes them.
    first.make().start();
    ASSERT_TRUE(first.settle());
    second.make().start();
    ASSERT_TRUE(second.settle());
    EXPECT_EQ(second.s().holdKey(), DictationHoldKey::rightOption);
    EXPECT_FALSE(second.s().languageCode().has_value()) << "a copy without the key clears it";
    EXPECT_EQ(second.snapshot(), first.snapshot());

    // Edits on both: the first computer's reaches the service first; the second's push meets
    // the newer copy, installs it, and its next edit goes out on top of it.
    first.s().setPlaySounds(false);
    first.firePush();
    ASSERT_TRUE(first.settle());
    second.s().setCustomInstructions(QStringLiteral("Formal."));
    second.firePush();
    ASSERT_TRUE(second.settle());
    EXPECT_FALSE(second.s().playSounds());
    second.s().setInsertionMethod(InsertionMethod::type);
    second.firePush();
    ASSERT_TRUE(second.settle());

    // The first computer's next pull (a sign-in, sync switched on, the next launch) catches up.
    first.sync->setEnabled(true);
    ASSERT_TRUE(first.settle());

    EXPECT_EQ(first.snapshot(), second.snapshot());
    EXPECT_EQ(QString::fromStdString(store.copy("tok-a").blob), first.snapshot());
    EXPECT_EQ(first.s().insertionMethod(), InsertionMethod::type);
    EXPECT_FALSE(first.s().playSounds());
    EXPECT_EQ(first.sync->sync().baseVersion(), store.copy("tok-a").version);
    EXPECT_EQ(second.sync->sync().baseVersion(), store.copy("tok-a").version);
    EXPECT_EQ(first.sync->status(), Status::idle);
    EXPECT_EQ(second.sync->status(), Status::idle);

    // In step now: a pull on either side sends nothing.
    const size_t requests = service.requests(kPath).size();
    first.sync->setEnabled(true);
    second.sync->setEnabled(true);
    ASSERT_TRUE(first.settle());
    ASSERT_TRUE(second.settle());
    EXPECT_EQ(service.requests(kPath).size(), requests + 2) << "two GETs, no PUT";
}

} // namespace
