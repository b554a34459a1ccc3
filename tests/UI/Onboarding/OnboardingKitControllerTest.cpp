#include "UI/Onboarding/OnboardingKitController.h"

#include "Base/ManualClock.h"
#include "UI/Onboarding/OnboardingFlow.h"

#include "TestSupport/QuickItems.h"

#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Kind = OKStep::Kind;

namespace {

// A kit over plain test pages of a given height, with its ends counted.
struct KitRig
{
    QTemporaryDir folder;
    ManualClock clock;
    int completed = 0;
    int closed = 0;
    int stepRequests = 0;
    std::vector<Kind> kinds = {Kind::welcome, Kind::permissions, Kind::tutorial, Kind::consent};
    int pageHeight = 200;
    std::unique_ptr<OnboardingKitController> kit;

    KitRig()
    {
        kit = std::make_unique<OnboardingKitController>(
            QStringList {}, [] { return strings(); },
            [this] {
                ++stepRequests;
                std::vector<OKStep> steps;
                for (const Kind kind : kinds) {
                    OKStep step;
                    step.kind = kind;
                    step.content = pageUrl();
                    steps.push_back(step);
                }
                return steps;
            },
            [this] { ++completed; }, [this] { ++closed; }, clock);
    }

    static OKStrings strings()
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

    QUrl pageUrl()
    {
        const QString path = folder.filePath(QStringLiteral("Page%1.qml").arg(pageHeight));
        if (!QFile::exists(path)) {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(QStringLiteral("import QtQuick\nRectangle {\n    property QtObject model\n"
                                      "    property int tick\n    implicitHeight: %1\n"
                                      "    color: \"#8080ff\"\n}\n")
                           .arg(pageHeight)
                           .toUtf8());
        }
        return QUrl::fromLocalFile(path);
    }

