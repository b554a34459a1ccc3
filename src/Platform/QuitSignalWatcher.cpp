#include "Platform/QuitSignalWatcher.h"

#include <QSocketNotifier>
#include <QtDebug>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

QuitSignalWatcher::QuitSignalWatcher(QObject *parent)
    : QObject(parent)
{
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    // Blocked before any worker thread exists, so every thread inherits the mask and the signal
    // can only be taken from the descriptor.
    if (pthread_sigmask(SIG_BLOCK, &mask, nullptr) != 0) {
        qWarning("signals: cannot block SIGTERM/SIGINT");
        return;
    }
    m_fd = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0) {
        qWarning("signals: signalfd failed");
        pthread_sigmask(SIG_UNBLOCK, &mask, nullptr);
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignalWatcher::readSignal);
}

QuitSignalWatcher::~QuitSignalWatcher()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void QuitSignalWatcher::readSignal()
{
    signalfd_siginfo info {};
    while (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        Q_EMIT quitRequested(static_cast<int>(info.ssi_signo));
    }
}
