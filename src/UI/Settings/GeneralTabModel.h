#pragma once

#include "UI/Settings/SettingsOption.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

class AppSettings;
class L10n;

// The General tab: the option lists of its two dropdowns and what choosing from them writes. The
// switches bind straight to the settings object, which the tab reaches through `settings`.
class GeneralTabModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(QObject *settings READ settingsObject CONSTANT)
    Q_PROPERTY(QVariantList languageOptions READ languageOptionList NOTIFY textsChanged)
    Q_PROPERTY(int languageIndex READ languageIndex NOTIFY languageIndexChanged)
    Q_PROPERTY(QVariantList styleOptions READ styleOptionList NOTIFY textsChanged)
    Q_PROPERTY(int styleIndex READ styleIndex NOTIFY styleIndexChanged)
    Q_PROPERTY(
        bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(QString launchAtLoginNote READ launchAtLoginNote NOTIFY launchAtLoginChanged)

public:
    GeneralTabModel(AppSettings &settings, L10n &l10n, QObject *parent = nullptr);

    // The system entry (empty value) first, then every interface language by its own name.
    static QList<SettingsOption> languageOptions(const L10n &l10n);
    static QList<SettingsOption> styleOptions(const L10n &l10n);
    // Which language entry a stored code shows: the entry of its language, or the system entry
    // when none is stored or the stored code names no language we have.
    static int languageIndexFor(const std::optional<QString> &storedCode);

    QObject *settingsObject() const;
    QVariantList languageOptionList() const;
    int languageIndex() const;
    QVariantList styleOptionList() const;
    int styleIndex() const;
    // Whether the application really starts at login: after a failed change, the state it kept.
    bool launchAtLogin() const;
    // Asks for the change (again after a failure).
    void setLaunchAtLogin(bool on);
    // Says that the last change failed; empty otherwise.
    QString launchAtLoginNote() const;

    // Stores the chosen language (the system entry removes it) and switches the interface to it.
    Q_INVOKABLE void chooseLanguage(int index);
    Q_INVOKABLE void chooseStyle(int index);

Q_SIGNALS:
    void textsChanged();
    void languageIndexChanged();
    void styleIndexChanged();
    void launchAtLoginChanged();

private:
    AppSettings &m_settings;
    L10n &m_l10n;
};
