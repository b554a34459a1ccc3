#include "UI/AnswerCard/AnswerCardController.h"

#include "Core/DictationRig.h"
#include "Fakes/FakeAnswerSpeaker.h"
#include "Fakes/FakeOverlayWindowing.h"
#include "Fakes/FakePasteboard.h"
#include "Support/L10n.h"
#include "UI/AnswerCard/AnswerCardLayout.h"
#include "UI/AnswerCard/AnswerCardModel.h"
#include "UI/AnswerCard/AnswerCardPanel.h"

#include "TestSupport/QuickItems.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using State = DictationState;

namespace {

// The real card and its views over a dictation controller on fakes, a fake speaker, a fake
// clipboard and a fake desktop, on a manual clock.
struct CardRig
{
    DictationRig dictation;
    FakeOverlayWindowing windowing;
    FakePasteboard pasteboard;
    FakeAnswerSpeaker *speaker = nullptr;
    // What the sign-in button's hand-off to the browser answers, and how often it ran.
    bool browserOpens = true;
    int signIns = 0;
    std::unique_ptr<AnswerCardController> card;

    CardRig()
    {
        L10n::shared().apply(QStringLiteral("en"));
        auto fake = std::make_unique<FakeAnswerSpeaker>();
        speaker = fake.get();
        AnswerCardController::Services services;
        services.settings = dictation.settings.settings.get();
        services.l10n = &L10n::shared();
        services.clock = &dictation.clock;
        services.windowing = &windowing;
        services.pasteboard = &pasteboard;
        services.controller = dictation.controller.get();
        services.signIn = [this] {
            ++signIns;
            return browserOpens;
        };
        card = std::make_unique<AnswerCardController>(services, std::move(fake));
    }

    ~CardRig()
    {
        if (card) {
            EXPECT_TRUE(card->qmlWarnings().isEmpty())
                << card->qmlWarnings().join(u'\n').toStdString();
        }
        card.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        L10n::shared().apply(QStringLiteral("en"));
    }

    AnswerCardPanel &panel()
    {
        AnswerCardPanel *panel = card->panel();
        EXPECT_NE(panel, nullptr);
        return *panel;
    }

    void settle()
    {
        QCoreApplication::processEvents();
        QTest::qWait(1);
        QCoreApplication::processEvents();
    }

    // Shows an answer and lets it finish sliding in.
    AnswerCardPanel &showAnswer(const QString &answer,
                                const QString &question = QStringLiteral("What time is it?"))
    {
        card->show(question, answer);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(card->panel()));
        dictation.clock.advance(AnswerCardLayout::fadeInDuration
                                + 2 * AnswerCardController::frameInterval);
        settle();
        return panel();
    }

    QQuickItem *item(const char *name)
    {
        return card->panel() ? findVisible(card->panel()->contentItem(), QString::fromLatin1(name))
                             : nullptr;
    }

    QString title(const char *button)
    {
        QQuickItem *label = findVisible(item(button), QStringLiteral("title"));
        return label ? label->property("text").toString() : QStringLiteral("<missing>");
    }

    // A real click at the centre of the item, through the window's hit-testing.
    void click(const char *name)
    {
        QQuickItem *target = item(name);
        ASSERT_NE(target, nullptr) << name;
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(card->panel(), Qt::LeftButton, {}, centre.toPoint());
        settle();
    }
};

} // namespace

