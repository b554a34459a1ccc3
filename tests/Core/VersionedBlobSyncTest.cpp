#include "Core/VersionedBlobSync.h"

#include "Core/SyncComputer.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"
#include "TestSupport/VersionedSyncStore.h"

#include <QTest>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using Reply = FakeCloudService::Reply;
using Step = VersionedBlobSync::Step;

namespace {

const std::string kPath = "/api/sync/shared";

const char *stepName(Step step)
{
    switch (step) {
    case Step::pushStarted:
        return "pushStarted";
    case Step::pushed:
        return "pushed";
    case Step::pushFailed:
        return "pushFailed";
    case Step::pullStarted:
        return "pullStarted";
    case Step::upToDate:
        return "upToDate";
    case Step::applied:
        return "applied";
    case Step::unreadable:
        return "unreadable";
    case Step::malformedReply:
        return "malformedReply";
    case Step::pullUnauthorized:
        return "pullUnauthorized";
    case Step::pullFailed:
        return "pullFailed";
    case Step::dropped:
        return "dropped";
    }
    return "?";
}

// The user's data is one text, and the blob is that text; a blob beginning with "bad" does not
// decode. Every step reported is kept as "<step> <version>".
class TextClient final : public VersionedBlobSync::Client
{
public:
    QString snapshotBlob() const override { return text; }
    bool hasLocalData() const override { return !text.isEmpty(); }
    std::optional<QString> applyBlob(const QString &blob) override
    {
        if (blob.startsWith(QLatin1String("bad"))) {
            return std::nullopt;
        }
        text = blob;
        return blob;
    }
    bool isEnabled() const override { return enabled; }
    void report(Step step, qint64 version) override
    {
        steps.push_back(std::string(stepName(step)) + " " + std::to_string(version));
    }

    bool reported(const std::string &step) const
    {
        return std::any_of(steps.begin(), steps.end(),
                           [&](const std::string &s) { return s.rfind(step, 0) == 0; });
    }

    QString text;
    bool enabled = true;
    std::vector<std::string> steps;
};

VersionedBlobSync::Config vocabularyRules()
{
    return {QStringLiteral("sync/shared"),
            QStringLiteral("lastBlob"),
            QStringLiteral("baseVersion"),
            QStringLiteral("account"),
            VersionedBlobSync::PresenceRule::versionAtLeastOne,
            VersionedBlobSync::NoCopyAction::pushWhenLocalNotEmpty};
}

VersionedBlobSync::Config settingsRules()
{
    VersionedBlobSync::Config config = vocabularyRules();
    config.presence = VersionedBlobSync::PresenceRule::versionNotZero;
    config.noCopy = VersionedBlobSync::NoCopyAction::pushAlways;
    return config;
}

// One computer signed in as a@example.org with a sync of the text client.
class SyncRig
{
public:
    explicit SyncRig(VersionedBlobSync::Config config = vocabularyRules())
        : sync(std::move(config),
               {&computer.session, computer.account.get(), &computer.defaults, &computer.clock},
               client)
    { }

    void store(std::optional<qint64> base, std::optional<QString> last)
    {
        if (base) {
            computer.defaults.setValue(QStringLiteral("baseVersion"),
                                       QVariant::fromValue<qint64>(*base));
        }
        if (last) {
            computer.defaults.setValue(QStringLiteral("lastBlob"), *last);
        }
    }

    std::vector<std::string> methods() const
    {
        std::vector<std::string> result;
        for (const auto &request : service.requests(kPath)) {
            result.push_back(request.method);
        }
        return result;
    }

    std::vector<nlohmann::json> pushes() const
    {
        std::vector<nlohmann::json> result;
        for (const auto &request : service.requests(kPath)) {
            if (request.method == "PUT") {
                result.push_back(nlohmann::json::parse(request.body));
            }
        }
        return result;
    }

    bool settle() { return SyncComputer::settle(sync); }

    FakeCloudService service;
    SyncComputer computer {service};
    TextClient client;
    VersionedBlobSync sync;
};

std::string copyReply(qint64 version, const std::string &blob)
{
    return nlohmann::json {{"version", version}, {"blob", blob}}.dump();
}

// MARK: The pull's decision

struct PullCase
{
    const char *name;
    std::optional<qint64> base;
    std::optional<QString> last;
    QString local;
    std::vector<Reply> replies;
    bool force = false;
    bool settingsRule = false;

