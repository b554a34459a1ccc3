#pragma once

#include "Core/Models/VoiceBarStyle.h"

#include <QString>

#include <memory>

class VoiceBarModel;
class VoiceBarPanel;

// Makes the windows of the voice bar for the voice bar controller: the bar over the dictation
// controller's live state, and the short notices (toasts). Each window is made for one showing
// and dropped when it goes off screen. Main thread.
class VoiceBarPanelFactory
{
public:
    // The symbol beside a toast's message.
    enum class Symbol { warning, info };
    // A toast's symbol colour: the theme's warning colour, or the secondary text colour.
    enum class Tint { warn, secondary };

    struct Toast
    {
        QString message;
        Symbol symbol = Symbol::info;
        Tint tint = Tint::secondary;

        bool operator==(const Toast &) const = default;
    };

    virtual ~VoiceBarPanelFactory() = default;

    // The bar draws its waveform from `model`, which outlives the window.
    virtual std::unique_ptr<VoiceBarPanel> makeBar(VoiceBarStyle style, VoiceBarModel &model) = 0;
    virtual std::unique_ptr<VoiceBarPanel> makeToast(VoiceBarStyle style, const Toast &toast) = 0;
};
