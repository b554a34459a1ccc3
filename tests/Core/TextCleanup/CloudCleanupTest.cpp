#include "Core/TextCleanup/CloudCleanup.h"

#include "Base/ManualClock.h"
#include "Core/CloudSession.h"
#include "Core/DebugLogCapture.h"
#include "Core/DictationTrace.h"
#include "Core/Keychain.h"
#include "Core/QuotaNotice.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"
#include "Fakes/FakeKeychainBackend.h"
#include "TestSupport/FakeCloudService.h"

#include <QCoro/QCoroTask>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

using Settings = CloudCleanup::Settings;
using Reply = FakeCloudService::Reply;

const Settings faithful {QStringLiteral("faithful"), QStringLiteral("cleanup"), {}, 2};
const Settings polish3 {QStringLiteral("polish"), QStringLiteral("cleanup"), {}, 3};

// Words the guard checks closely: a web address and a version.
const QString transcript = QStringLiteral("um see example.com for version 2.4.1");

QString rules(const QString &text)
{
    return RuleBasedCleanup::clean(text, QStringLiteral("en-US"));
}

class CloudCleanupTest : public testing::Test
{
protected:
    CloudCleanup make(Settings settings = faithful,
                      std::optional<QString> token = QStringLiteral("tok"))
    {
        CloudCleanup::Services services;
        services.session = &session;
        services.quota = &quota;
        services.token = [token] {
            return token;
        };
        if (keychain) {
            services.token = [this] {
                return keychain->get(QStringLiteral("cloudToken"));
            };
            services.whenTokenKnown = [this] {
                return keychain->load();
            };
        }
        services.refreshAccount = [this] {
            ++refreshes;
        };
        services.clock = &clock;
        services.timeout = timeout;
        return CloudCleanup(std::move(services), std::move(settings));
    }

    CleanupContext context() const
    {
        CleanupContext context;
        context.localeIdentifier = QStringLiteral("en-US");
        context.trace = trace;
        return context;
    }

    QString clean(const CloudCleanup &stage, const QString &text = transcript)
    {
        return QCoro::waitFor(stage.cleanup(text, context()));
    }

    QString lastDetail(const QString &name) const
    {
        const auto marks = trace->marks();
        for (auto it = marks.rbegin(); it != marks.rend(); ++it) {
            if (it->name == name) {
                return it->detail.value_or(QString());
            }
        }
        return QStringLiteral("<none>");
    }

    std::string sentBody() const
    {
        const auto requests = service.requests("/api/cleanup");
        return requests.empty() ? std::string() : requests.back().body;
    }

    FakeCloudService service;
    CloudSession session {service.baseURL()};
    ManualClock clock;
    QuotaNotice quota {clock};
    std::shared_ptr<DictationTrace> trace = std::make_shared<DictationTrace>(1, clock);
    std::chrono::milliseconds timeout = CloudCleanup::defaultTimeout;
    int refreshes = 0;
    // When set, the token comes from this keychain.
    Keychain *keychain = nullptr;
};

} // namespace

