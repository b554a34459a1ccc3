#include "Core/CloudDictate.h"

#include "Base/ManualClock.h"
#include "Core/CloudSession.h"
#include "Core/DebugLogCapture.h"
#include "Core/DictationTrace.h"
#include "Core/QuotaNotice.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"
#include "TestSupport/FakeCloudService.h"

#include <QCoro/QCoroTask>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QUuid fixedUuid(QStringLiteral("{e621e1f8-c36c-495a-93fc-0c247a3e6e5f}"));
const QByteArray fixedBoundary = "sonorvelle-E621E1F8-C36C-495A-93FC-0C247A3E6E5F";

CleanupContext contextWith(std::optional<QString> composed = std::nullopt)
{
    CleanupContext context;
    context.localeIdentifier = QStringLiteral("en-US");
    context.composedContext = std::move(composed);
    return context;
}

std::string dump(const Json::Object &meta)
{
    return meta.dump();
}

class CloudDictateTest : public testing::Test
{
protected:
    CloudDictate make(std::optional<QString> token = QStringLiteral("tok"))
    {
        CloudDictate::Services services;
        services.session = &session;
        services.quota = &quota;
        services.token = [token] {
            return token;
        };
        services.newUuid = [] {
            return fixedUuid;
        };
        services.clock = &clock;
        return CloudDictate(std::move(services));
    }

    std::optional<CloudDictation::Outcome> run(CloudDictate &dictate,
                                               DictationTask task = DictationTask::cleanup,
                                               CleanupContext context = contextWith())
    {
        return QCoro::waitFor(dictate.run(QByteArray("RIFF....WAVE"), task, CleanupMode::cloud,
                                          QString(), 2, std::move(context), sessionContext));
    }

    QStringList marks(const QString &name) const
    {
        QStringList details;
        for (const auto &mark : trace->marks()) {
            if (mark.name == name) {
                details << mark.detail.value_or(QString());
            }
        }
        return details;
    }

    FakeCloudService service;
    CloudSession session {service.baseURL()};
    ManualClock clock;
    QuotaNotice quota {clock};
    std::shared_ptr<DictationTrace> trace = std::make_shared<DictationTrace>(1, clock);
    SessionContext sessionContext {1, trace, {}};
};

} // namespace

