#pragma once

#include "Core/Transcription/SpeechLocale.h"
#include "UI/Settings/SettingsWindowShowing.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class AboutTabModel;
class AppSettings;
class CleanupMemoryResetting;
class CloudAccount;
class CloudSession;
class CloudSync;
class Clock;
class GeneralTabModel;
class HistoryStore;
class HotkeyLayout;
class L10n;
class MicrophoneDevices;
class Pasteboard;
class QQuickView;
class SettingsTheme;
class SettingsRouter;
class SettingsWindowModel;
class SharedVocabulary;
class Updater;
class UrlOpener;

// The settings window: made on the first show(), dropped again when the user closes it. The
// router keeps the selected tab across closes. Main thread.
class SettingsWindowController
    : public QObject
    , public SettingsWindowShowing
{
    Q_OBJECT

public:
    static constexpr int contentWidth = 760;
    static constexpr int contentHeight = 520;
    static constexpr int minimumWidth = 720;
    static constexpr int minimumHeight = 480;
    static constexpr int sidebarWidth = 220;

    struct Services
    {
        AppSettings *settings = nullptr;
        L10n *l10n = nullptr;
        SettingsRouter *router = nullptr;
        Clock *clock = nullptr;
        // The input devices the Dictation tab lists.
        MicrophoneDevices *microphones = nullptr;
        // The keys the keyboard layout keeps for typing, and the locales an on-device recogniser
        // is installed for: the Dictation tab offers only what works. May be absent.
        HotkeyLayout *hotkeyLayout = nullptr;
        std::function<QList<SpeechLocale>()> recognizerLocales;
        // Tester mode's switch and state; the sidebar icon shows no ring when absent.
        QObject *testerMode = nullptr;
        // The update row of the About tab shows only when the build names a feed.
        Updater *updater = nullptr;
        UrlOpener *urlOpener = nullptr;
        QString shortVersion;
        // The History tab's records and the clipboard its Copy writes; the tab stays empty
        // without a store.
        HistoryStore *history = nullptr;
        Pasteboard *pasteboard = nullptr;
        // The AI Cleanup tab's account and the reset of what the cloud cleanup learned; without
        // them the tab shows the sign-in note.
        CloudAccount *account = nullptr;
        CleanupMemoryResetting *memoryReset = nullptr;
        // The Dictionary tab's lists; the tab stays empty without them.
        SharedVocabulary *vocabulary = nullptr;
        // The Account tab's sync switch and the session its usage query goes through.
        CloudSync *sync = nullptr;
        CloudSession *session = nullptr;
    };

    // The application's window over the shared settings, interface language and router.
    static SettingsWindowController &shared();

    explicit SettingsWindowController(Services services, QObject *parent = nullptr);
    ~SettingsWindowController() override;

    void show(std::optional<SettingsTab> tab) override;

    // The open window, or null.
    QQuickView *window() const;
    // Every QML warning of the window since it was made (tests fail on any).
    const QStringList &qmlWarnings() const { return m_warnings; }

Q_SIGNALS:
    void windowClosed();

private:
    void build();
    // The view owns the models of its tabs, so they go with it.
    void tearDown(bool later);

    Services m_services;
    QPointer<QQuickView> m_window;
    // A closed window waiting for its deletion on a later turn; the controller takes it along
    // when it goes first, since its models read the services.
    QPointer<QQuickView> m_closing;
    QStringList m_warnings;
};
