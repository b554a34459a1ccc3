#include "Core/Learning/CorrectionLearner.h"

#include "Base/ManualClock.h"
#include "Base/UserDefaults.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/DebugLogCapture.h"
#include "Core/DictationRig.h"
#include "Core/Keychain.h"
#include "Fakes/FakeUrlOpener.h"
#include "Fakes/FakeUsageReporter.h"
#include "Fakes/TestAppSettings.h"
#include "TestSupport/FakeCloudService.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace std::chrono_literals;
using Reply = FakeCloudService::Reply;

namespace {

const std::string correctionPath = "/api/cleanup/correction";
const QString editor = QStringLiteral("org.example.editor");
// Short enough that the windows around the change are the whole texts.
const QString inserted = QStringLiteral("See you at nine then.");
const QString corrected = QStringLiteral("See you at ten then.");

// A learner on the fake cloud service, signed in, learning on, the debug log captured.
class LearnerRig
{
public:
    LearnerRig()
    {
        signIn();
        learner = std::make_unique<CorrectionLearner>(CorrectionLearner::Services {
            settings.settings.get(), &account, &session, &defaults, &clock, &reporter});
    }

    void signIn() { keychain.set(QStringLiteral("the-token"), CloudAccount::tokenKey); }

    // The editor's field holding `text` somewhere in the middle.
    static FocusContext field(const QString &text, const QString &app = editor)
    {
        FocusContext context;
        context.appName = QStringLiteral("Editor");
        context.bundleID = app;
        context.fieldText = QStringLiteral("Dear Sam,\n") + text + QStringLiteral("\nBest, Kim");
        return context;
    }

    // Lets the comparisons and uploads under way finish.
    bool settle()
    {
        return QTest::qWaitFor([&] { return learner->checksInFlight() == 0; }, 5000);
    }

    // One insertion into the editor, corrected as `now` in the field at the next recording.
    void correct(const QString &text = inserted, const QString &now = corrected)
    {
        learner->remember(text, editor);
        learner->checkAndSend(field(now));
        settle();
    }

    size_t uploads() const { return service.requests(correctionPath).size(); }

    QStringList correctionLines() const
    {
        return log.messages().filter(QStringLiteral("correction: "));
    }

    DebugLogCapture log;
    FakeCloudService service;
    CloudSession session {service.baseURL()};
    ManualClock clock;
    Keychain keychain {nullptr, clock};
    FakeUrlOpener opener;
    CloudAccount account {CloudAccount::Services {&keychain, &session, &opener}};
    TestAppSettings settings {true};
    UserDefaults defaults;
    FakeUsageReporter reporter;
    std::unique_ptr<CorrectionLearner> learner;
};

// Keeps every thread of the global pool busy until it goes, so that background work started
// meanwhile waits: the comparisons then finish only after the main thread moved on.
class PoolHold
{
public:
    PoolHold()
    {
        for (int i = 0; i < m_threads; ++i) {
            QThreadPool::globalInstance()->start([this] {
                m_started.release();
                m_release.acquire();
            });
        }
        m_started.acquire(m_threads);
    }
    ~PoolHold() { m_release.release(m_threads); }

    PoolHold(const PoolHold &) = delete;
    PoolHold &operator=(const PoolHold &) = delete;

private:
    const int m_threads = QThreadPool::globalInstance()->maxThreadCount();
    QSemaphore m_started;
    QSemaphore m_release;
};

QJsonObject bodyOf(const FakeCloudService::Request &request)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
}

