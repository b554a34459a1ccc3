#pragma once

#include "Platform/LanguageRecognizer.h"

// Language identification with CLD2 (the compact language detector), on the text's UTF-8 bytes.
// CLD2 still answers a few languages with their withdrawn ISO codes ("iw" for Hebrew); those are
// given as today's codes, which the speech voices use.
class Cld2LanguageRecognizer final : public LanguageRecognizer
{
public:
    QString dominantLanguage(const QString &text) override;
};
