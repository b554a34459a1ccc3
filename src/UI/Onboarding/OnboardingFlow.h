#pragma once

#include "UI/Onboarding/OKStep.h"
#include "UI/Onboarding/OKStrings.h"

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class Clock;
class Timer;

// The rules of the onboarding window's pages, the model its root view draws: which page shows,
// whether a permissions page holds the user until its requirement is met, what the footer offers,
// and how tall the page area may be.
//
// A permissions page records on arrival whether its requirement was already met. If not, the
// footer shows the waiting indicator instead of the primary button, and the one-second tick
// re-checks the requirement and moves on by itself once it is met, unless the page was pinned by
// the environment. Ticks on other pages do nothing. Moving on past the last page reports the end
// once; everything after that (a second click, a late tick) is ignored.
//
// Made by the kit's window controller with the window, ends with it. Main thread only.
class OnboardingFlow : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(int index READ index NOTIFY indexChanged)
    Q_PROPERTY(int count READ count CONSTANT)
    Q_PROPERTY(int tick READ tick NOTIFY tickChanged)
    Q_PROPERTY(QUrl content READ content NOTIFY indexChanged)
    Q_PROPERTY(QObject *contentModel READ contentModel NOTIFY indexChanged)
    Q_PROPERTY(bool backShown READ backShown NOTIFY indexChanged)
    Q_PROPERTY(bool waitingForGrant READ waitingForGrant NOTIFY footerChanged)
    Q_PROPERTY(bool laterShown READ laterShown NOTIFY footerChanged)
    Q_PROPERTY(bool secondaryShown READ secondaryShown NOTIFY footerChanged)
    Q_PROPERTY(QString primaryTitle READ primaryTitle NOTIFY footerChanged)
    Q_PROPERTY(QString secondaryTitle READ secondaryTitle NOTIFY footerChanged)
    Q_PROPERTY(QString waitingText READ waitingText NOTIFY footerChanged)
    Q_PROPERTY(QString laterTitle READ laterTitle NOTIFY footerChanged)
    Q_PROPERTY(QString backTitle READ backTitle NOTIFY footerChanged)
    Q_PROPERTY(qreal maxContentHeight READ maxContentHeight CONSTANT)
    Q_PROPERTY(int moveDuration READ moveDurationMs CONSTANT)

public:
    static constexpr std::chrono::seconds tickInterval {1};
    // A page change eases in and out over this long.
    static constexpr std::chrono::milliseconds moveDuration {200};
    // The page area never gets shorter than this, whatever the footer takes.
    static constexpr qreal minimumPageHeight = 120;

    struct Inputs
    {
        std::vector<OKStep> steps;
        OKStrings strings;
        // A page was pinned through the environment: no page moves on by itself.
        bool pinned = false;
        // The tallest the whole view may become.
        qreal maxContentHeight = 860;
        // Receives the view's measured height.
        std::function<void(qreal)> onHeight;
        // Called when the user moves past the last page.
        std::function<void()> onFinish;
        int startIndex = 0;
    };

    // `steps` must not be empty.
    OnboardingFlow(Inputs inputs, Clock &clock, QObject *parent = nullptr);
    ~OnboardingFlow() override;

    int index() const { return m_index; }
    int count() const { return int(m_steps.size()); }
    int tick() const { return m_tick; }
    bool grantedOnArrival() const { return m_grantedOnArrival; }
    bool pinned() const { return m_pinned; }
    bool finished() const { return m_finished; }
    const OKStep &currentStep() const { return m_steps.at(size_t(m_index)); }
    QUrl content() const { return currentStep().content; }
    QObject *contentModel() const { return currentStep().contentModel; }
    bool backShown() const { return m_index >= 1; }
    bool waitingForGrant() const;
    bool laterShown() const
    {
        const OKStep &step = currentStep();
        return waitingForGrant() && (step.skippable || (step.laterOffered && step.laterOffered()));
    }
    bool secondaryShown() const { return !waitingForGrant() && bool(currentStep().secondaryTitle); }
    QString primaryTitle() const;
    QString secondaryTitle() const;
    QString waitingText() const;
    QString laterTitle() const;
    QString backTitle() const;
    qreal maxContentHeight() const { return m_maxContentHeight; }
    int moveDurationMs() const { return int(moveDuration.count()); }

    // The height of the page area: the page's own height, at most what the footer leaves.
    Q_INVOKABLE qreal pageAreaHeight(qreal contentHeight, qreal footerHeight) const;
    // Whether the page shows whole, without scrolling.
    Q_INVOKABLE bool pageFits(qreal contentHeight, qreal footerHeight) const;

    // The footer's buttons. None does anything while its button is not shown.
    Q_INVOKABLE void pressPrimary();
    Q_INVOKABLE void pressSecondary();
    Q_INVOKABLE void pressLater();
    Q_INVOKABLE void goBack();
    // The root view's measured height, for the window.
    Q_INVOKABLE void reportHeight(qreal height);

Q_SIGNALS:
    void indexChanged();
    void tickChanged();
    void footerChanged();

private:
    void arrive();
    void advance();
    void onTick();
    void moveTo(int index);

    std::vector<OKStep> m_steps;
    OKStrings m_strings;
    bool m_pinned;
    qreal m_maxContentHeight;
    std::function<void(qreal)> m_onHeight;
    std::function<void()> m_onFinish;
    std::unique_ptr<Timer> m_timer;
    int m_index = 0;
    bool m_grantedOnArrival = false;
    int m_tick = 0;
    bool m_finished = false;
};
