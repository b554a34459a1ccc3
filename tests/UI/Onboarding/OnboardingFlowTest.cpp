#include "UI/Onboarding/OnboardingFlow.h"

#include "Base/ManualClock.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Kind = OKStep::Kind;

namespace {

OKStrings strings()
{
    OKStrings s;
    s.continueTitle = [] {
        return QStringLiteral("Continue");
    };
    s.startTitle = [] {
        return QStringLiteral("Get Started");
    };
    s.waiting = [] {
        return QStringLiteral("Waiting");
    };
    s.later = [] {
        return QStringLiteral("Later");
    };
    s.back = [] {
        return QStringLiteral("Back");
    };
    return s;
}

OKStep step(Kind kind)
{
    OKStep s;
    s.kind = kind;
    return s;
}

// Pages over a requirement the test switches, on a manual clock, counting the ends reported.
struct FlowRig
{
    ManualClock clock;
    bool granted = false;
    int requirementReads = 0;
    int finishes = 0;
    std::unique_ptr<OnboardingFlow> flow;

    OKStep permissions(bool skippable = false)
    {
        OKStep s = step(Kind::permissions);
        s.requiredGranted = [this] {
            ++requirementReads;
            return granted;
        };
        s.skippable = skippable;
        return s;
    }

    // The first-run shape: welcome, permissions, tutorial, consent.
    std::vector<OKStep> fourPages(bool skippable = false)
    {
        return {step(Kind::welcome), permissions(skippable), step(Kind::tutorial),
                step(Kind::consent)};
    }

    OnboardingFlow &make(std::vector<OKStep> steps, int start = 0, bool pinned = false)
    {
        OnboardingFlow::Inputs inputs;
        inputs.steps = std::move(steps);
        inputs.strings = strings();
        inputs.pinned = pinned;
        inputs.startIndex = start;
        inputs.maxContentHeight = 600;
        inputs.onFinish = [this] {
            ++finishes;
        };
        flow = std::make_unique<OnboardingFlow>(std::move(inputs), clock);
        return *flow;
    }

    void tick() { clock.advance(OnboardingFlow::tickInterval); }
};

} // namespace

TEST(OnboardingFlow, PrimaryTitleIsTheStepsOwnElseStartOnConsentElseContinue)
{
    FlowRig rig;
    OKStep titled = step(Kind::consent);
    titled.primaryTitle = [] {
        return QStringLiteral("Go");
    };
    OnboardingFlow &flow =
        rig.make({step(Kind::welcome), step(Kind::setup), step(Kind::consent), titled});
    const QStringList expected = {"Continue", "Continue", "Get Started", "Go"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(flow.index(), i);
        EXPECT_EQ(flow.primaryTitle(), expected[i]) << "page " << i;
        EXPECT_EQ(flow.backShown(), i >= 1) << "page " << i;
        EXPECT_FALSE(flow.waitingForGrant());
        EXPECT_FALSE(flow.secondaryShown());
        if (i < 3) {
            flow.pressPrimary();
        }
    }
}

