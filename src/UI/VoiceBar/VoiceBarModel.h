#pragma once

#include <QFont>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

// The level window of the voice bar's waveform: always 24 values in 0...1, oldest first. The voice
// bar controller pushes one value per meter tick; the views draw from it. Main thread.
//
// Also the small text and measure rules the bar views share, so that no rule lives in QML.
class VoiceBarModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the voice bar")
    Q_PROPERTY(QList<float> levels READ levels NOTIFY levelsChanged)
    // The newest `notchBarCount` values, for the notch's shorter waveform.
    Q_PROPERTY(QList<float> notchLevels READ notchLevels NOTIFY levelsChanged)

public:
    static constexpr int levelCount = 24;
    static constexpr int notchBarCount = 12;

    explicit VoiceBarModel(QObject *parent = nullptr);

    const QList<float> &levels() const { return m_levels; }
    QList<float> notchLevels() const;

    // Slides the window by one: the oldest value goes, `level` (made safe) comes in at the end.
    // One change notice per push: a window of 23 values in between would make the waveform jump.
    void push(float level);
    // All 24 values back to silence.
    void reset();

    // Whether a dictation state (as QML reads the controller's `state`) is recording.
    Q_INVOKABLE static bool isRecording(int state);
    // A level as drawn: anything not a number (NaN, infinite) is silence, the rest clamped to
    // 0...1.
    static float sanitized(float level);
    // A waveform bar's height: pow(level, 0.6) × scale + base (the exponent lifts quiet levels).
    Q_INVOKABLE static qreal barHeight(float level, qreal scale, qreal base);
    // The countdown of a session's last minute: "1:15", "0:09".
    Q_INVOKABLE static QString countdownText(int seconds);
    // The live transcript cut at its head so that it fits `width` in `font`: an ellipsis, then the
    // newest words. Answers the shown part of the finalized text and of the volatile text.
    Q_INVOKABLE static QStringList headTruncated(const QString &finalizedText,
                                                 const QString &volatileText, const QFont &font,
                                                 qreal width);

Q_SIGNALS:
    void levelsChanged();

private:
    QList<float> m_levels;
};