TEST_F(CloudCleanupTest, TheBodyCarriesEachFieldOnlyWhenItApplies)
{
    CleanupContext learning;
    learning.personalize = true;
    learning.customInstructions = QStringLiteral("be brief");
    learning.localeIdentifier = QStringLiteral("en-US");
    learning.composedContext = QStringLiteral("APP: Mail");
    learning.dictionaryTerms = {QStringLiteral(" \t"), QStringLiteral(" Qt "),
                                QStringLiteral("KDE")};
    CleanupContext caretOnly;
    caretOnly.composedContext = QString();
    caretOnly.focus = FocusContext();
    caretOnly.focus->fieldText = QStringLiteral("Dear Ann,");
    CleanupContext secure = learning;
    secure.focus = FocusContext();
    secure.focus->isSecureField = true;
    secure.focus->fieldText = QStringLiteral("hunter2");

    struct Case
    {
        const char *name;
        Settings settings;
        CleanupContext context;
        std::string expected;
    };
    const Case cases[] = {
        {"faithful dictation: the bare minimum", faithful, CleanupContext(),
         R"({"transcript":"t","style":"faithful"})"},
        {"cloud mode never sends an intensity",
         {QStringLiteral("faithful"), QStringLiteral("cleanup"), {}, 3},
         CleanupContext(),
         R"({"transcript":"t","style":"faithful"})"},
        {"polish sends a non-default intensity", polish3, CleanupContext(),
         R"({"transcript":"t","style":"polish","intensity":3})"},
        {"polish never sends intensity 2",
         {QStringLiteral("polish"), QStringLiteral("cleanup"), {}, 2},
         CleanupContext(),
         R"({"transcript":"t","style":"polish"})"},
        {"learning: context, terms untrimmed, blanks dropped, no instructions", faithful, learning,
         R"({"transcript":"t","style":"faithful","context":"APP: Mail","dictionary":[" Qt ","KDE"],"learn":true})"},
        {"ask: no intensity and no learning",
         {QStringLiteral("polish"), QStringLiteral("ask"), {}, 3},
         learning,
         R"({"transcript":"t","style":"polish","task":"ask","context":"APP: Mail","dictionary":[" Qt ","KDE"]})"},
        {"translate with its target",
         {QStringLiteral("faithful"), QStringLiteral("translate"), QStringLiteral("ja"), 2},
         CleanupContext(),
         R"({"transcript":"t","style":"faithful","task":"translate","targetLang":"ja"})"},
        {"translate without a target",
         {QStringLiteral("faithful"), QStringLiteral("translate"), {}, 2},
         CleanupContext(),
         R"({"transcript":"t","style":"faithful","task":"translate"})"},
        {"an empty composed context gives way to the caret window", faithful, caretOnly,
         R"({"transcript":"t","style":"faithful","context":"Dear Ann,"})"},
        {"a secure field sends no context of any kind", faithful, secure,
         R"({"transcript":"t","style":"faithful","dictionary":[" Qt ","KDE"],"learn":true})"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(make(c.settings).body(QStringLiteral("t"), c.context).dump(), c.expected)
            << c.name;
    }
}

TEST_F(CloudCleanupTest, TheRequestIsAnAuthorisedJsonPostAndItsJourneyIsMarked)
{
    Reply timed = Reply::json(R"({"text":" hello there. \n"})");
    timed.headers = {{"Server-Timing", "llm;dur=80, db;dur=2"}};
    service.script("/api/cleanup", timed);
    CloudCleanup stage = make();
    EXPECT_EQ(stage.name(), QStringLiteral("cloud"));
    EXPECT_EQ(clean(stage, QStringLiteral("  hello there \n")), QStringLiteral("hello there."));

    const auto requests = service.requests("/api/cleanup");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_EQ(requests[0].body, R"({"transcript":"hello there","style":"faithful"})");

    EXPECT_EQ(lastDetail(QStringLiteral("cleanup.send")),
              QStringLiteral("task=cleanup style=faithful in=11ch ctx=0ch dict=0"));
    const QString received = lastDetail(QStringLiteral("cleanup.recv"));
    EXPECT_TRUE(received.startsWith(QStringLiteral("http=200 "))) << received.toStdString();
    EXPECT_TRUE(received.endsWith(QStringLiteral(" srv[llm=80, db=2]"))) << received.toStdString();
    EXPECT_EQ(lastDetail(QStringLiteral("cleanup.guard")), QStringLiteral("ok out=12ch"));
}

TEST_F(CloudCleanupTest, ABlankTranscriptIsReturnedAsItIsWithoutARequestOrAMark)
{
    CloudCleanup stage = make();
    const auto marksBefore = trace->marks().size();
    EXPECT_EQ(clean(stage, QStringLiteral(" \n\t ")), QStringLiteral(" \n\t "));
    EXPECT_EQ(service.requestCount(), 0u);
    EXPECT_EQ(trace->marks().size(), marksBefore);
}

TEST_F(CloudCleanupTest, SignedOutGivesTheRulesWithoutARequest)
{
    CloudCleanup stage = make(faithful, std::nullopt);
    EXPECT_EQ(clean(stage), rules(transcript));
    EXPECT_EQ(service.requestCount(), 0u);
    EXPECT_EQ(lastDetail(QStringLiteral("cleanup.fallback")), QStringLiteral("reason=signedOut"));
}

TEST_F(CloudCleanupTest, ATokenTheKeychainHasNotReadYetIsWaitedForNotTakenForASignOut)
{
    FakeKeychainBackend backend;
    backend.mode = FakeKeychainBackend::Mode::deferred;
    backend.items.insert(QStringLiteral("cloudToken"), "tok");
    Keychain store {&backend, clock};
    keychain = &store;
    // The launch reads the keychain; the keyring takes its time to answer.
    QCoro::connect(store.load(), &store, [] {});
    service.script("/api/cleanup", Reply::json(R"({"text":"hello there."})"));
    CloudCleanup stage = make();

    QCoro::Task<QString> cleaning = stage.cleanup(QStringLiteral("hello there"), context());
    EXPECT_EQ(lastDetail(QStringLiteral("cleanup.fallback")), QStringLiteral("<none>"));
    while (backend.answerNext()) { }
    EXPECT_EQ(QCoro::waitFor(std::move(cleaning)), QStringLiteral("hello there."));
    const auto requests = service.requests("/api/cleanup");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok");
    EXPECT_EQ(lastDetail(QStringLiteral("cleanup.fallback")), QStringLiteral("<none>"));
}

TEST_F(CloudCleanupTest, EveryFailedReplyFallsBackToTheRulesAndTheSessionGoesOn)
{
    Reply stalled = Reply::json(R"({"text":"late"})");
    stalled.delay = 2s;
    Reply huge;
    huge.fillerBytes = CloudCleanup::maxReplyBytes + 1;
    struct Case
    {
        const char *name;
        Reply reply;
        QString fallback;
        bool quota = false;
        bool refresh = false;
    };
    const Case cases[] = {
        {"a server error", Reply::json(R"({"text":"x"})", 500), QStringLiteral("reason=failed")},
        {"the quota used up", Reply::json(R"({"error":"quota_exceeded"})", 429),
         QStringLiteral("reason=quota"), true},
        {"429 for another reason is an ordinary failure",
         Reply::json(R"({"error":"rate_limited"})", 429), QStringLiteral("reason=failed")},
        {"a token the service no longer takes", Reply::json("{}", 401),
         QStringLiteral("reason=failed"), false, true},
        {"a blank text", Reply::json(R"({"text":" \n"})"), QStringLiteral("reason=failed")},
        {"a text of the wrong type", Reply::json(R"({"text":["a"]})"),
         QStringLiteral("reason=failed")},
        {"no text at all", Reply::json(R"({"raw":"hello"})"), QStringLiteral("reason=failed")},
        {"not an object", Reply::json(R"(["text"])"), QStringLiteral("reason=failed")},
        {"not UTF-8", Reply::json("{\"text\":\"\xff\xfe\"}"), QStringLiteral("reason=failed")},
        {"a multipart reply",
         [] {
             Reply reply = Reply::json("--b\r\nContent-Type: text/plain\r\n\r\nhi\r\n--b--\r\n");
             reply.contentType = "multipart/mixed; boundary=b";
             return reply;
         }(),
         QStringLiteral("reason=failed")},
        {"longer than any answer", huge, QStringLiteral("reason=failed")},
        {"an answer that stalls past the time-out", stalled, QStringLiteral("reason=failed")},
    };
    timeout = 200ms;
    CloudCleanup stage = make();
    QSignalSpy reached(&quota, &QuotaNotice::didReach);
    for (const Case &c : cases) {
        const int reachedBefore = int(reached.count());
        const int refreshesBefore = refreshes;
        service.script("/api/cleanup", c.reply);
        EXPECT_EQ(clean(stage), rules(transcript)) << c.name;
        EXPECT_EQ(lastDetail(QStringLiteral("cleanup.fallback")), c.fallback) << c.name;
        EXPECT_EQ(reached.count() - reachedBefore, c.quota ? 1 : 0) << c.name;
        EXPECT_EQ(refreshes - refreshesBefore, c.refresh ? 1 : 0) << c.name;
    }
    EXPECT_TRUE(
        lastDetail(QStringLiteral("cleanup.recv")).startsWith(QStringLiteral("transport-error ")))
        << "the stalled answer";
}

TEST_F(CloudCleanupTest, TheGuardJudgesDictationButNotAnswersOrTranslations)
{
    struct Case
    {
        const char *name;
        Settings settings;
        std::string replyText;
        QString expected;
        QString markName;
        QString markDetail;
        QString logLine; // empty: none
    };
    const QString plain = QStringLiteral("see example.com for version 2.4.1");
    const QString kept = plain + QLatin1Char('.');
    const Case cases[] = {
        {"faithful text is kept",
         faithful,
         kept.toStdString(),
         kept,
         QStringLiteral("cleanup.guard"),
         QStringLiteral("ok out=34ch"),
         {}},
        {"a lost address and version are refused", polish3, "See the site.", rules(plain),
         QStringLiteral("cleanup.fallback"), QStringLiteral("reason="),
         QStringLiteral("cleanup: 差し戻し ")},
        {"an answer is not judged",
         {QStringLiteral("polish"), QStringLiteral("ask"), {}, 2},
         "Forty-two.",
         QStringLiteral("Forty-two."),
         QStringLiteral("cleanup.guard"),
         QStringLiteral("skip(task=ask) out=10ch"),
         {}},
        {"a translation is not judged",
         {QStringLiteral("faithful"), QStringLiteral("translate"), QStringLiteral("ja"), 2},
         "example.com を見て",
         QStringLiteral("example.com を見て"),
         QStringLiteral("cleanup.guard"),
         QStringLiteral("skip(task=translate) out=15ch"),
         {}},
    };
    for (const Case &c : cases) {
        DebugLogCapture log;
        service.script("/api/cleanup", Reply::json(R"({"text":")" + c.replyText + "\"}"));
        EXPECT_EQ(clean(make(c.settings), plain), c.expected) << c.name;
        EXPECT_EQ(trace->marks().last().name, c.markName) << c.name;
        EXPECT_TRUE(trace->marks().last().detail.value_or(QString()).startsWith(c.markDetail))
            << c.name << ": " << trace->marks().last().detail.value_or(QString()).toStdString();
        if (!c.logLine.isEmpty()) {
            EXPECT_EQ(log.messages().filter(c.logLine).size(), 1)
                << c.name << "\n"
                << log.messages().join(u'\n').toStdString();
        }
    }
}