    std::vector<std::string> methods;
    QString localAfter;
    std::optional<qint64> baseAfter;
    std::optional<QString> lastAfter;
    const char *step;
};

void PrintTo(const PullCase &c, std::ostream *os)
{
    *os << c.name;
}

class VersionedBlobSyncPullTest : public ::testing::TestWithParam<PullCase>
{
};

TEST_P(VersionedBlobSyncPullTest, DecidesByVersionBlobAndLocalCopy)
{
    const PullCase &c = GetParam();
    SyncRig rig(c.settingsRule ? settingsRules() : vocabularyRules());
    rig.store(c.base, c.last);
    rig.client.text = c.local;
    for (const Reply &reply : c.replies) {
        rig.service.script(kPath, reply);
    }

    rig.sync.pull(c.force);
    ASSERT_TRUE(rig.settle()) << c.name;

    EXPECT_EQ(rig.methods(), c.methods) << c.name;
    EXPECT_EQ(rig.client.text, c.localAfter) << c.name;
    EXPECT_EQ(rig.computer.defaults.integer(QStringLiteral("baseVersion")), c.baseAfter) << c.name;
    EXPECT_EQ(rig.sync.lastBlob(), c.lastAfter) << c.name;
    EXPECT_TRUE(rig.client.reported(c.step))
        << c.name << ": " << testing::PrintToString(rig.client.steps);
    for (const nlohmann::json &push : rig.pushes()) {
        EXPECT_EQ(push.at("blob"), c.local.toStdString()) << c.name;
        EXPECT_EQ(push.at("baseVersion"), c.base.value_or(0)) << c.name;
    }
}

const QString A = QStringLiteral("copy A");
const QString B = QStringLiteral("copy B");

INSTANTIATE_TEST_SUITE_P(
    Table, VersionedBlobSyncPullTest,
    ::testing::Values(
        PullCase {"in step sends nothing",
                  5,
                  A,
                  A,
                  {Reply::json(copyReply(5, "copy A"))},
                  false,
                  false,
                  {"GET"},
                  A,
                  5,
                  A,
                  "upToDate 5"},
        PullCase {"an edit on an equal base is pushed",
                  5,
                  A,
                  B,
                  {Reply::json(copyReply(5, "copy A")), Reply::json(R"({"version":6})")},
                  false,
                  false,
                  {"GET", "PUT"},
                  B,
                  6,
                  B,
                  "pushed 6"},
        PullCase {"nothing sent yet on an equal base is pushed",
                  5,
                  std::nullopt,
                  A,
                  {Reply::json(copyReply(5, "copy A")), Reply::json(R"({"version":6})")},
                  false,
                  false,
                  {"GET", "PUT"},
                  A,
                  6,
                  A,
                  "pushed 6"},
        PullCase {"a newer copy replaces the local one and is not pushed back",
                  5,
                  A,
                  B,
                  {Reply::json(copyReply(6, "copy C"))},
                  false,
                  false,
                  {"GET"},
                  "copy C",
                  6,
                  "copy C",
                  "applied 6"},
        PullCase {"a forced pull installs even an older copy",
                  5,
                  A,
                  B,
                  {Reply::json(copyReply(3, "copy C"))},
                  true,
                  false,
                  {"GET"},
                  "copy C",
                  3,
                  "copy C",
                  "applied 3"},
        PullCase {"no copy: local data is pushed",
                  std::nullopt,
                  std::nullopt,
                  B,
                  {Reply::json("{}"), Reply::json(R"({"version":1})")},
                  false,
                  false,
                  {"GET", "PUT"},
                  B,
                  1,
                  B,
                  "pushed 1"},
        PullCase {"no copy and no local data: nothing is sent",
                  std::nullopt,
                  std::nullopt,
                  "",
                  {Reply::json("{}")},
                  false,
                  false,
                  {"GET"},
                  "",
                  std::nullopt,
                  std::nullopt,
                  "pullStarted"},
        PullCase {"version 0 is no copy",
                  std::nullopt,
                  std::nullopt,
                  "",
                  {Reply::json(copyReply(0, "copy C"))},
                  false,
                  false,
                  {"GET"},
                  "",
                  std::nullopt,
                  std::nullopt,
                  "pullStarted"},
        PullCase {"settings rule: no copy always pushes",
                  std::nullopt,
                  std::nullopt,
                  "",
                  {Reply::json("{}"), Reply::json(R"({"version":1})")},
                  false,
                  true,
                  {"GET", "PUT"},
                  "",
                  1,
                  "",
                  "pushed 1"},
        PullCase {"settings rule: a negative version is a copy",
                  std::nullopt,
                  std::nullopt,
                  B,
                  {Reply::json(copyReply(-2, "copy C"))},
                  true,
                  true,
                  {"GET"},
                  "copy C",
                  -2,
                  "copy C",
                  "applied -2"},
        PullCase {"vocabulary rule: a negative version is no copy",
                  std::nullopt,
                  std::nullopt,
                  "",
                  {Reply::json(copyReply(-2, "copy C"))},
                  true,
                  false,
                  {"GET"},
                  "",
                  std::nullopt,
                  std::nullopt,
                  "pullStarted"},
        PullCase {"a copy that does not decode is recorded and the local data kept",
                  5,
                  A,
                  B,
                  {Reply::json(copyReply(6, "bad copy"))},
                  false,
                  false,
                  {"GET"},
                  B,
                  6,
                  "bad copy",
                  "unreadable 6"},
        PullCase {"a 2 MB copy is neither decoded nor kept",
                  5,
                  A,
                  B,
                  {Reply::json(copyReply(6, std::string(2 * 1024 * 1024, 'x')))},
                  false,
                  false,
                  {"GET"},
                  B,
                  6,
                  std::nullopt,
                  "unreadable 6"},
        PullCase {
            "a version in quotes counts as no copy",
            5,
            A,
            B,
            {Reply::json(R"({"version":"6","blob":"copy C"})"), Reply::json(R"({"version":6})")},
            false,
            false,
            {"GET", "PUT"},
            B,
            6,
            B,
            "malformedReply"},
        PullCase {
            "a version with a fraction counts as no copy",
            5,
            A,
            B,
            {Reply::json(R"({"version":6.5,"blob":"copy C"})"), Reply::json(R"({"version":6})")},
            false,
            false,
            {"GET", "PUT"},
            B,
            6,
            B,
            "malformedReply"},
        PullCase {
            "a blob that is not a text counts as no copy",
            5,
            A,
            B,
            {Reply::json(R"({"version":6,"blob":{"terms":[]}})"), Reply::json(R"({"version":6})")},
            false,
            false,
            {"GET", "PUT"},
            B,
            6,
            B,
            "malformedReply"},
        PullCase {"a reply that is not JSON counts as no copy",
                  5,
                  A,
                  B,
                  {Reply::json("<html>busy</html>"), Reply::json(R"({"version":6})")},
                  false,
                  false,
                  {"GET", "PUT"},
                  B,
                  6,
                  B,
                  "pushed 6"},
        PullCase {"401 changes nothing",
                  5,
                  A,
                  B,
                  {Reply::json("{}", 401)},
                  false,
                  false,
                  {"GET"},
                  B,
                  5,
                  A,
                  "pullUnauthorized"},
        PullCase {"a server error changes nothing",
                  5,
                  A,
                  B,
                  {Reply::json("{}", 500)},
                  false,
                  false,
                  {"GET"},
                  B,
                  5,
                  A,
                  "pullFailed"},
        PullCase {"a PUT answered without a version keeps the base and stores the blob",
                  5,
                  A,
                  B,
                  {Reply::json(copyReply(5, "copy A")), Reply::json("{}")},
                  false,
                  false,
                  {"GET", "PUT"},
                  B,
                  5,
                  B,
                  "pushed 5"},
        PullCase {"a refused push stores nothing",
                  5,
                  A,
                  B,
                  {Reply::json(copyReply(5, "copy A")), Reply::json("{}", 500)},
                  false,
                  false,
                  {"GET", "PUT"},
                  B,
                  5,
                  A,
                  "pushFailed"},
        PullCase {"a push answered 401 fails",
                  5,
                  A,
                  B,
                  {Reply::json(copyReply(5, "copy A")), Reply::json("{}", 401)},
                  false,
                  false,
                  {"GET", "PUT"},
                  B,
                  5,
                  A,
                  "pushFailed"}),
    [](const auto &info) {
        std::string name = info.param.name;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
        return name;
    });

// MARK: Requests

TEST(VersionedBlobSync, PushesCarryTheTokenTheBaseAndOneDeviceIdentifier)
{
    SyncRig rig;
    rig.client.text = B;
    rig.service.respond(kPath, Reply::json("{}"));
    rig.sync.pull(false);
    ASSERT_TRUE(rig.settle());
    rig.client.text = QStringLiteral("copy B2");
    rig.sync.schedulePush();
    rig.computer.clock.advance(VersionedBlobSync::pushDelay);
    ASSERT_TRUE(rig.settle());

    const auto requests = rig.service.requests(kPath);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok-a");
    EXPECT_TRUE(requests[0].body.empty());
    EXPECT_FALSE(requests[0].hasHeader("Content-Type"));
    for (const auto &put : {requests[1], requests[2]}) {
        EXPECT_EQ(put.method, "PUT");
        EXPECT_EQ(put.header("Authorization"), "Bearer tok-a");
        EXPECT_EQ(put.header("Content-Type"), "application/json");
    }
    const auto first = nlohmann::json::parse(requests[1].body);
    const auto second = nlohmann::json::parse(requests[2].body);
    EXPECT_EQ(first.at("blob"), "copy B");
    EXPECT_EQ(second.at("blob"), "copy B2");
    EXPECT_EQ(first.at("baseVersion"), 0);
    ASSERT_TRUE(first.at("deviceId").is_string());
    EXPECT_EQ(QString::fromStdString(first.at("deviceId")),
              rig.computer.keychain.get("cloudDeviceID"))
        << "made by the first push and kept in the keychain";
    EXPECT_EQ(second.at("deviceId"), first.at("deviceId"));
}

TEST(VersionedBlobSync, BlobTextIsCompactSortedAndEscapesSlashes)
{
    const Json::Object value = {{"terms", {"a/b", "Zoë", "say \"hi\"\n"}},
                                {"replacements", {{{"phrase", "p"}, {"id", "X"}, {"b", true}}}}};
    EXPECT_EQ(VersionedBlobSync::encodeBlob(value),
              QStringLiteral(R"({"replacements":[{"b":true,"id":"X","phrase":"p"}],)"
                             R"("terms":["a\/b","Zoë","say \"hi\"\n"]})"));
}

