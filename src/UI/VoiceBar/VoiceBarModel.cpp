#include "UI/VoiceBar/VoiceBarModel.h"

#include "Core/Models/DictationState.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

VoiceBarModel::VoiceBarModel(QObject *parent)
    : QObject(parent)
    , m_levels(levelCount, 0.0f)
{ }

QList<float> VoiceBarModel::notchLevels() const
{
    return m_levels.mid(std::max<qsizetype>(0, m_levels.size() - notchBarCount));
}

void VoiceBarModel::push(float level)
{
    if (!m_levels.isEmpty()) {
        m_levels.removeFirst();
    }
    m_levels.append(sanitized(level));
    Q_EMIT levelsChanged();
}

void VoiceBarModel::reset()
{
    m_levels = QList<float>(levelCount, 0.0f);
    Q_EMIT levelsChanged();
}

bool VoiceBarModel::isRecording(int state)
{
    return state == int(DictationState::recording);
}

float VoiceBarModel::sanitized(float level)
{
    if (!std::isfinite(level)) {
        return 0.0f;
    }
    return std::clamp(level, 0.0f, 1.0f);
}

qreal VoiceBarModel::barHeight(float level, qreal scale, qreal base)
{
    return std::pow(qreal(sanitized(level)), 0.6) * scale + base;
}

QString VoiceBarModel::countdownText(int seconds)
{
    seconds = std::max(0, seconds);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QStringList VoiceBarModel::headTruncated(const QString &finalizedText, const QString &volatileText,
                                         const QFont &font, qreal width)
{
    const QString whole = finalizedText + volatileText;
    const QFontMetricsF metrics(font);
    if (metrics.horizontalAdvance(whole) <= width) {
        return {finalizedText, volatileText};
    }
    const QString elided = metrics.elidedText(whole, Qt::ElideLeft, std::max<qreal>(0, width));
    // The kept tail is whole's end behind the ellipsis; the volatile part is the end of that.
    const QChar ellipsis(0x2026);
    const QString tail = elided.startsWith(ellipsis) ? elided.mid(1) : elided;
    const qsizetype volatileShown = std::min(volatileText.size(), tail.size());
    const QString finalizedShown = tail.left(tail.size() - volatileShown);
    return {ellipsis + finalizedShown, tail.right(volatileShown)};
}
