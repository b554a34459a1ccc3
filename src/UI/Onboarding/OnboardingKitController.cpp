#include "UI/Onboarding/OnboardingKitController.h"

#include "Base/Clock.h"
#include "Core/DebugLog.h"
#include "Support/L10n.h"
#include "UI/Onboarding/OKSymbolProvider.h"
#include "UI/Onboarding/OKTheme.h"
#include "UI/Onboarding/OnboardingFlow.h"
#include "UI/Onboarding/OnboardingKitEnv.h"

#include <QEvent>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>

#include <algorithm>
#include <cmath>

OnboardingKitController::OnboardingKitController(QStringList legacyEnv,
                                                 std::function<OKStrings()> strings,
                                                 std::function<std::vector<OKStep>()> steps,
                                                 std::function<void()> onCompleted,
                                                 std::function<void()> onClosedByUser, Clock &clock,
                                                 QObject *parent)
    : QObject(parent)
    , m_legacyEnv(std::move(legacyEnv))
    , m_strings(std::move(strings))
    , m_makeSteps(std::move(steps))
    , m_onCompleted(std::move(onCompleted))
    , m_onClosedByUser(std::move(onClosedByUser))
    , m_clock(clock)
{
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

bool OnboardingKitController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
        m_quitting = true;
    }
    return QObject::eventFilter(watched, event);
}

OnboardingKitController::~OnboardingKitController()
{
    if (m_window) {
        QQuickView *view = m_window.data();
        m_window = nullptr;
        // A frame finished while the window goes is no first frame to report.
        disconnect(view, nullptr, this, nullptr);
        delete view;
    }
}

QQuickView *OnboardingKitController::window() const
{
    return m_window.data();
}

int OnboardingKitController::startIndex(const std::vector<OKStep> &steps, bool startAtPermissions,
                                        std::optional<qint64> pinned)
{
    if (pinned) {
        const qint64 last = qint64(steps.size()) - 1;
        return int(std::max<qint64>(std::min(*pinned, last), 0));
    }
    if (startAtPermissions) {
        const auto found = std::find_if(steps.begin(), steps.end(), [](const OKStep &step) {
            return step.kind == OKStep::Kind::permissions;
        });
        if (found != steps.end()) {
            return int(found - steps.begin());
        }
    }
    return 0;
}

int OnboardingKitController::maxContentHeight(const std::optional<QRect> &available)
{
    return available ? available->height() - screenMargin : heightWithoutScreen;
}

std::optional<QRect> OnboardingKitController::resizedGeometry(const QRect &content,
                                                              const QMargins &frame, qreal height,
                                                              const std::optional<QRect> &available)
{
    // Rounded half away from zero, as a whole point.
    qreal target = std::round(height);
    target = std::min(target, qreal(maxContentHeight(available)));
    if (target <= 0 || std::abs(target - content.height()) <= 0.5) {
        return std::nullopt;
    }
    // The top edge stays: the window grows or shrinks downwards.
    QRect next(content.x(), content.y(), windowWidth, int(target));
    if (available) {
        const int frameBottom = next.y() + next.height() + frame.bottom();
        const int areaBottom = available->y() + available->height();
        if (frameBottom > areaBottom) {
            next.moveTop(areaBottom - frame.bottom() - next.height());
        }
    }
    return next;
}

std::optional<QRect> OnboardingKitController::availableArea() const
{
    const QScreen *screen = m_window ? m_window->screen() : nullptr;
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return std::nullopt;
    }
    return screen->availableGeometry();
}

