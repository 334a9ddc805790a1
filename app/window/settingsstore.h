#ifndef SETTINGSSTORE_H
#define SETTINGSSTORE_H

#include <QSettings>
#include <QString>

#include <memory>

/// Opens one group of the program's settings ("Param", "RecentVar", "RecentDest").
/// On Windows the group is its own registry key below the program's key; elsewhere
/// it is a group of the user's native settings file, so that no stray file is
/// written into the working directory.
std::unique_ptr<QSettings> openSettingsGroup(const QString& group);

#endif // SETTINGSSTORE_H
