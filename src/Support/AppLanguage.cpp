#include "Support/AppLanguage.h"

#include "Base/PreferredLanguages.h"

#include <array>

namespace {

struct LanguageInfo
{
    QStringView code;
    QStringView displayName;
};

constexpr std::array<LanguageInfo, AppLanguage::caseCount> kLanguages {{
    {u"en", u"English"},
    {u"ja", u"日本語"},
    {u"ko", u"한국어"},
    {u"zh-Hans", u"简体中文"},
    {u"zh-Hant", u"繁體中文"},
    {u"de", u"Deutsch"},
    {u"fr", u"Français"},
    {u"es", u"Español"},
    {u"pt-BR", u"Português (Brasil)"},
    {u"ru", u"Русский"},
    {u"it", u"Italiano"},
    {u"nl", u"Nederlands"},
    {u"pl", u"Polski"},
    {u"tr", u"Türkçe"},
}};

} // namespace

QString AppLanguage::rawValue() const
{
    return kLanguages[m_case].code.toString();
}

QString AppLanguage::displayName() const
{
    return kLanguages[m_case].displayName.toString();
}

std::optional<AppLanguage> AppLanguage::fromRawValue(QStringView code)
{
    for (std::size_t i = 0; i < kLanguages.size(); ++i) {
        if (kLanguages[i].code == code) {
            return AppLanguage(static_cast<Case>(i));
        }
    }
    return std::nullopt;
}

const QList<AppLanguage> &AppLanguage::allCases()
{
    static const QList<AppLanguage> cases = [] {
        QList<AppLanguage> all;
        all.reserve(caseCount);
        for (int i = 0; i < caseCount; ++i) {
            all.append(AppLanguage(static_cast<Case>(i)));
        }
        return all;
    }();
    return cases;
}

AppLanguage AppLanguage::systemDefault()
{
    return systemDefault(PreferredLanguages::list());
}

AppLanguage AppLanguage::systemDefault(const QStringList &preferredLanguages)
{
    struct Prefix
    {
        QLatin1StringView prefix;
        Case language;
    };
    // Chinese is decided by the script or region below; zhHans here is only its placeholder.
    static constexpr std::array<Prefix, 13> kPrefixes {{
        {QLatin1StringView("ja"), ja},
        {QLatin1StringView("ko"), ko},
        {QLatin1StringView("zh"), zhHans},
        {QLatin1StringView("de"), de},
        {QLatin1StringView("fr"), fr},
        {QLatin1StringView("es"), es},
        {QLatin1StringView("pt"), ptBR},
        {QLatin1StringView("ru"), ru},
        {QLatin1StringView("it"), it},
        {QLatin1StringView("nl"), nl},
        {QLatin1StringView("pl"), pl},
        {QLatin1StringView("tr"), tr},
        {QLatin1StringView("en"), en},
    }};

    for (const QString &identifier : preferredLanguages) {
        const QString lower = identifier.toLower();
        for (const Prefix &entry : kPrefixes) {
            if (!lower.startsWith(entry.prefix)) {
                continue;
            }
            if (entry.language == zhHans) {
                const bool traditional = lower.contains(QLatin1StringView("hant"))
                    || lower.contains(QLatin1StringView("tw"))
                    || lower.contains(QLatin1StringView("hk"))
                    || lower.contains(QLatin1StringView("mo"));
                return traditional ? zhHant : zhHans;
            }
            return entry.language;
        }
    }
    return en;
}
