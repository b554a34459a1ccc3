#pragma once

#include <QString>

// Starts the application when the user logs in.
class LoginItem
{
public:
    virtual ~LoginItem() = default;

    // Each returns false with a readable reason in `error` when the change could not be made.
    // Registering an item that exists and unregistering one that does not both succeed.
    virtual bool registerItem(QString &error) = 0;
    virtual bool unregisterItem(QString &error) = 0;
};