// MARK: The debounce

TEST(VersionedBlobSync, EditsWithinTwoSecondsGoOutAsOnePushOfTheLastState)
{
    SyncRig rig;
    rig.store(4, A);
    rig.client.text = QStringLiteral("first edit");
    rig.sync.schedulePush();
    rig.computer.clock.advance(1500ms);
    rig.client.text = B;
    rig.sync.schedulePush();
    rig.computer.clock.advance(1999ms);
    QTest::qWait(20);
    EXPECT_TRUE(rig.methods().empty())
        << "3.5 s after the first edit, 2 s less 1 ms after the last";

    rig.computer.clock.advance(1ms);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.methods(), std::vector<std::string>({"PUT"}));
    ASSERT_EQ(rig.pushes().size(), 1u);
    EXPECT_EQ(rig.pushes()[0].at("blob"), "copy B");
    EXPECT_EQ(rig.pushes()[0].at("baseVersion"), 4);
}

TEST(VersionedBlobSync, APushThatWouldSendTheLastBlobSendsNothing)
{
    SyncRig rig;
    rig.store(4, A);
    rig.client.text = B;
    rig.sync.schedulePush();
    rig.client.text = A; // edited and edited back
    rig.computer.clock.advance(VersionedBlobSync::pushDelay);
    ASSERT_TRUE(rig.settle());
    QTest::qWait(20);
    EXPECT_TRUE(rig.methods().empty());
}