TEST_F(CloudDictateTest, TheMetaSaysWhatTheTaskNeedsAndNothingMore)
{
    CleanupContext learning = contextWith(QStringLiteral("APP: Mail"));
    learning.personalize = true;
    learning.dictionaryTerms = {QStringLiteral(""), QStringLiteral(" \t "), QStringLiteral(" Qt "),
                                QStringLiteral("KDE")};
    struct Case
    {
        const char *name;
        DictationTask task;
        CleanupMode mode;
        QString target;
        int intensity;
        CleanupContext context;
        std::string expected;
    };
    const Case cases[] = {
        {"cleanup in cloud mode: faithful, never an intensity",
         DictationTask::cleanup,
         CleanupMode::cloud,
         {},
         3,
         contextWith(),
         R"({"task":"cleanup","style":"faithful","lang":"en-US"})"},
        {"cloud rewrite polishes and sends a non-default intensity",
         DictationTask::cleanup,
         CleanupMode::cloudRewrite,
         {},
         3,
         contextWith(),
         R"({"task":"cleanup","style":"polish","lang":"en-US","intensity":3})"},
        {"intensity 2 is never sent",
         DictationTask::cleanup,
         CleanupMode::cloudRewrite,
         {},
         2,
         contextWith(),
         R"({"task":"cleanup","style":"polish","lang":"en-US"})"},
        {"on-device rewrite is still faithful for the service",
         DictationTask::cleanup,
         CleanupMode::rewrite,
         {},
         3,
         contextWith(),
         R"({"task":"cleanup","style":"faithful","lang":"en-US"})"},
        {"ask polishes without intensity or learning",
         DictationTask::ask,
         CleanupMode::cloudRewrite,
         {},
         3,
         learning,
         R"({"task":"ask","style":"polish","lang":"en-US","context":"APP: Mail","dictionary":[" Qt ","KDE"]})"},
        {"translate sends its target", DictationTask::translate, CleanupMode::cloud,
         QStringLiteral("ja"), 3, contextWith(),
         R"({"task":"translate","style":"faithful","lang":"en-US","targetLang":"ja"})"},
        {"translate without a target sends none",
         DictationTask::translate,
         CleanupMode::cloud,
         {},
         3,
         contextWith(),
         R"({"task":"translate","style":"faithful","lang":"en-US"})"},
        {"cleanup with learning: blank terms dropped, others untrimmed",
         DictationTask::cleanup,
         CleanupMode::cloud,
         {},
         2,
         learning,
         R"({"task":"cleanup","style":"faithful","lang":"en-US","context":"APP: Mail","dictionary":[" Qt ","KDE"],"learn":true})"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(dump(CloudDictate::meta(c.task, c.mode, c.target, c.intensity, c.context)),
                  c.expected)
            << c.name;
    }
}

TEST_F(CloudDictateTest, AnEmptyComposedContextGivesWayToTheCaretWindowButASecureFieldSendsNone)
{
    CleanupContext context = contextWith(QString());
    context.focus = FocusContext();
    context.focus->fieldText = QStringLiteral("  near the caret  ");
    context.focus->windowTitle = QStringLiteral("Bank login");
    EXPECT_EQ(
        CloudDictate::meta(DictationTask::cleanup, CleanupMode::cloud, {}, 2, context)["context"],
        "near the caret");

    context.focus->isSecureField = true;
    context.composedContext = QStringLiteral("WINDOW_TITLE: Bank login");
    EXPECT_FALSE(CloudDictate::meta(DictationTask::cleanup, CleanupMode::cloud, {}, 2, context)
                     .contains("context"));
}

TEST_F(CloudDictateTest, TheBodyIsLaidOutByteForByte)
{
    const char expected[] =
        "--sonorvelle-E621E1F8-C36C-495A-93FC-0C247A3E6E5F\r\n"
        "Content-Disposition: form-data; name=\"meta\"\r\n"
        "Content-Type: application/json\r\n"
        "\r\n"
        "{\"task\":\"ask\"}\r\n"
        "--sonorvelle-E621E1F8-C36C-495A-93FC-0C247A3E6E5F\r\n"
        "Content-Disposition: form-data; name=\"audio\"; filename=\"audio.wav\"\r\n"
        "Content-Type: audio/wav\r\n"
        "\r\n"
        "RIFF\0\r\n"
        "--sonorvelle-E621E1F8-C36C-495A-93FC-0C247A3E6E5F--\r\n";
    EXPECT_EQ(CloudDictate::boundary(fixedUuid), fixedBoundary);
    EXPECT_EQ(fixedBoundary.size(), 47);
    EXPECT_EQ(
        CloudDictate::multipartBody(fixedBoundary, "{\"task\":\"ask\"}", QByteArray("RIFF\0", 5)),
        QByteArray(expected, sizeof expected - 1));
}

TEST_F(CloudDictateTest, TheRequestCarriesTheTokenTheBoundaryTheMetaAndTheRecording)
{
    service.script(
        "/api/dictate",
        FakeCloudService::Reply::json(R"({"raw":" hello there \n","text":"Hello there."})"));
    CloudDictate dictate = make();
    const auto outcome = run(dictate);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->raw, QStringLiteral("hello there"));
    EXPECT_EQ(outcome->cleaned, QStringLiteral("Hello there."));
    EXPECT_FALSE(outcome->quotaExceeded);

    const auto requests = service.requests("/api/dictate");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok");
    EXPECT_EQ(requests[0].header("Content-Type"),
              "multipart/form-data; boundary=" + fixedBoundary.toStdString());
    ASSERT_NE(requests[0].part("audio"), nullptr);
    EXPECT_EQ(requests[0].part("audio")->content, "RIFF....WAVE");
    EXPECT_EQ(requests[0].part("audio")->filename, "audio.wav");
    ASSERT_NE(requests[0].part("meta"), nullptr);
    EXPECT_EQ(requests[0].part("meta")->content,
              R"({"task":"cleanup","style":"faithful","lang":"en-US"})");

    EXPECT_EQ(marks(QStringLiteral("dictate.send")),
              QStringList {QStringLiteral("0KB meta: task=cleanup style=faithful ctx=0ch dict=0")});
    ASSERT_EQ(marks(QStringLiteral("dictate.recv")).size(), 1);
    EXPECT_TRUE(
        marks(QStringLiteral("dictate.recv")).at(0).startsWith(QStringLiteral("http=200 ")));
    EXPECT_TRUE(marks(QStringLiteral("dictate.recv")).at(0).endsWith(QStringLiteral(" srv[-]")));
}

