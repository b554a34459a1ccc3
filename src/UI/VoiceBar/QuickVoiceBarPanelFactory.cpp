#include "UI/VoiceBar/QuickVoiceBarPanelFactory.h"

#include "Core/DebugLog.h"
#include "Core/DictationController.h"
#include "Support/L10n.h"
#include "UI/VoiceBar/QuickVoiceBarPanel.h"
#include "UI/VoiceBar/VoiceBarGeometry.h"
#include "UI/VoiceBar/VoiceBarIconProvider.h"
#include "UI/VoiceBar/VoiceBarModel.h"
#include "UI/VoiceBar/VoiceBarTheme.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>

#include <utility>

namespace {

QUrl view(const char *name)
{
    return QUrl(QStringLiteral("qrc:/qt-project.org/imports/Sonorvelle/VoiceBar/%1.qml")
                    .arg(QLatin1String(name)));
}

} // namespace

QuickVoiceBarPanelFactory::QuickVoiceBarPanelFactory(DictationController &controller,
                                                     OverlayWindowing &windowing)
    : m_controller(controller)
    , m_windowing(windowing)
{ }

QuickVoiceBarPanelFactory::~QuickVoiceBarPanelFactory() = default;

QString QuickVoiceBarPanelFactory::iconName(Symbol symbol)
{
    return symbol == Symbol::warning ? QStringLiteral("ExclamationTriangle.svg")
                                     : QStringLiteral("InfoCircle.svg");
}

QQmlEngine &QuickVoiceBarPanelFactory::engine()
{
    if (!m_engine) {
        m_engine = std::make_unique<QQmlEngine>();
        // The engine owns the provider.
        m_engine->addImageProvider(QString::fromLatin1(VoiceBarIconProvider::id),
                                   new VoiceBarIconProvider());
        QObject::connect(m_engine.get(), &QQmlEngine::warnings, m_engine.get(),
                         [this](const QList<QQmlError> &errors) {
                             for (const QQmlError &error : errors) {
                                 m_warnings.append(error.toString());
                                 DebugLog::log(
                                     QStringLiteral("voicebar: QML %1").arg(error.toString()));
                             }
                         });
    }
    return *m_engine;
}

void QuickVoiceBarPanelFactory::warmUp()
{
    if (!m_compiled.isEmpty()) {
        return;
    }
    for (const char *name : {"VoiceBarView", "NotchBarView", "ToastView", "NotchToastView"}) {
        // Owned by the engine, which goes with the factory.
        m_compiled.append(new QQmlComponent(&engine(), view(name), m_engine.get()));
    }
}

void QuickVoiceBarPanelFactory::prepareFirstFrame(VoiceBarStyle style)
{
    if (std::exchange(m_firstFramePrepared, true)) {
        return;
    }
    VoiceBarModel model;
    const std::unique_ptr<QuickVoiceBarPanel> bar = makeQuickBar(style, model);
    QQuickView &window = bar->window();
    // The native window is made as the shown one is (the driver picks its visual), but not mapped.
    window.create();
    if (QQuickItem *item = bar->root()) {
        // Drawn as it looks on screen, so that every shader of the shown bar is compiled.
        item->setOpacity(1);
        item->setProperty("appeared", true);
    }
    // A window that was never exposed renders into an off-screen texture of its own.
    window.grabWindow();
}

std::unique_ptr<VoiceBarPanel> QuickVoiceBarPanelFactory::makeBar(VoiceBarStyle style,
                                                                  VoiceBarModel &model)
{
    return makeQuickBar(style, model);
}

std::unique_ptr<VoiceBarPanel> QuickVoiceBarPanelFactory::makeToast(VoiceBarStyle style,
                                                                    const Toast &toast)
{
    return makeQuickToast(style, toast);
}

std::unique_ptr<QuickVoiceBarPanel> QuickVoiceBarPanelFactory::makeQuickBar(VoiceBarStyle style,
                                                                            VoiceBarModel &model)
{
    const bool classic = style == VoiceBarStyle::classic;
    return std::make_unique<QuickVoiceBarPanel>(
        engine(), m_windowing, view(classic ? "VoiceBarView" : "NotchBarView"),
        QVariantMap {{QStringLiteral("controller"), QVariant::fromValue(&m_controller)},
                     {QStringLiteral("model"), QVariant::fromValue(&model)}},
        VoiceBarGeometry::size(style),
        classic ? QuickVoiceBarPanel::Shape::classic : QuickVoiceBarPanel::Shape::notchBar);
}

std::unique_ptr<QuickVoiceBarPanel> QuickVoiceBarPanelFactory::makeQuickToast(VoiceBarStyle style,
                                                                              const Toast &toast)
{
    const bool classic = style == VoiceBarStyle::classic;
    return std::make_unique<QuickVoiceBarPanel>(
        engine(), m_windowing, view(classic ? "ToastView" : "NotchToastView"),
        QVariantMap {{QStringLiteral("message"), toast.message},
                     {QStringLiteral("icon"), iconName(toast.symbol)},
                     {QStringLiteral("warnTint"), toast.tint == Tint::warn}},
        VoiceBarGeometry::size(style),
        classic ? QuickVoiceBarPanel::Shape::classic : QuickVoiceBarPanel::Shape::notchToast);
}
