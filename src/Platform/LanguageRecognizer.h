#pragma once

#include <QString>

// Finds the language a text is written in, for the voice that reads it aloud. Thread-safe.
class LanguageRecognizer
{
public:
    virtual ~LanguageRecognizer() = default;

    // The dominant language as a short identifier ("en", "ja", "zh-Hant"); empty when none is
    // found (too little text, digits and symbols only).
    virtual QString dominantLanguage(const QString &text) = 0;

    // The system's recognizer.
    static LanguageRecognizer &system();
};
