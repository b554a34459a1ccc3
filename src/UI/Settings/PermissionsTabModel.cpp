#include "UI/Settings/PermissionsTabModel.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Core/AppleIntelligence.h"
#include "Core/Permissions.h"

#include <QCoro/QCoroTask>
#include <QPointer>

PermissionsTabModel::PermissionsTabModel(Clock &clock, QObject *parent)
    : QObject(parent)
    , m_timer(clock.makeTimer())
{
    refresh();
    connect(m_timer.get(), &Timer::timeout, this, &PermissionsTabModel::refresh);
    m_timer->start(refreshInterval, true);
}

PermissionsTabModel::~PermissionsTabModel() = default;

void PermissionsTabModel::refresh()
{
    m_mic = Permissions::microphoneGranted();
    m_ax = Permissions::knownAccessibility();
    m_speech = Permissions::speechGranted();
    m_ai = static_cast<int>(AppleIntelligence::status());
    Q_EMIT refreshed();
    readAccessibility();
}

void PermissionsTabModel::readAccessibility()
{
    auto read = [](QPointer<PermissionsTabModel> self) -> QCoro::Task<> {
        const bool granted = co_await Permissions::readAccessibility();
        if (self && self->m_ax != granted) {
            self->m_ax = granted;
            Q_EMIT self->refreshed();
        }
    };
    QCoro::connect(read(QPointer<PermissionsTabModel>(this)), this, [] {});
}

void PermissionsTabModel::grantMicrophone()
{
    QPointer<PermissionsTabModel> self(this);
    Permissions::requestMicrophone([self] {
        if (self) {
            self->refresh();
        }
    });
}

void PermissionsTabModel::grantAccessibility()
{
    Permissions::promptAccessibility();
}

void PermissionsTabModel::grantSpeech()
{
    // The tab may be gone by the time the answer comes.
    auto request = [](QPointer<PermissionsTabModel> self) -> QCoro::Task<> {
        co_await Permissions::requestSpeechRecognition();
        if (self) {
            self->refresh();
        }
    };
    QCoro::connect(request(QPointer<PermissionsTabModel>(this)), this, [] {});
}

void PermissionsTabModel::openLanguageModelSettings()
{
    AppleIntelligence::openSettings();
}
