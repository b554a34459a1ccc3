#pragma once

#include "TestSupport/WordErrors.h"

#include "Core/Transcription/SpeechRecording.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <random>
#include <vector>

// The five read sentences of pocketsphinx-testdata's librivox folder, as one dictation: joined
// in their listed order with a second of quiet room noise between them, and the reference text.
struct LibrivoxDictation
{
    AudioBuffer audio;
    QStringList reference;
    // Where each sentence begins in the audio.
    std::vector<std::size_t> starts;
    int sentences = 0;

    static LibrivoxDictation load()
    {
        LibrivoxDictation dictation;
        dictation.audio.sampleRate = 16000;
        dictation.audio.channels = 1;
        QFile transcription(SpeechRecording::path(QStringLiteral("librivox/transcription")));
        if (!transcription.open(QIODevice::ReadOnly)) {
            return dictation;
        }
        static const QRegularExpression line(QStringLiteral("^<s> (.*) </s> \\((.*)\\)$"));
        std::mt19937 random(7);
        std::uniform_real_distribution<float> noise(-1e-4f, 1e-4f);
        for (const QString &text :
             QString::fromUtf8(transcription.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
            const auto match = line.match(text.trimmed());
            if (!match.hasMatch()) {
                continue;
            }
            const AudioBuffer sentence = SpeechRecording::load(
                QStringLiteral("librivox/") + match.captured(2) + QStringLiteral(".wav"));
            if (sentence.isEmpty()) {
                return {};
            }
            if (dictation.sentences > 0) {
                for (int i = 0; i < 16000; ++i) {
                    dictation.audio.samples.push_back(noise(random));
                }
            }
            dictation.starts.push_back(dictation.audio.samples.size());
            SpeechRecording::append(dictation.audio, sentence);
            dictation.reference += match.captured(1).split(u' ', Qt::SkipEmptyParts);
            ++dictation.sentences;
        }
        return dictation;
    }

    // Word error rate of a hypothesis against the reference: word-level edit distance over the
    // reference's length.
    double wordErrorRate(const QString &hypothesis) const
    {
        const int errors = wordErrors(reference, comparableWords(hypothesis));
        return reference.isEmpty() ? 0.0 : double(errors) / double(reference.size());
    }
};