// The session is cancelled while its text is with the service, which holds it or is about to
// answer that the quota is used up: the connection closes at once, and the stage hands the text
// back as it came, with no rule-based fallback, no mark and no quota notice over the next session.
TEST_F(CloudCleanupTest, ACancelledSessionAbortsTheRequestWithoutFallbackOrNotice)
{
    Reply held;
    held.hold = true;
    Reply lateQuota = Reply::json(R"({"error":"quota_exceeded"})", 429);
    lateQuota.delay = 300ms;
    const struct
    {
        const char *name;
        Reply reply;
    } cases[] = {{"held", held}, {"quota used up, answered late", lateQuota}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.clearRequests();
        service.script("/api/cleanup", c.reply);
        QSignalSpy notices(&quota, &QuotaNotice::didReach);
        const CloudCleanup stage =
            make(Settings {QStringLiteral("polish"), QStringLiteral("ask"), {}, 2});
        trace = std::make_shared<DictationTrace>(1, clock);
        CleanupContext cancellable = context();
        CancellationToken cancellation;
        cancellable.cancellation = cancellation;

        std::optional<QString> result;
        QCoro::connect(stage.cleanup(transcript, cancellable), qApp,
                       [&](const QString &text) { result = text; });
        ASSERT_TRUE(service.waitForRequests("/api/cleanup", 1));
        const auto cancelledAt = std::chrono::steady_clock::now();
        cancellation.cancel();
        ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 2000));
        EXPECT_EQ(*result, transcript);
        if (c.reply.hold) {
            const auto closedAt = service.waitForClose("/api/cleanup", 0, 2s);
            ASSERT_TRUE(closedAt.has_value()) << "the connection stayed open";
            EXPECT_LT(*closedAt - cancelledAt, 500ms);
        }
        EXPECT_EQ(notices.count(), 0);
        EXPECT_EQ(lastDetail(QStringLiteral("cleanup.recv")), QStringLiteral("<none>"));
        EXPECT_EQ(lastDetail(QStringLiteral("cleanup.fallback")), QStringLiteral("<none>"));
        EXPECT_EQ(service.requests("/api/cleanup").size(), 1u);
    }
}

