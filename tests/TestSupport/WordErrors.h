#pragma once

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <vector>

// Word-level edit distance of a hypothesis against a reference: the word errors of a
// recognition, whose sum over the reference's length is the word error rate.
inline int wordErrors(const QStringList &reference, const QStringList &hypothesis)
{
    std::vector<int> previous(size_t(hypothesis.size()) + 1);
    std::vector<int> current(previous.size());
    for (size_t j = 0; j < previous.size(); ++j) {
        previous[j] = int(j);
    }
    for (qsizetype i = 1; i <= reference.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= hypothesis.size(); ++j) {
            const int substitution =
                previous[size_t(j - 1)] + (reference[i - 1] == hypothesis[j - 1] ? 0 : 1);
            current[size_t(j)] =
                std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous.back();
}

// The words of a recognised text as a word error rate compares them: without case and without
// the punctuation around them ("Meters." and "meters" are the same word).
inline QStringList comparableWords(const QString &text)
{
    static const QRegularExpression edges(QStringLiteral("^[^\\w']+|[^\\w']+$"));
    QStringList words;
    for (QString word : text.toLower().split(u' ', Qt::SkipEmptyParts)) {
        word.remove(edges);
        if (!word.isEmpty()) {
            words.append(word);
        }
    }
    return words;
}