TEST(AnswerCardController, TheCardSlidesUpWhileItFadesInAtItsPlaceBelowTheTopOfTheScreen)
{
    CardRig rig;
    rig.card->show(QStringLiteral("What time is it?"), QStringLiteral("It is twelve past nine."));
    ASSERT_TRUE(rig.card->isShowing());
    AnswerCardPanel &panel = rig.panel();
    // The fake screen's available area is (0, 25, 1440, 875): a gap of 105 below its top.
    const QRect frame = AnswerCardLayout::finalFrame({0, 25, 1440, 875}, 460, panel.height());
    EXPECT_EQ(panel.width(), 460);
    EXPECT_EQ(frame.topLeft(), QPoint(490, 130));
    EXPECT_EQ(panel.position(), frame.topLeft() + QPoint(0, 8));
    EXPECT_EQ(panel.opacity(), 0);
    EXPECT_EQ(rig.windowing.calls,
              QStringList({"prepare clicks", QStringLiteral("clip 460x%1 r=18").arg(panel.height()),
                           "beforeShow"}));

    rig.dictation.clock.advance(110ms);
    EXPECT_GT(panel.opacity(), 0.5) << "the fade eases out: most of it happens early";
    EXPECT_LT(panel.opacity(), 1);
    EXPECT_LT(panel.y(), frame.y() + 8);
    // The frames come at their own pace: the first one after the end of the fade settles it.
    rig.dictation.clock.advance(110ms + AnswerCardController::frameInterval);
    EXPECT_EQ(panel.opacity(), 1);
    EXPECT_EQ(panel.position(), frame.topLeft());

    // The window is exactly as high as its content.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    EXPECT_EQ(panel.height(), int(std::ceil(panel.rootObject()->implicitHeight())));
    EXPECT_EQ(rig.title("copyButton"), QStringLiteral("Copy"));
    EXPECT_EQ(rig.title("speakButton"), QStringLiteral("Read Aloud"));
    EXPECT_EQ(rig.title("askAgainButton"), QStringLiteral("Ask Again"));
    EXPECT_EQ(rig.item("question")->property("text").toString(),
              QStringLiteral("What time is it?"));
}

TEST(AnswerCardController, WithoutAScreenOrWithACompositorTheCardStillPlacesAndDrawsItself)
{
    CardRig rig;
    rig.windowing.screen.reset();
    rig.windowing.translucent = true;
    rig.showAnswer(QStringLiteral("Yes."));
    AnswerCardPanel &panel = rig.panel();
    EXPECT_EQ(panel.position(), QPoint(410, 96));
    EXPECT_EQ(panel.width(), 460);
    EXPECT_EQ(panel.color(), QColor(Qt::transparent));
    EXPECT_TRUE(rig.windowing.calls.contains(QStringLiteral("clip none")));
}

TEST(AnswerCardController, WithThePointerOnNoScreenTheCardComesUpOnTheMainScreen)
{
    CardRig rig;
    rig.windowing.screen.reset();
    rig.windowing.main =
        OverlayWindowing::ScreenArea {{1440, 0, 1920, 1080}, {1440, 30, 1920, 1050}};
    rig.showAnswer(QStringLiteral("Yes."));
    // Centred on the main screen, 126 below the top of its available area.
    EXPECT_EQ(rig.panel().position(), QPoint(2170, 156));
}

