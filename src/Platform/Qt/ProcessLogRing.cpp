#include "Platform/Qt/ProcessLogRing.h"

#include "Base/Clock.h"

#include <atomic>

namespace {

// The installed ring and the handler it chains to. Written under g_installLock, read without a
// lock by the handler, which may run on any thread.
std::atomic<ProcessLogRing *> g_installed {nullptr};
std::atomic<QtMessageHandler> g_chained {nullptr};
std::mutex g_installLock;

// A message written while the ring records one (nothing in record() logs today, but a Qt warning
// from inside would otherwise deadlock on the ring's own lock) is passed on without recording.
thread_local bool t_recording = false;

} // namespace

ProcessLogRing::ProcessLogRing(qsizetype capacity, Clock *clock)
    : m_capacity(qMax<qsizetype>(capacity, 1))
    , m_clock(clock ? clock : &Clock::system())
{ }

ProcessLogRing::~ProcessLogRing()
{
    uninstall();
}

ProcessLogRing &ProcessLogRing::shared()
{
    static ProcessLogRing *ring = new ProcessLogRing();
    return *ring;
}

void ProcessLogRing::install()
{
    std::lock_guard lock(g_installLock);
    ProcessLogRing *current = g_installed.load();
    if (current == this) {
        return;
    }
    if (current) {
        // One ring at a time: the other one steps aside, and this one chains to what it chained to.
        m_previousHandler = current->m_previousHandler;
        current->m_previousHandler = nullptr;
        g_installed.store(this);
        return;
    }
    g_installed.store(this);
    m_previousHandler = qInstallMessageHandler(&ProcessLogRing::handleMessage);
    g_chained.store(m_previousHandler);
}

void ProcessLogRing::uninstall()
{
    std::lock_guard lock(g_installLock);
    if (g_installed.load() != this) {
        return;
    }
    qInstallMessageHandler(m_previousHandler);
    g_installed.store(nullptr);
    g_chained.store(nullptr);
    m_previousHandler = nullptr;
}

bool ProcessLogRing::isInstalled() const
{
    return g_installed.load() == this;
}

void ProcessLogRing::handleMessage(QtMsgType type, const QMessageLogContext &context,
                                   const QString &message)
{
    if (ProcessLogRing *ring = g_installed.load(); ring && !t_recording) {
        ring->record(context.category ? QString::fromUtf8(context.category)
                                      : QStringLiteral("default"),
                     message);
    }
    if (QtMessageHandler next = g_chained.load()) {
        next(type, context, message);
    }
}

void ProcessLogRing::record(const QString &category, const QString &message)
{
    t_recording = true;
    Entry entry {m_clock->now().toUTC(), category, message};
    if (entry.message.size() > maxMessageLength) {
        qsizetype cut = maxMessageLength;
        if (entry.message.at(cut - 1).isHighSurrogate()) {
            --cut; // never split a surrogate pair
        }
        entry.message.truncate(cut);
        entry.message += QChar(0x2026);
    }
    {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(std::move(entry));
        while (static_cast<qsizetype>(m_entries.size()) > m_capacity) {
            m_entries.pop_front();
        }
    }
    t_recording = false;
}

QList<ProcessLogRing::Entry> ProcessLogRing::entriesSince(const QDateTime &since,
                                                          qsizetype limit) const
{
    QList<Entry> result;
    std::lock_guard lock(m_mutex);
    for (const Entry &entry : m_entries) {
        if (result.size() >= limit) {
            break;
        }
        if (entry.time >= since) {
            result.append(entry);
        }
    }
    return result;
}

QList<ProcessLogRing::Entry> ProcessLogRing::entries() const
{
    std::lock_guard lock(m_mutex);
    return QList<Entry>(m_entries.begin(), m_entries.end());
}
