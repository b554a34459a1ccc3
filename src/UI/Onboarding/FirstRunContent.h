#pragma once

#include "Core/Models/DictationHoldKey.h"
#include "UI/PermissionReadout.h"

#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

class AppSettings;
class HotkeyLayout;

// What the first-run pages show and do: the permissions and the on-device model's status as last
// read, the tutorial's hold key, the two consent switches, and the requests behind the pages'
// buttons.
//
// The permissions come from the permission layer's own cache, so a read never waits on the
// desktop session; the permissions page asks for them again on every tick of the onboarding
// window. The consent switches write the settings at once. Main thread only.
class FirstRunContent : public PermissionReadout
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    // Every row of the permissions page reads allowed.
    Q_PROPERTY(bool allGranted READ permissionsKnownGranted NOTIFY refreshed)
    // What is missing that nothing in the page can give; empty when nothing is.
    Q_PROPERTY(QString missingText READ missingText NOTIFY refreshed)
    Q_PROPERTY(QString hotkeyLabel READ hotkeyLabel NOTIFY hotkeyLabelChanged)
    Q_PROPERTY(QString layoutNote READ layoutNote NOTIFY hotkeyLabelChanged)
    Q_PROPERTY(bool improveDataSharing READ improveDataSharing WRITE setImproveDataSharing NOTIFY
                   improveDataSharingChanged)
    Q_PROPERTY(bool crashReportingEnabled READ crashReportingEnabled WRITE setCrashReportingEnabled
                   NOTIFY crashReportingEnabledChanged)
    // Empty, or why the link to the system settings opened nothing (in the current language).
    Q_PROPERTY(QString settingsLinkNotice READ settingsLinkNotice NOTIFY settingsLinkNoticeChanged)

public:
    struct Services
    {
        AppSettings *settings = nullptr;
        // The keys the keyboard layout keeps for typing; may be absent.
        HotkeyLayout *layout = nullptr;
        std::function<AppleIntelligence::Status()> modelStatus = [] {
            return AppleIntelligence::status();
        };
    };

    explicit FirstRunContent(Services services, QObject *parent = nullptr);

    QString missingText() const;
    // The key that really starts a dictation as the keycap names it, in the current interface
    // language: none when the layout keeps the chosen key for typing.
    QString hotkeyLabel() const;
    // Says that a task's key is AltGr on this keyboard and starts nothing; empty when every
    // chosen key works.
    QString layoutNote() const;
    bool improveDataSharing() const;
    void setImproveDataSharing(bool value);
    bool crashReportingEnabled() const;
    void setCrashReportingEnabled(bool value);
    QString settingsLinkNotice() const;

    // The keycap text of a hold key.
    static QString hotkeyLabel(DictationHoldKey key);
    // Whether dictation has every permission it needs: the microphone, Accessibility and an
    // installed recogniser, asked in this order and stopping at the first missing one. The
    // on-device model never counts.
    static bool permissionsGranted();
    // The same rule over the answers as last read, which never waits on the desktop session.
    bool permissionsKnownGranted() const { return micGranted() && axGranted() && speechGranted(); }
    // Whether a requirement is missing that no button of the page can meet: the recogniser's
    // model is installed outside the application.
    static bool requirementOutOfReach();

    Q_INVOKABLE void openAccessibilitySettings();

Q_SIGNALS:
    void hotkeyLabelChanged();
    void improveDataSharingChanged();
    void crashReportingEnabledChanged();
    void settingsLinkNoticeChanged();

private:
    Services m_services;
    bool m_settingsLinkFailed = false;
};
