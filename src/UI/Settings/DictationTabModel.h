#pragma once

#include "Core/Audio/AudioInputDevice.h"
#include "Core/Models/DictationHoldKey.h"
#include "Core/Transcription/SpeechLocale.h"
#include "UI/Settings/SettingsOption.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>
#include <utility>

class AppSettings;
class CloudAccount;
class HotkeyLayout;
class L10n;
class MicrophoneDevices;

// The Dictation tab: the option lists of its dropdowns, which entry each shows for the stored
// setting, and what choosing an entry writes. The switches bind straight to the settings object,
// which the tab reaches through `settings`. Lists and selections are announced again whenever the
// settings, the microphone list or the interface language change. Main thread.
//
// A stored value that no entry has shows a sane entry and is left as it is until the user picks:
// a restore delay off the list shows the nearest listed delay; a microphone that is gone shows
// its "(not connected)" entry; a recognition locale or target language off the list shows an
// empty pill.
//
// The key lists offer the keys X11 sees (never fn). A key the keyboard layout keeps for typing
// (Right Alt as AltGr) is listed as such and cannot be picked; a task set to it shows no key, as
// it has none. A recognition language is offered when a recogniser for it is installed, or when
// cloud recognition is on and the user is signed in; the others are listed with the reason.
class DictationTabModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(QObject *settings READ settingsObject CONSTANT)
    Q_PROPERTY(QVariantList keyOptions READ keyOptionList NOTIFY keyOptionsChanged)
    Q_PROPERTY(int holdKeyIndex READ holdKeyIndex NOTIFY keysChanged)
    Q_PROPERTY(int askKeyIndex READ askKeyIndex NOTIFY keysChanged)
    Q_PROPERTY(int translateKeyIndex READ translateKeyIndex NOTIFY keysChanged)
    Q_PROPERTY(bool showUsageHints READ showUsageHints NOTIFY keysChanged)
    Q_PROPERTY(bool showTargetLanguage READ showTargetLanguage NOTIFY keysChanged)
    Q_PROPERTY(QString holdKeyLabel READ holdKeyLabel NOTIFY holdKeyLabelChanged)
    Q_PROPERTY(QVariantList targetLanguageOptions READ targetLanguageOptionList CONSTANT)
    Q_PROPERTY(int targetLanguageIndex READ targetLanguageIndex NOTIFY targetLanguageChanged)
    Q_PROPERTY(QVariantList microphoneOptions READ microphoneOptionList NOTIFY microphonesChanged)
    Q_PROPERTY(int microphoneIndex READ microphoneIndex NOTIFY microphonesChanged)
    Q_PROPERTY(QVariantList localeOptions READ localeOptionList NOTIFY localeOptionsChanged)
    Q_PROPERTY(int localeIndex READ localeIndex NOTIFY localeChanged)
    Q_PROPERTY(QVariantList insertionOptions READ insertionOptionList NOTIFY textsChanged)
    Q_PROPERTY(int insertionIndex READ insertionIndex NOTIFY insertionChanged)
    Q_PROPERTY(QVariantList delayOptions READ delayOptionList CONSTANT)
    Q_PROPERTY(int delayIndex READ delayIndex NOTIFY delayChanged)
    // Cloud recognition is switched on while no account is signed in: the tab says that it needs
    // one and offers the sign-in, as the Cleanup tab does for cloud cleanup.
    Q_PROPERTY(bool showsCloudSignInNote READ showsCloudSignInNote NOTIFY cloudSignInNoteChanged)

