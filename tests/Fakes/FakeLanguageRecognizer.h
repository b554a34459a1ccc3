#pragma once

#include "Platform/LanguageRecognizer.h"

#include <QStringList>

// Answers the language the test sets, whatever the text.
class FakeLanguageRecognizer final : public LanguageRecognizer
{
public:
    QString language;
    QStringList texts;

    QString dominantLanguage(const QString &text) override
    {
        texts << text;
        return language;
    }
};
