#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <memory>

class Clock;
class Timer;

// The Permissions tab: the live state of each permission dictation needs, read from the
// permission layer when the tab is made and again every second while it is shown, and the
// requests behind its "Allow" buttons. The tab's model is made with the tab and goes with it.
// The accessibility switch lives on the session bus, which may be slow to answer or not answer
// at all: the tab shows the last answer known and asks again without waiting.
class PermissionsTabModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(bool micGranted READ micGranted NOTIFY refreshed)
    Q_PROPERTY(bool axGranted READ axGranted NOTIFY refreshed)
    Q_PROPERTY(bool speechGranted READ speechGranted NOTIFY refreshed)
    // 0 not supported (the card is absent), 1 disabled, 2 downloading, 3 ready.
    Q_PROPERTY(int aiStatus READ aiStatus NOTIFY refreshed)

public:
    static constexpr std::chrono::seconds refreshInterval {1};

    explicit PermissionsTabModel(Clock &clock, QObject *parent = nullptr);
    ~PermissionsTabModel() override;

    bool micGranted() const { return m_mic; }
    bool axGranted() const { return m_ax; }
    bool speechGranted() const { return m_speech; }
    int aiStatus() const { return m_ai; }

    // Re-reads all four statuses.
    Q_INVOKABLE void refresh();

    Q_INVOKABLE void grantMicrophone();
    // Asks once per process; the next refresh shows the outcome.
    Q_INVOKABLE void grantAccessibility();
    Q_INVOKABLE void grantSpeech();
    Q_INVOKABLE void openLanguageModelSettings();

Q_SIGNALS:
    void refreshed();

private:
    void readAccessibility();

    std::unique_ptr<Timer> m_timer;
    bool m_mic = false;
    bool m_ax = false;
    bool m_speech = false;
    int m_ai = 0;
};
