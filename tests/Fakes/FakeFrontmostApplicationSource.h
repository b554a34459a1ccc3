#pragma once

#include "Platform/FrontmostApplicationSource.h"

// Answers with `application`; counts the questions.
class FakeFrontmostApplicationSource final : public FrontmostApplicationSource
{
public:
    std::optional<FrontmostApplication> frontmostApplication() override
    {
        ++calls;
        return application;
    }

    std::optional<FrontmostApplication> application;
    int calls = 0;
};
