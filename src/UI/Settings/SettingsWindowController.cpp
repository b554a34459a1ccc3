#include "UI/Settings/SettingsWindowController.h"

#include "Base/AppInfo.h"
#include "Base/Clock.h"
#include "Core/AppSettings.h"
#include "Core/Audio/MicrophoneDevices.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/CloudSync.h"
#include "Core/DebugLog.h"
#include "Core/History/HistoryStore.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Insertion/TextInserter.h"
#include "Core/SharedVocabulary.h"
#include "Core/TesterMode.h"
#include "Core/TextCleanup/CloudCleanup.h"
#include "Core/UpdaterController.h"
#include "Platform/Linux/FreedMemory.h"
#include "Platform/SpeechRecognitionService.h"
#include "Platform/Xdg/DesktopUrlOpener.h"
#include "Support/L10n.h"
#include "UI/Pills/SettingsTheme.h"
#include "UI/Settings/AboutTabModel.h"
#include "UI/Settings/AccountTabModel.h"
#include "UI/Settings/CleanupTabModel.h"
#include "UI/Settings/DictationTabModel.h"
#include "UI/Settings/DictionaryRowsModel.h"
#include "UI/Settings/DictionaryTabModel.h"
#include "UI/Settings/GeneralTabModel.h"
#include "UI/Settings/HistoryTabModel.h"
#include "UI/Settings/PermissionsTabModel.h"
#include "UI/Settings/SettingsRouter.h"
#include "UI/Settings/SettingsWindowModel.h"

#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickView>
#include <QScreen>

SettingsWindowController &SettingsWindowController::shared()
{
    static auto *controller = [] {
        Services services;
        services.settings = &AppSettings::shared();
        services.l10n = &L10n::shared();
        services.router = &SettingsRouter::shared();
        services.clock = &Clock::system();
        services.microphones = &MicrophoneDevices::shared();
        services.hotkeyLayout = &HotkeyLayout::shared();
        services.recognizerLocales = [] {
            return SpeechRecognitionService::system()->supportedLocales();
        };
        services.testerMode = &TesterMode::shared();
        if (UpdaterController *updater = UpdaterController::shared()) {
            services.updater = &updater->updater();
        }
        static DesktopUrlOpener opener;
        services.urlOpener = &opener;
        services.shortVersion = AppInfo::shortVersion();
        services.history = &HistoryStore::shared();
        services.pasteboard = &TextInserter::shared().services().pasteboard;
        services.account = &CloudAccount::shared();
        // The reset talks to the service the way every cloud cleanup stage does.
        static CloudCleanup memory(CloudCleanup::systemServices(Clock::system()),
                                   CloudCleanup::Settings {});
        services.memoryReset = &memory;
        services.vocabulary = &SharedVocabulary::shared();
        services.sync = &CloudSync::shared();
        services.session = &CloudSession::shared();
        return new SettingsWindowController(services);
    }();
    return *controller;
}

SettingsWindowController::SettingsWindowController(Services services, QObject *parent)
    : QObject(parent)
    , m_services(services)
{ }

SettingsWindowController::~SettingsWindowController()
{
    tearDown(false);
    delete m_closing.data();
}

QQuickView *SettingsWindowController::window() const
{
    return m_window.data();
}

