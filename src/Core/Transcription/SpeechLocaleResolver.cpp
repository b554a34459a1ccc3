#include "Core/Transcription/SpeechLocaleResolver.h"

#include "Base/PreferredLanguages.h"
#include "Core/AppSettings.h"
#include "Core/DebugLog.h"
#include "Core/Transcription/TranscriptionEngine.h"

#include <QLocale>
#include <QProcessEnvironment>

namespace SpeechLocaleResolver {

namespace {

bool sameIdentifier(const QString &a, const QString &b)
{
    return SpeechLocale::normalize(a).compare(SpeechLocale::normalize(b), Qt::CaseInsensitive) == 0;
}

SpeechLocale storedOrCurrent(const std::optional<QString> &stored)
{
    return stored ? SpeechLocale(*stored) : SpeechLocale::current();
}

} // namespace

QCoro::Task<Resolution> ensureConfigured(std::shared_ptr<TranscriptionEngine> engine)
{
    co_return co_await ensureConfigured(std::move(engine), AppSettings::shared(), candidates());
}

QCoro::Task<Resolution> ensureConfigured(std::shared_ptr<TranscriptionEngine> engine,
                                         AppSettings &settings, QStringList candidates)
{
    const std::optional<QString> stored = settings.speechLocaleID();
    const QList<SpeechLocale> locales = co_await engine->supportedLocales();
    QStringList supported;
    for (const SpeechLocale &locale : locales) {
        supported.append(locale.bcp47Identifier());
    }

    if (stored) {
        for (const QString &identifier : std::as_const(supported)) {
            if (sameIdentifier(identifier, *stored)) {
                co_return Resolution {SpeechLocale(*stored), false};
            }
        }
    }
    if (supported.isEmpty()) {
        co_return Resolution {storedOrCurrent(stored), false};
    }

    const std::optional<QString> resolved = resolve(candidates, supported);
    const QString firstCandidates = candidates.mid(0, 3).join(u',');
    if (!resolved) {
        DebugLog::log(QStringLiteral("locale: 使える認識言語が見つからない(候補=") + firstCandidates
                      + QStringLiteral(" / サポート=") + supported.mid(0, 5).join(u',')
                      + QStringLiteral(")"));
        co_return Resolution {storedOrCurrent(stored), false};
    }
    if (sameIdentifier(*resolved, stored.value_or(QString()))) {
        co_return Resolution {SpeechLocale(*resolved), false};
    }
    settings.setSpeechLocaleID(*resolved);
    DebugLog::log(QStringLiteral("locale: 認識言語を ") + *resolved + QStringLiteral(" に確定(前=")
                  + stored.value_or(QStringLiteral("未設定")) + QStringLiteral(" 候補=")
                  + firstCandidates + QStringLiteral(")"));
    co_return Resolution {SpeechLocale(*resolved), true};
}

QStringList candidates()
{
    // The session's list without the application's own "AppleLanguages".
    const QStringList systemLanguages = PreferredLanguages::fromSources(
        {}, QProcessEnvironment::systemEnvironment(), QLocale::system().uiLanguages());
    return candidates(systemLanguages, PreferredLanguages::list());
}

QStringList candidates(const QStringList &systemLanguages, const QStringList &preferredLanguages)
{
    QStringList all = systemLanguages + preferredLanguages;
    all.append(QStringLiteral("en-US"));
    QStringList unique;
    for (const QString &identifier : std::as_const(all)) {
        if (!unique.contains(identifier, Qt::CaseInsensitive)) {
            unique.append(identifier);
        }
    }
    return unique;
}

QString languageKey(const QString &identifier)
{
    QString separated = identifier;
    separated.replace(u'_', u'-');
    const QStringList parts = separated.split(u'-', Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        return QString();
    }
    QString key = parts[0].toLower();
    if (parts.size() > 1 && parts[1].size() == 4) {
        key += u'-' + parts[1].toLower();
    }
    return key;
}

std::optional<QString> resolve(const QStringList &candidates, const QStringList &supported)
{
    for (const QString &candidate : candidates) {
        for (const QString &identifier : supported) {
            if (sameIdentifier(identifier, candidate)) {
                return identifier;
            }
        }
        const QString key = languageKey(candidate);
        if (key.isEmpty()) {
            continue;
        }
        for (const QString &identifier : supported) {
            if (languageKey(identifier) == key) {
                return identifier;
            }
        }
    }
    return std::nullopt;
}

} // namespace SpeechLocaleResolver