TEST(AnswerCardController, QuittingWhileCardsFadeInOrOutFreesEachWindowOnce)
{
    struct Case
    {
        const char *name;
        bool earlierCardFadingOut;
    };
    const Case cases[] = {
        {"a card fading in", false},
        {"a card fading in while the one before fades out", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CardRig rig;
        QPointer<AnswerCardPanel> earlier;
        if (c.earlierCardFadingOut) {
            earlier = &rig.showAnswer(QStringLiteral("First."));
            rig.card->dismiss();
        }
        rig.card->show(QStringLiteral("What time is it?"), QStringLiteral("Nine."));
        QPointer<AnswerCardPanel> current = rig.card->panel();
        rig.dictation.clock.advance(AnswerCardLayout::fadeInDuration / 4);
        ASSERT_TRUE(current);
        ASSERT_GT(current->opacity(), 0);
        ASSERT_LT(current->opacity(), 1) << "the card is still fading in";

        rig.card.reset();
        EXPECT_TRUE(current.isNull());
        EXPECT_TRUE(earlier.isNull());
    }
}

TEST(AnswerCardController, TextsFromSpeechAndTheServiceAreShownAsTheyCameNeverAsMarkup)
{
    CardRig rig;
    const QString question = QStringLiteral("<b>Hi</b> &amp; <i>there</i>");
    const QString answer = QStringLiteral("<h1>Big</h1><img src=\"http://127.0.0.1:1/x.png\">");
    rig.showAnswer(answer, question);

    // The header is as wide as the literal characters, tags and entity included.
    QQuickItem *header = rig.item("question");
    ASSERT_NE(header, nullptr);
    const QFontMetricsF metrics(header->property("font").value<QFont>());
    EXPECT_NEAR(header->implicitWidth(), metrics.horizontalAdvance(question), 1.0);
    EXPECT_EQ(header->property("text").toString(), question);

    QQuickItem *text = rig.item("answerText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->property("text").toString(), answer);
    EXPECT_EQ(text->property("lineCount").toInt(), 1) << "a heading would be a block of its own";
}

TEST(AnswerCardController, AMegabyteAnswerIsCutWithAMarkWhileCopyTakesItWhole)
{
    CardRig rig;
    const QString sentence = QStringLiteral("The old bridge still carries the road. ");
    const QString answer = sentence.repeated(1024 * 1024 / sentence.size() + 1);
    rig.showAnswer(answer);
    AnswerCardModel *model = rig.card->model();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->answer(), answer);
    const QString shown = model->shownAnswer();
    EXPECT_LE(shown.size(), AnswerCardLayout::maxShownCharacters + 1);
    EXPECT_TRUE(shown.endsWith(AnswerCardLayout::cutMark));
    EXPECT_TRUE(answer.startsWith(shown.chopped(1)));
    EXPECT_EQ(rig.item("answerText")->property("text").toString(), shown);
    EXPECT_TRUE(model->scrolls());

    rig.click("copyButton");
    EXPECT_EQ(rig.pasteboard.content,
              Pasteboard::Snapshot({{{Pasteboard::plainTextType, answer.toUtf8()}}}));
}

TEST(AnswerCardController, AnswersOfEveryLengthAndScriptFitTheirTextAreaWithoutOverflow)
{
    const QString paragraph = QStringLiteral(
        "Sunrise is at six forty, and the forecast says light rain after noon with some wind. ");
    struct Case
    {
        const char *name;
        QString answer;
        bool scrolls;
    };
    const Case cases[] = {
        {"empty", QString(), false},
        {"paragraphs", paragraph.repeated(4) + QStringLiteral("\n\n") + paragraph, false},
        {"right to left",
         QStringLiteral("השקיעה היום בשעה שבע ועשרים, ומחר צפוי גשם קל אחרי "
                        "הצהריים עם רוח מתונה מכיוון מערב."),
         false},
        {"CJK",
         QString(QStringLiteral("明日の東京は晴れのち曇り、最高気温は二十三度の予想です。"))
             .repeated(5),
         false},
        {"100,000 characters", paragraph.repeated(100000 / paragraph.size() + 1).left(100000),
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CardRig rig;
        rig.showAnswer(c.answer);
        AnswerCardModel *model = rig.card->model();
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->scrolls(), c.scrolls);

        QQuickItem *text = rig.item("answerText");
        QQuickItem *area = rig.item("answerArea");
        ASSERT_NE(text, nullptr);
        ASSERT_NE(area, nullptr);
        const qreal drawn = text->property("contentHeight").toReal();
        // The text lies within the card's width, and what the card measured is what is drawn.
        EXPECT_LE(text->property("contentWidth").toReal(), text->width() + 0.5);
        EXPECT_LE(text->x() + text->width(), rig.panel().width() - 20 + 0.5);
        if (!c.scrolls) {
            EXPECT_LE(drawn, model->scrollHeight() - 4);
        }
        // An empty text is drawn one plain line high, without the spacing below it.
        if (!c.scrolls && !c.answer.isEmpty()) {
            EXPECT_NEAR(drawn, model->scrollHeight() - 4, 1.0);
        }
        EXPECT_EQ(area->height(), model->scrollHeight() + (c.scrolls ? 28 : 4));
        EXPECT_EQ(rig.item("hairlineAbove") != nullptr, c.scrolls);
        EXPECT_EQ(rig.item("hairlineBelow") != nullptr, c.scrolls);
        if (c.scrolls) {
            EXPECT_EQ(model->scrollHeight(), 438);
            EXPECT_GT(drawn, area->height()) << "a scrolling answer is taller than its area";
        }
        // The card fits on the screen.
        EXPECT_LE(rig.panel().height(), 875 - 105);
    }
}

TEST(AnswerCardController, CopyPutsTheAnswerOnTheClipboardAndSaysCopiedForTwoSecondsAfterTheLast)
{
    CardRig rig;
    const QString answer = QStringLiteral("Paris is the capital of France.");
    rig.showAnswer(answer);

    rig.click("copyButton");
    ASSERT_EQ(rig.pasteboard.writes.size(), 1);
    EXPECT_EQ(rig.pasteboard.content,
              Pasteboard::Snapshot({{{Pasteboard::plainTextType, answer.toUtf8()}}}));
    EXPECT_EQ(rig.title("copyButton"), QStringLiteral("Copied"));
    EXPECT_NE(findVisible(rig.item("copyButton"), QStringLiteral("check")), nullptr);

    rig.dictation.clock.advance(1s);
    rig.click("copyButton");
    EXPECT_EQ(rig.pasteboard.writes.size(), 2);
    rig.dictation.clock.advance(2s - 1ms);
    rig.settle();
    EXPECT_EQ(rig.title("copyButton"), QStringLiteral("Copied"));
    rig.dictation.clock.advance(1ms);
    rig.settle();
    EXPECT_EQ(rig.title("copyButton"), QStringLiteral("Copy"));
    EXPECT_EQ(findVisible(rig.item("copyButton"), QStringLiteral("check")), nullptr);
    EXPECT_TRUE(rig.card->isShowing()) << "copying does not close the card";
}

TEST(AnswerCardController, ReadAloudReadsAndStopsAndFollowsTheSpeakerAndNewRecordings)
{
    CardRig rig;
    const QString answer = QStringLiteral("The train leaves at eight.");
    rig.showAnswer(answer);
    rig.speaker->calls.clear();

    rig.click("speakButton");
    EXPECT_EQ(rig.speaker->calls, QStringList({"speak " + answer}));
    EXPECT_EQ(rig.title("speakButton"), QStringLiteral("Stop"));
    // The reading ends by itself: the button follows without a click.
    rig.speaker->finish();
    rig.settle();
    EXPECT_EQ(rig.title("speakButton"), QStringLiteral("Read Aloud"));

    rig.click("speakButton");
    rig.click("speakButton");
    EXPECT_EQ(rig.speaker->calls, QStringList({"speak " + answer, "speak " + answer, "stop"}));
    EXPECT_EQ(rig.title("speakButton"), QStringLiteral("Read Aloud"));

    // A new recording silences the reading.
    rig.click("speakButton");
    rig.dictation.c().setSessionTask(DictationTask::cleanup);
    rig.dictation.startMenu();
    ASSERT_EQ(rig.dictation.c().state(), State::recording);
    EXPECT_FALSE(rig.speaker->isSpeaking());
    rig.settle();
    EXPECT_EQ(rig.title("speakButton"), QStringLiteral("Read Aloud"));
    rig.dictation.c().cancel(true);

    // The language follows a switch at once.
    L10n::shared().apply(QStringLiteral("de"));
    rig.settle();
    EXPECT_NE(rig.title("speakButton"), QStringLiteral("Read Aloud"));
}

TEST(AnswerCardController, AskAgainClosesTheCardAndActsByTheDictationState)
{
    enum class Setup { idle, recording, processing, paused };
    struct Case
    {
        const char *name;
        Setup setup;
        State after;
        DictationTask task;
    };
    const Case cases[] = {
        {"idle starts an ask session from the menu", Setup::idle, State::recording,
         DictationTask::ask},
        {"recording finishes the session", Setup::recording, State::processing,
         DictationTask::cleanup},
        {"processing only closes", Setup::processing, State::processing, DictationTask::cleanup},
        {"paused only closes", Setup::paused, State::idle, DictationTask::cleanup},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CardRig rig;
        DictationController &controller = rig.dictation.c();
        controller.setSessionTask(DictationTask::cleanup);
        switch (c.setup) {
        case Setup::idle:
            break;
        case Setup::recording:
            // The finished session waits in its cleanup, so the state can be read afterwards.
            rig.dictation.cleanup.gate = std::make_shared<TestGate>();
            rig.dictation.startMenu();
            rig.dictation.say(EngineUpdate::makeFinalized(QStringLiteral("words")));
            break;
        case Setup::processing:
            rig.dictation.cleanup.gate = std::make_shared<TestGate>();
            rig.dictation.startMenu();
            rig.dictation.say(EngineUpdate::makeFinalized(QStringLiteral("words")));
            controller.stopAndInsert();
            ASSERT_EQ(controller.state(), State::processing);
            break;
        case Setup::paused:
            controller.setPaused(true);
            break;
        }
        rig.showAnswer(QStringLiteral("An answer."));
        rig.click("askAgainButton");
        EXPECT_FALSE(rig.card->isShowing());
        EXPECT_EQ(controller.state(), c.after);
        EXPECT_EQ(controller.sessionTask(), c.task);
        if (c.after == State::recording) {
            EXPECT_EQ(controller.sessionTrigger(), DictationTrigger::menu);
        }
        if (rig.dictation.cleanup.gate) {
            rig.dictation.cleanup.gate->open();
        }
        controller.cancel(true);
        rig.dictation.waitIdle();
    }
}

TEST(AnswerCardController, CloseAndEscapeFadeTheCardOutWhileItCountsAsGoneAtOnce)
{
    CardRig rig;
    QSignalSpy showing(rig.card.get(), &AnswerCardController::isShowingChanged);
    QPointer<AnswerCardPanel> panel = &rig.showAnswer(QStringLiteral("Done."));
    rig.speaker->speak(QStringLiteral("Done."));
    rig.speaker->calls.clear();

    rig.click("closeButton");
    EXPECT_FALSE(rig.card->isShowing());
    EXPECT_EQ(showing.count(), 2);
    EXPECT_EQ(rig.speaker->calls, QStringList({"stop"}));
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible()) << "the card disappears only after its fade";
    rig.dictation.clock.advance(45ms);
    EXPECT_GT(panel->opacity(), 0);
    EXPECT_LT(panel->opacity(), 1);
    rig.dictation.clock.advance(45ms + AnswerCardController::frameInterval);
    rig.settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(panel.isNull());

    // Dismissing without a card only stops the speech.
    rig.card->dismiss();
    EXPECT_EQ(rig.speaker->calls, QStringList({"stop", "stop (silent)"}));
    EXPECT_EQ(showing.count(), 2);

    // Escape typed into the card, should the desktop give it the keyboard.
    rig.showAnswer(QStringLiteral("Again."));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&rig.panel(), &escape);
    EXPECT_FALSE(rig.card->isShowing());
}