void SettingsWindowController::show(std::optional<SettingsTab> tab)
{
    if (tab) {
        m_services.router->setSelectedTab(*tab);
    }
    if (!m_window) {
        build();
    }
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

void SettingsWindowController::build()
{
    m_warnings.clear();
    auto *view = new QQuickView();
    m_window = view;
    SettingsTheme *theme = &SettingsTheme::shared();

    SettingsWindowModel::Services modelServices;
    auto *tester = qobject_cast<TesterMode *>(m_services.testerMode);
    if (tester) {
        QPointer<TesterMode> guard(tester);
        modelServices.testerEnabled = [guard] {
            return guard && guard->enabled();
        };
        modelServices.toggleTester = [guard] {
            if (guard) {
                guard->toggle();
            }
        };
    }
    modelServices.shortVersion = m_services.shortVersion;
    if (SharedVocabulary *vocabulary = m_services.vocabulary) {
        L10n *l10n = m_services.l10n;
        modelServices.makeDictionaryModel = [vocabulary, l10n](QObject *tab) {
            return new DictionaryTabModel(*vocabulary, *l10n, tab);
        };
    }
    modelServices.account = m_services.account;
    modelServices.sync = m_services.sync;
    modelServices.session = m_services.session;
    auto *model = new SettingsWindowModel(*m_services.router, *m_services.l10n, *m_services.clock,
                                          modelServices, view);
    if (tester) {
        connect(tester, &TesterMode::enabledChanged, model,
                &SettingsWindowModel::testerEnabledChanged);
    }
    auto *general = new GeneralTabModel(*m_services.settings, *m_services.l10n, view);
    DictationTabModel::Sources dictationSources;
    dictationSources.layout = m_services.hotkeyLayout;
    dictationSources.installedLocales = m_services.recognizerLocales;
    dictationSources.account = m_services.account;
    auto *dictation = new DictationTabModel(*m_services.settings, *m_services.microphones,
                                            *m_services.l10n, dictationSources, view);
    auto *cleanup = new CleanupTabModel(*m_services.settings, *m_services.l10n, m_services.account,
                                        m_services.memoryReset, view);
    connect(m_services.router, &SettingsRouter::selectedTabChanged, cleanup, [this, cleanup] {
        if (m_services.router->selectedTab() == SettingsTab::cleanup) {
            cleanup->startAfresh();
        }
    });
    auto *about = new AboutTabModel(*m_services.settings, *m_services.l10n, m_services.updater,
                                    m_services.urlOpener, m_services.shortVersion, view);
    connect(about, &AboutTabModel::webPageOpened, model, [model](bool opened) {
        model->reportHandOff(opened, QStringLiteral("handoff.noBrowser"));
    });
    HistoryTabModel *history = nullptr;
    if (m_services.history) {
        history = new HistoryTabModel(*m_services.settings, *m_services.history, *m_services.l10n,
                                      m_services.pasteboard, view);
    }

    connect(view->engine(), &QQmlEngine::warnings, this, [this](const QList<QQmlError> &errors) {
        for (const QQmlError &error : errors) {
            m_warnings.append(error.toString());
            DebugLog::log(QStringLiteral("settings: QML %1").arg(error.toString()));
        }
    });
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    view->setTitle(QStringLiteral("Sonorvelle"));
    view->setMinimumSize(QSize(minimumWidth, minimumHeight));
    view->resize(contentWidth, contentHeight);
    view->setColor(theme->background());
    connect(theme, &SettingsTheme::changed, view,
            [theme, view] { view->setColor(theme->background()); });
    view->setInitialProperties({
        {QStringLiteral("windowModel"), QVariant::fromValue(static_cast<QObject *>(model))},
        {QStringLiteral("general"), QVariant::fromValue(static_cast<QObject *>(general))},
        {QStringLiteral("dictation"), QVariant::fromValue(static_cast<QObject *>(dictation))},
        {QStringLiteral("about"), QVariant::fromValue(static_cast<QObject *>(about))},
        {QStringLiteral("history"), QVariant::fromValue(static_cast<QObject *>(history))},
        {QStringLiteral("cleanup"), QVariant::fromValue(static_cast<QObject *>(cleanup))},
    });
    view->setSource(
        QUrl(QStringLiteral("qrc:/qt-project.org/imports/Sonorvelle/Settings/SettingsWindow.qml")));
    for (const QQmlError &error : view->errors()) {
        m_warnings.append(error.toString());
        DebugLog::log(QStringLiteral("settings: QML %1").arg(error.toString()));
    }
    if (const QScreen *screen = view->screen()) {
        const QRect area = screen->availableGeometry();
        view->setPosition(area.center() - QPoint(contentWidth / 2, contentHeight / 2));
    }
    connect(view, &QWindow::visibleChanged, this, [this, view](bool visible) {
        // Closing hides the window while the close is still being delivered to it: it is
        // deleted on a later turn.
        if (!visible && m_window == view) {
            tearDown(true);
        }
    });
}

void SettingsWindowController::tearDown(bool later)
{
    if (!m_window) {
        return;
    }
    QQuickView *view = m_window.data();
    m_window = nullptr;
    // What the window held goes back to the system once it and its children are gone; a re-open
    // builds everything anew.
    FreedMemory::giveBackOnceGone(view);
    if (later) {
        // The close is still being delivered to the view; the next show() builds a new one.
        delete m_closing.data();
        m_closing = view;
        view->deleteLater();
    } else {
        delete view;
    }
    Q_EMIT windowClosed();
}
