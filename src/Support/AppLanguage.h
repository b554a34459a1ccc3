#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstddef>
#include <optional>

// One of the fourteen languages the interface speaks. The raw value is the language code
// ("en", "zh-Hans", "pt-BR"); equality and hashing go by it.
//
// A value type around the closed list of cases, so that both `AppLanguage::ja` and
// `lang.rawValue()` read naturally:
//
//     AppLanguage lang = AppLanguage::zhHans;
//     lang.rawValue();                       // "zh-Hans"
//     AppLanguage::fromRawValue("pt-BR");    // AppLanguage::ptBR
class AppLanguage
{
    Q_GADGET
    Q_PROPERTY(QString rawValue READ rawValue CONSTANT)
    Q_PROPERTY(QString displayName READ displayName CONSTANT)

public:
    // Declaration order is the order of allCases() and of the language picker.
    enum Case : quint8 { en, ja, ko, zhHans, zhHant, de, fr, es, ptBR, ru, it, nl, pl, tr };
    Q_ENUM(Case)

    static constexpr int caseCount = 14;

    constexpr AppLanguage(Case value = en) noexcept
        : m_case(value)
    { }

    constexpr Case value() const noexcept { return m_case; }

    QString rawValue() const;
    QString id() const { return rawValue(); }
    // The language's name in its own language ("日本語", "Deutsch").
    QString displayName() const;

    // Exactly one of the codes, case-sensitive: "pt-BR" gives ptBR; "pt", "zh-hans", "EN" give
    // nothing.
    static std::optional<AppLanguage> fromRawValue(QStringView code);
    static const QList<AppLanguage> &allCases();

    // The language that follows the user's preferred languages, most preferred first: the first
    // identifier that begins with one of the supported languages decides; English when none does.
    static AppLanguage systemDefault();
    static AppLanguage systemDefault(const QStringList &preferredLanguages);

    friend constexpr bool operator==(AppLanguage a, AppLanguage b) noexcept
    {
        return a.m_case == b.m_case;
    }
    friend constexpr bool operator!=(AppLanguage a, AppLanguage b) noexcept
    {
        return a.m_case != b.m_case;
    }
    friend size_t qHash(AppLanguage language, size_t seed = 0) noexcept
    {
        return ::qHash(static_cast<int>(language.m_case), seed);
    }

private:
    Case m_case;
};

Q_DECLARE_METATYPE(AppLanguage)
