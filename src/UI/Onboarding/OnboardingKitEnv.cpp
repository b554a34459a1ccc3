#include "UI/Onboarding/OnboardingKitEnv.h"

#include <charconv>
#include <limits>

namespace OnboardingKitEnv {

bool forced(const QStringList &legacy)
{
    return forced(legacy, QProcessEnvironment::systemEnvironment());
}

bool forced(const QStringList &legacy, const QProcessEnvironment &environment)
{
    const QStringList names = QStringList {forcedName} + legacy;
    for (const QString &name : names) {
        if (environment.contains(name) && environment.value(name) == u"1") {
            return true;
        }
    }
    return false;
}

std::optional<qint64> pinnedPage(const QStringList &legacy)
{
    return pinnedPage(legacy, QProcessEnvironment::systemEnvironment());
}

std::optional<qint64> pinnedPage(const QStringList &legacy, const QProcessEnvironment &environment)
{
    const QStringList names = QStringList {pageName} + legacy;
    for (const QString &name : names) {
        if (!environment.contains(name)) {
            continue;
        }
        if (const auto page = parsePage(environment.value(name))) {
            return page;
        }
    }
    return std::nullopt;
}

std::optional<qint64> parsePage(const QString &text)
{
    // Checked by hand first: from_chars alone would take a leading "-" but not a "+", and Qt's
    // own conversions allow blanks around the number.
    qsizetype digitsFrom = 0;
    if (text.startsWith(u'+') || text.startsWith(u'-')) {
        digitsFrom = 1;
    }
    if (text.size() == digitsFrom) {
        return std::nullopt;
    }
    for (qsizetype i = digitsFrom; i < text.size(); ++i) {
        if (text.at(i) < u'0' || text.at(i) > u'9') {
            return std::nullopt;
        }
    }
    const QByteArray ascii = text.mid(text.startsWith(u'+') ? 1 : 0).toLatin1();
    qint64 value = 0;
    const auto [end, error] =
        std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value);
    if (error != std::errc() || end != ascii.constData() + ascii.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace OnboardingKitEnv
