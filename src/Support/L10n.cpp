#include "Support/L10n.h"

#include "Base/UserDefaults.h"
#include "Support/FrameworkLanguage.h"
#include "Support/LocalizationTables.h"

#include <QCoreApplication>
#include <QJSEngine>
#include <QLocale>
#include <QThread>

namespace {

const QString kLanguageCodeKey = QStringLiteral("languageCode");
const QString kAppleLanguagesKey = QStringLiteral("AppleLanguages");

// Dates and numbers follow the interface language, in the user's own region.
QLocale formattingLocale(const std::optional<AppLanguage> &chosen)
{
    const QLocale system = QLocale::system();
    if (!chosen) {
        return system;
    }
    const QLocale language(chosen->rawValue());
    return QLocale(language.language(), language.script(), system.territory());
}

} // namespace

L10n::L10n()
    : m_language(AppLanguage::en)
{ }

L10n &L10n::shared()
{
    static L10n *const instance = [] {
        auto *created = new L10n();
        // Texts may be looked up first from a worker thread; the object itself belongs to the
        // main thread, where its signal is emitted and views observe it.
        if (QCoreApplication *app = QCoreApplication::instance()) {
            created->moveToThread(app->thread());
        }
        return created;
    }();
    return *instance;
}

AppLanguage L10n::language() const
{
    return AppLanguage(static_cast<AppLanguage::Case>(m_language.load(std::memory_order_acquire)));
}

void L10n::bootstrap()
{
    const std::optional<QString> stored = UserDefaults::standard().string(kLanguageCodeKey);
    if (stored && !stored->isEmpty()) {
        apply(stored);
    } else {
        apply(std::nullopt);
    }
}

void L10n::apply(const std::optional<QString> &code)
{
    UserDefaults &defaults = UserDefaults::standard();
    const std::optional<AppLanguage> chosen =
        code ? AppLanguage::fromRawValue(*code) : std::optional<AppLanguage>();

    if (chosen) {
        defaults.setValue(kAppleLanguagesKey, QStringList {chosen->rawValue()});
        FrameworkLanguage::setCode(chosen->rawValue());
    } else {
        defaults.remove(kAppleLanguagesKey);
        FrameworkLanguage::setCode(std::nullopt);
    }
    FrameworkLanguage::installOnce();
    QLocale::setDefault(formattingLocale(chosen));

    // The system default is computed only now, with the app's own language list removed.
    const AppLanguage language = chosen.value_or(AppLanguage::systemDefault());
    m_language.store(language.value(), std::memory_order_release);
    Q_EMIT languageChanged();
}

QString L10n::string(const QString &key) const
{
    return lookup(key, language());
}

QString L10n::string(const QString &key, const QString &argument) const
{
    return string(key).replace(QStringLiteral("%@"), argument);
}

QString L10n::lookup(const QString &key, AppLanguage language)
{
    return lookup(key, language, LocalizationTables::tables());
}

QString L10n::lookup(const QString &key, AppLanguage language,
                     const QHash<AppLanguage, LocalizationTables::Table> &tables)
{
    const auto table = tables.constFind(language);
    if (table != tables.constEnd()) {
        const auto text = table->constFind(key);
        if (text != table->constEnd()) {
            return *text;
        }
    }
    const auto english = tables.constFind(AppLanguage::en);
    if (english != tables.constEnd()) {
        const auto text = english->constFind(key);
        if (text != english->constEnd()) {
            return *text;
        }
    }
    return key;
}

L10n *L10n::create(QQmlEngine *, QJSEngine *)
{
    QJSEngine::setObjectOwnership(&shared(), QJSEngine::CppOwnership);
    return &shared();
}
