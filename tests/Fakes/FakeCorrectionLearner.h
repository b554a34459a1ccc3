#pragma once

#include "Core/Services/CorrectionLearning.h"

#include <QList>
#include <QPair>

// Records the snapshots checked and the insertions remembered.
class FakeCorrectionLearner final : public CorrectionLearning
{
public:
    void checkAndSend(const FocusContext &context) override { checked << context; }
    void remember(const QString &text, const std::optional<QString> &bundleID) override
    {
        remembered << qMakePair(text, bundleID);
    }

    QList<FocusContext> checked;
    QList<QPair<QString, std::optional<QString>>> remembered;
};
