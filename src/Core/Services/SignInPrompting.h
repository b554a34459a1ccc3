#pragma once

// Offers the user to sign in because a cloud feature was used while signed out. Implemented by
// the sign-in prompt; main thread; does nothing while a token is stored, and without `force` at
// most once in a while.
class SignInPrompting
{
public:
    virtual ~SignInPrompting() = default;

    virtual void promptForCloud(bool force) = 0;
};
