#include "UI/Onboarding/OnboardingWindowController.h"

#include "Core/AppSettings.h"
#include "Core/ImproveConfig.h"
#include "Platform/Linux/FreedMemory.h"
#include "Support/L10n.h"
#include "UI/Onboarding/FirstRunContent.h"
#include "UI/Onboarding/OnboardingKitController.h"

#include <QPointer>
#include <QQmlEngine>

namespace {

std::function<QString()> text(const char *key)
{
    return [key = QString::fromLatin1(key)] {
        return L10n::shared().string(key);
    };
}

QUrl page(const char *name)
{
    return QUrl(QStringLiteral("qrc:/qt-project.org/imports/Sonorvelle/Onboarding/%1.qml")
                    .arg(QLatin1String(name)));
}

} // namespace

OnboardingWindowController::OnboardingWindowController(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    Q_ASSERT(m_services.settings && m_services.defaults && m_services.clock);
}

OnboardingWindowController::~OnboardingWindowController()
{
    delete m_kit.data();
    delete m_content.data();
}

OKStrings OnboardingWindowController::strings()
{
    OKStrings strings;
    strings.continueTitle = text("onb.continue");
    strings.startTitle = text("onb.start");
    strings.waiting = text("onb.waiting");
    strings.later = text("onb.skipPerm");
    strings.back = text("common.back");
    return strings;
}

std::vector<OKStep> OnboardingWindowController::makeSteps(FirstRunContent *content)
{
    std::vector<OKStep> steps(4);
    steps[0].kind = OKStep::Kind::welcome;
    steps[0].content = page("WelcomePage");
    steps[1].kind = OKStep::Kind::permissions;
    // The page reads the permissions again at every tick, before the requirement is looked at.
    QPointer<FirstRunContent> known(content);
    steps[1].requiredGranted = [known] {
        return known && known->permissionsKnownGranted();
    };
    steps[1].laterOffered = &FirstRunContent::requirementOutOfReach;
    steps[1].content = page("PermissionsPage");
    steps[2].kind = OKStep::Kind::tutorial;
    steps[2].content = page("TutorialPage");
    steps[3].kind = OKStep::Kind::consent;
    steps[3].content = page("ConsentPage");
    for (OKStep &step : steps) {
        step.contentModel = content;
    }
    return steps;
}

void OnboardingWindowController::show(bool startAtPermissions)
{
    if (!m_kit) {
        FirstRunContent::Services contentServices;
        contentServices.settings = m_services.settings;
        contentServices.modelStatus = m_services.modelStatus;
        contentServices.layout = m_services.layout;
        m_content = new FirstRunContent(contentServices, this);

        // Both ends mark onboarding as done before anything else, so the mark is made even when
        // this controller has gone meanwhile.
        QPointer<OnboardingWindowController> self(this);
        AppSettings *settings = m_services.settings;
        auto completed = [self, settings] {
            settings->setOnboardingCompleted(true);
            if (self) {
                self->end(true);
            }
        };
        auto closed = [self, settings, defaults = m_services.defaults] {
            // Closed before the consent page ever showed: the user agreed to nothing, so the
            // sharing switches go off, and the record says so before the guide counts as done.
            if (!ImproveConfig::consentGiven(*defaults)) {
                ImproveConfig::setConsentShown(*defaults, false);
                settings->setImproveDataSharing(false);
                settings->setCrashReportingEnabled(false);
            }
            settings->setOnboardingCompleted(true);
            if (self) {
                self->end(false);
            }
        };
        QPointer<FirstRunContent> content = m_content;
        m_kit = new OnboardingKitController(
            {}, &OnboardingWindowController::strings, [content] { return makeSteps(content); },
            completed, closed, *m_services.clock, this);
        m_kit->setFixedHeight(windowHeight);
    }
    if (!m_kit->show(startAtPermissions)) {
        end(false);
        return;
    }
    if (OnboardingFlow *flow = m_kit->flow()) {
        connect(flow, &OnboardingFlow::indexChanged, this, &OnboardingWindowController::pageShown,
                Qt::UniqueConnection);
    }
    pageShown();
}

void OnboardingWindowController::pageShown()
{
    const OnboardingFlow *flow = m_kit ? m_kit->flow() : nullptr;
    if (flow && flow->currentStep().kind == OKStep::Kind::consent) {
        ImproveConfig::setConsentShown(*m_services.defaults, true);
    }
}

void OnboardingWindowController::end(bool completed)
{
    // The kit is still returning from the call that ended it. What its window held goes back to
    // the system once it is gone.
    if (m_kit) {
        FreedMemory::giveBackOnceGone(m_kit);
        m_kit->deleteLater();
        m_kit = nullptr;
    }
    if (m_content) {
        m_content->deleteLater();
        m_content = nullptr;
    }
    if (completed && onFinished) {
        onFinished();
    }
}
