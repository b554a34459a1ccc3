#pragma once

#include "Core/AppleIntelligence.h"

#include <QObject>

#include <functional>

// The permissions dictation needs, as the views that list them show them: the microphone,
// Accessibility, the recogniser and the on-device model's status, read from the permission
// layer on refresh(), and the requests behind the views' "Allow" buttons.
//
// The accessibility switch lives on the session bus, which may be slow to answer or not answer
// at all: refresh() shows the last answer known at once and asks again without waiting, and the
// answer shows when it comes (never after the object is gone). The settings window's
// Permissions tab and the first-run guide derive from it. Main thread only.
class PermissionReadout : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool micGranted READ micGranted NOTIFY refreshed)
    Q_PROPERTY(bool axGranted READ axGranted NOTIFY refreshed)
    Q_PROPERTY(bool speechGranted READ speechGranted NOTIFY refreshed)
    // 0 not supported (its row or card is absent), 1 disabled, 2 downloading, 3 ready.
    Q_PROPERTY(int aiStatus READ aiStatus NOTIFY refreshed)

public:
    using ModelStatus = std::function<AppleIntelligence::Status()>;

    // Reads every status once; an unset `modelStatus` reads as not supported.
    explicit PermissionReadout(ModelStatus modelStatus, QObject *parent = nullptr);

    bool micGranted() const { return m_mic; }
    bool axGranted() const { return m_ax; }
    bool speechGranted() const { return m_speech; }
    int aiStatus() const { return m_ai; }

    // Reads all four statuses again.
    Q_INVOKABLE void refresh();
    Q_INVOKABLE void grantMicrophone();
    // Asks once per process, whichever view asks first; later presses do nothing. The next
    // refresh shows the outcome.
    Q_INVOKABLE void grantAccessibility();
    Q_INVOKABLE void grantSpeech();
    Q_INVOKABLE void openLanguageModelSettings();

Q_SIGNALS:
    void refreshed();

private:
    ModelStatus m_modelStatus;
    bool m_mic = false;
    bool m_ax = false;
    bool m_speech = false;
    int m_ai = 0;
};
