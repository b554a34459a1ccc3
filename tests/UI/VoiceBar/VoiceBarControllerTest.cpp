#include "UI/VoiceBar/VoiceBarController.h"

#include "Core/DictationRig.h"
#include "Core/IslandBridge.h"
#include "Core/QuotaNotice.h"
#include "Core/Transcription/SpeechLocaleNotifications.h"
#include "Core/Transcription/TranscriptionError.h"
#include "Fakes/FakeCompanionHost.h"
#include "Fakes/FakePasteboard.h"
#include "Fakes/FakeVoiceBarPanels.h"
#include "Platform/Qt/QtCompanionSocket.h"
#include "Support/L10n.h"
#include "UI/VoiceBar/VoiceBarModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>

using namespace std::chrono_literals;
using ScreenArea = OverlayWindowing::ScreenArea;

namespace {

const ScreenArea fullHD {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040)};

// The voice bar over a real dictation controller on fakes, with windows that only record.
class VoiceBarControllerTest : public testing::Test
{
protected:
    VoiceBarControllerTest() { L10n::shared().apply(QStringLiteral("en")); }
    ~VoiceBarControllerTest() override
    {
        bar.reset();
        L10n::shared().apply(std::nullopt);
    }

    void make(IslandBridge *bridge = nullptr)
    {
        VoiceBarController::Services services;
        services.controller = &rig.c();
        services.settings = &rig.appSettings();
        services.clock = &rig.clock;
        services.l10n = &L10n::shared();
        services.panels = &panels;
        services.bridge = bridge;
        services.localeNotices = &SpeechLocaleNotifications::shared();
        services.quotaNotice = &quota;
        services.screenUnderPointer = [this] {
            return pointerScreen;
        };
        services.mainScreen = [this] {
            return mainScreen;
        };
        bar = std::make_unique<VoiceBarController>(services);
    }

    void localeSwitched(const QString &name)
    {
        Q_EMIT SpeechLocaleNotifications::shared().speechLocaleSwitched(name);
    }

    // Fails the running session the way a broken speech engine does.
    void failSession()
    {
        rig.say(EngineUpdate::makeFinalized(QStringLiteral("some")));
        rig.engine().end(std::make_exception_ptr(TranscriptionError::sessionFailed()));
        rig.pump();
    }

    static QString sessionFailedText()
    {
        return TranscriptionError::sessionFailed().errorDescription();
    }

    // The frame line of a window placed on the full-HD screen in `style`.
    static QStringList shownSteps(const char *style)
    {
        return {QStringLiteral("made ") + QLatin1String(style),
                QLatin1String(qstrcmp(style, "notch") == 0 ? "frame 720,0 480x76"
                                                           : "frame 770,916 380x44"),
                QStringLiteral("front"), QStringLiteral("fade 1 140ms ease-out")};
    }

    DictationRig rig;
    FakeVoiceBarPanels panels;
    QuotaNotice quota {rig.clock};
    std::optional<ScreenArea> pointerScreen = fullHD;
    std::optional<ScreenArea> mainScreen;
    std::unique_ptr<VoiceBarController> bar;
};

} // namespace

TEST_F(VoiceBarControllerTest, TheBarShowsOnceForASessionAndFadesOutAtIdle)
{
    make();
    EXPECT_TRUE(panels.log.isEmpty()) << "nothing shows before a session";

    rig.startHeld();
    EXPECT_EQ(panels.of("bar1"), shownSteps("notch"));
    EXPECT_TRUE(bar->isShown());

    panels.take();
    rig.advance(1s);
    rig.c().holdKeyUp(DictationTask::cleanup);
    ASSERT_TRUE(rig.waitIdle());
    // Recording, processing and idle: one bar, faded out at idle.
    EXPECT_EQ(panels.bars, 1);
    EXPECT_EQ(panels.take(), QStringList({"bar1 fade 0 90ms default"}));
    EXPECT_FALSE(bar->isShown());
    EXPECT_EQ(bar->panel(), nullptr);

    rig.advance(89ms);
    EXPECT_TRUE(panels.log.isEmpty()) << "ordered out before its fade ended";
    rig.advance(1ms);
    EXPECT_EQ(panels.take(), QStringList({"bar1 out", "bar1 gone"}));
    EXPECT_EQ(rig.clock.activeTimerCount(), 0) << "a meter or fade timer was left running";
}