TEST(CorrectionLearner, AnEditedInsertionIsRecordedAndUploaded)
{
    LearnerRig rig;
    rig.correct();

    ASSERT_EQ(rig.uploads(), 1u);
    const auto request = rig.service.requests(correctionPath).at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.header("Authorization"), "Bearer the-token");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    const QJsonObject body = bodyOf(request);
    EXPECT_EQ(body.size(), 2);
    EXPECT_EQ(body.value(QStringLiteral("original")).toString(), inserted);
    EXPECT_EQ(body.value(QStringLiteral("corrected")).toString(), corrected);

    ASSERT_EQ(rig.reporter.eventNames(), QStringList {QStringLiteral("cleanup.edited")});
    EXPECT_EQ(rig.reporter.last(QStringLiteral("cleanup.edited")),
              QVariantMap({{"originalLen", 21}, {"correctedLen", 20}, {"deltaBucket", "1-3"}}));
    EXPECT_EQ(rig.correctionLines(),
              QStringList {QStringLiteral("correction: sent status=200 origLen=21 fixedLen=20")});
    EXPECT_FALSE(rig.learner->hasPending());
}

// A long text is cut to the stretch around the change, and the text before the caret is where
// the insertion is looked for first.
TEST(CorrectionLearner, OnlyTheStretchAroundTheChangeIsSent)
{
    LearnerRig rig;
    const QString text = QStringLiteral("The quarterly figures are attached, and the meeting "
                                        "moves to Thursday afternoon as we agreed last week.");
    QString edited = text;
    edited.replace(QStringLiteral("Thursday"), QStringLiteral("Friday"));
    rig.learner->remember(text, editor);
    FocusContext context = LearnerRig::field(QString(4000, QLatin1Char('x')));
    context.fieldTextTail = QStringLiteral("Notes: ") + edited;
    rig.learner->checkAndSend(context);
    rig.settle();

    ASSERT_EQ(rig.uploads(), 1u);
    const QJsonObject body = bodyOf(rig.service.requests(correctionPath).at(0));
    EXPECT_EQ(body.value(QStringLiteral("original")).toString(),
              QStringLiteral("he meeting moves to Thursday afternoon as we "));
    EXPECT_EQ(body.value(QStringLiteral("corrected")).toString(),
              QStringLiteral("he meeting moves to Friday afternoon as we "));
}

// Emoji and accents are one character each in the event and the log, whatever their encoding.
TEST(CorrectionLearner, LengthsAreCountedInCharacters)
{
    LearnerRig rig;
    // The accent as a separate combining mark, two thumbs of two UTF-16 units each.
    rig.correct(QStringLiteral("Meet me at the cafe at noon."),
                QStringLiteral("Meet me at the cafe\u0301 \U0001F44D\U0001F44D at noon."));

    EXPECT_EQ(rig.reporter.last(QStringLiteral("cleanup.edited")),
              QVariantMap({{"originalLen", 28}, {"correctedLen", 31}, {"deltaBucket", "1-3"}}));
    EXPECT_EQ(rig.correctionLines(),
              QStringList {QStringLiteral("correction: sent status=200 origLen=28 fixedLen=31")});
}

TEST(CorrectionLearner, OnlyTextsOfTenToSixHundredCharactersAreRemembered)
{
    const QString accented = QStringLiteral("e\u0301");
    const QString thumb = QStringLiteral("\U0001F44D");
    struct Case
    {
        const char *name;
        QString text;
        bool remembered;
    };
    const QList<Case> cases = {
        {"9 characters", QString(9, QLatin1Char('a')), false},
        {"10 characters", QString(10, QLatin1Char('a')), true},
        {"600 characters", QString(600, QLatin1Char('a')), true},
        {"601 characters", QString(601, QLatin1Char('a')), false},
        {"empty", QString(), false},
        {"9 accented characters in 18 units", accented.repeated(9), false},
        {"10 accented characters in 20 units", accented.repeated(10), true},
        {"600 emoji in 1,200 units", thumb.repeated(600), true},
        {"601 emoji", thumb.repeated(601), false},
    };
    LearnerRig rig;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        rig.learner->remember(inserted, editor);
        rig.learner->remember(c.text, editor);
        // A text that is not remembered also forgets the one before it.
        EXPECT_EQ(rig.learner->hasPending(), c.remembered);
    }
}

