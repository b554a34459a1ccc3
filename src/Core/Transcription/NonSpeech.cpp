#include "Core/Transcription/NonSpeech.h"

#include "Base/Regex.h"
#include "Base/Unicode.h"

const QString NonSpeech::bracketToken = QStringLiteral(u"[\\[\\(（【][^\\]\\)）】]*[\\]\\)）】]");

bool NonSpeech::isNonSpeechOnly(const QString &text)
{
    static const Regex token(bracketToken);
    const QString rest = token.replaceAll(text, QString());
    for (char32_t c : Unicode::scalars(rest)) {
        if (Unicode::isLetter(c) || Unicode::isDigit(c)) {
            return false;
        }
    }
    return true;
}