// A permissions page reached with the requirement unmet waits; what happens on the ticks that
// follow depends on how it was reached and on the pin.
TEST(OnboardingFlow, PermissionsPageWaitsAndMovesOnByItselfUnlessPinnedOrGrantedOnArrival)
{
    struct Case
    {
        const char *name;
        bool grantedOnArrival;
        bool pinned;
        bool waitsAtFirst;
        int indexAfterGrantAndTick;
    };
    const Case cases[] = {
        {"unmet, then granted: moves on within a tick", false, false, true, 2},
        {"unmet, pinned: the button comes back, the page stays", false, true, true, 1},
        {"met on arrival: never moves by itself", true, false, false, 1},
        {"met on arrival and pinned", true, true, false, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FlowRig rig;
        rig.granted = c.grantedOnArrival;
        OnboardingFlow &flow = rig.make(rig.fourPages(), 1, c.pinned);
        EXPECT_EQ(flow.grantedOnArrival(), c.grantedOnArrival);
        EXPECT_EQ(flow.waitingForGrant(), c.waitsAtFirst);
        EXPECT_TRUE(flow.backShown()) << "back is offered also while waiting";

        // Ticks while nothing changed keep the page.
        rig.tick();
        rig.tick();
        EXPECT_EQ(flow.index(), 1);
        EXPECT_EQ(flow.tick(), 2);

        QSignalSpy footer(&flow, &OnboardingFlow::footerChanged);
        rig.granted = true;
        rig.tick();
        EXPECT_EQ(flow.index(), c.indexAfterGrantAndTick);
        EXPECT_FALSE(flow.waitingForGrant());
        EXPECT_GE(footer.count(), 1) << "the footer is redrawn on the tick";
        EXPECT_EQ(rig.finishes, 0);
    }
}

TEST(OnboardingFlow, TicksOffThePermissionsPagesDoNothing)
{
    FlowRig rig;
    OnboardingFlow &flow = rig.make(rig.fourPages());
    QSignalSpy ticks(&flow, &OnboardingFlow::tickChanged);
    rig.clock.advance(5s);
    EXPECT_EQ(flow.tick(), 0);
    EXPECT_EQ(ticks.count(), 0);
    EXPECT_EQ(rig.requirementReads, 0) << "the requirement is asked on its own page only";

    flow.pressPrimary();
    ASSERT_EQ(flow.index(), 1);
    EXPECT_EQ(rig.requirementReads, 1) << "read once on arrival";
    rig.clock.advance(3s);
    EXPECT_EQ(flow.tick(), 3);
    EXPECT_EQ(ticks.count(), 3);
}

TEST(OnboardingFlow, APermissionsStepWithoutRequirementNeverWaitsNorMovesByItself)
{
    FlowRig rig;
    OnboardingFlow &flow = rig.make({step(Kind::permissions), step(Kind::consent)});
    EXPECT_TRUE(flow.grantedOnArrival());
    EXPECT_FALSE(flow.waitingForGrant());
    rig.clock.advance(10s);
    EXPECT_EQ(flow.index(), 0);
}

TEST(OnboardingFlow, WaitingHidesThePrimaryButtonAndOffersLaterOnlyWhenSkippable)
{
    for (const bool skippable : {false, true}) {
        SCOPED_TRACE(skippable ? "skippable" : "not skippable");
        FlowRig rig;
        OnboardingFlow &flow = rig.make(rig.fourPages(skippable), 1);
        ASSERT_TRUE(flow.waitingForGrant());
        EXPECT_EQ(flow.laterShown(), skippable);
        EXPECT_EQ(flow.waitingText(), QStringLiteral("Waiting"));

        // Neither the hidden primary button nor a hidden later button moves the page.
        flow.pressPrimary();
        EXPECT_EQ(flow.index(), 1);
        flow.pressLater();
        EXPECT_EQ(flow.index(), skippable ? 2 : 1);
    }
}

TEST(OnboardingFlow, ActionsThatSayNoKeepThePage)
{
    struct Case
    {
        const char *name;
        bool primaryAnswer;
        bool pressSecondary;
        bool secondaryAnswer;
        int index;
    };
    const Case cases[] = {
        {"primary yes", true, false, false, 1},
        {"primary no", false, false, false, 0},
        {"secondary yes", false, true, true, 1},
        {"secondary no", false, true, false, 0},
    };
    for (const Case &c : cases) {
        FlowRig rig;
        int primaryRuns = 0;
        int secondaryRuns = 0;
        OKStep first = step(Kind::setup);
        first.primaryAction = [&] {
            ++primaryRuns;
            return c.primaryAnswer;
        };
        first.secondaryTitle = [] {
            return QStringLiteral("Not now");
        };
        first.secondaryAction = [&] {
            ++secondaryRuns;
            return c.secondaryAnswer;
        };
        OnboardingFlow &flow = rig.make({first, step(Kind::consent)});
        EXPECT_TRUE(flow.secondaryShown());
        EXPECT_EQ(flow.secondaryTitle(), QStringLiteral("Not now"));
        if (c.pressSecondary) {
            flow.pressSecondary();
        } else {
            flow.pressPrimary();
        }
        EXPECT_EQ(flow.index(), c.index) << c.name;
        EXPECT_EQ(primaryRuns + secondaryRuns, 1) << c.name;
    }
}

TEST(OnboardingFlow, GoingBackToAPermissionsPageRecordsItsRequirementAfresh)
{
    FlowRig rig;
    OnboardingFlow &flow = rig.make(rig.fourPages(), 1);
    ASSERT_TRUE(flow.waitingForGrant());
    flow.goBack();
    EXPECT_EQ(flow.index(), 0);
    flow.goBack();
    EXPECT_EQ(flow.index(), 0) << "there is nothing before the first page";

    rig.granted = true;
    flow.pressPrimary();
    EXPECT_EQ(flow.index(), 1);
    EXPECT_TRUE(flow.grantedOnArrival());
    // Revoked while the page shows: granted on arrival, so it neither waits nor moves.
    rig.granted = false;
    rig.tick();
    EXPECT_FALSE(flow.waitingForGrant());
    EXPECT_EQ(flow.index(), 1);
}

// The end is reported once per window: a double click on the last page, or a late tick on a last
// permissions page after the click, would otherwise finish twice.
TEST(OnboardingFlow, MovingPastTheLastPageReportsTheEndOnceAndKeepsTheIndex)
{
    FlowRig rig;
    OnboardingFlow &flow = rig.make(rig.fourPages(), 3);
    flow.pressPrimary();
    flow.pressPrimary();
    flow.pressSecondary();
    flow.goBack();
    EXPECT_EQ(rig.finishes, 1);
    EXPECT_EQ(flow.index(), 3);
    EXPECT_TRUE(flow.finished());

    FlowRig late;
    OnboardingFlow &last = late.make({step(Kind::welcome), late.permissions()}, 1);
    late.granted = true;
    last.pressPrimary();
    late.tick();
    late.tick();
    EXPECT_EQ(late.finishes, 1);
    EXPECT_EQ(late.clock.activeTimerCount(), 0) << "the tick stops with the end";
}

TEST(OnboardingFlow, StartIndexIsClampedToThePages)
{
    for (const auto &[start, expected] : {std::pair {-5, 0}, {0, 0}, {3, 3}, {99, 3}}) {
        FlowRig rig;
        EXPECT_EQ(rig.make(rig.fourPages(), start).index(), expected) << start;
    }
}

// The page area is the page's own height up to what the footer leaves of the tallest view, and
// never less than 120; a page that does not fit scrolls.
TEST(OnboardingFlow, PageAreaHeightAndFit)
{
    struct Case
    {
        qreal content;
        qreal footer;
        qreal area;
        bool fits;
    };
    // The rig's tallest view is 600.
    const Case cases[] = {
        {300, 100, 300, true},   {500, 100, 500, true},  {500.4, 100, 500, true},
        {501, 100, 500, false},  {900, 100, 500, false}, {900, 550, 120, false},
        {120.5, 590, 120, true}, {50, 700, 50, true},
    };
    FlowRig rig;
    OnboardingFlow &flow = rig.make(rig.fourPages());
    for (const Case &c : cases) {
        EXPECT_DOUBLE_EQ(flow.pageAreaHeight(c.content, c.footer), c.area)
            << c.content << " over " << c.footer;
        EXPECT_EQ(flow.pageFits(c.content, c.footer), c.fits) << c.content << " over " << c.footer;
    }
}

TEST(OnboardingFlow, FooterTextsAreAskedForEachTimeTheyAreRead)
{
    FlowRig rig;
    QString back = QStringLiteral("Back");
    OnboardingFlow::Inputs inputs;
    inputs.steps = rig.fourPages();
    inputs.strings = strings();
    inputs.strings.back = [&back] {
        return back;
    };
    inputs.startIndex = 2;
    OnboardingFlow flow(std::move(inputs), rig.clock);
    EXPECT_EQ(flow.backTitle(), QStringLiteral("Back"));
    back = QStringLiteral("Zurück");
    EXPECT_EQ(flow.backTitle(), QStringLiteral("Zurück"));
}
