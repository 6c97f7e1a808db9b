#pragma once

#include <QString>

#include <stdexcept>

// The system's answer about the program's login item; the values are the platform's.
enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

// A registration or removal that did not happen; what() is a description a person can read.
class LoginItemsError : public std::runtime_error {
public:
    explicit LoginItemsError(const QString& description) : std::runtime_error(description.toStdString()) {}
    QString description() const { return QString::fromStdString(what()); }
};

// Starting the program when the user logs in. The system's registration is the only record of it. Every
// call is made on the main thread and returns when done.
class LoginItems {
public:
    virtual ~LoginItems() = default;

    // Reading the status cannot fail.
    virtual LoginItemStatus status() const = 0;
    // Both throw LoginItemsError.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;
    // Shows the user where login items are managed.
    virtual void openSettings() = 0;
};