TEST(VersionedBlobSync, NoPushIsArmedSignedOutOrSwitchedOffAndAPushFiringSwitchedOffSendsNothing)
{
    {
        FakeCloudService service;
        SyncComputer signedOut(service, QString());
        TextClient client;
        client.text = B;
        VersionedBlobSync sync(
            vocabularyRules(),
            {&signedOut.session, signedOut.account.get(), &signedOut.defaults, &signedOut.clock},
            client);
        sync.schedulePush();
        EXPECT_FALSE(sync.isPushArmed()) << "signed out";
        sync.pull(false);
        ASSERT_TRUE(SyncComputer::settle(sync));
        EXPECT_EQ(service.requestCount(), 0u);
    }
    SyncRig rig;
    rig.client.text = B;
    rig.client.enabled = false;
    rig.sync.schedulePush();
    EXPECT_FALSE(rig.sync.isPushArmed()) << "switched off";

    rig.client.enabled = true;
    rig.sync.schedulePush();
    EXPECT_TRUE(rig.sync.isPushArmed());
    rig.client.enabled = false;
    rig.computer.clock.advance(VersionedBlobSync::pushDelay);
    ASSERT_TRUE(rig.settle());
    QTest::qWait(20);
    EXPECT_TRUE(rig.methods().empty()) << "switched off before the push fired";
}

