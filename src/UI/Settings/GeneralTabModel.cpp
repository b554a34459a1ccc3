#include "UI/Settings/GeneralTabModel.h"

#include "Core/AppSettings.h"
#include "Support/AppLanguage.h"
#include "Support/L10n.h"

GeneralTabModel::GeneralTabModel(AppSettings &settings, L10n &l10n, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_l10n(l10n)
{
    connect(&m_l10n, &L10n::languageChanged, this, &GeneralTabModel::textsChanged);
    connect(&m_settings, &AppSettings::languageCodeChanged, this,
            &GeneralTabModel::languageIndexChanged);
    connect(&m_settings, &AppSettings::voiceBarStyleChanged, this,
            &GeneralTabModel::styleIndexChanged);
    connect(&m_settings, &AppSettings::launchAtLoginChanged, this,
            &GeneralTabModel::launchAtLoginChanged);
    connect(&m_settings, &AppSettings::launchAtLoginFailedChanged, this,
            &GeneralTabModel::launchAtLoginChanged);
    connect(&m_l10n, &L10n::languageChanged, this, &GeneralTabModel::launchAtLoginChanged);
}

QList<SettingsOption> GeneralTabModel::languageOptions(const L10n &l10n)
{
    QList<SettingsOption> options;
    options.append({QString(), l10n.string(QStringLiteral("common.systemDefault"))});
    for (const AppLanguage &language : AppLanguage::allCases()) {
        options.append({language.rawValue(), language.displayName()});
    }
    return options;
}

QList<SettingsOption> GeneralTabModel::styleOptions(const L10n &l10n)
{
    return {{QStringLiteral("notch"), l10n.string(QStringLiteral("hud.style.notch"))},
            {QStringLiteral("classic"), l10n.string(QStringLiteral("hud.style.classic"))}};
}

int GeneralTabModel::languageIndexFor(const std::optional<QString> &storedCode)
{
    if (!storedCode || storedCode->isEmpty()) {
        return 0;
    }
    const auto &all = AppLanguage::allCases();
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all.at(i).rawValue() == *storedCode) {
            return static_cast<int>(i) + 1;
        }
    }
    // An unknown stored code makes the interface follow the system; the dropdown says so.
    return 0;
}

QObject *GeneralTabModel::settingsObject() const
{
    return &m_settings;
}

QVariantList GeneralTabModel::languageOptionList() const
{
    return SettingsOption::toVariant(languageOptions(m_l10n));
}

int GeneralTabModel::languageIndex() const
{
    return languageIndexFor(m_settings.languageCode());
}

QVariantList GeneralTabModel::styleOptionList() const
{
    return SettingsOption::toVariant(styleOptions(m_l10n));
}

int GeneralTabModel::styleIndex() const
{
    return m_settings.voiceBarStyle() == VoiceBarStyle::classic ? 1 : 0;
}

bool GeneralTabModel::launchAtLogin() const
{
    return m_settings.launchAtLogin() != m_settings.launchAtLoginFailed();
}

void GeneralTabModel::setLaunchAtLogin(bool on)
{
    m_settings.setLaunchAtLogin(on);
    // A failed change leaves the switch where it was; the view hears of it all the same.
    Q_EMIT launchAtLoginChanged();
}

QString GeneralTabModel::launchAtLoginNote() const
{
    if (!m_settings.launchAtLoginFailed()) {
        return QString();
    }
    return m_l10n.string(m_settings.launchAtLogin() ? QStringLiteral("gen.launchLoginOnFailed")
                                                    : QStringLiteral("gen.launchLoginOffFailed"));
}

void GeneralTabModel::chooseLanguage(int index)
{
    const auto options = languageOptions(m_l10n);
    if (index < 0 || index >= options.size()) {
        return;
    }
    const QString value = options.at(index).value;
    const std::optional<QString> code =
        value.isEmpty() ? std::nullopt : std::optional<QString>(value);
    m_settings.setLanguageCode(code);
    m_l10n.apply(code);
}

void GeneralTabModel::chooseStyle(int index)
{
    if (index < 0 || index > 1) {
        return;
    }
    m_settings.setVoiceBarStyle(index == 1 ? VoiceBarStyle::classic : VoiceBarStyle::notch);
}
