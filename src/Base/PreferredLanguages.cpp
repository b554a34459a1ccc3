#include "Base/PreferredLanguages.h"

#include "Base/UserDefaults.h"

#include <QLocale>

namespace PreferredLanguages {

namespace {

void appendUnique(QStringList &list, const QString &identifier)
{
    const QString normalized = normalize(identifier);
    if (normalized.isEmpty() || list.contains(normalized, Qt::CaseInsensitive)) {
        return;
    }
    list.append(normalized);
}

} // namespace

QString normalize(const QString &identifier)
{
    QString name = identifier.trimmed();
    // language[_territory][.codeset][@modifier]
    qsizetype end = name.size();
    for (const QChar mark : {u'.', u'@'}) {
        const qsizetype at = name.indexOf(mark);
        if (at >= 0 && at < end) {
            end = at;
        }
    }
    name.truncate(end);
    if (name == QLatin1StringView("C") || name == QLatin1StringView("POSIX")) {
        return QString();
    }
    name.replace(u'_', u'-');
    return name;
}

QStringList fromSources(const QStringList &appLanguages, const QProcessEnvironment &environment,
                        const QStringList &systemLanguages)
{
    QStringList result;
    for (const QString &identifier : appLanguages) {
        appendUnique(result, identifier);
    }
    const QStringList languageList =
        environment.value(QStringLiteral("LANGUAGE")).split(u':', Qt::SkipEmptyParts);
    for (const QString &identifier : languageList) {
        appendUnique(result, identifier);
    }
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        appendUnique(result, environment.value(QString::fromLatin1(variable)));
    }
    for (const QString &identifier : systemLanguages) {
        appendUnique(result, identifier);
    }
    return result;
}

QStringList list()
{
    return fromSources(UserDefaults::standard()
                           .stringArray(QStringLiteral("AppleLanguages"))
                           .value_or(QStringList()),
                       QProcessEnvironment::systemEnvironment(), QLocale::system().uiLanguages());
}

} // namespace PreferredLanguages
