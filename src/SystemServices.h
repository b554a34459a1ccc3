#pragma once

#include "AppDelegate.h"

#include <QObject>

#include <memory>

class AnswerCardController;
class Clock;
class CleanupFactory;
class CloudDictate;
class ContextComposer;
class ConnectionWarmer;
class CorrectionLearner;
class ModalAlert;
class OnboardingWindowController;
class QtSpeechSynthesizer;
class SignInPrompt;
class EngineLocalePreparer;
class SoundPlayer;
class SystemTextInsertion;
class UpdateAlert;
class XdgAutostartLoginItem;

// The application's real services for the start-up: makes the process-wide settings and the
// dictation controller (the settings first, as they register the login item on the very first
// launch), keeps the objects they are made on, and hands the start-up its services.
//
// Made once in main(), before the delegate, on the main thread; lives as long as the process.
class SystemServices
{
public:
    explicit SystemServices(Clock &clock);
    ~SystemServices();
    SystemServices(const SystemServices &) = delete;
    SystemServices &operator=(const SystemServices &) = delete;

    AppDelegate::Services services();

private:
    Clock &m_clock;
    std::unique_ptr<XdgAutostartLoginItem> m_loginItem;
    std::unique_ptr<EngineLocalePreparer> m_enginePreparer;
    QMetaObject::Connection m_hintPreparation;
    std::unique_ptr<SoundPlayer> m_sounds;
    std::unique_ptr<SystemTextInsertion> m_insertion;
    std::unique_ptr<UpdateAlert> m_updateAlert;
    std::unique_ptr<ModalAlert> m_signInAlert;
    std::unique_ptr<ConnectionWarmer> m_warmer;
    std::unique_ptr<SignInPrompt> m_signInPrompt;
    std::unique_ptr<ContextComposer> m_composer;
    std::unique_ptr<CloudDictate> m_cloudDictate;
    std::unique_ptr<CleanupFactory> m_cleanup;
    std::unique_ptr<CorrectionLearner> m_learner;
    std::unique_ptr<OnboardingWindowController> m_onboarding;
    // The answer card and the voice that reads its answers.
    std::unique_ptr<QtSpeechSynthesizer> m_synthesizer;
    std::unique_ptr<AnswerCardController> m_answerCard;
};
