#pragma once

#include "Core/Models/DictationHoldKey.h"
#include "UI/StatusItem/StatusMenuItem.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

class AppSettings;
class DictationController;
class HistoryStore;
class HotkeyLayout;
class MicrophoneDevices;
class Pasteboard;
class SettingsWindowShowing;

// The content of the status menu and what its items do, apart from any menu on screen: items()
// builds the menu anew from the current dictation state, settings, device list, history and
// interface language; perform() runs an item's action.
//
// Main thread only.
class StatusMenuModel
{
public:
    // The history submenu lists this many of the newest dictations...
    static constexpr qsizetype historyItemCount = 5;
    // ...each titled with at most this many characters of its text.
    static constexpr qsizetype historyTitleLength = 40;

    // What the menu reads and drives. The pointers marked "may be absent" may be null; all others
    // must be set and outlive the model.
    struct Services
    {
        DictationController *controller = nullptr;
        AppSettings *settings = nullptr;
        HistoryStore *history = nullptr;
        MicrophoneDevices *microphones = nullptr;
        // Takes a copied dictation.
        Pasteboard *pasteboard = nullptr;
        // The keys the keyboard layout keeps for typing; may be absent. The first item names the
        // key that really starts a dictation.
        HotkeyLayout *layout = nullptr;
        // May be absent: without a settings window its two entries are shown disabled.
        SettingsWindowShowing *settingsWindow = nullptr;
        // A user-initiated check of the updater (UpdaterController). Unset when the application
        // has no updater: the menu then has no update entry.
        std::function<void()> checkForUpdates;
        // The About panel and leaving the application; the status item sets them.
        std::function<void()> showAbout;
        std::function<void()> quit;
    };

    explicit StatusMenuModel(Services services);

    // The guide hook: opens the first-run guide at its first page. Unset: the guide entry does
    // nothing.
    void setOnShowOnboarding(std::function<void()> hook) { m_onShowOnboarding = std::move(hook); }

    // The whole menu, top to bottom. Re-lists the microphones on the way.
    QList<StatusMenuItem> items() const;
    // The microphone entry with its submenu.
    StatusMenuItem microphoneItem() const;
    // The history entry with its submenu.
    StatusMenuItem historyItem() const;

    // Runs the action of an item with the item's represented object.
    void perform(StatusMenuItem::Action action, const QVariant &representedObject = {});

    // True unless the microphone is authorised and, then, Accessibility is trusted, as last
    // known: it never waits on the desktop session (see Permissions::knownAccessibility).
    static bool needsPermissions();
    // The name of the hold key for the first item's title; absent for none.
    static std::optional<QString> holdKeyHint(DictationHoldKey key);
    // A dictation's text as a menu title: one line, blanks and tabs trimmed from both ends, at
    // most historyTitleLength characters, then "…" when it was longer.
    static QString historyTitle(const QString &cleanedText);

private:
    void toggleDictation();
    void selectMicrophone(const QVariant &device);
    void copyHistoryItem(const QVariant &text);

    Services m_services;
    std::function<void()> m_onShowOnboarding;
};
