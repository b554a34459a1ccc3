#pragma once

#include <QCoro/QCoroTask>

#include <chrono>
#include <functional>

class Clock;
class PermissionSystem;
class QObject;

// The permissions the application needs, their requests and the links to the desktop's settings.
//
// On Linux the microphone has no gate; speech recognition counts as authorised when a recogniser
// model is installed; Accessibility (global keys, reading the focused field, synthetic key
// events) counts as trusted on an X11 display with XTest and XInput 2 while the accessibility bus
// is enabled. A Wayland session is never trusted.
//
// The checks are polled every second by views and timers, so they stay cheap: what cannot change
// while the process runs (the display server, its extensions) is asked once, and the
// accessibility switch and the installed models are asked again at most once per
// recheckInterval.
//
// Main thread only.
class Permissions
{
public:
    static constexpr std::chrono::milliseconds recheckInterval {1000};

    static bool microphoneGranted();
    // The microphone is never denied here, so no settings are opened: `followUp` runs from the
    // event loop, as after an answered access request.
    static void requestMicrophone(std::function<void()> followUp = {});

    static bool speechGranted();
    // True exactly when recognition is authorised.
    static QCoro::Task<bool> requestSpeechRecognition();

    // Waits on the session bus when the known answer is older than recheckInterval; a bus that
    // stops answering holds the caller up to the call's time limit. Views and timers use the
    // reads below instead.
    static bool accessibilityGranted();
    // Without waiting on the session bus: the last answer known, false before the first.
    static bool knownAccessibility();
    // Asks the bus without blocking when the known answer is older than recheckInterval, and
    // gives the answer then; a caller that comes while such a read is out waits for its answer,
    // so there is never more than one read out.
    static QCoro::Task<bool> readAccessibility();
    // The same read, its answer handed to `answered` unless `context` is gone by then. A fresh
    // known answer is handed over before this returns.
    static void readAccessibility(QObject *context, std::function<void(bool)> answered);
    // Enables the accessibility bus, at most once per process; later calls do nothing, whether or
    // not trust followed.
    static void promptAccessibility();

    // Each false when the desktop has no settings program to open (the log says so too).
    static bool openMicrophoneSettings();
    static bool openAccessibilitySettings();

    // While a TestScope lives, the operations above ask `system` and time themselves on `clock`,
    // starting from a fresh state (nothing cached, no prompt shown yet).
    class TestScope
    {
    public:
        TestScope(PermissionSystem &system, Clock &clock);
        ~TestScope();
        TestScope(const TestScope &) = delete;
        TestScope &operator=(const TestScope &) = delete;
    };
};