TEST_F(CloudDictateTest, WithoutATokenNothingIsSent)
{
    CloudDictate dictate = make(std::nullopt);
    EXPECT_EQ(run(dictate), std::nullopt);
    EXPECT_EQ(service.requestCount(), 0u);
    EXPECT_TRUE(marks(QStringLiteral("dictate.send")).isEmpty());
}

TEST_F(CloudDictateTest, EveryReplyEndsInAnOutcomeOrNoneWithItsLogLine)
{
    using Outcome = CloudDictation::Outcome;
    const std::string longJapanese =
        std::string(R"({"error":")") + std::string(108, 'x') + "日本語\"}";
    struct Case
    {
        const char *name;
        FakeCloudService::Reply reply;
        std::optional<Outcome> expected;
        QString logLine; // empty: none expected
    };
    FakeCloudService::Reply timed = FakeCloudService::Reply::json(R"({"raw":"ok then"})");
    timed.headers = {{"Server-Timing", "stt;dur=120, llm;dur=80"}};
    FakeCloudService::Reply nonUtf8 = FakeCloudService::Reply::json("\xff\xfe not text", 502);
    const Case cases[] = {
        {"raw and text",
         FakeCloudService::Reply::json(R"({"raw":"a b","text":"  A b. "})"),
         Outcome {QStringLiteral("a b"), QStringLiteral("A b."), false},
         {}},
        {"an empty text counts as absent",
         FakeCloudService::Reply::json(R"({"raw":"a b","text":" "})"),
         Outcome {QStringLiteral("a b"), std::nullopt, false},
         {}},
        {"a text of the wrong type counts as absent",
         FakeCloudService::Reply::json(R"({"raw":"a b","text":5})"),
         Outcome {QStringLiteral("a b"), std::nullopt, false},
         {}},
        {"raw of blanks only", FakeCloudService::Reply::json(R"({"raw":"   "})"), std::nullopt,
         QStringLiteral(R"(dictate: http=200 body={"raw":"   "})")},
        {"raw of the wrong type", FakeCloudService::Reply::json(R"({"raw":7})"), std::nullopt,
         QStringLiteral(R"(dictate: http=200 body={"raw":7})")},
        {"no raw at all", FakeCloudService::Reply::json(R"({"text":"hi"})"), std::nullopt,
         QStringLiteral(R"(dictate: http=200 body={"text":"hi"})")},
        {"not JSON", FakeCloudService::Reply::json("<html>busy</html>"), std::nullopt,
         QStringLiteral("dictate: http=200 body=<html>busy</html>")},
        {"a server error", FakeCloudService::Reply::json(R"({"raw":"a"})", 500), std::nullopt,
         QStringLiteral(R"(dictate: http=500 body={"raw":"a"})")},
        {"a body that is not UTF-8", nonUtf8, std::nullopt,
         QStringLiteral("dictate: http=502 body=?")},
        {"a 120-byte cut inside a character backs off to its start",
         FakeCloudService::Reply::json(longJapanese, 503), std::nullopt,
         QStringLiteral("dictate: http=503 body={\"error\":\"") + QString(108, QLatin1Char('x'))},
        {"a bracketed noise only",
         FakeCloudService::Reply::json(R"({"raw":"[noise]","text":"Noise."})"),
         Outcome {QString(), std::nullopt, false},
         QStringLiteral("dictate: raw=「[noise]」 → non-speech only, treated as empty")},
        {"full-width brackets of mixed kinds",
         FakeCloudService::Reply::json(R"({"raw":"（拍手】 。"})"),
         Outcome {QString(), std::nullopt, false},
         QStringLiteral("dictate: raw=「（拍手】 。」 → non-speech only, treated as empty")},
        {"noise followed by a word keeps the words",
         FakeCloudService::Reply::json(R"({"raw":"(laughs) okay"})"),
         Outcome {QStringLiteral("(laughs) okay"), std::nullopt, false},
         {}},
        {"the quota is used up",
         FakeCloudService::Reply::json(R"({"raw":"a","degraded":"cleanup_quota"})"),
         Outcome {QStringLiteral("a"), std::nullopt, true},
         QStringLiteral("dictate: degraded=cleanup_quota")},
        {"server timing", timed, Outcome {QStringLiteral("ok then"), std::nullopt, false}, {}},
    };
    CloudDictate dictate = make();
    for (const Case &c : cases) {
        DebugLogCapture log;
        service.script("/api/dictate", c.reply);
        EXPECT_EQ(run(dictate), c.expected) << c.name;
        if (!c.logLine.isEmpty()) {
            EXPECT_TRUE(log.messages().contains(c.logLine))
                << c.name << "\n"
                << log.messages().join(u'\n').toStdString();
        }
    }
    EXPECT_TRUE(marks(QStringLiteral("dictate.recv"))
                    .last()
                    .endsWith(QStringLiteral(" srv[stt=120, llm=80]")))
        << marks(QStringLiteral("dictate.recv")).last().toStdString();
    EXPECT_EQ(marks(QStringLiteral("dictate.recv")).filter(QStringLiteral("http=500 ")).size(), 1)
        << "a refused reply is still marked with its status";
}

