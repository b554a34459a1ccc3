#include "Core/SharedVocabulary.h"

#include "Core/DebugLogCapture.h"
#include "Core/SyncComputer.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"
#include "TestSupport/VersionedSyncStore.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using Reply = FakeCloudService::Reply;

namespace {

const std::string kPath = "/api/sync/shared";

Replacement rule(const char *id, const QString &phrase, const QString &expansion,
                 bool enabled = true)
{
    Replacement replacement;
    replacement.id = QUuid(QString::fromLatin1(id));
    replacement.phrase = phrase;
    replacement.expansion = expansion;
    replacement.isEnabled = enabled;
    return replacement;
}

const Replacement kRule =
    rule("E621E1F8-C36C-495A-93FC-0C247A3E6E5F", QStringLiteral("w/o"), QStringLiteral("without"));

// One computer with its vocabulary on the fake service (signed in as a@example.org unless the
// token is empty). Fill the defaults before make() when the test needs stored lists.
class VocabularyRig
{
public:
    explicit VocabularyRig(const QString &token = QStringLiteral("tok-a"))
        : computer(service, token)
    { }

    SharedVocabulary &make()
    {
        vocabulary = std::make_unique<SharedVocabulary>(SharedVocabulary::Services {
            &computer.defaults, &computer.session, computer.account.get(), &computer.clock});
        return *vocabulary;
    }

    bool settle() { return SyncComputer::settle(vocabulary->sync()); }
    void firePush() { computer.clock.advance(VersionedBlobSync::pushDelay); }

    std::vector<std::string> methods() const
    {
        std::vector<std::string> result;
        for (const auto &request : service.requests(kPath)) {
            result.push_back(request.method);
        }
        return result;
    }

    std::vector<std::string> pushedBlobs() const
    {
        std::vector<std::string> result;
        for (const auto &request : service.requests(kPath)) {
            if (request.method == "PUT") {
                result.push_back(nlohmann::json::parse(request.body).at("blob"));
            }
        }
        return result;
    }