public:
    // The restore delays offered, in milliseconds.
    static constexpr qint64 restoreDelays[] = {300, 800, 1500, 3000};

    // What decides which keys and languages can be picked. Each may be absent.
    struct Sources
    {
        // The keys the keyboard layout keeps for typing; none kept when absent.
        HotkeyLayout *layout = nullptr;
        // The locales an on-device recogniser is installed for; asked once, when the tab is made.
        std::function<QList<SpeechLocale>()> installedLocales;
        // Whether the user is signed in, for cloud recognition; signed out when absent.
        CloudAccount *account = nullptr;
    };

    // How the recognition languages can be heard.
    struct Recognition
    {
        QList<SpeechLocale> installed;
        bool cloudOn = false;
        bool signedIn = false;
    };

    DictationTabModel(AppSettings &settings, MicrophoneDevices &microphones, L10n &l10n,
                      QObject *parent = nullptr);
    DictationTabModel(AppSettings &settings, MicrophoneDevices &microphones, L10n &l10n,
                      Sources sources, QObject *parent = nullptr);

    static QString keyLabel(const L10n &l10n, DictationHoldKey key);
    // The keys X11 sees, in declaration order, the same for all three tasks; the `reserved` ones
    // are marked as kept by the layout and cannot be picked.
    static QList<SettingsOption> holdKeyOptions(const L10n &l10n,
                                                const QSet<DictationHoldKey> &reserved = {});
    // The English name is stored; the label is the language's own name.
    static QList<SettingsOption> targetLanguageOptions();
    // The system entry (empty value) first, then the eight recognition locales, each available as
    // `recognition` allows.
    static QList<SettingsOption> localeOptions(const L10n &l10n, const Recognition &recognition);
    // The system entry, every listed device, and last the stored device when it is not listed.
    static QList<SettingsOption> microphoneOptions(const L10n &l10n,
                                                   const QList<AudioInputDevice> &devices,
                                                   const std::optional<QString> &storedUID,
                                                   const std::optional<QString> &storedName);
    // What choosing `value` stores: the identifier (none for the system entry) and the name of
    // the listed device with that identifier (none when no listed device has it).
    static std::pair<std::optional<QString>, std::optional<QString>>
    microphoneChoice(const QList<AudioInputDevice> &devices, const QString &value);
    static QList<SettingsOption> insertionOptions(const L10n &l10n);
    static QList<SettingsOption> delayOptions();
    // The listed delay the pill shows for a stored one: the equal one, else the nearest.
    static int delayIndexFor(qint64 storedMs);

    QObject *settingsObject() const;
    QVariantList keyOptionList() const;
    int holdKeyIndex() const;
    int askKeyIndex() const;
    int translateKeyIndex() const;
    bool showUsageHints() const;
    bool showTargetLanguage() const;
    QString holdKeyLabel() const;
    QVariantList targetLanguageOptionList() const;
    int targetLanguageIndex() const;
    QVariantList microphoneOptionList() const;
    int microphoneIndex() const;
    QVariantList localeOptionList() const;
    int localeIndex() const;
    QVariantList insertionOptionList() const;
    int insertionIndex() const;
    QVariantList delayOptionList() const;
    int delayIndex() const;
    bool showsCloudSignInNote() const;

    // Each takes the position of the chosen entry; a position no entry has changes nothing.
    Q_INVOKABLE void chooseHoldKey(int index);
    Q_INVOKABLE void chooseAskKey(int index);
    Q_INVOKABLE void chooseTranslateKey(int index);
    Q_INVOKABLE void chooseTargetLanguage(int index);
    Q_INVOKABLE void chooseMicrophone(int index);
    Q_INVOKABLE void chooseLocale(int index);
    Q_INVOKABLE void chooseInsertion(int index);
    Q_INVOKABLE void chooseDelay(int index);
    Q_INVOKABLE void signIn();

Q_SIGNALS:
    void textsChanged();
    void keyOptionsChanged();
    void keysChanged();
    void holdKeyLabelChanged();
    void targetLanguageChanged();
    void microphonesChanged();
    void localeChanged();
    void localeOptionsChanged();
    void insertionChanged();
    void delayChanged();
    void cloudSignInNoteChanged();

private:
    std::optional<DictationHoldKey> keyAt(int index) const;
    QSet<DictationHoldKey> reservedKeys() const;
    // The key that really starts a task set to `key`.
    DictationHoldKey bound(DictationHoldKey key) const;
    Recognition recognition() const;

    AppSettings &m_settings;
    MicrophoneDevices &m_microphones;
    L10n &m_l10n;
    Sources m_sources;
    QList<SpeechLocale> m_installedLocales;
};