bool OnboardingKitController::show(bool startAtPermissions)
{
    if (!m_window) {
        std::vector<OKStep> steps = m_makeSteps ? m_makeSteps() : std::vector<OKStep> {};
        if (steps.empty()) {
            // Nothing to draw: an empty wizard would have no page to stand on.
            DebugLog::log(QStringLiteral("onboarding: no steps to show; the window stays closed"));
            return false;
        }
        const int start =
            startIndex(steps, startAtPermissions, OnboardingKitEnv::pinnedPage(m_legacyEnv));

        auto *view = new QQuickView();
        m_window = view;
        view->setFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                       | Qt::CustomizeWindowHint);
        view->setTitle(QGuiApplication::applicationDisplayName());
        view->setResizeMode(QQuickView::SizeRootObjectToView);
        view->engine()->addImageProvider(OKSymbolProvider::providerId, new OKSymbolProvider());
        connect(view->engine(), &QQmlEngine::warnings, this,
                [this](const QList<QQmlError> &errors) {
                    for (const QQmlError &error : errors) {
                        m_warnings.append(error.toString());
                        DebugLog::log(QStringLiteral("onboarding: QML %1").arg(error.toString()));
                    }
                });
        OKTheme *theme = &OKTheme::shared();
        view->setColor(theme->background());
        connect(theme, &OKTheme::changed, view,
                [theme, view] { view->setColor(theme->background()); });

        OnboardingFlow::Inputs inputs;
        inputs.steps = std::move(steps);
        inputs.strings = m_strings ? m_strings() : OKStrings {};
        inputs.pinned = OnboardingKitEnv::pinnedPage(m_legacyEnv).has_value();
        inputs.maxContentHeight = maxContentHeight(availableArea());
        if (m_fixedHeight) {
            inputs.maxContentHeight = std::min(inputs.maxContentHeight, qreal(*m_fixedHeight));
        }
        inputs.startIndex = start;
        // Both hold the controller weakly: once it is gone they do nothing.
        QPointer<OnboardingKitController> self(this);
        if (!m_fixedHeight) {
            inputs.onHeight = [self](qreal height) {
                if (self) {
                    self->resize(height);
                }
            };
        }
        const int fixedHeight = int(inputs.maxContentHeight);
        inputs.onFinish = [self] {
            if (self) {
                self->finish();
            }
        };
        auto *flow = new OnboardingFlow(std::move(inputs), m_clock, view);
        m_flow = flow;

        view->setInitialProperties(
            {{QStringLiteral("flow"), QVariant::fromValue(static_cast<QObject *>(flow))}});
        view->resize(windowWidth, m_fixedHeight ? fixedHeight : initialHeight);
        view->setSource(QUrl(QStringLiteral(
            "qrc:/qt-project.org/imports/Sonorvelle/Onboarding/OnboardingRoot.qml")));
        for (const QQmlError &error : view->errors()) {
            m_warnings.append(error.toString());
            DebugLog::log(QStringLiteral("onboarding: QML %1").arg(error.toString()));
        }
        // The fitting height, within the screen, before the window is placed.
        if (m_fixedHeight) {
            // The same least and greatest size tell the window manager that the window cannot
            // be resized, nor maximised.
            view->setMinimumSize(view->size());
            view->setMaximumSize(view->size());
        } else if (QQuickItem *root = view->rootObject()) {
            if (const auto fitted = resizedGeometry(view->geometry(), view->frameMargins(),
                                                    root->implicitHeight(), availableArea())) {
                view->resize(fitted->size());
            }
        }
        view->setMinimumWidth(windowWidth);
        view->setMaximumWidth(windowWidth);
        if (const auto area = availableArea()) {
            view->setPosition(area->center() - QPoint(view->width() / 2, view->height() / 2));
        }
        connect(
            view, &QQuickWindow::frameSwapped, this,
            [this] {
                if (!m_quitting) {
                    DebugLog::log(QStringLiteral("onboarding: first frame"));
                }
            },
            Qt::SingleShotConnection);
        connect(view, &QWindow::visibleChanged, this, [this, view](bool visible) {
            if (!visible && m_window == view && !m_finishing) {
                windowWillClose();
            }
        });
    }
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
    return true;
}

void OnboardingKitController::resize(qreal height)
{
    if (!m_window) {
        return;
    }
    const auto next =
        resizedGeometry(m_window->geometry(), m_window->frameMargins(), height, availableArea());
    if (next) {
        m_window->setGeometry(*next);
    }
}

void OnboardingKitController::finish()
{
    // Once per window: a second report finds the window gone.
    if (!m_window) {
        return;
    }
    m_finishing = true;
    QQuickView *view = m_window.data();
    view->close();
    m_window = nullptr;
    m_flow = nullptr;
    m_finishing = false;
    // The click that finished is still being delivered to the view.
    view->deleteLater();
    if (m_onCompleted) {
        m_onCompleted();
    }
}

void OnboardingKitController::windowWillClose()
{
    QQuickView *view = m_window.data();
    m_window = nullptr;
    m_flow = nullptr;
    // The close is still being delivered to the view.
    view->deleteLater();
    if (m_onClosedByUser) {
        m_onClosedByUser();
    }
}
