#pragma once

#include <QString>

#include <functional>

// The kit's five button and waiting texts. Each is asked for whenever the footer is drawn, so a
// change of interface language shows at once.
struct OKStrings
{
    // The primary button's title on every page but a consent page.
    std::function<QString()> continueTitle;
    // The primary button's title on a consent page.
    std::function<QString()> startTitle;
    // The waiting indicator's text.
    std::function<QString()> waiting;
    // The button offered while a skippable page waits.
    std::function<QString()> later;
    std::function<QString()> back;
};
