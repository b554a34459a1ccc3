#include "Support/FrameworkLanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHash>
#include <QLibraryInfo>

#include <atomic>
#include <mutex>

namespace FrameworkLanguage {

namespace {

struct State
{
    std::mutex lock; // guards code and bundleCache, and nothing else
    std::optional<QString> code;
    QHash<QString, Catalogue> bundleCache; // "<folder>|<code>" -> catalogue; only ever added to
};

State &state()
{
    static State instance;
    return instance;
}

std::mutex g_installLock;
std::atomic<bool> g_installed {false};

const QLatin1StringView kBase("Base");

// Qt's catalogues of the two Chinese scripts are named after their main regions.
QString catalogueName(const QString &code)
{
    if (code == QLatin1StringView("zh-Hans")) {
        return QStringLiteral("zh_CN");
    }
    if (code == QLatin1StringView("zh-Hant")) {
        return QStringLiteral("zh_TW");
    }
    QString name = code;
    name.replace(u'-', u'_');
    return name;
}

QStringList candidateNames(const QString &code)
{
    QStringList names {catalogueName(code)};
    const QString firstTwo = code.left(2);
    if (firstTwo != code && !names.contains(firstTwo)) {
        names.append(firstTwo);
    }
    if (code.startsWith(QLatin1StringView("en"))) {
        names.append(kBase);
    }
    return names;
}

// Searches the file system and loads; called without the lock.
std::optional<Catalogue> openCandidate(const QString &folder, const QString &name)
{
    if (name == kBase) {
        return Catalogue {name, QString(), nullptr};
    }
    for (const QLatin1StringView prefix :
         {QLatin1StringView("qt_"), QLatin1StringView("qtbase_")}) {
        const QString fileName = prefix + name + QLatin1StringView(".qm");
        const QFileInfo info(QDir(folder), fileName);
        if (!info.isFile() || !info.isReadable()) {
            continue;
        }
        auto translator = std::make_shared<QTranslator>();
        // Loading by name within the folder lets a meta catalogue find the catalogues it names.
        if (!translator->load(fileName, folder)) {
            continue;
        }
        return Catalogue {name, info.absoluteFilePath(), std::move(translator)};
    }
    return std::nullopt;
}

// Answers Qt's requests from the catalogue of the current code.
class OverrideTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        return FrameworkLanguage::translate(catalogueFolder(), context, sourceText, disambiguation,
                                            n);
    }

    // Never empty: what it answers depends on the code at the time of each request.
    bool isEmpty() const override { return false; }
};

} // namespace

QString catalogueFolder()
{
    static const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    return folder;
}

void setCode(const std::optional<QString> &code)
{
    State &s = state();
    bool changed = false;
    {
        std::lock_guard guard(s.lock);
        changed = s.code != code;
        s.code = code;
    }
    QCoreApplication *app = QCoreApplication::instance();
    if (changed && app && g_installed.load()) {
        QCoreApplication::postEvent(app, new QEvent(QEvent::LanguageChange));
    }
}

std::optional<QString> code()
{
    State &s = state();
    std::lock_guard guard(s.lock);
    return s.code;
}

std::optional<Catalogue> lproj(const QString &folder, const QString &code)
{
    State &s = state();
    const QString cacheKey = folder + u'|' + code;
    {
        std::lock_guard guard(s.lock);
        const auto hit = s.bundleCache.constFind(cacheKey);
        if (hit != s.bundleCache.constEnd()) {
            return *hit;
        }
    }
    for (const QString &name : candidateNames(code)) {
        std::optional<Catalogue> found = openCandidate(folder, name);
        if (!found) {
            continue;
        }
        // Two threads that missed together both searched; the later store wins, and the two
        // catalogues are equivalent.
        std::lock_guard guard(s.lock);
        s.bundleCache.insert(cacheKey, *found);
        return found;
    }
    return std::nullopt;
}

QString translate(const QString &folder, const char *context, const char *sourceText,
                  const char *disambiguation, int n)
{
    const std::optional<QString> current = code();
    if (!current) {
        return QString();
    }
    const std::optional<Catalogue> catalogue = lproj(folder, *current);
    if (!catalogue || !catalogue->translator) {
        return QString();
    }
    return catalogue->translator->translate(context, sourceText, disambiguation, n);
}

bool installOnce()
{
    std::lock_guard guard(g_installLock);
    if (g_installed.load()) {
        return true;
    }
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) {
        return false;
    }
    QCoreApplication::installTranslator(new OverrideTranslator(app));
    g_installed.store(true);
    return true;
}

} // namespace FrameworkLanguage