// MARK: Mends

TEST(VersionedBlobSync, AServiceAnsweringEveryPushWith409GetsOneForcedPullPerPush)
{
    SyncRig rig;
    rig.client.text = B;
    rig.service.serve(kPath, [](const FakeCloudService::Request &request) {
        return request.method == "PUT" ? Reply::json(R"({"error":"conflict"})", 409)
                                       : Reply::json("{}");
    });
    rig.sync.pull(false);
    ASSERT_TRUE(rig.settle());
    QTest::qWait(100);
    EXPECT_EQ(rig.methods(), std::vector<std::string>({"GET", "PUT", "GET", "PUT"}))
        << "the pull, its push, the forced pull and its push: then it stops";
    EXPECT_EQ(rig.client.steps.back(), "pushFailed 0");
    EXPECT_EQ(rig.client.text, B);

    // The next edit starts afresh, with the same bound.
    rig.client.text = QStringLiteral("copy B2");
    rig.sync.schedulePush();
    rig.computer.clock.advance(VersionedBlobSync::pushDelay);
    ASSERT_TRUE(rig.settle());
    QTest::qWait(100);
    EXPECT_EQ(rig.methods().size(), 7u) << "PUT, forced GET, PUT";
}

TEST(VersionedBlobSync, A409EndsWithTheServerCopyInstalled)
{
    SyncRig rig;
    rig.store(5, A);
    rig.client.text = B;
    rig.service.script(kPath, Reply::json(copyReply(5, "copy A")));
    rig.service.script(kPath, Reply::json(R"({"error":"conflict"})", 409));
    rig.service.script(kPath, Reply::json(copyReply(7, "copy C")));
    rig.sync.pull(false);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.methods(), std::vector<std::string>({"GET", "PUT", "GET"}));
    EXPECT_EQ(rig.client.text, QStringLiteral("copy C"));
    EXPECT_EQ(rig.sync.baseVersion(), 7);
    EXPECT_EQ(rig.sync.lastBlob(), QStringLiteral("copy C"));
}