    FakeCloudService service;
    SyncComputer computer;
    std::unique_ptr<SharedVocabulary> vocabulary;
};

std::string copyReply(qint64 version, const QString &blob)
{
    return nlohmann::json {{"version", version}, {"blob", blob.toStdString()}}.dump();
}

std::vector<std::string> vocabLines(const DebugLogCapture &log)
{
    std::vector<std::string> lines;
    for (const std::string &line : log.lines()) {
        if (line.rfind("vocab: ", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

// MARK: The blob

TEST(SharedVocabularyBlob, IsTheCompactSortedJsonOfBothLists)
{
    EXPECT_EQ(SharedVocabulary::blob({}, {}), QStringLiteral(R"({"replacements":[],"terms":[]})"));
    const Replacement off = rule("0A1B2C3D-0000-4000-8000-00000000000F", QStringLiteral("ty"),
                                 QStringLiteral("thank \"you\""), false);
    EXPECT_EQ(
        SharedVocabulary::blob(
            {QStringLiteral("Kubernetes"), QStringLiteral("Zoë"), QStringLiteral("CI/CD")},
            {kRule, off}),
        QStringLiteral(
            R"({"replacements":[)"
            R"({"expansion":"without","id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","isEnabled":true,"phrase":"w\/o"},)"
            R"({"expansion":"thank \"you\"","id":"0A1B2C3D-0000-4000-8000-00000000000F","isEnabled":false,"phrase":"ty"}],)"
            R"("terms":["Kubernetes","Zoë","CI\/CD"]})"));
}

TEST(SharedVocabularyBlob, IsWrittenExactlyAsTheGenericEncodingWritesIt)
{
    const QStringList tricky {QStringLiteral("a/b\\c\"d"), QStringLiteral("tab\there\nline\r"),
                              QString(QChar(0x01)) + QChar(0x1f) + QChar(0x7f) + QChar(0x08)
                                  + QChar(0x0c),
                              QStringLiteral("Zoë 日本語 😀"), QString()};
    QList<Replacement> rules;
    for (const QString &text : tricky) {
        rules << rule("0A1B2C3D-0000-4000-8000-00000000000F", text, text + QStringLiteral("/x"),
                      text.isEmpty());
    }
    Json::Object generic = Json::Object::object();
    generic["terms"] = Json::Object::array();
    for (const QString &term : tricky) {
        generic["terms"].push_back(Json::toStd(term));
    }
    generic["replacements"] = Json::Object::array();
    for (const Replacement &replacement : rules) {
        generic["replacements"].push_back(replacement.toJson());
    }
    EXPECT_EQ(SharedVocabulary::blob(tricky, rules), VersionedBlobSync::encodeBlob(generic));
}

TEST(SharedVocabularyBlob, DecodesWhatItEncodesAndNothingOfAnotherShape)
{
    const QStringList terms {QStringLiteral("CI/CD"), QString(), QStringLiteral("日本語")};
    const auto payload = SharedVocabulary::decodeBlob(SharedVocabulary::blob(terms, {kRule}));
    ASSERT_TRUE(payload.has_value());
    EXPECT_EQ(payload->terms, terms);
    EXPECT_EQ(payload->replacements, QList<Replacement>({kRule}));

    const char *const undecodable[] = {
        "",
        "not json",
        "[]",
        R"({"terms":[]})",
        R"({"replacements":[]})",
        R"({"replacements":[],"terms":"Kubernetes"})",
        R"({"replacements":[],"terms":[1]})",
        R"({"replacements":{},"terms":[]})",
        R"({"replacements":[{"expansion":"x","id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","phrase":"y"}],"terms":[]})",
        R"({"replacements":[{"expansion":"x","id":"not-a-uuid","isEnabled":true,"phrase":"y"}],"terms":[]})",
        R"({"replacements":[],"terms":[]}trailing)",
    };
    for (const char *blob : undecodable) {
        EXPECT_FALSE(SharedVocabulary::decodeBlob(QString::fromUtf8(blob)).has_value()) << blob;
    }
}

// MARK: The lists

TEST(SharedVocabulary, LoadsBothListsAndStartsWithoutRulesThatDoNotDecode)
{
    VocabularyRig rig;
    rig.computer.defaults.setValue(SharedVocabulary::termsKey,
                                   QStringList {QStringLiteral("Grafana")});
    rig.computer.defaults.setValue(
        SharedVocabulary::replacementsKey,
        QByteArray(R"([{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","phrase":"w/o",)"
                   R"("expansion":"without","isEnabled":true}])"));
    rig.make();
    EXPECT_EQ(rig.vocabulary->terms(), QStringList {QStringLiteral("Grafana")});
    EXPECT_EQ(rig.vocabulary->replacements(), QList<Replacement>({kRule}));

    VocabularyRig broken;
    broken.computer.defaults.setValue(SharedVocabulary::replacementsKey,
                                      QByteArray("[{\"id\":1}]"));
    broken.make();
    EXPECT_TRUE(broken.vocabulary->replacements().isEmpty());
}

TEST(SharedVocabulary, BlankTermsAreNeitherStoredNorPushedRulesWithoutAPhraseAre)
{
    VocabularyRig rig;
    SharedVocabulary &vocabulary = rig.make();
    const Replacement blankPhrase =
        rule("0B7A3C55-2C2E-4D1E-9D55-5C1F7F0E8A11", QStringLiteral(" \n"), QStringLiteral("x"));
    const Replacement noExpansion =
        rule("1C2D3E4F-2C2E-4D1E-9D55-5C1F7F0E8A12", QStringLiteral("um"), QString());

    vocabulary.setTerms(
        {QString(), QStringLiteral("Grafana"), QStringLiteral(" \t"), QStringLiteral(" Loki ")});
    vocabulary.setReplacements({blankPhrase, kRule, noExpansion});
    // A term is kept as typed; only a blank one goes. A rule may replace with nothing, and one
    // whose phrase was emptied keeps its expansion until it is deleted.
    EXPECT_EQ(vocabulary.terms(),
              QStringList({QStringLiteral("Grafana"), QStringLiteral(" Loki ")}));
    EXPECT_EQ(vocabulary.replacements(), QList<Replacement>({blankPhrase, kRule, noExpansion}));
    EXPECT_EQ(rig.computer.defaults.stringArray(SharedVocabulary::termsKey), vocabulary.terms());
    const SharedVocabulary reread({&rig.computer.defaults, &rig.computer.session,
                                   rig.computer.account.get(), &rig.computer.clock});
    EXPECT_EQ(reread.replacements(), vocabulary.replacements());

    // Blanking the only term of a list that had just that one empties it.
    vocabulary.setTerms({QStringLiteral("Grafana")});
    vocabulary.setTerms({QString()});
    EXPECT_TRUE(vocabulary.terms().isEmpty());

    vocabulary.setTerms({QStringLiteral("Grafana")});
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.pushedBlobs(),
              std::vector<std::string>({SharedVocabulary::blob({QStringLiteral("Grafana")},
                                                               {blankPhrase, kRule, noExpansion})
                                            .toStdString()}));

