#pragma once

#include "Core/Services/SignInPrompting.h"

#include <QList>

// Records every prompt with its force flag.
class FakeSignInPrompt final : public SignInPrompting
{
public:
    void promptForCloud(bool force) override { prompts << force; }

    QList<bool> prompts;
};
