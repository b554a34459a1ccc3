// Panels under the real window manager: a panel shown over a focused text field, and clicked,
// leaves the field's window active; a panel that ignores the mouse lets the click through; both
// stay on every workspace.

#include "Integration/PasteTarget.h"
#include "Integration/X11TestSupport.h"
#include "Platform/X11/X11OverlayWindowing.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int answerTimeoutMs = 10000;

class Panel : public QRasterWindow
{
public:
    int presses = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), Qt::darkCyan);
    }
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

class OverlayWindowingTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "X11 display: the integration tests need the display scripts/test starts";
        ASSERT_TRUE(m_target.start()) << "the text field fixture did not start";
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return (m_field = activeWindow()) != 0; }, answerTimeoutMs))
            << "window manager: no active window after the fixture started";
    }

    // Shows `panel` as a panel at `area` and waits until it is on screen.
    void showPanel(Panel &panel, bool ignoresMouse, QRect area)
    {
        m_windowing.prepare(panel, ignoresMouse);
        panel.setGeometry(area);
        m_windowing.beforeShow(panel);
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel, answerTimeoutMs));
    }

    std::optional<uint32_t> desktopOf(const Panel &panel)
    {
        XcbConnection connection(xcb_connect(nullptr, nullptr));
        return cardinalProperty(connection.get(), xcb_window_t(panel.winId()),
                                internAtom(connection.get(), "_NET_WM_DESKTOP"));
    }

    // Waits long enough for a window manager that would move the focus to have done it.
    static void settle() { QTest::qWait(300); }

    X11OverlayWindowing m_windowing;
    PasteTarget m_target;
    xcb_window_t m_field = 0;
};

TEST_F(OverlayWindowingTest, AClickablePanelTakesTheClickButNotTheFocus)
{
    Panel panel;
    showPanel(panel, false, QRect(40, 40, 200, 80));
    settle();
    EXPECT_EQ(activeWindow(), m_field) << "showing the panel moved the focus";

    ASSERT_TRUE(clickAt(QPoint(140, 80)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.presses > 0; }, answerTimeoutMs))
        << "the panel never saw the click";
    settle();
    EXPECT_EQ(activeWindow(), m_field) << "clicking the panel moved the focus";
    EXPECT_EQ(desktopOf(panel), 0xFFFFFFFFu) << "the panel is not on every workspace";

    // A hide drops the workspace property, and the window manager may drop it again after the next
    // show has set it: the panel must end up on every workspace all the same.
    panel.hide();
    m_windowing.beforeShow(panel);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel, answerTimeoutMs));
    settle();
    EXPECT_EQ(desktopOf(panel), 0xFFFFFFFFu);
}

// Also once the panel is clipped to a shape after its preparation, as a panel without a
// compositor is: the drawn shape must not catch the clicks its empty input region lets through.
TEST_F(OverlayWindowingTest, APanelThatIgnoresTheMouseLetsTheClickThrough)
{
    struct Case
    {
        const char *name;
        bool clipped;
    };
    for (const Case &c :
         {Case {"whole rectangle", false}, Case {"clipped after preparing", true}}) {
        SCOPED_TRACE(c.name);
        Panel below;
        showPanel(below, false, QRect(300, 40, 200, 80));
        Panel above;
        showPanel(above, true, QRect(300, 40, 200, 80));
        if (c.clipped) {
            m_windowing.clipToRegion(above,
                                     X11OverlayWindowing::roundedRegion(QRectF(0, 0, 200, 80), 14));
        }
        settle();
        EXPECT_EQ(activeWindow(), m_field);

        ASSERT_TRUE(clickAt(QPoint(400, 80)));
        ASSERT_TRUE(QTest::qWaitFor([&] { return below.presses > 0; }, answerTimeoutMs))
            << "the click did not reach the window below the panel";
        EXPECT_EQ(above.presses, 0);
        settle();
        EXPECT_EQ(activeWindow(), m_field);
    }
}

TEST_F(OverlayWindowingTest, TheScreenUnderThePointerIsTheDisplaysScreen)
{
    ASSERT_TRUE(clickAt(QPoint(5, 5)));
    const auto area = m_windowing.screenUnderPointer();
    ASSERT_TRUE(area.has_value());
    EXPECT_EQ(area->frame, QGuiApplication::primaryScreen()->geometry());
    EXPECT_TRUE(area->frame.contains(area->available));
}

} // namespace