TEST_F(CloudDictateTest, ATransferErrorIsLoggedAndMarked)
{
    CloudSession nowhere(QUrl(QStringLiteral("http://127.0.0.1:1")));
    CloudDictate::Services services;
    services.session = &nowhere;
    services.quota = &quota;
    services.token = [] {
        return std::optional<QString>(QStringLiteral("tok"));
    };
    services.clock = &clock;
    CloudDictate dictate(std::move(services));
    DebugLogCapture log;
    EXPECT_EQ(run(dictate), std::nullopt);
    ASSERT_EQ(marks(QStringLiteral("dictate.error")).size(), 1);
    EXPECT_TRUE(log.messages().filter(QStringLiteral("dictate: transport error: ")).size() == 1)
        << log.messages().join(u'\n').toStdString();
}

TEST_F(CloudDictateTest, TheFinalTextKeepsTheServicesTextOnlyWhenTheGuardLetsItPass)
{
    CloudDictate dictate = make();
    QSignalSpy reached(&quota, &QuotaNotice::didReach);
    const QString raw = QStringLiteral("see example.com for version 2.4.1");
    const CleanupContext context = contextWith();
    struct Case
    {
        const char *name;
        CloudDictation::Outcome outcome;
        DictationTask task;
        CleanupMode mode;
        QString expected;
        QString mark;
    };
    const Case cases[] = {
        {"accepted",
         {raw, raw + QStringLiteral("."), false},
         DictationTask::cleanup,
         CleanupMode::cloud,
         raw + QStringLiteral("."),
         QStringLiteral("cleanup.guard")},
        {"a lost web address is rejected",
         {raw, QStringLiteral("See the site."), false},
         DictationTask::cleanup,
         CleanupMode::cloudRewrite,
         RuleBasedCleanup::clean(raw, QStringLiteral("en-US")),
         QStringLiteral("cleanup.fallback")},
        {"an answer is not judged",
         {raw, QStringLiteral("Forty-two."), false},
         DictationTask::ask,
         CleanupMode::cloud,
         QStringLiteral("Forty-two."),
         QStringLiteral("cleanup.guard")},
        {"no service text: the rules",
         {raw, std::nullopt, false},
         DictationTask::cleanup,
         CleanupMode::cloud,
         RuleBasedCleanup::clean(raw, QStringLiteral("en-US")),
         QStringLiteral("cleanup.fallback")},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(
            QCoro::waitFor(dictate.finalText(c.outcome, c.task, c.mode, context, sessionContext)),
            c.expected)
            << c.name;
        EXPECT_EQ(trace->marks().last().name, c.mark) << c.name;
    }
    EXPECT_EQ(trace->marks().at(trace->marks().size() - 2).detail,
              QStringLiteral("skip(task=ask) out=10ch (dictate)"));
    EXPECT_EQ(reached.count(), 0);

    // The quota used up: the user hears of it, and the raw words still arrive.
    EXPECT_EQ(QCoro::waitFor(dictate.finalText({QStringLiteral("um hello"), std::nullopt, true},
                                               DictationTask::cleanup, CleanupMode::cloud, context,
                                               sessionContext)),
              RuleBasedCleanup::clean(QStringLiteral("um hello"), QStringLiteral("en-US")));
    EXPECT_EQ(reached.count(), 1);
    EXPECT_EQ(trace->marks().last().detail, QStringLiteral("reason=quota (dictate)"));
}

