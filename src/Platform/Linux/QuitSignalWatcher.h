#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the main thread, so the application leaves its
// event loop the ordinary way (and runs its termination steps) when the session ends or the user
// presses Ctrl+C in a terminal. The two signals are blocked for the process and read from a
// signalfd: call blockQuitSignals() first thing in main, before any thread starts, then make the
// watcher once the application object exists.
class QuitSignalWatcher : public QObject
{
    Q_OBJECT

public:
    static bool blockQuitSignals();

    explicit QuitSignalWatcher(QObject *parent = nullptr);
    ~QuitSignalWatcher() override;

    bool isValid() const { return m_fd >= 0; }

Q_SIGNALS:
    // The number of the signal received.
    void quitRequested(int signal);

private:
    void readSignal();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};
