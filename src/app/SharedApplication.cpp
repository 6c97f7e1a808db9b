#include "app/SharedApplication.h"

#include <QCoreApplication>

const std::shared_ptr<SharedApplication>& SharedApplication::shared() {
    static const auto application = std::make_shared<SharedApplication>();
    return application;
}

bool SharedApplication::tryToPerform(const QString& action, const MenuItem* /*sender*/) {
    if (action != kTerminate)
        return false;
    QCoreApplication::quit();
    return true;
}