// Escape while the recording is with the service: the upload's connection is closed at once, and
// the session leaves no mark, no log line and no quota notice behind.
TEST_F(CloudDictateTest, ACancelledSessionAbortsTheUploadAndLeavesNothingBehind)
{
    DebugLogCapture log;
    FakeCloudService::Reply held;
    held.hold = true;
    service.respond("/api/dictate", held);
    QSignalSpy notices(&quota, &QuotaNotice::didReach);
    CloudDictate dictate = make();

    std::optional<std::optional<CloudDictation::Outcome>> outcome;
    QCoro::connect(dictate.run(QByteArray(96 * 1024, 'w'), DictationTask::cleanup,
                               CleanupMode::cloud, QString(), 2, contextWith(), sessionContext),
                   qApp,
                   [&](const std::optional<CloudDictation::Outcome> &result) { outcome = result; });
    ASSERT_TRUE(service.waitForRequests("/api/dictate", 1));
    const auto cancelledAt = std::chrono::steady_clock::now();
    sessionContext.cancellation.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 2000));
    EXPECT_EQ(*outcome, std::nullopt);
    const auto closedAt = service.waitForClose("/api/dictate", 0, 2s);
    ASSERT_TRUE(closedAt.has_value()) << "the upload's connection stayed open";
    EXPECT_LT(*closedAt - cancelledAt, 500ms);

    // An outcome that said the quota is used up announces nothing for a cancelled session.
    const CloudDictation::Outcome quotaUsedUp {QStringLiteral("words"), std::nullopt, true};
    QCoro::waitFor(dictate.finalText(quotaUsedUp, DictationTask::cleanup, CleanupMode::cloud,
                                     contextWith(), sessionContext));
    EXPECT_EQ(notices.count(), 0);
    EXPECT_EQ(marks("dictate.send").size(), 1);
    EXPECT_TRUE(marks("dictate.error").isEmpty());
    EXPECT_TRUE(marks("dictate.recv").isEmpty());
    EXPECT_TRUE(marks("cleanup.fallback").isEmpty());
    EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join(u'\n').toStdString();
    EXPECT_EQ(service.requestCount(), 1u);
}
