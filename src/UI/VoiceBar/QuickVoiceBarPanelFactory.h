#pragma once

#include "UI/VoiceBar/VoiceBarPanelFactory.h"

#include <QList>
#include <QStringList>

#include <memory>

class DictationController;
class OverlayWindowing;
class QQmlComponent;
class QQmlEngine;
class QuickVoiceBarPanel;

// The voice bar's windows in Qt Quick: VoiceBarView and ToastView in the classic style,
// NotchBarView and NotchToastView in the notch style, over the dictation controller. One QML engine
// serves every window, so a show after the first builds from compiled views. Main thread.
class QuickVoiceBarPanelFactory : public VoiceBarPanelFactory
{
public:
    QuickVoiceBarPanelFactory(DictationController &controller, OverlayWindowing &windowing);
    ~QuickVoiceBarPanelFactory() override;

    std::unique_ptr<VoiceBarPanel> makeBar(VoiceBarStyle style, VoiceBarModel &model) override;
    std::unique_ptr<VoiceBarPanel> makeToast(VoiceBarStyle style, const Toast &toast) override;

    // The same windows with their concrete type, for tests and screenshots.
    std::unique_ptr<QuickVoiceBarPanel> makeQuickBar(VoiceBarStyle style, VoiceBarModel &model);
    std::unique_ptr<QuickVoiceBarPanel> makeQuickToast(VoiceBarStyle style, const Toast &toast);

    // Compiles the views ahead of the first show, so that the first key press does not wait for
    // it. Main thread, once the application runs.
    void warmUp();
    // Draws one frame of the bar in `style` off-screen, never shown: the process's first window
    // loads the graphics driver, makes the first context, compiles the shaders and rasterises the
    // glyphs, which the first key press would otherwise wait for. Once; main thread, in idle time
    // after the start.
    void prepareFirstFrame(VoiceBarStyle style);

    // Every QML warning since the factory was made (tests fail on any).
    const QStringList &qmlWarnings() const { return m_warnings; }

    // The file name of a toast symbol's icon in the views' folder.
    static QString iconName(Symbol symbol);

private:
    QQmlEngine &engine();

    DictationController &m_controller;
    OverlayWindowing &m_windowing;
    std::unique_ptr<QQmlEngine> m_engine;
    // The compiled views, kept so that the engine keeps them ready.
    QList<QQmlComponent *> m_compiled;
    bool m_firstFramePrepared = false;
    QStringList m_warnings;
};
