#include "UI/Settings/CleanupTabModel.h"

#include "Core/AppSettings.h"
#include "Core/CloudAccount.h"
#include "Core/Services/CleanupMemoryResetting.h"
#include "Support/L10n.h"

#include <QCoro/QCoroTask>
#include <QPointer>

#include <algorithm>
#include <cmath>

CleanupTabModel::CleanupTabModel(AppSettings &settings, L10n &l10n, CloudAccount *account,
                                 CleanupMemoryResetting *memory, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_l10n(l10n)
    , m_account(account)
    , m_memory(memory)
{
    connect(&m_settings, &AppSettings::cleanupModeChanged, this, &CleanupTabModel::polishChanged);
    connect(&m_settings, &AppSettings::cleanupIntensityChanged, this,
            &CleanupTabModel::intensityChanged);
    connect(&m_l10n, &L10n::languageChanged, this, &CleanupTabModel::intensityChanged);
    if (m_account) {
        connect(m_account, &CloudAccount::stateChanged, this, &CleanupTabModel::hasTokenChanged);
    }
}

QString CleanupTabModel::intensityCaptionKey(int intensity)
{
    if (intensity == 3) {
        return QStringLiteral("clean.intensity3");
    }
    if (intensity == 1) {
        return QStringLiteral("clean.intensity1");
    }
    return QStringLiteral("clean.intensity2");
}

int CleanupTabModel::intensityForSlider(double value)
{
    if (!std::isfinite(value)) {
        return 2;
    }
    return static_cast<int>(std::clamp(std::round(value), 1.0, 3.0));
}

QObject *CleanupTabModel::settingsObject() const
{
    return &m_settings;
}

bool CleanupTabModel::polish() const
{
    return m_settings.cleanupMode() == CleanupMode::cloudRewrite;
}

void CleanupTabModel::setPolish(bool on)
{
    m_settings.setCleanupMode(on ? CleanupMode::cloudRewrite : CleanupMode::cloud);
}

int CleanupTabModel::intensity() const
{
    return m_settings.cleanupIntensity();
}

QString CleanupTabModel::intensityCaption() const
{
    return m_l10n.string(intensityCaptionKey(m_settings.cleanupIntensity()));
}

bool CleanupTabModel::hasToken() const
{
    return m_account && m_account->storedToken().has_value();
}

void CleanupTabModel::moveIntensity(double value)
{
    m_settings.setCleanupIntensity(intensityForSlider(value));
}

void CleanupTabModel::resetMemory()
{
    if (m_resetting) {
        return;
    }
    m_resetting = true;
    m_resetFailed = false;
    Q_EMIT resettingChanged();
    if (!m_memory) {
        finishReset(false);
        return;
    }
    // The request runs on when the tab goes away; only a tab that is still there shows the end.
    auto reset = [](QPointer<CleanupTabModel> self, CleanupMemoryResetting *memory,
                    quint64 showing) -> QCoro::Task<> {
        const bool confirmed = co_await memory->resetMemory();
        if (self && self->m_showing == showing) {
            self->finishReset(confirmed);
        }
    };
    QCoro::connect(reset(QPointer<CleanupTabModel>(this), m_memory, m_showing), this, [] {});
}

void CleanupTabModel::startAfresh()
{
    ++m_showing;
    if (m_resetting || m_resetFailed) {
        m_resetting = false;
        m_resetFailed = false;
        Q_EMIT resettingChanged();
    }
}

void CleanupTabModel::finishReset(bool confirmed)
{
    m_resetting = false;
    m_resetFailed = !confirmed;
    Q_EMIT resettingChanged();
}

void CleanupTabModel::signIn()
{
    if (m_account) {
        m_account->signIn();
    }
}