    // A copy pulled while the phrase is still empty keeps the rule as well.
    Replacement elsewhere = blankPhrase;
    elsewhere.expansion = QStringLiteral("by the way");
    rig.service.script(
        kPath,
        Reply::json(
            copyReply(7, SharedVocabulary::blob({QStringLiteral("Grafana")}, {elsewhere, kRule}))));
    vocabulary.pull(true);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(vocabulary.replacements(), QList<Replacement>({elsewhere, kRule}));
}

TEST(SharedVocabulary, AChangedListIsStoredPublishedAndPushedAnEqualOneIsNot)
{
    VocabularyRig rig;
    SharedVocabulary &vocabulary = rig.make();
    QSignalSpy stored(&rig.computer.defaults, &UserDefaults::changed);
    QSignalSpy termsChanged(&vocabulary, &SharedVocabulary::termsChanged);

    vocabulary.setTerms({});
    vocabulary.setReplacements({});
    EXPECT_EQ(stored.count(), 0);
    EXPECT_EQ(termsChanged.count(), 0);
    EXPECT_FALSE(vocabulary.sync().isPushArmed());

    vocabulary.setTerms({QStringLiteral("Grafana")});
    vocabulary.setReplacements({kRule});
    EXPECT_EQ(termsChanged.count(), 1);
    EXPECT_TRUE(vocabulary.sync().isPushArmed());
    EXPECT_EQ(rig.computer.defaults.stringArray(SharedVocabulary::termsKey),
              QStringList {QStringLiteral("Grafana")});
    SharedVocabulary reloaded(
        SharedVocabulary::Services {&rig.computer.defaults, &rig.computer.session,
                                    rig.computer.account.get(), &rig.computer.clock});
    EXPECT_EQ(reloaded.replacements(), QList<Replacement>({kRule}));

    vocabulary.setTerms({QStringLiteral("Grafana")}); // the same again
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.pushedBlobs(),
              std::vector<std::string>(
                  {SharedVocabulary::blob({QStringLiteral("Grafana")}, {kRule}).toStdString()}))
        << "one push of the final state";
}

struct MigrationCase
{
    const char *name;
    QStringList sharedTerms;
    QList<Replacement> sharedRules;
    QStringList legacyTerms;
    QList<Replacement> legacyRules;
    QStringList terms;
    QList<Replacement> rules;
};

