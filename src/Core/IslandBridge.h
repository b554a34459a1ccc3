#pragma once

#include "Base/Clock.h"
#include "Base/RelativeDateFormatter.h"
#include "Core/Models/DictationState.h"
#include "Core/Models/VoiceBarStyle.h"
#include "Core/WidgetProtocol.h"
#include "Platform/CompanionSocket.h"
#include "Support/AppLanguage.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class AppSettings;
class DictationController;
class HistoryStore;
class Pasteboard;
class Timer;

// The client of the companion widget host: mirrors the dictation state, the quick actions that
// fit it and the ten newest history entries into the host's widget area, in the host's language,
// and runs the host's commands (start, stop or cancel a session, copy an entry).
//
// The host is optional. Without it the bridge stays disconnected and tries again on every
// six-second heartbeat; nothing is logged or shown either way. While the host shows the live
// session, `handedOver` is true and the voice bar stays hidden.
//
// Main thread only. Changes of the controller, the settings and the history reach the bridge as
// queued calls, so the mirror follows a change a moment after it happens.
class IslandBridge : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool handedOver READ handedOver NOTIFY handedOverChanged)

public:
    static constexpr std::chrono::seconds heartbeatInterval {6};
    static constexpr std::chrono::seconds heartbeatTolerance {1};
    // The live state's refresh while a recording shows in the host's notch.
    static constexpr std::chrono::milliseconds levelInterval {50};
    static constexpr int maxItems = 10;
    static constexpr int titleLength = 60;
    // A host that sends this much without ending a line is not speaking the protocol.
    static constexpr qsizetype maxLineBytes = 1024 * 1024;

    struct Services
    {
        Clock *clock = &Clock::system();
        std::unique_ptr<CompanionSocket> socket;
        HistoryStore *history = nullptr;
        // Where "Copy" of an entry puts its text.
        Pasteboard *pasteboard = nullptr;
        // The host's socket; never created by the bridge.
        QString socketPath = defaultSocketPath();
        // Sent as `app` in every message.
        QString appID;
    };

    explicit IslandBridge(Services services, QObject *parent = nullptr);
    ~IslandBridge() override;

    // The start-up hands over the services once, before the first use of shared().
    static void configureShared(Services services);
    static IslandBridge &shared();

    // "Velmoor/bridge.sock" in the user's application-support folder.
    static QString defaultSocketPath();

    // Connects when the host is there, starts the heartbeat and follows the controller's state,
    // the voice-bar style and the history from now on. Once.
    void start(DictationController *controller, AppSettings *settings);

    bool handedOver() const { return m_handedOver; }
    bool isConnected() const { return m_connected; }

    // The bridge's texts and times, exposed for their tests.
    static QString timeText(qint64 seconds);
    static QString itemTitle(const QString &text);
    // The rounded whole seconds of a duration, or nothing when below one second or not a real
    // length (a corrupt record).
    static std::optional<QString> durationText(double seconds);
    // The meter level sent to the host: 0 to 1, full scale for anything not a number.
    static double earLevel(float level);

Q_SIGNALS:
    void handedOverChanged(bool handedOver);

private:
    void connectIfPossible();
    void heartbeat();
    void send(const WidgetMessage &message);
    void disconnect();
    void consume(const QByteArray &bytes);

    void stateChanged(DictationState state, VoiceBarStyle style);
    void publish(DictationState state, float level, VoiceBarStyle style);
    void declareActions(DictationState state);
    void declareItems();
    void hostInfo(const WidgetMessage &message);
    void handle(const WidgetMessage &message);
    QString LI(const QString &key) const;

    WidgetMessage message(const QString &type) const;
    DictationState controllerState() const;
    void setHandedOver(bool value);

    Services m_services;
    bool m_connected = false;
    bool m_started = false;
    QByteArray m_readBuffer;
    std::optional<WidgetEar> m_lastEar;
    QPointer<DictationController> m_controller;
    QPointer<AppSettings> m_settings;
    std::unique_ptr<Timer> m_retryTimer;
    std::unique_ptr<Timer> m_levelTimer;
    std::optional<std::chrono::nanoseconds> m_recordStart;
    std::optional<AppLanguage> m_hostLang;
    DictationState m_lastActionState = DictationState::idle;
    RelativeDateFormatter m_relFormatter;
    bool m_handedOver = false;
};
