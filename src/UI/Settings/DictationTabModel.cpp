#include "UI/Settings/DictationTabModel.h"

#include "Core/AppSettings.h"
#include "Core/Audio/MicrophoneDevices.h"
#include "Core/CloudAccount.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Support/L10n.h"

#include <algorithm>
#include <cstdlib>

namespace {

// X11 never sees fn, so it is not offered.
const DictationHoldKey allKeys[] = {DictationHoldKey::rightCommand, DictationHoldKey::rightOption,
                                    DictationHoldKey::rightControl, DictationHoldKey::rightShift,
                                    DictationHoldKey::none};

int indexOfKey(DictationHoldKey key)
{
    const auto found = std::find(std::cbegin(allKeys), std::cend(allKeys), key);
    return found == std::cend(allKeys) ? -1 : static_cast<int>(found - std::cbegin(allKeys));
}

std::optional<QString> nonEmpty(const QString &value)
{
    return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
}

} // namespace

DictationTabModel::DictationTabModel(AppSettings &settings, MicrophoneDevices &microphones,
                                     L10n &l10n, QObject *parent)
    : DictationTabModel(settings, microphones, l10n, Sources(), parent)
{ }

DictationTabModel::DictationTabModel(AppSettings &settings, MicrophoneDevices &microphones,
                                     L10n &l10n, Sources sources, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_microphones(microphones)
    , m_l10n(l10n)
    , m_sources(std::move(sources))
{
    if (m_sources.installedLocales) {
        m_installedLocales = m_sources.installedLocales();
    }
    connect(&m_l10n, &L10n::languageChanged, this, [this] {
        Q_EMIT textsChanged();
        Q_EMIT keyOptionsChanged();
        Q_EMIT localeOptionsChanged();
        Q_EMIT holdKeyLabelChanged();
        // The system entry and the "(not connected)" entry are worded in the interface language.
        Q_EMIT microphonesChanged();
    });
    for (auto signal : {&AppSettings::holdKeyChanged, &AppSettings::askKeyChanged,
                        &AppSettings::translateKeyChanged}) {
        connect(&m_settings, signal, this, &DictationTabModel::keysChanged);
    }
    connect(&m_settings, &AppSettings::holdKeyChanged, this,
            &DictationTabModel::holdKeyLabelChanged);
    if (m_sources.layout) {
        connect(m_sources.layout, &HotkeyLayout::reservedKeysChanged, this, [this] {
            Q_EMIT keyOptionsChanged();
            Q_EMIT keysChanged();
            Q_EMIT holdKeyLabelChanged();
        });
    }
    connect(&m_settings, &AppSettings::cloudSTTChanged, this,
            &DictationTabModel::localeOptionsChanged);
    if (m_sources.account) {
        connect(m_sources.account, &CloudAccount::stateChanged, this,
                &DictationTabModel::localeOptionsChanged);
    }
    connect(&m_settings, &AppSettings::translateTargetLangChanged, this,
            &DictationTabModel::targetLanguageChanged);
    connect(&m_settings, &AppSettings::microphoneUIDChanged, this,
            &DictationTabModel::microphonesChanged);
    connect(&m_settings, &AppSettings::microphoneNameChanged, this,
            &DictationTabModel::microphonesChanged);
    connect(&m_microphones, &MicrophoneDevices::devicesChanged, this,
            &DictationTabModel::microphonesChanged);
    connect(&m_settings, &AppSettings::speechLocaleIDChanged, this,
            &DictationTabModel::localeChanged);
    connect(&m_settings, &AppSettings::insertionMethodChanged, this,
            &DictationTabModel::insertionChanged);
    connect(&m_settings, &AppSettings::restoreClipboardDelayMsChanged, this,
            &DictationTabModel::delayChanged);
    connect(&m_settings, &AppSettings::cloudSTTChanged, this,
            &DictationTabModel::cloudSignInNoteChanged);
    if (m_sources.account) {
        connect(m_sources.account, &CloudAccount::stateChanged, this,
                &DictationTabModel::cloudSignInNoteChanged);
    }
}

bool DictationTabModel::showsCloudSignInNote() const
{
    return m_settings.cloudSTT() && !(m_sources.account && m_sources.account->storedToken().has_value());
}

void DictationTabModel::signIn()
{
    if (m_sources.account) {
        m_sources.account->signIn();
    }
}

QString DictationTabModel::keyLabel(const L10n &l10n, DictationHoldKey key)
{
    return l10n.string(QStringLiteral("key.") + RawEnum::rawValue(key));
}

QList<SettingsOption> DictationTabModel::holdKeyOptions(const L10n &l10n,
                                                        const QSet<DictationHoldKey> &reserved)
{
    QList<SettingsOption> options;
    for (DictationHoldKey key : allKeys) {
        if (reserved.contains(key)) {
            options.append({RawEnum::rawValue(key),
                            l10n.string(QStringLiteral("key.altGr"), keyLabel(l10n, key)), false});
        } else {
            options.append({RawEnum::rawValue(key), keyLabel(l10n, key)});
        }
    }
    return options;
}

QList<SettingsOption> DictationTabModel::targetLanguageOptions()
{
    return {{QStringLiteral("English"), QStringLiteral("English")},
            {QStringLiteral("Japanese"), QStringLiteral("日本語")},
            {QStringLiteral("Chinese"), QStringLiteral("中文")},
            {QStringLiteral("Korean"), QStringLiteral("한국어")},
            {QStringLiteral("Spanish"), QStringLiteral("Español")},
            {QStringLiteral("French"), QStringLiteral("Français")},
            {QStringLiteral("German"), QStringLiteral("Deutsch")}};
}

QList<SettingsOption> DictationTabModel::localeOptions(const L10n &l10n,
                                                       const Recognition &recognition)
{
    const std::pair<const char *, const char *> locales[] = {
        {"ja-JP", "lang.jaJP"}, {"en-US", "lang.enUS"}, {"en-GB", "lang.enGB"},
        {"zh-CN", "lang.zhCN"}, {"ko-KR", "lang.koKR"}, {"de-DE", "lang.deDE"},
        {"fr-FR", "lang.frFR"}, {"es-ES", "lang.esES"}};
    QList<SettingsOption> options {
        {QString(), l10n.string(QStringLiteral("common.systemDefault"))}};
    const bool cloud = recognition.cloudOn && recognition.signedIn;
    for (const auto &[value, key] : locales) {
        const QString identifier = QString::fromLatin1(value);
        const QString name = l10n.string(QString::fromLatin1(key));
        if (cloud || recognition.installed.contains(SpeechLocale(identifier))) {
            options.append({identifier, name});
        } else if (recognition.cloudOn) {
            options.append(
                {identifier, l10n.string(QStringLiteral("dict.localeNeedsSignIn"), name), false});
        } else {
            options.append(
                {identifier, l10n.string(QStringLiteral("dict.localeNotInstalled"), name), false});
        }
    }
    return options;
}

QList<SettingsOption> DictationTabModel::microphoneOptions(const L10n &l10n,
                                                           const QList<AudioInputDevice> &devices,
                                                           const std::optional<QString> &storedUID,
                                                           const std::optional<QString> &storedName)
{
    QList<SettingsOption> options {
        {QString(), l10n.string(QStringLiteral("common.systemDefault"))}};
    bool listed = false;
    for (const AudioInputDevice &device : devices) {
        options.append({device.uid, device.name});
        listed = listed || (storedUID && device.uid == *storedUID);
    }
    if (storedUID && !listed) {
        options.append(
            {*storedUID,
             l10n.string(QStringLiteral("mic.disconnected"), storedName.value_or(*storedUID))});
    }
    return options;
}

std::pair<std::optional<QString>, std::optional<QString>>
DictationTabModel::microphoneChoice(const QList<AudioInputDevice> &devices, const QString &value)
{
    std::optional<QString> name;
    for (const AudioInputDevice &device : devices) {
        if (device.uid == value) {
            name = device.name;
            break;
        }
    }
    return {nonEmpty(value), name};
}

QList<SettingsOption> DictationTabModel::insertionOptions(const L10n &l10n)
{
    return {{QStringLiteral("paste"), l10n.string(QStringLiteral("insert.paste"))},
            {QStringLiteral("type"), l10n.string(QStringLiteral("insert.type"))}};
}

QList<SettingsOption> DictationTabModel::delayOptions()
{
    QList<SettingsOption> options;
    for (qint64 ms : restoreDelays) {
        // Millisecond labels read the same in every language.
        options.append({QString::number(ms), QString::number(ms) + QStringLiteral(" ms")});
    }
    return options;
}

int DictationTabModel::delayIndexFor(qint64 storedMs)
{
    int best = 0;
    for (int i = 1; i < static_cast<int>(std::size(restoreDelays)); ++i) {
        if (std::llabs(restoreDelays[i] - storedMs) < std::llabs(restoreDelays[best] - storedMs)) {
            best = i;
        }
    }
    return best;
}

QObject *DictationTabModel::settingsObject() const
{
    return &m_settings;
}

QVariantList DictationTabModel::keyOptionList() const
{
    return SettingsOption::toVariant(holdKeyOptions(m_l10n, reservedKeys()));
}

int DictationTabModel::holdKeyIndex() const
{
    return indexOfKey(bound(m_settings.holdKey()));
}

int DictationTabModel::askKeyIndex() const
{
    return indexOfKey(bound(m_settings.askKey()));
}

int DictationTabModel::translateKeyIndex() const
{
    return indexOfKey(bound(m_settings.translateKey()));
}

bool DictationTabModel::showUsageHints() const
{
    return bound(m_settings.holdKey()) != DictationHoldKey::none;
}

bool DictationTabModel::showTargetLanguage() const
{
    return bound(m_settings.translateKey()) != DictationHoldKey::none;
}

QString DictationTabModel::holdKeyLabel() const
{
    return keyLabel(m_l10n, bound(m_settings.holdKey()));
}

QVariantList DictationTabModel::targetLanguageOptionList() const
{
    return SettingsOption::toVariant(targetLanguageOptions());
}

int DictationTabModel::targetLanguageIndex() const
{
    return SettingsOption::indexOf(targetLanguageOptions(), m_settings.translateTargetLang());
}

QVariantList DictationTabModel::microphoneOptionList() const
{
    return SettingsOption::toVariant(microphoneOptions(
        m_l10n, m_microphones.devices(), m_settings.microphoneUID(), m_settings.microphoneName()));
}

int DictationTabModel::microphoneIndex() const
{
    const auto options = microphoneOptions(m_l10n, m_microphones.devices(),
                                           m_settings.microphoneUID(), m_settings.microphoneName());
    return SettingsOption::indexOf(options, m_settings.microphoneUID().value_or(QString()));
}

QVariantList DictationTabModel::localeOptionList() const
{
    return SettingsOption::toVariant(localeOptions(m_l10n, recognition()));
}

int DictationTabModel::localeIndex() const
{
    return SettingsOption::indexOf(localeOptions(m_l10n, recognition()),
                                   m_settings.speechLocaleID().value_or(QString()));
}

QVariantList DictationTabModel::insertionOptionList() const
{
    return SettingsOption::toVariant(insertionOptions(m_l10n));
}

int DictationTabModel::insertionIndex() const
{
    return m_settings.insertionMethod() == InsertionMethod::type ? 1 : 0;
}

QVariantList DictationTabModel::delayOptionList() const
{
    return SettingsOption::toVariant(delayOptions());
}

int DictationTabModel::delayIndex() const
{
    return delayIndexFor(m_settings.restoreClipboardDelayMs());
}

std::optional<DictationHoldKey> DictationTabModel::keyAt(int index) const
{
    if (index < 0 || index >= static_cast<int>(std::size(allKeys))
        || reservedKeys().contains(allKeys[index])) {
        return std::nullopt;
    }
    return allKeys[index];
}

QSet<DictationHoldKey> DictationTabModel::reservedKeys() const
{
    return m_sources.layout ? m_sources.layout->reservedKeys() : QSet<DictationHoldKey>();
}

DictationHoldKey DictationTabModel::bound(DictationHoldKey key) const
{
    return m_sources.layout ? m_sources.layout->bound(key) : key;
}

DictationTabModel::Recognition DictationTabModel::recognition() const
{
    return {m_installedLocales, m_settings.cloudSTT(),
            m_sources.account && m_sources.account->isSignedIn()};
}

void DictationTabModel::chooseHoldKey(int index)
{
    if (const auto key = keyAt(index)) {
        m_settings.setHoldKey(*key);
    }
}

void DictationTabModel::chooseAskKey(int index)
{
    if (const auto key = keyAt(index)) {
        m_settings.setAskKey(*key);
    }
}

void DictationTabModel::chooseTranslateKey(int index)
{
    if (const auto key = keyAt(index)) {
        m_settings.setTranslateKey(*key);
    }
}

void DictationTabModel::chooseTargetLanguage(int index)
{
    const auto options = targetLanguageOptions();
    if (index >= 0 && index < options.size()) {
        m_settings.setTranslateTargetLang(options.at(index).value);
    }
}

void DictationTabModel::chooseMicrophone(int index)
{
    const QList<AudioInputDevice> devices = m_microphones.devices();
    const auto options =
        microphoneOptions(m_l10n, devices, m_settings.microphoneUID(), m_settings.microphoneName());
    if (index < 0 || index >= options.size()) {
        return;
    }
    const auto [uid, name] = microphoneChoice(devices, options.at(index).value);
    m_settings.setMicrophone(uid, name);
}

void DictationTabModel::chooseLocale(int index)
{
    const auto options = localeOptions(m_l10n, recognition());
    if (index >= 0 && index < options.size() && options.at(index).available) {
        m_settings.setSpeechLocaleID(nonEmpty(options.at(index).value));
    }
}

void DictationTabModel::chooseInsertion(int index)
{
    if (index == 0 || index == 1) {
        m_settings.setInsertionMethod(index == 1 ? InsertionMethod::type : InsertionMethod::paste);
    }
}

void DictationTabModel::chooseDelay(int index)
{
    if (index >= 0 && index < static_cast<int>(std::size(restoreDelays))) {
        m_settings.setRestoreClipboardDelayMs(restoreDelays[index]);
    }
}