TEST_F(VoiceBarControllerTest, WithTheBarSwitchedOffOnlyErrorsShowAToast)
{
    rig.appSettings().setShowVoiceBar(false);
    make();
    rig.startHeld();
    localeSwitched(QStringLiteral("German"));
    quota.show();
    rig.pump();
    EXPECT_TRUE(panels.log.isEmpty()) << panels.log.join(u'\n').toStdString();

    failSession();
    EXPECT_EQ(panels.of("toast1"), shownSteps("notch"));
    ASSERT_EQ(panels.toastsShown.size(), 1);
    EXPECT_EQ(
        panels.toastsShown[0],
        (VoiceBarPanelFactory::Toast {sessionFailedText(), VoiceBarPanelFactory::Symbol::warning,
                                      VoiceBarPanelFactory::Tint::warn}));
    EXPECT_EQ(panels.bars, 0);
}

TEST_F(VoiceBarControllerTest, NoticesShowTheirTextsWithTheInfoSymbol)
{
    make();
    localeSwitched(QStringLiteral("German (Germany)"));
    rig.advance(VoiceBarController::toastHold);
    quota.show();
    rig.pump();
    using Factory = VoiceBarPanelFactory;
    EXPECT_EQ(panels.toastsShown,
              (QList<Factory::Toast> {
                  {QStringLiteral("Recognition language set to “German (Germany)”. You can change "
                                  "it in Settings → Dictation → Recognition language."),
                   Factory::Symbol::info, Factory::Tint::secondary},
                  {QStringLiteral("Daily cloud cleanup limit reached — using basic cleanup "
                                  "(resets at midnight UTC)."),
                   Factory::Symbol::info, Factory::Tint::secondary}}));
}

// Signed out, a translation inserts the words as spoken; the bar's notice says why, unless the
// bar is switched off. Signed in, no notice.
TEST_F(VoiceBarControllerTest, ASignedOutTranslationSaysThatTranslationNeedsSignIn)
{
    make();
    const auto translate = [this] {
        rig.startHeld(DictationTask::translate);
        rig.say(EngineUpdate::makeFinalized(QStringLiteral("good morning")));
        rig.releaseAfter(1s);
        rig.pump();
        rig.advance(VoiceBarController::toastHold);
    };
    const VoiceBarPanelFactory::Toast notice {
        QStringLiteral("Translation needs sign-in — inserted as spoken"),
        VoiceBarPanelFactory::Symbol::info, VoiceBarPanelFactory::Tint::secondary};

    translate();
    EXPECT_EQ(rig.insertion.calls.filter("paste").size(), 1) << "the words go in anyway";
    EXPECT_EQ(panels.toastsShown, QList<VoiceBarPanelFactory::Toast> {notice});

    rig.signIn();
    translate();
    rig.keychain.remove(QStringLiteral("cloudToken"));
    rig.appSettings().setShowVoiceBar(false);
    translate();
    EXPECT_EQ(rig.insertion.calls.filter("paste").size(), 3);
    EXPECT_EQ(panels.toastsShown.size(), 1) << "a notice while signed in or with the bar off";
}

TEST_F(VoiceBarControllerTest, AnErrorReplacesTheBarAtOnceAndItsToastHoldsThreeSeconds)
{
    make();
    rig.startHeld();
    panels.take();
    failSession();
    ASSERT_EQ(rig.c().state(), DictationState::idle);
    // The bar goes without a fade, the toast fades in; idle leaves the toast alone.
    QStringList expected = {"bar1 out", "bar1 gone"};
    for (const QString &step : shownSteps("notch")) {
        expected << QStringLiteral("toast1 ") + step;
    }
    EXPECT_EQ(panels.take(), expected);
    EXPECT_TRUE(bar->isShowingError());

    rig.advance(VoiceBarController::toastHold - 1ms);
    EXPECT_TRUE(panels.log.isEmpty());
    rig.advance(1ms);
    EXPECT_EQ(panels.take(), QStringList({"toast1 fade 0 90ms default"}));
    rig.advance(VoiceBarController::fadeOutDuration);
    EXPECT_EQ(panels.take(), QStringList({"toast1 out", "toast1 gone"}));
    EXPECT_EQ(panels.bars, 1) << "the bar came back after the session had ended";
    EXPECT_FALSE(bar->isShown());
    EXPECT_FALSE(bar->isShowingError());
}

