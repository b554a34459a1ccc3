#pragma once

#include "UI/Onboarding/OKStep.h"
#include "UI/Onboarding/OKStrings.h"
#include "UI/Onboarding/OnboardingFlow.h"

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class Clock;
class QQuickView;

// The onboarding wizard's window: made by show() from the host's steps and texts, it shows one
// page at a time (OnboardingFlow and its view) and reports one of two outcomes per window: the
// user went past the last page (onCompleted), or the user closed the window (onClosedByUser).
//
// The window is 360 points wide and as tall as its page and footer, at most the available screen
// height less 40; its top edge stays where it is when the height changes, and it moves up when it
// would pass the bottom of the screen's available area. Each new window asks for the steps and
// texts again and starts afresh, so the wizard never resumes half-way. Main thread only.
class OnboardingKitController : public QObject
{
    Q_OBJECT

public:
    static constexpr int windowWidth = 360;
    static constexpr int initialHeight = 500;
    // Kept free between the window and the edges of the available area.
    static constexpr int screenMargin = 40;
    // The height limit when no screen is known.
    static constexpr int heightWithoutScreen = 860;

    OnboardingKitController(QStringList legacyEnv, std::function<OKStrings()> strings,
                            std::function<std::vector<OKStep>()> steps,
                            std::function<void()> onCompleted, std::function<void()> onClosedByUser,
                            Clock &clock, QObject *parent = nullptr);
    ~OnboardingKitController() override;

    // Gives every later window one size, `height` tall (less on a screen without the room): it
    // neither follows its pages nor can be resized or maximised, and its footer stays at the
    // bottom edge, so the buttons stay where they are from page to page. A page taller than the
    // room above the footer scrolls.
    void setFixedHeight(int height) { m_fixedHeight = height; }

    // Shows the wizard and brings it to the front. Without a window it makes one, starting at the
    // pinned page, else at the first permissions page when `startAtPermissions`, else at the
    // first; with a window the argument is ignored and the page stays. Returns false, showing
    // nothing, when the host gives no steps.
    bool show(bool startAtPermissions);

    // The open window and its pages, or null.
    QQuickView *window() const;
    OnboardingFlow *flow() const { return m_flow; }
    // Every QML warning of the windows made so far (tests fail on any).
    const QStringList &qmlWarnings() const { return m_warnings; }

    // The page a new window starts at.
    static int startIndex(const std::vector<OKStep> &steps, bool startAtPermissions,
                          std::optional<qint64> pinned);
    // The tallest the window's content may be on a screen with this available area.
    static int maxContentHeight(const std::optional<QRect> &available);
    // Where the window's content goes when the view reports `height`: the top edge stays, and
    // the frame is moved up to the bottom of the available area when it would pass it. None when
    // nothing changes (a height of 0 or less, or within half a point of the current one).
    static std::optional<QRect> resizedGeometry(const QRect &content, const QMargins &frame,
                                                qreal height,
                                                const std::optional<QRect> &available);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void resize(qreal height);
    void finish();
    void windowWillClose();
    std::optional<QRect> availableArea() const;

    std::optional<int> m_fixedHeight;
    QStringList m_legacyEnv;
    std::function<OKStrings()> m_strings;
    std::function<std::vector<OKStep>()> m_makeSteps;
    std::function<void()> m_onCompleted;
    std::function<void()> m_onClosedByUser;
    Clock &m_clock;
    QPointer<QQuickView> m_window;
    QPointer<OnboardingFlow> m_flow;
    bool m_finishing = false;
    // The application was asked to quit: a frame still in flight is not reported.
    bool m_quitting = false;
    QStringList m_warnings;
};
