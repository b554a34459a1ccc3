#pragma once

#include "Core/AppleIntelligence.h"
#include "UI/Onboarding/FirstRunContent.h"
#include "UI/Onboarding/OKStep.h"
#include "UI/Onboarding/OKStrings.h"
#include "UI/Onboarding/OnboardingKitController.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class AppSettings;
class Clock;
class UserDefaults;
class HotkeyLayout;

// The application's first-run onboarding: four pages (welcome, permissions, tutorial, consent) on
// the onboarding kit. Completing the last page or closing the window on any page both mark
// onboarding as done in the settings; the application starts dictation only after that. The
// consent switches write the settings the moment they move.
//
// Nothing is uploaded before the consent page has shown once (ImproveConfig::consentGiven): the
// guide records the page's arrival, and a guide closed before it leaves the sharing switches off.
//
// The application delegate makes one at launch and keeps it; it opens the window at launch and
// from the tray's guide entry. Main thread only.
class OnboardingWindowController : public QObject
{
    Q_OBJECT

public:
    struct Services
    {
        AppSettings *settings = nullptr;
        // Where the settings live: the consent record is kept next to them.
        UserDefaults *defaults = nullptr;
        Clock *clock = nullptr;
        // The keys the keyboard layout keeps for typing; may be absent.
        HotkeyLayout *layout = nullptr;
        // The on-device model's status.
        std::function<AppleIntelligence::Status()> modelStatus = [] {
            return AppleIntelligence::status();
        };
    };

    // The window's one height: it holds the tallest page of every interface language with its
    // footer, with a little room for fonts that set wider. The tallest is the permissions page
    // with the recogniser's model missing and Accessibility still to allow, 645 in Russian; a
    // taller page would scroll above the footer.
    static constexpr int windowHeight = 656;

    explicit OnboardingWindowController(Services services, QObject *parent = nullptr);
    ~OnboardingWindowController() override;

    // Opens the window, at the permissions page when `startAtPermissions`, or brings the open one
    // to the front at the page it shows.
    void show(bool startAtPermissions);

    // Called after the pages were completed, not when the window was closed; the application
    // leaves it empty.
    std::function<void()> onFinished;

    // The kit while a window exists, and what its pages bind to.
    OnboardingKitController *kit() const { return m_kit; }
    FirstRunContent *content() const { return m_content; }

    // The four pages over `content`, built anew for every window.
    static std::vector<OKStep> makeSteps(FirstRunContent *content);
    // The footer's texts, each looked up when the footer asks for it.
    static OKStrings strings();

private:
    void end(bool completed);
    void pageShown();

    Services m_services;
    QPointer<OnboardingKitController> m_kit;
    QPointer<FirstRunContent> m_content;
};