TEST_F(CloudCleanupTest, ResettingTheMemoryIsTrueOnlyWhenTheServiceConfirmsIt)
{
    EXPECT_FALSE(QCoro::waitFor(make(faithful, std::nullopt).resetMemory()));
    EXPECT_EQ(service.requestCount(), 0u);

    struct Case
    {
        const char *name;
        Reply reply;
        bool expected;
    };
    const Case cases[] = {
        {"204", Reply::json("", 204), true},
        {"200", Reply::json("{}"), true},
        {"500", Reply::json("{}", 500), false},
        {"401", Reply::json("{}", 401), false},
    };
    CloudCleanup stage = make();
    for (const Case &c : cases) {
        service.script("/api/cleanup/memory", c.reply);
        EXPECT_EQ(QCoro::waitFor(stage.resetMemory()), c.expected) << c.name;
    }
    const auto requests = service.requests("/api/cleanup/memory");
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].method, "DELETE");
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok");
    EXPECT_FALSE(requests[0].hasHeader("Content-Type"));
    EXPECT_TRUE(requests[0].body.empty());

    CloudSession nowhere(QUrl(QStringLiteral("http://127.0.0.1:1")));
    CloudCleanup::Services services;
    services.session = &nowhere;
    services.token = [] {
        return std::optional<QString>(QStringLiteral("tok"));
    };
    EXPECT_FALSE(QCoro::waitFor(CloudCleanup(services, faithful).resetMemory()));
}