TEST(AnswerCardController, AnErrorReplacesTheAnswerAtOnceAndNamesTheAskKey)
{
    CardRig rig;
    QPointer<AnswerCardPanel> answerPanel = &rig.showAnswer(QStringLiteral("Long answer."));
    rig.speaker->speak(QStringLiteral("Long answer."));

    rig.dictation.settings->setAskKey(DictationHoldKey::rightShift);
    rig.card->showError();
    EXPECT_FALSE(rig.speaker->isSpeaking());
    ASSERT_TRUE(rig.card->isShowing());
    EXPECT_NE(rig.card->panel(), answerPanel.data());
    EXPECT_TRUE(answerPanel.isNull() || !answerPanel->isVisible())
        << "the answer did not go at once";
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.card->panel()));
    rig.settle();
    EXPECT_EQ(rig.item("errorTitle")->property("text").toString(),
              QStringLiteral("Didn't catch that"));
    EXPECT_EQ(rig.item("errorHint")->property("text").toString(),
              QStringLiteral("Hold Right Shift and speak again"));
    EXPECT_NE(rig.item("divider"), nullptr);
    EXPECT_EQ(rig.item("answerArea"), nullptr);
    EXPECT_EQ(rig.panel().width(), 460);

    rig.click("closeButton");
    EXPECT_FALSE(rig.card->isShowing());
}

