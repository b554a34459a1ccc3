#include "Platform/Linux/QuitSignalWatcher.h"

#include <QSocketNotifier>
#include <QtDebug>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t quitSignals()
{
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    return mask;
}

} // namespace

bool QuitSignalWatcher::blockQuitSignals()
{
    // Blocked before any worker thread exists, so every thread inherits the mask and the signals
    // can only be taken from the descriptor.
    const sigset_t mask = quitSignals();
    return pthread_sigmask(SIG_BLOCK, &mask, nullptr) == 0;
}

QuitSignalWatcher::QuitSignalWatcher(QObject *parent)
    : QObject(parent)
{
    const sigset_t mask = quitSignals();
    m_fd = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0) {
        qWarning("signals: signalfd failed; SIGTERM and SIGINT end the process at once");
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
