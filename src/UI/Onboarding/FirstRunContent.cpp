#include "UI/Onboarding/FirstRunContent.h"

#include "Base/RawEnum.h"
#include "Core/AppSettings.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Permissions.h"
#include "Support/L10n.h"

FirstRunContent::FirstRunContent(Services services, QObject *parent)
    : PermissionReadout(services.modelStatus, parent)
    , m_services(std::move(services))
{
    Q_ASSERT(m_services.settings);
    AppSettings *settings = m_services.settings;
    for (auto signal : {&AppSettings::holdKeyChanged, &AppSettings::askKeyChanged,
                        &AppSettings::translateKeyChanged}) {
        connect(settings, signal, this, &FirstRunContent::hotkeyLabelChanged);
    }
    if (m_services.layout) {
        connect(m_services.layout, &HotkeyLayout::reservedKeysChanged, this,
                &FirstRunContent::hotkeyLabelChanged);
    }
    connect(&L10n::shared(), &L10n::languageChanged, this, &FirstRunContent::hotkeyLabelChanged);
    connect(&L10n::shared(), &L10n::languageChanged, this,
            &FirstRunContent::settingsLinkNoticeChanged);
    connect(&L10n::shared(), &L10n::languageChanged, this, &FirstRunContent::refreshed);
    connect(settings, &AppSettings::improveDataSharingChanged, this,
            &FirstRunContent::improveDataSharingChanged);
    connect(settings, &AppSettings::crashReportingEnabledChanged, this,
            &FirstRunContent::crashReportingEnabledChanged);
}

QString FirstRunContent::hotkeyLabel(DictationHoldKey key)
{
    return L10n::shared().string(QStringLiteral("key.") + RawEnum::rawValue(key));
}

QString FirstRunContent::hotkeyLabel() const
{
    const DictationHoldKey key = m_services.settings->holdKey();
    return hotkeyLabel(m_services.layout ? m_services.layout->bound(key) : key);
}

QString FirstRunContent::layoutNote() const
{
    if (!m_services.layout) {
        return {};
    }
    const AppSettings &settings = *m_services.settings;
    for (const DictationHoldKey key :
         {settings.holdKey(), settings.askKey(), settings.translateKey()}) {
        if (m_services.layout->isReserved(key)) {
            return L10n::shared().string(QStringLiteral("onb.tutAltGr"), hotkeyLabel(key));
        }
    }
    return {};
}

bool FirstRunContent::improveDataSharing() const
{
    return m_services.settings->improveDataSharing();
}

void FirstRunContent::setImproveDataSharing(bool value)
{
    m_services.settings->setImproveDataSharing(value);
}

bool FirstRunContent::crashReportingEnabled() const
{
    return m_services.settings->crashReportingEnabled();
}

void FirstRunContent::setCrashReportingEnabled(bool value)
{
    m_services.settings->setCrashReportingEnabled(value);
}

bool FirstRunContent::permissionsGranted()
{
    return Permissions::microphoneGranted() && Permissions::accessibilityGranted()
        && Permissions::speechGranted();
}

bool FirstRunContent::requirementOutOfReach()
{
    return !Permissions::speechGranted();
}

QString FirstRunContent::missingText() const
{
    return speechGranted() ? QString()
                           : L10n::shared().string(QStringLiteral("onb.permModelMissing"));
}

void FirstRunContent::openAccessibilitySettings()
{
    const bool failed = !Permissions::openAccessibilitySettings();
    if (failed != m_settingsLinkFailed) {
        m_settingsLinkFailed = failed;
        Q_EMIT settingsLinkNoticeChanged();
    }
}

QString FirstRunContent::settingsLinkNotice() const
{
    return m_settingsLinkFailed ? L10n::shared().string(QStringLiteral("handoff.noSettings"))
                                : QString();
}
