#pragma once

#include <QCoreApplication>
#include <QString>

// Looks up a text of the default string table; the English text is the key, returned as is while no
// translation is installed.
inline QString localized(const char* key) {
    return QCoreApplication::translate("Localizable", key);
}