TEST(SharedVocabulary, MigrationTakesOverALegacyVocabularyOnlyIntoAnEmptyOne)
{
    const QStringList legacy {QStringLiteral("Legacy")};
    const QStringList shared {QStringLiteral("Shared")};
    const MigrationCase cases[] = {
        {"shared terms win", shared, {}, legacy, {kRule}, shared, {}},
        {"shared rules win", {}, {kRule}, legacy, {}, {}, {kRule}},
        {"nothing to take over", {}, {}, {}, {}, {}, {}},
        {"legacy terms without rules", {}, {}, legacy, {}, legacy, {}},
        {"legacy rules without terms", {}, {}, {}, {kRule}, {}, {kRule}},
        {"both", {}, {}, legacy, {kRule}, legacy, {kRule}},
    };
    for (const MigrationCase &c : cases) {
        VocabularyRig rig {QString()}; // signed out: stored, never sent
        SharedVocabulary &vocabulary = rig.make();
        vocabulary.setTerms(c.sharedTerms);
        vocabulary.setReplacements(c.sharedRules);
        vocabulary.migrateIfNeeded(c.legacyTerms, c.legacyRules);
        EXPECT_EQ(vocabulary.terms(), c.terms) << c.name;
        EXPECT_EQ(vocabulary.replacements(), c.rules) << c.name;
        EXPECT_EQ(
            rig.computer.defaults.stringArray(SharedVocabulary::termsKey).value_or(QStringList()),
            c.terms)
            << c.name;
    }
}

// MARK: Sync against the service

struct EdgeCase
{
    const char *name;
    // Stored before the vocabulary is made.
    std::optional<qint64> base;
    QStringList terms;
    bool pushedBefore = true;
    std::vector<Reply> replies;
    std::vector<std::string> methods;
    QStringList termsAfter;
    qint64 baseAfter;
};

TEST(SharedVocabulary, APullDecidesAsTheEdgeCasesSay)
{
    const QStringList local {QStringLiteral("Local")};
    const QStringList older {QStringLiteral("Older")};
    const QString remoteBlob = SharedVocabulary::blob({QStringLiteral("Remote")}, {});
    const EdgeCase cases[] = {
        {"v5, base 5, edited since: pushes",
         5,
         local,
         false,
         {Reply::json(copyReply(5, SharedVocabulary::blob(older, {}))),
          Reply::json(R"({"version":6})")},
         {"GET", "PUT"},
         local,
         6},
        {"v5, base 5, in step: nothing",
         5,
         local,
         true,
         {Reply::json(copyReply(5, SharedVocabulary::blob(local, {})))},
         {"GET"},
         local,
         5},
        {"v6, base 5: applies without pushing",
         5,
         local,
         false,
         {Reply::json(copyReply(6, remoteBlob))},
         {"GET"},
         {QStringLiteral("Remote")},
         6},
        {"no copy, empty lists: nothing is sent",
         std::nullopt,
         {},
         false,
         {Reply::json("{}")},
         {"GET"},
         {},
         0},
        {"no copy, local lists: pushed",
         std::nullopt,
         local,
         false,
         {Reply::json("{}"), Reply::json(R"({"version":1})")},
         {"GET", "PUT"},
         local,
         1},
        {"PUT without a version keeps the base",
         5,
         local,
         false,
         {Reply::json(copyReply(5, SharedVocabulary::blob(older, {}))), Reply::json("{}")},
         {"GET", "PUT"},
         local,
         5},
    };
    for (const EdgeCase &c : cases) {
        VocabularyRig rig;
        if (c.base) {
            rig.computer.defaults.setValue(SharedVocabulary::baseVersionKey,
                                           QVariant::fromValue<qint64>(*c.base));
        }
        rig.computer.defaults.setValue(SharedVocabulary::termsKey, c.terms);
        if (c.pushedBefore) {
            rig.computer.defaults.setValue(SharedVocabulary::lastBlobKey,
                                           SharedVocabulary::blob(c.terms, {}));
        }
        for (const Reply &reply : c.replies) {
            rig.service.script(kPath, reply);
        }
        rig.make().pull(false);
        ASSERT_TRUE(rig.settle()) << c.name;
        rig.firePush(); // nothing was armed by the pull
        ASSERT_TRUE(rig.settle()) << c.name;
        EXPECT_EQ(rig.methods(), c.methods) << c.name;
        EXPECT_EQ(rig.vocabulary->terms(), c.termsAfter) << c.name;
        EXPECT_EQ(rig.vocabulary->sync().baseVersion(), c.baseAfter) << c.name;
    }
}