// A notice at the start of a recording used to hide the bar for the rest of it: the toast's end
// only faded the toast out, and nothing showed the bar again until the next session.
TEST_F(VoiceBarControllerTest, AToastThatEndsWhileTheSessionRunsGivesThePlaceBackToTheBar)
{
    make();
    rig.startHeld();
    localeSwitched(QStringLiteral("English (United States)"));
    EXPECT_EQ(panels.of("bar1").mid(4), QStringList({"out", "gone"}));
    QSignalSpy levels(&bar->model(), &VoiceBarModel::levelsChanged);
    rig.advance(VoiceBarController::meterInterval);
    EXPECT_EQ(levels.size(), 1) << "the meter stops under a toast that covers the bar";

    panels.take();
    rig.advance(VoiceBarController::toastHold);
    rig.advance(VoiceBarController::fadeOutDuration);
    QStringList expected = {"toast1 fade 0 90ms default"};
    for (const QString &step : shownSteps("notch")) {
        expected << QStringLiteral("bar2 ") + step;
    }
    expected << QStringLiteral("toast1 out") << QStringLiteral("toast1 gone");
    EXPECT_EQ(panels.take(), expected);
    EXPECT_TRUE(bar->isShown());
    EXPECT_FALSE(bar->isShowingError());

    // The bar is the session's again: it fades out at idle.
    rig.c().holdKeyUp(DictationTask::cleanup);
    ASSERT_TRUE(rig.waitIdle());
    EXPECT_TRUE(panels.log.contains(QStringLiteral("bar2 fade 0 90ms default")));
}

TEST_F(VoiceBarControllerTest, ASecondToastReplacesTheFirstAndIsHeldAFullThreeSeconds)
{
    make();
    quota.show();
    rig.pump();
    rig.advance(2s);
    localeSwitched(QStringLiteral("French"));
    EXPECT_EQ(panels.of("toast1"), shownSteps("notch") + QStringList({"out", "gone"}));
    EXPECT_EQ(panels.of("toast2"), shownSteps("notch"));
    panels.take();
    rig.advance(VoiceBarController::toastHold - 1ms);
    EXPECT_TRUE(panels.log.isEmpty()) << "the first toast's hold ended the second";
    rig.advance(1ms);
    EXPECT_EQ(panels.take(), QStringList({"toast2 fade 0 90ms default"}));
}

TEST_F(VoiceBarControllerTest, ANewSessionReplacesAToastAtOnce)
{
    make();
    quota.show();
    rig.pump();
    panels.take();
    rig.startHeld();
    QStringList expected = {"toast1 out", "toast1 gone"};
    for (const QString &step : shownSteps("notch")) {
        expected << QStringLiteral("bar1 ") + step;
    }
    EXPECT_EQ(panels.take(), expected);
    EXPECT_FALSE(bar->isShowingError());
    // The dismissed toast's hold does not reach the bar.
    rig.advance(VoiceBarController::toastHold);
    EXPECT_FALSE(panels.log.contains(QStringLiteral("bar1 fade 0 90ms default")));
    EXPECT_TRUE(bar->isShown());
}

TEST_F(VoiceBarControllerTest, TheStyleIsReadWhenAWindowIsMade)
{
    make();
    rig.startHeld();
    panels.take();
    rig.appSettings().setVoiceBarStyle(VoiceBarStyle::classic);
    rig.pump();
    EXPECT_TRUE(panels.log.isEmpty()) << "a style change redrew the bar on screen";
    quota.show();
    rig.pump();
    EXPECT_EQ(panels.of("toast1"), shownSteps("classic"));
}

