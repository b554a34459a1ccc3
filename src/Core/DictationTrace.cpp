#include "Core/DictationTrace.h"

#include "Base/Unicode.h"
#include "Base/UserDefaults.h"
#include "Core/DebugLog.h"

#include <QHash>
#include <QStringList>

namespace {

const QString keyDownName = QStringLiteral("keydown");
const QString keyUpName = QStringLiteral("keyup");
const QString cmdVName = QStringLiteral("insert.cmdV");

// end − start in milliseconds. Marks made at nearly the same moment on two threads may stand in
// the list against their clock order, so the difference may be negative; it is taken without
// wrapping the unsigned readings.
double signedMillis(quint64 end, quint64 start)
{
    return end >= start ? double(end - start) / 1'000'000.0 : -(double(start - end) / 1'000'000.0);
}

double signedSeconds(quint64 end, quint64 start)
{
    return signedMillis(end, start) / 1'000.0;
}

// Pads on the right to `width` user-perceived characters; a longer text stays whole.
QString padded(const QString &text, qsizetype width)
{
    const qsizetype length = Unicode::graphemeCount(text);
    return length >= width ? text : text + QString(width - length, QLatin1Char(' '));
}

QString timelineMessage(qint64 id, quint64 origin, const QList<DictationTrace::Mark> &marks)
{
    QStringList lines;
    lines.reserve(marks.size() + 1);
    lines << QStringLiteral("trace #") + QString::number(id)
            + QStringLiteral(" — 口述タイムライン (ms: 押下からの累計 / 直前からの差)");
    quint64 previous = origin;
    for (const DictationTrace::Mark &mark : marks) {
        lines << QString::asprintf("  %9.1f  %+9.1f  ", signedMillis(mark.nanos, origin),
                                   signedMillis(mark.nanos, previous))
                + padded(mark.name, 24)
                + (mark.detail ? QStringLiteral("  ") + *mark.detail : QString());
        previous = mark.nanos;
    }
    return lines.join(QLatin1Char('\n'));
}

QString summaryMessage(qint64 id, const QList<DictationTrace::Mark> &marks,
                       std::optional<quint64> keyUpNanos, std::optional<quint64> cmdVNanos)
{
    QHash<QString, quint64> first;
    for (const DictationTrace::Mark &mark : marks) {
        if (!first.contains(mark.name)) {
            first.insert(mark.name, mark.nanos);
        }
    }

    QStringList items;
    const auto item = [&](const QString &label, const QString &end, const QString &start) {
        const auto endIt = first.constFind(end);
        const auto startIt = first.constFind(start);
        if (endIt == first.cend() || startIt == first.cend() || *endIt < *startIt) {
            return;
        }
        items << label + QString::asprintf("=%.2fs", signedSeconds(*endIt, *startIt));
    };
    item(QStringLiteral("mic"), QStringLiteral("audio.start"), keyDownName);
    item(QStringLiteral("hold"), keyUpName, keyDownName);
    item(first.contains(QStringLiteral("localFinalize.detached")) ? QStringLiteral("finalize(並走)")
                                                                  : QStringLiteral("finalize"),
         QStringLiteral("stream.drain"), QStringLiteral("audio.stop"));
    item(QStringLiteral("dictate"), QStringLiteral("dictate.done"), QStringLiteral("wav.finish"));
    item(QStringLiteral("cleanup"), QStringLiteral("cleanup.done"),
         QStringLiteral("cleanup.begin"));
    item(QStringLiteral("insert"), cmdVName, QStringLiteral("insert.begin"));
    item(QStringLiteral("restore"), QStringLiteral("insert.restore"), cmdVName);

    if (keyUpNanos) {
        if (cmdVNanos) {
            items << QStringLiteral("VISIBLE(離す→⌘V)")
                    + QString::asprintf("=%.2fs", signedSeconds(*cmdVNanos, *keyUpNanos));
        }
        if (!marks.isEmpty()) {
            items << QStringLiteral("total(離す→完了)")
                    + QString::asprintf("=%.2fs", signedSeconds(marks.last().nanos, *keyUpNanos));
        }
    }
    return QStringLiteral("trace #") + QString::number(id) + QStringLiteral(" summary: ")
        + items.join(QLatin1Char(' '));
}

} // namespace

DictationTrace::DictationTrace(qint64 id, Clock &clock)
    : m_clock(clock)
    , m_id(id)
    , m_origin(clockNanos())
{
    m_marks.append(Mark {keyDownName, m_origin, std::nullopt});
}

quint64 DictationTrace::clockNanos() const
{
    const qint64 nanos = m_clock.uptime().count();
    return nanos > 0 ? quint64(nanos) : 0;
}

void DictationTrace::mark(const QString &name, const std::optional<QString> &detail)
{
    const quint64 now = clockNanos();
    std::lock_guard guard(m_lock);
    if (m_flushed) {
        return;
    }
    m_marks.append(Mark {name, now, detail});
    if (name == keyUpName) {
        m_keyUpNanos = now;
    } else if (name == cmdVName) {
        m_cmdVNanos = now;
    }
}

void DictationTrace::flush(const QString &reason)
{
    mark(reason);

    QList<Mark> marks;
    std::optional<quint64> keyUpNanos;
    std::optional<quint64> cmdVNanos;
    {
        std::lock_guard guard(m_lock);
        if (m_flushed) {
            return;
        }
        m_flushed = true;
        marks = m_marks;
        keyUpNanos = m_keyUpNanos;
        cmdVNanos = m_cmdVNanos;
    }

    if (UserDefaults::standard().boolValue(QStringLiteral("testerModeEnabled")).value_or(false)) {
        DebugLog::log(timelineMessage(m_id, m_origin, marks));
    }
    DebugLog::log(summaryMessage(m_id, marks, keyUpNanos, cmdVNanos));
}

QList<DictationTrace::Mark> DictationTrace::marks() const
{
    std::lock_guard guard(m_lock);
    return m_marks;
}

bool DictationTrace::isFlushed() const
{
    std::lock_guard guard(m_lock);
    return m_flushed;
}
