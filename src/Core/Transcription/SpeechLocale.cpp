#include "Core/Transcription/SpeechLocale.h"

#include "Base/PreferredLanguages.h"

#include <QLocale>
#include <QStringList>

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace {

bool isAlpha(const QString &part)
{
    for (const QChar c : part) {
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) {
            return false;
        }
    }
    return true;
}

bool isDigits(const QString &part)
{
    for (const QChar c : part) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

QString fromIcu(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

icu::Locale icuLocale(const QString &bcp47)
{
    UErrorCode status = U_ZERO_ERROR;
    const QByteArray tag = bcp47.toUtf8();
    icu::Locale locale = icu::Locale::forLanguageTag(tag.constData(), status);
    if (U_FAILURE(status)) {
        return icu::Locale::getRoot();
    }
    return locale;
}

} // namespace

SpeechLocale::SpeechLocale(QString identifier)
    : m_identifier(std::move(identifier))
    , m_bcp47(normalize(m_identifier))
{ }

SpeechLocale SpeechLocale::current()
{
    const QString normalized = normalize(QLocale::system().name());
    return SpeechLocale(normalized.isEmpty() ? QStringLiteral("en-US") : normalized);
}

QString SpeechLocale::languageCode() const
{
    return m_bcp47.section(u'-', 0, 0);
}

QString SpeechLocale::displayName() const
{
    if (m_bcp47.isEmpty()) {
        return m_identifier;
    }
    const icu::Locale locale = icuLocale(m_bcp47);
    const icu::Locale displayIn = icuLocale(normalize(QLocale().name()));
    // ICU spells an unknown language with its code; that is no display name.
    icu::UnicodeString language;
    locale.getDisplayLanguage(displayIn, language);
    if (language.isEmpty() || fromIcu(language).compare(languageCode(), Qt::CaseInsensitive) == 0) {
        return m_identifier;
    }
    icu::UnicodeString name;
    locale.getDisplayName(displayIn, name);
    return name.isEmpty() ? m_identifier : fromIcu(name);
}

QString SpeechLocale::normalize(const QString &identifier)
{
    // The POSIX decorations (codeset, modifier, "C") go the same way as for the preferred
    // languages; then each subtag gets its canonical case.
    const QString name = PreferredLanguages::normalize(identifier);
    QStringList parts = name.split(u'-', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QString &part = parts[i];
        if (i == 0) {
            part = part.toLower();
        } else if (part.size() == 4 && isAlpha(part)) {
            part = part.left(1).toUpper() + part.mid(1).toLower();
        } else if ((part.size() == 2 && isAlpha(part)) || (part.size() == 3 && isDigits(part))) {
            part = part.toUpper();
        } else {
            part = part.toLower();
        }
    }
    return parts.join(u'-');
}