TEST_F(VoiceBarControllerTest, TheCompanionHostTakingOverHidesTheBarAndGivesItBackFresh)
{
    FakeCompanionHost host;
    FakePasteboard pasteboard;
    IslandBridge::Services services;
    services.clock = &rig.clock;
    services.socket = std::make_unique<QtCompanionSocket>();
    services.history = &rig.history;
    services.pasteboard = &pasteboard;
    services.socketPath = host.socketPath();
    services.appID = QStringLiteral("org.sonorvelle.Sonorvelle");
    IslandBridge bridge(std::move(services));
    ASSERT_TRUE(host.start());
    bridge.start(&rig.c(), &rig.appSettings());
    DictationRig::pump();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bridge.isConnected(); }, 2000));
    make(&bridge);

    rig.startHeld();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bridge.handedOver(); }, 2000));
    EXPECT_TRUE(panels.log.contains(QStringLiteral("bar1 fade 0 90ms default")))
        << panels.log.join(u'\n').toStdString();
    EXPECT_FALSE(bar->isShown());
    rig.advance(VoiceBarController::meterInterval * 3);

    host.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bridge.handedOver(); }, 5000));
    EXPECT_EQ(panels.of("bar2"), shownSteps("notch"));
    EXPECT_EQ(bar->model().levels(), QList<float>(VoiceBarModel::levelCount, 0.0f));
    EXPECT_EQ(rig.c().state(), DictationState::recording);
    bar.reset();
}

// Twenty levels between two ticks: the newest twelve are drawn one per tick, oldest first; then the
// current level repeats until new ones come.
TEST_F(VoiceBarControllerTest, TheMeterDrawsTheNewestTwelveLevelsOnePerTick)
{
    make();
    rig.startHeld();
    QList<float> arrived;
    QObject::connect(&rig.c(), &DictationController::levelChanged,
                     [&](float level) { arrived << level; });
    for (int i = 1; i <= 20; ++i) {
        std::vector<float> samples(4096, float(i) / 25.0f);
        AudioBuffer buffer {48000, 1, samples};
        ASSERT_TRUE(rig.audioScript.engines.last()->deliver(buffer));
        rig.pump();
    }
    ASSERT_TRUE(DictationRig::waitUntil([&] { return arrived.size() >= 20; }))
        << arrived.size() << " levels arrived";

    const QList<float> newest = arrived.mid(arrived.size() - 12);
    QList<float> drawn;
    for (int tick = 0; tick < 14; ++tick) {
        rig.advance(VoiceBarController::meterInterval);
        drawn << bar->model().levels().last();
    }
    EXPECT_EQ(drawn.mid(0, 12), newest);
    EXPECT_EQ(drawn.mid(12), QList<float>({rig.c().level(), rig.c().level()}));
    EXPECT_EQ(bar->model().levels().size(), VoiceBarModel::levelCount);
}

TEST_F(VoiceBarControllerTest, TheWindowGoesToThePointersScreenElseTheMainScreenElseStaysPut)
{
    const ScreenArea second {QRect(1920, 0, 1280, 800), QRect(1920, 0, 1280, 800)};
    struct Case
    {
        const char *name;
        std::optional<ScreenArea> pointer;
        std::optional<ScreenArea> main;
        QStringList frames;
    };
    const QList<Case> cases = {
        {"pointer's screen", second, fullHD, {"frame 2320,0 480x76"}},
        {"main screen", std::nullopt, fullHD, {"frame 720,0 480x76"}},
        {"no screen", std::nullopt, std::nullopt, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        pointerScreen = c.pointer;
        mainScreen = c.main;
        panels.take();
        make();
        quota.show();
        rig.advance(QuotaNotice::interval);
        QStringList frames;
        for (const QString &line : panels.log) {
            if (line.contains(QStringLiteral(" frame "))) {
                frames << line.section(u' ', 1);
            }
        }
        EXPECT_EQ(frames, c.frames);
        EXPECT_TRUE(panels.log.join(u'\n').contains(QStringLiteral(" front")))
            << "the toast was not shown";
        bar.reset();
    }
}
