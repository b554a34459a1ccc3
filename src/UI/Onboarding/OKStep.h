#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

// One page of the onboarding kit: what kind of page it is, the view that draws its body, and the
// few behaviours a host may give it. The kit knows nothing of what a page says.
//
// `content` is a QML component; the kit loads it as the page body each time the page is shown and
// hands it `contentModel` (the host's object the body binds to, owned by the host and outliving the
// window) and the kit's tick count, which grows once a second while a permissions page shows.
struct OKStep
{
    // Only `permissions` and `consent` change what the kit does; the others label the page.
    enum class Kind { welcome, permissions, setup, tutorial, consent };

    Kind kind = Kind::welcome;
    // The step's requirement; consulted on a permissions page only. Absent: nothing to wait for.
    std::function<bool()> requiredGranted;
    // Whether the "later" button is offered while the page waits.
    bool skippable = false;
    // Asked at each look while the page waits: true offers the "later" button as well (a
    // requirement that nothing in the page can meet).
    std::function<bool()> laterOffered;
    // Overrides the primary button's title.
    std::function<QString()> primaryTitle;
    // Run by the primary button: true moves on, false stays. Absent: moves on.
    std::function<bool()> primaryAction;
    // When present, a secondary text button with this title shows under the primary button.
    std::function<QString()> secondaryTitle;
    // Run by the secondary button: true moves on, false stays. Absent: moves on.
    std::function<bool()> secondaryAction;
    QUrl content;
    QPointer<QObject> contentModel;
};
