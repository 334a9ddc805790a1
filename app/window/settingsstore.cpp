#include "settingsstore.h"

std::unique_ptr<QSettings> openSettingsGroup(const QString& group)
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Morrowquay\\Quillmark\\") + group,
        QSettings::NativeFormat);
#else
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                QStringLiteral("Morrowquay"),
                                                QStringLiteral("Quillmark"));
    settings->beginGroup(group);
    return settings;
#endif
}