// Signed out, the card's error state says that answers need an account and offers the sign-in.
// A browser that opens takes the card away; one that does not leaves it up, saying why, grown to
// the longer text.
TEST(AnswerCardController, TheSignInCardOffersTheSignInAndSaysWhenNoBrowserOpened)
{
    CardRig rig;
    rig.card->showSignInRequired();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.card->panel()));
    rig.settle();
    EXPECT_EQ(rig.item("errorTitle")->property("text").toString(),
              QStringLiteral("Asking needs sign-in"));
    EXPECT_EQ(rig.item("errorHint")->property("text").toString(),
              QStringLiteral("Answers come from the cloud. Sign in to ask anything."));
    EXPECT_EQ(rig.item("answerArea"), nullptr);
    EXPECT_EQ(rig.title("signInButton"), QStringLiteral("Sign in"));
    EXPECT_EQ(rig.windowing.calls.first(), QStringLiteral("prepare clicks"));
    const int shortHeight = rig.panel().height();

    rig.browserOpens = false;
    rig.click("signInButton");
    EXPECT_EQ(rig.signIns, 1);
    ASSERT_TRUE(rig.card->isShowing());
    rig.settle();
    EXPECT_EQ(rig.item("errorHint")->property("text").toString(),
              QStringLiteral("No web browser could be opened. Install one (or the xdg-utils "
                             "package) and try again."));
    // The longer hint is laid out on a later frame: until then the old height still matches.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return rig.panel().height() > shortHeight
            && rig.panel().height() == int(std::ceil(rig.panel().rootObject()->implicitHeight()));
    })) << "the card did not grow with its hint";
    EXPECT_GT(rig.panel().height(), shortHeight);

    rig.browserOpens = true;
    rig.click("signInButton");
    EXPECT_EQ(rig.signIns, 2);
    EXPECT_FALSE(rig.card->isShowing());

    // The card for nothing recognised offers no sign-in.
    rig.card->showError();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.card->panel()));
    rig.settle();
    EXPECT_EQ(rig.item("signInButton"), nullptr);
}