// Each of these ends the check without a request or an event, and uses up the remembered text:
// the same correction seen again under good conditions is not sent either.
TEST(CorrectionLearner, NothingIsLearnedOutsideItsConditions)
{
    struct Case
    {
        const char *name;
        std::optional<QString> rememberedApp = editor;
        // Changes the rig or the snapshot after the insertion.
        std::function<void(LearnerRig &, FocusContext &)> arrange;
    };
    const QList<Case> cases = {
        {.name = "signed out",
         .arrange =
             [](LearnerRig &rig, FocusContext &) {
                 rig.keychain.remove(CloudAccount::tokenKey);
             }},
        {.name = "learning switched off since the insertion",
         .arrange =
             [](LearnerRig &rig, FocusContext &) {
                 rig.settings->setCloudLearning(false);
             }},
        {.name = "another application",
         .arrange =
             [](LearnerRig &, FocusContext &context) {
                 context.bundleID = QStringLiteral("org.mail");
             }},
        {.name = "the focused application unknown",
         .arrange =
             [](LearnerRig &, FocusContext &context) {
                 context.bundleID.reset();
             }},
        {.name = "inserted into an unknown application",
         .rememberedApp = std::nullopt,
         .arrange =
             [](LearnerRig &, FocusContext &) {
             }},
        {.name = "a password field",
         .arrange =
             [](LearnerRig &, FocusContext &context) {
                 context.isSecureField = true;
             }},
        {.name = "no field text",
         .arrange =
             [](LearnerRig &, FocusContext &context) {
                 context.fieldText.reset();
             }},
        {.name = "an empty field",
         .arrange =
             [](LearnerRig &, FocusContext &context) {
                 context.fieldText = QString();
             }},
        {.name = "the text as it was inserted",
         .arrange =
             [](LearnerRig &, FocusContext &context) {
                 context = LearnerRig::field(inserted);
             }},
        {.name = "the text no longer there",
         .arrange =
             [](LearnerRig &, FocusContext &context) {
                 context = LearnerRig::field(QStringLiteral("Something else entirely, longer."));
             }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LearnerRig rig;
        rig.learner->remember(inserted, c.rememberedApp);
        FocusContext context = LearnerRig::field(corrected);
        c.arrange(rig, context);
        rig.learner->checkAndSend(context);
        EXPECT_FALSE(rig.learner->hasPending());
        rig.settle();

        rig.signIn();
        rig.settings->setCloudLearning(true);
        rig.learner->checkAndSend(LearnerRig::field(corrected));
        rig.settle();
        QTest::qWait(20);
        EXPECT_EQ(rig.uploads(), 0u);
        EXPECT_TRUE(rig.reporter.events.isEmpty());
        EXPECT_TRUE(rig.correctionLines().isEmpty());
    }
}

TEST(CorrectionLearner, WithLearningOffNothingIsRememberedAndAnEarlierTextStays)
{
    LearnerRig rig;
    rig.settings->setCloudLearning(false);
    rig.learner->remember(inserted, editor);
    EXPECT_FALSE(rig.learner->hasPending());

    rig.settings->setCloudLearning(true);
    rig.learner->remember(inserted, editor);
    rig.settings->setCloudLearning(false);
    rig.learner->remember(QStringLiteral("A later dictation here."), editor);
    rig.settings->setCloudLearning(true);
    rig.learner->checkAndSend(LearnerRig::field(corrected));
    rig.settle();
    ASSERT_EQ(rig.uploads(), 1u);
    EXPECT_EQ(bodyOf(rig.service.requests(correctionPath).at(0))
                  .value(QStringLiteral("original"))
                  .toString(),
              inserted);
}

TEST(CorrectionLearner, AnEditIsLookedForUpToHalfAnHourAfterTheInsertion)
{
    struct Case
    {
        const char *name;
        std::chrono::milliseconds after;
        bool sent;
    };
    const QList<Case> cases = {
        {"at once", 0ms, true},
        {"exactly 1800 s", 1800s, true},
        {"1 ms more", 1800s + 1ms, false},
        {"31 minutes", 31min, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LearnerRig rig;
        rig.learner->remember(inserted, editor);
        rig.clock.advance(c.after);
        rig.learner->checkAndSend(LearnerRig::field(corrected));
        rig.settle();
        EXPECT_EQ(rig.uploads(), c.sent ? 1u : 0u);
        EXPECT_EQ(rig.reporter.events.size(), c.sent ? 1 : 0);
    }
}

// Ten uploads a calendar day. An edit found after the tenth upload was counted (two checks under
// way together) is still recorded but not uploaded; once the count is full no edit is looked
// for, until the local day changes.
TEST(CorrectionLearner, TenUploadsADayAndAFreshCountAtMidnight)
{
    LearnerRig rig;
    for (int i = 0; i < 9; ++i) {
        rig.correct();
    }
    ASSERT_EQ(rig.uploads(), 9u);

    {
        PoolHold hold;
        rig.learner->remember(inserted, editor);
        rig.learner->checkAndSend(LearnerRig::field(corrected));
        rig.learner->remember(inserted, editor);
        rig.learner->checkAndSend(LearnerRig::field(corrected));
    }
    rig.settle();
    EXPECT_EQ(rig.uploads(), 10u);
    EXPECT_EQ(rig.reporter.events.size(), 11);

    const QDate today = rig.clock.now().toLocalTime().date();
    const QDateTime midnight(today.addDays(1), QTime(0, 0), Qt::LocalTime);
    rig.clock.setNow(midnight.addMSecs(-1).toUTC());
    rig.correct();
    EXPECT_EQ(rig.uploads(), 10u) << "the last millisecond of the day";
    EXPECT_EQ(rig.reporter.events.size(), 11) << "a full count looks for no edit";

    rig.clock.setNow(midnight.toUTC());
    rig.correct();
    EXPECT_EQ(rig.uploads(), 11u) << "the first millisecond of the next day";
    EXPECT_EQ(rig.reporter.events.size(), 12);
}

TEST(CorrectionLearner, TheUploadIsLoggedWhateverTheAnswerAndNeverRetried)
{
    struct Case
    {
        const char *name;
        Reply reply;
        bool testerMode = false;
        QStringList lines;
    };
    Reply dropped;
    dropped.body = std::string(2000, 'x');
    dropped.dropMidBody = true;
    const QString sent = QStringLiteral("correction: sent status=%1 origLen=21 fixedLen=20");
    const QList<Case> cases = {
        {"accepted", Reply::json("{}"), false, {sent.arg(200)}},
        {"refused", Reply::json("{}", 401), false, {sent.arg(401)}},
        {"unavailable", Reply::json("oops", 503), false, {sent.arg(503)}},
        {"connection dropped", dropped, false, {"correction: send failed (network)"}},
        {"tester mode shows the pair",
         Reply::json("{}"),
         true,
         {QStringLiteral("correction: pair 「") + inserted + QStringLiteral("」→「") + corrected
              + QStringLiteral("」"),
          sent.arg(200)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LearnerRig rig;
        rig.service.respond(correctionPath, c.reply);
        rig.defaults.setValue(QStringLiteral("testerModeEnabled"), c.testerMode);
        rig.correct();
        QTest::qWait(50);
        EXPECT_EQ(rig.uploads(), 1u);
        EXPECT_EQ(rig.correctionLines(), c.lines);
    }
}

TEST(CorrectionLearner, AServiceThatCannotBeReachedIsLoggedOnce)
{
    LearnerRig rig;
    CloudSession nowhere(QUrl(QStringLiteral("http://127.0.0.1:1")));
    CorrectionLearner learner({rig.settings.settings.get(), &rig.account, &nowhere, &rig.defaults,
                               &rig.clock, &rig.reporter});
    learner.remember(inserted, editor);
    learner.checkAndSend(LearnerRig::field(corrected));
    ASSERT_TRUE(QTest::qWaitFor([&] { return learner.checksInFlight() == 0; }, 5000));
    EXPECT_EQ(rig.correctionLines(),
              QStringList {QStringLiteral("correction: send failed (network)")});
}

// The learner may go while it compares in the background; its work then ends quietly.
TEST(CorrectionLearner, ALearnerGoneDuringTheComparisonSendsNothing)
{
    LearnerRig rig;
    {
        PoolHold hold;
        rig.learner->remember(inserted, editor);
        rig.learner->checkAndSend(LearnerRig::field(corrected));
        rig.learner.reset();
    }
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(50);
    EXPECT_EQ(rig.uploads(), 0u);
    EXPECT_TRUE(rig.reporter.events.isEmpty());
}

TEST(CorrectionLearner, DayKeysAndDeltaBuckets)
{
    EXPECT_EQ(CorrectionLearner::dayKey(QDate(2026, 3, 7)), QStringLiteral("2026-3-7"));
    EXPECT_EQ(CorrectionLearner::dayKey(QDate(2026, 12, 31)), QStringLiteral("2026-12-31"));

    struct Case
    {
        qsizetype original;
        qsizetype corrected;
        const char *bucket;
    };
    const QList<Case> cases = {
        {40, 40, "0"},    {40, 41, "1-3"}, {40, 37, "1-3"}, {40, 44, "4-10"},
        {40, 30, "4-10"}, {40, 51, "11+"}, {40, 29, "11+"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CorrectionLearner::deltaBucket(c.original, c.corrected),
                  QString::fromLatin1(c.bucket))
            << c.original << " -> " << c.corrected;
    }
}

// The learner in the real controller and pipeline: a cloud-cleaned dictation is inserted, the user
// changes a word, and the next recording in the same application sends the change.
TEST(CorrectionLearnerInPipeline, TheNextRecordingSendsTheUsersCorrection)
{
    FakeCloudService service;
    CloudSession session {service.baseURL()};
    DictationRig rig;
    FakeUrlOpener opener;
    CloudAccount account {CloudAccount::Services {&rig.keychain, &session, &opener}};
    CorrectionLearner learner(
        {&rig.appSettings(), &account, &session, &rig.defaults, &rig.clock, &rig.reporter});
    rig.replaceLearner(&learner);
    rig.signIn();
    rig.appSettings().setCleanupMode(CleanupMode::cloud);
    rig.cleanup.transform = [](const QString &) {
        return inserted;
    };

    rig.startHeld();
    rig.say(EngineUpdate::makeFinalized(QStringLiteral("see you at nine then")));
    rig.releaseAfter(1s);
    ASSERT_TRUE(learner.hasPending()) << rig.insertion.calls.join(QLatin1Char('\n')).toStdString();

    FocusContext edited = rig.focus;
    edited.fieldText = QStringLiteral("Hi,\n") + corrected;
    rig.setFocus(edited);
    rig.advance(10min);
    rig.startHeld();
    ASSERT_TRUE(service.waitForRequests(correctionPath, 1));
    const QJsonObject body = bodyOf(service.requests(correctionPath).at(0));
    EXPECT_EQ(body.value(QStringLiteral("original")).toString(), inserted);
    EXPECT_EQ(body.value(QStringLiteral("corrected")).toString(), corrected);
    EXPECT_TRUE(rig.reporter.eventNames().contains(QStringLiteral("cleanup.edited")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return learner.checksInFlight() == 0; }, 5000));
    EXPECT_EQ(rig.logLines(QStringLiteral("correction: ")),
              QStringList {QStringLiteral("correction: sent status=200 origLen=21 fixedLen=20")});

    rig.c().holdKeyUp(DictationTask::cleanup);
    rig.waitIdle();
    // The controller must not outlive the learner it calls.
    rig.replaceLearner(nullptr);
}

} // namespace
