#pragma once

#include "Core/TextCleanup/TextCleanupService.h"

// The stage of the cleanup mode `off`: the transcript goes out exactly as it came in, surrounding
// white space included.
class PassthroughCleanup : public TextCleanupService
{
public:
    // "off".
    QString name() const override;
    QCoro::Task<QString> cleanup(QString text, CleanupContext context) const override;
};
