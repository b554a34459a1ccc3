#pragma once

#include "Platform/Accessibility.h"

#include <QDeadlineTimer>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// The desktop's accessibility service through AT-SPI2, spoken over D-Bus with QtDBus: the
// accessibility bus (org.a11y.Bus), the registry's list of applications, each application's
// windows, states, roles and text.
//
// Why not libatspi: it keeps process-wide caches that it updates from GLib's default main context,
// which Qt's main thread runs, while the focus is read on a background thread. QtDBus is safe from
// any thread and needs no main loop for blocking calls.
//
// Trusted means the bus is switched on (org.a11y.Status IsEnabled or ScreenReaderEnabled).
// Applications are matched to the frontmost one by process id; the focused window is the one with
// the ACTIVE state, the focused element the one with the FOCUSED state below it (asked through the
// Collection interface where the application offers it, else walked, skipping what is not showing).
//
// Every request waits at most requestTimeoutMs, and none outlasts the object's budget (a request
// made once it is spent fails at once); an application that lets one time out is not asked again
// by this object, and the search for the focused element gives up after searchBudgetMs. Make one
// object per read. Offsets are turned into Unicode scalars: AT-SPI counts characters as code
// points, but some toolkits (Qt 6.4) report UTF-16 code units; which one an element uses is told
// apart by comparing its character count with its text.
class AtspiAccessibility final : public Accessibility
{
public:
    static constexpr int requestTimeoutMs = 1000;
    static constexpr int searchBudgetMs = 1000;

    // Without a budget the object's requests are bounded one by one only.
    AtspiAccessibility();
    explicit AtspiAccessibility(std::chrono::milliseconds budget);
    ~AtspiAccessibility() override;

    bool isTrusted() override;
    // Switches the bus on (IsEnabled): Chromium and Electron build their tree only while it is.
    // ScreenReaderEnabled is left alone, since desktops start a screen reader when it turns on.
    void requestAccessibilityTree(const FrontmostApplication &application) override;
    std::optional<QString> focusedWindowTitle(const FrontmostApplication &application) override;
    std::unique_ptr<AccessibilityElement>
    focusedElement(const std::optional<FrontmostApplication> &application) override;
    bool timedOut() override;

    // Whether an element whose text is `text` and which reported `characterCount` characters
    // counts in UTF-16 code units rather than code points.
    static bool countsUtf16CodeUnits(const QString &text, qint64 characterCount);

    // Whether the bus daemon at `address` (a D-Bus address) answers the opening of a connection
    // within `timeoutMs`. Connecting to one that does not would wait for libdbus's own limit of
    // 25 s, with every D-Bus call of the process held up behind it. An address that names no
    // Unix socket is not asked and counts as answering.
    static bool busAnswers(const QString &address, int timeoutMs);

    class Client;

private:
    // The time left of the budget for one more request on the session bus; nothing once spent.
    std::optional<int> sessionBusTimeout();

    QDeadlineTimer m_deadline;
    bool m_timedOut = false;
    std::shared_ptr<Client> m_client;
};
