#pragma once

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>

// A recognition locale, named by its identifier. Recognisers, the settings and the desktop spell
// identifiers differently ("en_US", "en-US", "en_US.UTF-8", "zh-Hans-CN"); a SpeechLocale keeps the
// spelling it was given for display, and compares by one normal form (BCP 47 with "-", ignoring
// letter case), so that "en_US" and "en-US" are the same locale.
//
// QLocale is not used for this: it drops subtags it does not know and reorders or invents others
// (a script, a likely region), which would change the identifier the user picked.
class SpeechLocale
{
public:
    SpeechLocale() = default;
    explicit SpeechLocale(QString identifier);

    // The locale of the desktop session's region settings; "en-US" when it names none ("C").
    static SpeechLocale current();

    bool isEmpty() const { return m_bcp47.isEmpty(); }
    // The identifier as it was given.
    const QString &identifier() const { return m_identifier; }
    // The normal form: subtags joined by "-", language in lower case, script in title case,
    // region in upper case ("zh-Hans-CN", "en-US"); POSIX code sets and modifiers dropped.
    const QString &bcp47Identifier() const { return m_bcp47; }
    // The language subtag in lower case ("zh"); empty for an empty locale.
    QString languageCode() const;
    // The identifier in the language of the current locale ("German (Switzerland)"), or the bare
    // identifier when no display name exists.
    QString displayName() const;

    // The normal form of any identifier spelling; empty for "", "C" and "POSIX".
    static QString normalize(const QString &identifier);

    friend bool operator==(const SpeechLocale &a, const SpeechLocale &b)
    {
        return a.m_bcp47.compare(b.m_bcp47, Qt::CaseInsensitive) == 0;
    }
    friend bool operator!=(const SpeechLocale &a, const SpeechLocale &b) { return !(a == b); }
    friend size_t qHash(const SpeechLocale &locale, size_t seed = 0)
    {
        return qHash(locale.m_bcp47.toLower(), seed);
    }

private:
    QString m_identifier;
    QString m_bcp47;
};

Q_DECLARE_METATYPE(SpeechLocale)
