#include "UI/Onboarding/OnboardingFlow.h"

#include "Base/Clock.h"
#include "Base/Timer.h"

#include <algorithm>

namespace {

QString ask(const std::function<QString()> &text)
{
    return text ? text() : QString();
}

} // namespace

OnboardingFlow::OnboardingFlow(Inputs inputs, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_steps(std::move(inputs.steps))
    , m_strings(std::move(inputs.strings))
    , m_pinned(inputs.pinned)
    , m_maxContentHeight(inputs.maxContentHeight)
    , m_onHeight(std::move(inputs.onHeight))
    , m_onFinish(std::move(inputs.onFinish))
    , m_timer(clock.makeTimer())
    , m_index(std::clamp(inputs.startIndex, 0, std::max(0, int(m_steps.size()) - 1)))
{
    Q_ASSERT(!m_steps.empty());
    arrive();
    // Runs for the whole life of the pages; ticks off the permissions pages do nothing.
    connect(m_timer.get(), &Timer::timeout, this, &OnboardingFlow::onTick);
    m_timer->start(tickInterval, true);
}

OnboardingFlow::~OnboardingFlow() = default;

bool OnboardingFlow::waitingForGrant() const
{
    const OKStep &step = currentStep();
    return step.kind == OKStep::Kind::permissions && !m_grantedOnArrival && step.requiredGranted
        && !step.requiredGranted();
}

QString OnboardingFlow::primaryTitle() const
{
    const OKStep &step = currentStep();
    if (step.primaryTitle) {
        return step.primaryTitle();
    }
    return ask(step.kind == OKStep::Kind::consent ? m_strings.startTitle : m_strings.continueTitle);
}

QString OnboardingFlow::secondaryTitle() const
{
    return ask(currentStep().secondaryTitle);
}

QString OnboardingFlow::waitingText() const
{
    return ask(m_strings.waiting);
}

QString OnboardingFlow::laterTitle() const
{
    return ask(m_strings.later);
}

QString OnboardingFlow::backTitle() const
{
    return ask(m_strings.back);
}

qreal OnboardingFlow::pageAreaHeight(qreal contentHeight, qreal footerHeight) const
{
    const qreal available = std::max(m_maxContentHeight - footerHeight, minimumPageHeight);
    return std::min(available, contentHeight);
}

bool OnboardingFlow::pageFits(qreal contentHeight, qreal footerHeight) const
{
    const qreal available = std::max(m_maxContentHeight - footerHeight, minimumPageHeight);
    return contentHeight <= available + 0.5;
}

void OnboardingFlow::pressPrimary()
{
    if (m_finished || waitingForGrant()) {
        return;
    }
    const OKStep &step = currentStep();
    if (!step.primaryAction || step.primaryAction()) {
        advance();
    }
}

void OnboardingFlow::pressSecondary()
{
    if (m_finished || !secondaryShown()) {
        return;
    }
    const OKStep &step = currentStep();
    if (!step.secondaryAction || step.secondaryAction()) {
        advance();
    }
}

void OnboardingFlow::pressLater()
{
    if (m_finished || !laterShown()) {
        return;
    }
    advance();
}

void OnboardingFlow::goBack()
{
    if (m_finished || m_index < 1) {
        return;
    }
    moveTo(m_index - 1);
}

void OnboardingFlow::reportHeight(qreal height)
{
    if (m_onHeight) {
        m_onHeight(height);
    }
}

void OnboardingFlow::arrive()
{
    const OKStep &step = currentStep();
    if (step.kind != OKStep::Kind::permissions) {
        return;
    }
    m_grantedOnArrival = step.requiredGranted ? step.requiredGranted() : true;
}

void OnboardingFlow::advance()
{
    if (m_finished) {
        return;
    }
    if (m_index + 1 == count()) {
        // The end is reported once: a second click or a late tick finds the pages over.
        m_finished = true;
        m_timer->stop();
        if (m_onFinish) {
            m_onFinish();
        }
        return;
    }
    moveTo(m_index + 1);
}

void OnboardingFlow::moveTo(int index)
{
    m_index = index;
    arrive();
    Q_EMIT indexChanged();
    Q_EMIT footerChanged();
}

void OnboardingFlow::onTick()
{
    const OKStep &step = currentStep();
    if (step.kind != OKStep::Kind::permissions) {
        return;
    }
    ++m_tick;
    Q_EMIT tickChanged();
    // The requirement may have been met since the last look: the footer reads it again.
    Q_EMIT footerChanged();
    if (m_pinned || m_grantedOnArrival) {
        return;
    }
    if (step.requiredGranted && step.requiredGranted()) {
        advance();
    }
}