TEST(VersionedBlobSync, AfterASignInToAnotherAccountThatAccountsCopyIsInstalledNotOverwritten)
{
    FakeCloudService service;
    VersionedSyncStore store(service, kPath);
    store.seed("tok-b", 3, "copy of b");
    SyncComputer computer(service);
    TextClient client;
    VersionedBlobSync sync(
        vocabularyRules(),
        {&computer.session, computer.account.get(), &computer.defaults, &computer.clock}, client);
    client.text = QStringLiteral("copy of a");
    sync.start(); // a has no copy yet: version 1
    ASSERT_TRUE(SyncComputer::settle(sync));
    for (int edit = 1; edit <= 6; ++edit) { // account a reaches version 7
        client.text = QStringLiteral("copy of a, edit %1").arg(edit);
        sync.schedulePush();
        computer.clock.advance(VersionedBlobSync::pushDelay);
        ASSERT_TRUE(SyncComputer::settle(sync));
    }
    ASSERT_EQ(store.copy("tok-a").version, 7);
    ASSERT_EQ(sync.baseVersion(), 7);

    // An edit made under a is still waiting when the user switches to b.
    client.text = QStringLiteral("late edit of a");
    sync.schedulePush();
    computer.account->signOut();
    ASSERT_TRUE(computer.signIn(QStringLiteral("tok-b"), QStringLiteral("b@example.org")));
    ASSERT_TRUE(SyncComputer::settle(sync));
    computer.clock.advance(VersionedBlobSync::pushDelay);
    ASSERT_TRUE(SyncComputer::settle(sync));

    EXPECT_EQ(client.text, QStringLiteral("copy of b")) << "b's copy, though its version is lower";
    EXPECT_EQ(sync.baseVersion(), 3);
    EXPECT_EQ(store.copy("tok-b").version, 3) << "nothing of a was pushed over b's copy";
    EXPECT_EQ(store.copy("tok-b").blob, "copy of b");
    EXPECT_EQ(computer.defaults.string(QStringLiteral("account")), QStringLiteral("b@example.org"));
    for (const auto &request : service.requests(kPath)) {
        EXPECT_FALSE(request.method == "PUT" && request.header("Authorization") == "Bearer tok-b")
            << "a push under b: " << request.body;
    }

    // Back to a: its copy again, at its own version.
    computer.account->signOut();
    ASSERT_TRUE(computer.signIn(QStringLiteral("tok-a"), QStringLiteral("a@example.org")));
    ASSERT_TRUE(SyncComputer::settle(sync));
    EXPECT_EQ(client.text, QStringLiteral("copy of a, edit 6"));
    EXPECT_EQ(sync.baseVersion(), 7);
    EXPECT_EQ(store.copy("tok-a").version, 7);
    EXPECT_EQ(store.copy("tok-b").version, 3);

    // To c, with nothing edited: c's older copy is not mistaken for one already in step.
    store.seed("tok-c", 2, "copy of c");
    computer.account->signOut();
    ASSERT_TRUE(computer.signIn(QStringLiteral("tok-c"), QStringLiteral("c@example.org")));
    ASSERT_TRUE(SyncComputer::settle(sync));
    EXPECT_EQ(client.text, QStringLiteral("copy of c"));
    EXPECT_EQ(sync.baseVersion(), 2);
}

TEST(VersionedBlobSync, AnEditMadeWhileAPushIsInFlightIsPushedAfterIt)
{
    FakeCloudService service;
    VersionedSyncStore store(service, kPath);
    store.setDelay(300ms);
    SyncComputer computer(service);
    TextClient client;
    client.text = QStringLiteral("first");
    VersionedBlobSync sync(
        vocabularyRules(),
        {&computer.session, computer.account.get(), &computer.defaults, &computer.clock}, client);
    sync.start(); // GET, then the PUT of "first", 300 ms each
    ASSERT_TRUE(service.waitForRequests(kPath, 2));
    ASSERT_TRUE(sync.isBusy());

    client.text = QStringLiteral("second");
    sync.schedulePush();
    computer.clock.advance(VersionedBlobSync::pushDelay); // fires while "first" is in flight
    ASSERT_TRUE(SyncComputer::settle(sync));

    const auto requests = service.requests(kPath);
    ASSERT_EQ(requests.size(), 3u);
    const auto second = nlohmann::json::parse(requests[2].body);
    EXPECT_EQ(second.at("blob"), "second");
    EXPECT_EQ(second.at("baseVersion"), 1) << "on the version the first push made";
    EXPECT_EQ(store.copy("tok-a").version, 2);
    EXPECT_EQ(store.copy("tok-a").blob, "second");
    EXPECT_EQ(client.text, QStringLiteral("second"));
    EXPECT_EQ(sync.lastBlob(), QStringLiteral("second"));
}

TEST(VersionedBlobSync, AnAnswerForAnAccountSignedOutMeanwhileIsIgnored)
{
    FakeCloudService service;
    VersionedSyncStore store(service, kPath);
    store.seed("tok-a", 9, "copy of a");
    store.setDelay(300ms);
    SyncComputer computer(service);
    TextClient client;
    client.text = B;
    VersionedBlobSync sync(
        vocabularyRules(),
        {&computer.session, computer.account.get(), &computer.defaults, &computer.clock}, client);
    sync.pull(false);
    ASSERT_TRUE(service.waitForRequests(kPath, 1));
    computer.account->signOut();
    ASSERT_TRUE(SyncComputer::settle(sync));
    EXPECT_EQ(client.text, B);
    EXPECT_EQ(sync.baseVersion(), 0);
    EXPECT_FALSE(sync.lastBlob().has_value());
    EXPECT_EQ(client.steps.back(), "dropped 0");
}

} // namespace
