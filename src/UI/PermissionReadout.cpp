#include "UI/PermissionReadout.h"

#include "Core/Permissions.h"

#include <QCoro/QCoroTask>
#include <QPointer>

PermissionReadout::PermissionReadout(ModelStatus modelStatus, QObject *parent)
    : QObject(parent)
    , m_modelStatus(std::move(modelStatus))
{
    refresh();
}

void PermissionReadout::refresh()
{
    m_mic = Permissions::microphoneGranted();
    m_ax = Permissions::knownAccessibility();
    m_speech = Permissions::speechGranted();
    m_ai = m_modelStatus ? static_cast<int>(m_modelStatus()) : 0;
    Q_EMIT refreshed();
    Permissions::readAccessibility(this, [this](bool granted) {
        if (m_ax != granted) {
            m_ax = granted;
            Q_EMIT refreshed();
        }
    });
}

void PermissionReadout::grantMicrophone()
{
    // The microphone is never refused here, so there is no settings pane to send the user to
    // instead of the request.
    QPointer<PermissionReadout> self(this);
    Permissions::requestMicrophone([self] {
        if (self) {
            self->refresh();
        }
    });
}

void PermissionReadout::grantAccessibility()
{
    Permissions::promptAccessibility();
}

void PermissionReadout::grantSpeech()
{
    // The view may be gone by the time the answer comes; its next refresh shows the outcome
    // anyway.
    auto request = [](QPointer<PermissionReadout> self) -> QCoro::Task<> {
        co_await Permissions::requestSpeechRecognition();
        if (self) {
            self->refresh();
        }
    };
    QCoro::connect(request(QPointer<PermissionReadout>(this)), this, [] {});
}

void PermissionReadout::openLanguageModelSettings()
{
    AppleIntelligence::openSettings();
}
