#include "UI/Settings/AboutTabModel.h"

#include "Core/AppSettings.h"
#include "Platform/Appcast/Updater.h"
#include "Platform/UrlOpener.h"
#include "Support/L10n.h"

AboutTabModel::AboutTabModel(AppSettings &settings, L10n &l10n, Updater *updater, UrlOpener *opener,
                             const QString &shortVersion, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_l10n(l10n)
    , m_updater(updater)
    , m_opener(opener)
    , m_shortVersion(shortVersion)
{
    connect(&m_l10n, &L10n::languageChanged, this, &AboutTabModel::textsChanged);
    if (m_updater) {
        connect(m_updater, &Updater::automaticallyChecksForUpdatesChanged, this,
                &AboutTabModel::autoCheckChanged);
    }
}

QString AboutTabModel::versionLine(const L10n &l10n, const QString &shortVersion)
{
    const QString version = shortVersion.isEmpty() ? QStringLiteral("0.1.0 (dev)") : shortVersion;
    return l10n.string(QStringLiteral("about.version"), version);
}

QObject *AboutTabModel::settingsObject() const
{
    return &m_settings;
}

QString AboutTabModel::versionLine() const
{
    return versionLine(m_l10n, m_shortVersion);
}

QString AboutTabModel::webLabel() const
{
    return QUrl(QString::fromLatin1(webPage)).host();
}

bool AboutTabModel::autoCheck() const
{
    return m_updater && m_updater->automaticallyChecksForUpdates();
}

void AboutTabModel::setAutoCheck(bool on)
{
    if (m_updater) {
        m_updater->setAutomaticallyChecksForUpdates(on);
    }
}

void AboutTabModel::checkNow()
{
    if (m_updater) {
        m_updater->checkForUpdates();
    }
}

void AboutTabModel::openWebPage()
{
    const QUrl url(QString::fromLatin1(webPage));
    if (m_opener && url.isValid()) {
        Q_EMIT webPageOpened(m_opener->openUrl(url));
    }
}
