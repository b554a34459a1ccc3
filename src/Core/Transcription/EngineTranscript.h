#pragma once

#include "Core/Models/EngineUpdate.h"

#include <QString>

// The transcript a consumer builds from an engine's result stream, in order: the settled text
// (every finalized piece appended as given) and the provisional text (the last volatile one,
// emptied by each finalized piece). The live transcript is the two together.
class EngineTranscript
{
public:
    void apply(const EngineUpdate &update)
    {
        if (update.isFinalized()) {
            m_settled += update.text();
            m_provisional.clear();
        } else {
            m_provisional = update.text();
        }
    }

    const QString &settled() const { return m_settled; }
    const QString &provisional() const { return m_provisional; }
    QString live() const { return m_settled + m_provisional; }

private:
    QString m_settled;
    QString m_provisional;
};
