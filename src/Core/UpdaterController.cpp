#include "Core/UpdaterController.h"

#include "Base/AppInfo.h"
#include "Base/Clock.h"
#include "Base/UserDefaults.h"
#include "Core/UpdateAlerting.h"
#include "Platform/Appcast/Updater.h"
#include "Platform/Xdg/DesktopUrlOpener.h"

#include <QUrl>

bool UpdaterController::isConfigured()
{
    return !AppInfo::feedURL().isEmpty();
}

UpdaterController *UpdaterController::shared()
{
    static DesktopUrlOpener opener;
    static UpdaterController *instance = create(AppInfo::feedURL(), AppInfo::buildVersion(), opener,
                                                UserDefaults::standard(), Clock::system())
                                             .release();
    return instance;
}

std::unique_ptr<UpdaterController> UpdaterController::create(const QString &feedURL,
                                                             const QString &currentVersion,
                                                             UrlOpener &opener,
                                                             UserDefaults &defaults, Clock &clock)
{
    if (feedURL.isEmpty()) {
        return nullptr;
    }
    auto updater =
        std::make_unique<Updater>(QUrl(feedURL), currentVersion, opener, defaults, clock);
    return std::unique_ptr<UpdaterController>(new UpdaterController(std::move(updater)));
}

UpdaterController::UpdaterController(std::unique_ptr<Updater> updater)
    : m_updater(std::move(updater))
{
    connect(m_updater.get(), &Updater::checkFinished, this,
            [this](Updater::CheckResult result, bool userInitiated, const QString &version,
                   const QUrl &page, const QString &detail) {
                if (!userInitiated || !m_alerts) {
                    return;
                }
                switch (result) {
                case Updater::CheckResult::upToDate:
                    m_alerts->showUpToDate();
                    break;
                case Updater::CheckResult::updateFound:
                    m_alerts->showUpdateAvailable(version, page);
                    break;
                case Updater::CheckResult::failed:
                    m_alerts->showCheckFailed(detail);
                    break;
                }
            });
    m_updater->start();
}

UpdaterController::~UpdaterController() = default;