    QQuickView &open(bool startAtPermissions = false)
    {
        EXPECT_TRUE(kit->show(startAtPermissions));
        QQuickView *view = kit->window();
        EXPECT_NE(view, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
        settle();
        return *view;
    }

    static void settle()
    {
        QCoreApplication::processEvents();
        QTest::qWait(5);
        QCoreApplication::processEvents();
    }

    QQuickItem *item(const char *name)
    {
        QQuickView *view = kit->window();
        return view ? findVisible(view->contentItem(), QString::fromLatin1(name)) : nullptr;
    }

    void click(QQuickItem *target)
    {
        ASSERT_NE(target, nullptr);
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(target->window(), Qt::LeftButton, {}, centre.toPoint());
        settle();
    }

    int index() { return kit->flow() ? kit->flow()->index() : -1; }

    void expectNoWarnings()
    {
        EXPECT_TRUE(kit->qmlWarnings().isEmpty()) << kit->qmlWarnings().join('\n').toStdString();
    }
};

// Restores an environment variable when the test ends.
struct ScopedEnv
{
    QByteArray name;
    std::optional<QByteArray> old;
    ScopedEnv(const char *name, const char *value)
        : name(name)
    {
        if (qEnvironmentVariableIsSet(name)) {
            old = qgetenv(name);
        }
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (old) {
            qputenv(name.constData(), *old);
        } else {
            qunsetenv(name.constData());
        }
    }
};

} // namespace

TEST(OnboardingKitController, StartIndexFollowsThePinThenThePermissionsPageThenTheFirst)
{
    const auto steps = [](std::initializer_list<Kind> kinds) {
        std::vector<OKStep> list;
        for (const Kind kind : kinds) {
            OKStep step;
            step.kind = kind;
            list.push_back(step);
        }
        return list;
    };
    const auto four = steps({Kind::welcome, Kind::setup, Kind::permissions, Kind::permissions});
    const auto none = steps({Kind::welcome, Kind::consent});
    struct Case
    {
        const char *name;
        const std::vector<OKStep> &steps;
        bool startAtPermissions;
        std::optional<qint64> pinned;
        int index;
    };
    const Case cases[] = {
        {"first page", four, false, std::nullopt, 0},
        {"first permissions page", four, true, std::nullopt, 2},
        {"no permissions page", none, true, std::nullopt, 0},
        {"pin overrides permissions", four, true, 1, 1},
        {"pin below zero", four, false, -3, 0},
        {"pin past the end", four, true, 99, 3},
        {"pin far past the end", four, false, std::numeric_limits<qint64>::max(), 3},
        {"pin far below zero", four, false, std::numeric_limits<qint64>::min(), 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(OnboardingKitController::startIndex(c.steps, c.startAtPermissions, c.pinned),
                  c.index)
            << c.name;
    }
}

// Content rectangles are y-down: the top stays, the window grows down, and a frame that would
// pass the bottom of the available area is lifted to it.
TEST(OnboardingKitController, ResizeKeepsTheTopAndLiftsAWindowThatWouldPassTheBottom)
{
    const QRect area(0, 30, 1280, 770); // a panel of 30 at the top: bottom edge at 800
    const QMargins frame(1, 24, 1, 1);
    struct Case
    {
        const char *name;
        QRect content;
        qreal height;
        std::optional<QRect> available;
        std::optional<QRect> result;
    };
    const Case cases[] = {
        {"grows down", QRect(400, 100, 360, 500), 560, area, QRect(400, 100, 360, 560)},
        {"shrinks up from the bottom", QRect(400, 100, 360, 500), 420.4, area,
         QRect(400, 100, 360, 420)},
        {"a half rounds away from zero", QRect(400, 100, 360, 500), 420.5, area,
         QRect(400, 100, 360, 421)},
        {"lifted to the bottom", QRect(400, 300, 360, 400), 600, area,
         QRect(400, 800 - 1 - 600, 360, 600)},
        {"capped at the area less 40", QRect(400, 100, 360, 500), 2000, area,
         QRect(400, 800 - 1 - 730, 360, 730)},
        {"zero leaves it", QRect(400, 100, 360, 500), 0, area, std::nullopt},
        {"negative leaves it", QRect(400, 100, 360, 500), -20, area, std::nullopt},
        {"within half a point leaves it", QRect(400, 100, 360, 500), 500.4, area, std::nullopt},
        {"no screen: capped at 860, never lifted", QRect(0, 900, 360, 500), 5000, std::nullopt,
         QRect(0, 900, 360, 860)},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(OnboardingKitController::resizedGeometry(c.content, frame, c.height, c.available),
                  c.result)
            << c.name;
    }
    EXPECT_EQ(OnboardingKitController::maxContentHeight(area), 730);
    EXPECT_EQ(OnboardingKitController::maxContentHeight(std::nullopt), 860);
}

// An empty step list would leave the pages nothing to draw: the kit refuses to open.
TEST(OnboardingKitController, AnEmptyStepListOpensNothing)
{
    KitRig rig;
    rig.kinds.clear();
    EXPECT_FALSE(rig.kit->show(false));
    EXPECT_FALSE(rig.kit->show(true));
    EXPECT_EQ(rig.kit->window(), nullptr);
    EXPECT_EQ(rig.completed + rig.closed, 0);

    rig.kinds = {Kind::welcome};
    rig.open();
    EXPECT_NE(rig.kit->window(), nullptr);
    rig.expectNoWarnings();
}

TEST(OnboardingKitController, ASecondShowOnlyRaisesTheWindowAndKeepsItsPage)
{
    KitRig rig;
    QQuickView &view = rig.open(true);
    EXPECT_EQ(rig.index(), 1);
    EXPECT_EQ(view.width(), OnboardingKitController::windowWidth);
    EXPECT_EQ(rig.stepRequests, 1);

    rig.click(rig.item("backButton"));
    EXPECT_EQ(rig.index(), 0);
    EXPECT_EQ(rig.item("backButton"), nullptr) << "no back button on the first page";
    rig.kit->show(true);
    EXPECT_EQ(rig.index(), 0);
    EXPECT_EQ(rig.kit->window(), &view);
    EXPECT_EQ(rig.stepRequests, 1);
    rig.expectNoWarnings();
}

// Finishing closes the window and reports completion once, however often the last button is
// pressed; closing reports the close only. Every new window starts afresh.
TEST(OnboardingKitController, TheOutcomesAreExclusiveAndReportedOncePerWindow)
{
    KitRig rig;
    rig.open(false);
    for (int page = 0; page < 3; ++page) {
        rig.click(rig.item("primaryButton"));
    }
    ASSERT_EQ(rig.index(), 3);
    EXPECT_EQ(rig.item("primaryButton")->property("title").toString(),
              QStringLiteral("Get Started"));
    QQuickItem *last = rig.item("primaryButton");
    const QPointF centre = last->mapToScene(QPointF(last->width() / 2, last->height() / 2));
    QQuickView *view = rig.kit->window();
    // Both clicks of a double click reach the button before the window goes.
    QTest::mouseDClick(view, Qt::LeftButton, {}, centre.toPoint());
    rig.settle();
    EXPECT_EQ(rig.completed, 1);
    EXPECT_EQ(rig.closed, 0);
    EXPECT_EQ(rig.kit->window(), nullptr);
    EXPECT_EQ(rig.kit->flow(), nullptr);
    rig.clock.advance(5s);
    EXPECT_EQ(rig.completed, 1) << "a late tick finds the pages over";

    QQuickView &second = rig.open(true);
    EXPECT_EQ(rig.stepRequests, 2);
    EXPECT_EQ(rig.index(), 1);
    second.close();
    rig.settle();
    EXPECT_EQ(rig.closed, 1);
    EXPECT_EQ(rig.completed, 1);
    EXPECT_EQ(rig.kit->window(), nullptr);

    rig.open(false);
    EXPECT_EQ(rig.index(), 0);
    rig.expectNoWarnings();
}

TEST(OnboardingKitController, APinnedPageOverridesStartAtPermissionsAndStopsTheAutoAdvance)
{
    ScopedEnv pin("TARVOSS_ONBOARDING_PAGE", "+3");
    KitRig rig;
    rig.open(true);
    EXPECT_EQ(rig.index(), 3);
    ASSERT_NE(rig.kit->flow(), nullptr);
    EXPECT_TRUE(rig.kit->flow()->pinned());
    rig.expectNoWarnings();
}

// On a screen shorter than a page, the window stays within the available area and its footer
// stays reachable: the page scrolls above it.
TEST(OnboardingKitController, APageTallerThanTheScreenScrollsAboveAReachableFooter)
{
    KitRig rig;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    rig.pageHeight = area.height() * 2;
    rig.kinds = {Kind::consent};
    QQuickView &view = rig.open();
    EXPECT_LE(view.height(), area.height() - OnboardingKitController::screenMargin);
    EXPECT_GE(view.geometry().top(), area.top());
    EXPECT_LE(view.geometry().bottom(), area.bottom());

    QQuickItem *pageArea = rig.item("pageArea");
    ASSERT_NE(pageArea, nullptr);
    EXPECT_TRUE(pageArea->property("interactive").toBool()) << "the page scrolls";
    EXPECT_NE(rig.item("pageScrollBar"), nullptr) << "with its scroll bar shown";
    QQuickItem *primary = rig.item("primaryButton");
    ASSERT_NE(primary, nullptr);
    const QRectF button =
        primary->mapRectToScene(QRectF(0, 0, primary->width(), primary->height()));
    EXPECT_LE(button.bottom(), view.height());
    rig.click(primary);
    EXPECT_EQ(rig.completed, 1);

    // A short page takes its own height: no scrolling, no scroll bar.
    rig.pageHeight = 150;
    rig.open();
    EXPECT_FALSE(rig.item("pageArea")->property("interactive").toBool());
    EXPECT_EQ(rig.item("pageScrollBar"), nullptr);
    EXPECT_LT(rig.kit->window()->height(), 500);
    rig.expectNoWarnings();
}
