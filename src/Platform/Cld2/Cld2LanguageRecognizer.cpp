#include "Platform/Cld2/Cld2LanguageRecognizer.h"

#include <cld2/public/compact_lang_det.h>

#include <QHash>

#include <limits>

LanguageRecognizer &LanguageRecognizer::system()
{
    static Cld2LanguageRecognizer recognizer;
    return recognizer;
}

QString Cld2LanguageRecognizer::dominantLanguage(const QString &text)
{
    // toUtf8() replaces unpaired surrogates, so CLD2 only ever sees valid UTF-8.
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() > std::numeric_limits<int>::max()) {
        return {};
    }
    bool reliable = false;
    CLD2::Language top[3] = {};
    int percents[3] = {};
    int letterBytes = 0;
    const CLD2::Language language = CLD2::DetectLanguageSummary(
        utf8.constData(), int(utf8.size()), true, top, percents, &letterBytes, &reliable);
    // With nothing to score (no letters at all) CLD2 still answers English: that is no finding.
    if (language == CLD2::UNKNOWN_LANGUAGE || language == CLD2::TG_UNKNOWN_LANGUAGE
        || percents[0] == 0) {
        return {};
    }
    const QString code = QString::fromLatin1(CLD2::LanguageCode(language));
    static const QHash<QString, QString> withdrawn = {
        {QStringLiteral("iw"), QStringLiteral("he")},
        {QStringLiteral("in"), QStringLiteral("id")},
        {QStringLiteral("ji"), QStringLiteral("yi")},
        {QStringLiteral("jw"), QStringLiteral("jv")},
    };
    return withdrawn.value(code, code);
}