TEST(AnswerCardController, TheRetryHintNamesEachAskKeyInTheInterfaceLanguage)
{
    TestAppSettings settings {true};
    L10n::shared().apply(QStringLiteral("en"));
    const std::pair<DictationHoldKey, QString> cases[] = {
        // X11 never sees fn: the task has its default key.
        {DictationHoldKey::fn, QStringLiteral("Hold Right Alt and speak again")},
        {DictationHoldKey::rightCommand, QStringLiteral("Hold Right Super and speak again")},
        {DictationHoldKey::rightOption, QStringLiteral("Hold Right Alt and speak again")},
        {DictationHoldKey::rightControl, QStringLiteral("Hold Right Ctrl and speak again")},
        {DictationHoldKey::rightShift, QStringLiteral("Hold Right Shift and speak again")},
        {DictationHoldKey::none, QStringLiteral("Please try speaking again")},
    };
    for (const auto &[key, hint] : cases) {
        settings.settings->setAskKey(key);
        EXPECT_EQ(AnswerCardController::retryHint(*settings.settings, L10n::shared()), hint);
    }
    L10n::shared().apply(QStringLiteral("de"));
    settings.settings->setAskKey(DictationHoldKey::rightShift);
    const QString german = AnswerCardController::retryHint(*settings.settings, L10n::shared());
    EXPECT_FALSE(german.contains(QStringLiteral("%@")));
    EXPECT_TRUE(german.contains(L10n::shared().string(QStringLiteral("key.rightShift"))));
    L10n::shared().apply(QStringLiteral("en"));
}