TEST(SharedVocabulary, SignedOutEditsStayLocalAndTheSignInPushesThem)
{
    VocabularyRig rig {QString()};
    VersionedSyncStore store(rig.service, kPath);
    SharedVocabulary &vocabulary = rig.make();
    vocabulary.start();
    vocabulary.setTerms({QStringLiteral("Offline")});
    EXPECT_FALSE(vocabulary.sync().isPushArmed());
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    EXPECT_TRUE(rig.methods().empty());

    ASSERT_TRUE(rig.computer.signIn(QStringLiteral("tok-a"), QStringLiteral("a@example.org")));
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(store.copy("tok-a").version, 1);
    EXPECT_EQ(QString::fromStdString(store.copy("tok-a").blob),
              SharedVocabulary::blob({QStringLiteral("Offline")}, {}));
}

TEST(SharedVocabulary, ApplyingAPulledCopyPushesNothingAndDictationReadsIt)
{
    VocabularyRig rig;
    SharedVocabulary &vocabulary = rig.make();
    vocabulary.setTerms({QStringLiteral("Local")});
    ASSERT_TRUE(vocabulary.sync().isPushArmed());
    rig.service.script(
        kPath,
        Reply::json(copyReply(3, SharedVocabulary::blob({QStringLiteral("Remote")}, {kRule}))));
    vocabulary.pull(false);
    ASSERT_TRUE(rig.settle());
    rig.firePush();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.methods(), std::vector<std::string>({"GET"}));

    const VocabularySource &source = vocabulary;
    EXPECT_EQ(source.terms(), QStringList {QStringLiteral("Remote")});
    EXPECT_EQ(source.replacements(), QList<Replacement>({kRule}));
    EXPECT_EQ(rig.computer.defaults.stringArray(SharedVocabulary::termsKey),
              QStringList {QStringLiteral("Remote")});
}

TEST(SharedVocabulary, ACopyWithUnusableTermsIsRecordedAsAppliedAndNotPushedBack)
{
    VocabularyRig rig;
    SharedVocabulary &vocabulary = rig.make();
    const QString copy =
        SharedVocabulary::blob({QStringLiteral("  "), QStringLiteral("Grafana")}, {kRule});
    rig.service.respond(kPath, Reply::json(copyReply(3, copy)));
    vocabulary.pull(false);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(vocabulary.sync().lastBlob(),
              SharedVocabulary::blob({QStringLiteral("Grafana")}, {kRule}));
    // The same copy again: this computer holds what it applied, and pushes nothing.
    vocabulary.pull(false);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.methods(), std::vector<std::string>({"GET", "GET"}));
}

TEST(SharedVocabulary, LogsItsOutcomesAndNothingFor401)
{
    DebugLogCapture log;
    VocabularyRig rig;
    SharedVocabulary &vocabulary = rig.make();
    vocabulary.setTerms({QStringLiteral("A"), QStringLiteral("B")});
    vocabulary.setReplacements({kRule});
    rig.service.script(kPath, Reply::json(R"({"version":4})"));
    rig.firePush();
    ASSERT_TRUE(rig.settle());

    rig.service.script(kPath, Reply::json(copyReply(5, SharedVocabulary::blob({"C"}, {}))));
    vocabulary.pull(false);
    ASSERT_TRUE(rig.settle());

    vocabulary.setTerms({QStringLiteral("D")});
    rig.service.script(kPath, Reply::json("{}", 500));
    rig.firePush();
    ASSERT_TRUE(rig.settle());

    rig.service.script(kPath, Reply::json("{}", 503));
    vocabulary.pull(false);
    ASSERT_TRUE(rig.settle());

    rig.service.script(kPath, Reply::json("{}", 401));
    vocabulary.pull(false);
    ASSERT_TRUE(rig.settle());

    EXPECT_EQ(vocabLines(log),
              std::vector<std::string>({"vocab: pushed (v4, 2 terms / 1 rules)",
                                        "vocab: pulled (v5, 1 terms / 0 rules)",
                                        "vocab: push failed", "vocab: pull failed"}));
}

// MARK: Bad copies from the service

struct BadCopyCase
{
    const char *name;
    std::string reply;
    QStringList termsAfter;
    const char *logLine;
};

TEST(SharedVocabulary, ABadCopyNeitherCrashesNorWipesTheListsAndIsLoggedOnce)
{
    const QStringList local {QStringLiteral("Kubernetes"), QStringLiteral("Grafana")};
    const QString tenThousand(10000, QLatin1Char('x'));
    const BadCopyCase cases[] = {
        {"a blob that is not JSON", copyReply(6, QStringLiteral("{\"terms\": [")), local,
         "vocab: pulled copy v6 unreadable; lists kept"},
        {"JSON of the wrong shape", copyReply(6, QStringLiteral(R"({"terms":{"a":1}})")), local,
         "vocab: pulled copy v6 unreadable; lists kept"},
        {"a version that is not an integer",
         nlohmann::json {{"version", "6"}, {"blob", SharedVocabulary::blob({}, {}).toStdString()}}
             .dump(),
         local, "vocab: pull reply without a usable version or blob"},
        {"a 2 MB blob",
         copyReply(6, SharedVocabulary::blob({QString(2 * 1024 * 1024, QLatin1Char('y'))}, {})),
         local, "vocab: pulled copy v6 unreadable; lists kept"},
        {"empty and 10,000-character terms",
         copyReply(6,
                   SharedVocabulary::blob(
                       {QString(), QStringLiteral("  "), tenThousand, QStringLiteral("Grafana")},
                       {kRule})),
         {QStringLiteral("Grafana")},
         "vocab: left out 3 unusable terms (blank or longer than 200 characters)"},
    };
    for (const BadCopyCase &c : cases) {
        DebugLogCapture log;
        VocabularyRig rig;
        rig.computer.defaults.setValue(SharedVocabulary::termsKey, local);
        rig.computer.defaults.setValue(SharedVocabulary::replacementsKey,
                                       QByteArray("[") + Json::serialize(kRule.toJson())
                                           + QByteArray("]"));
        rig.computer.defaults.setValue(SharedVocabulary::baseVersionKey, 5);
        rig.service.script(kPath, Reply::json(c.reply));
        rig.service.respond(kPath, Reply::json(R"({"version":7})"));
        SharedVocabulary &vocabulary = rig.make();
        vocabulary.pull(false);
        ASSERT_TRUE(rig.settle()) << c.name;
        vocabulary.pull(false); // the copy is not looked at twice
        ASSERT_TRUE(rig.settle()) << c.name;

        EXPECT_EQ(vocabulary.terms(), c.termsAfter) << c.name;
        EXPECT_EQ(vocabulary.replacements(), QList<Replacement>({kRule})) << c.name;
        const auto lines = vocabLines(log);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), c.logLine), 1)
            << c.name << ": " << testing::PrintToString(lines);
    }
}

TEST(SharedVocabulary, StartPullsWhenATokenIsStoredAndOnEverySignIn)
{
    {
        VocabularyRig rig {QString()};
        rig.make().start();
        ASSERT_TRUE(rig.settle());
        EXPECT_TRUE(rig.methods().empty());
    }
    VocabularyRig rig;
    SharedVocabulary &vocabulary = rig.make();
    vocabulary.start();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.methods(), std::vector<std::string>({"GET", "GET"}))
        << "the account's state and the stored token";
    Q_EMIT rig.computer.account->stateChanged(); // the launch refresh publishes again
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.methods().size(), 3u);
}

} // namespace
