#include "filelocator.h"

#include <QDebug>
#include <QDir>

#ifdef Q_OS_WIN

#include <QProcess>

void showInFileManager(const QString& path)
{
    const QString command = QStringLiteral("explorer /select,") + QDir::toNativeSeparators(path);
    qDebug().noquote() << command;
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    const QStringList parts = QProcess::splitCommand(command);
    QProcess::startDetached(parts.value(0), parts.mid(1));
#else
    QProcess::startDetached(command);
#endif
}

#else

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#ifdef QT_DBUS_LIB
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#endif

namespace {

void openFolder(const QString& folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace

void showInFileManager(const QString& path)
{
    qDebug().noquote() << "show in file manager:" << path;
    if (path.isEmpty()) {
        return;
    }
    const QString folder = QFileInfo(path).absolutePath();
#ifdef QT_DBUS_LIB
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QString service = QStringLiteral("org.freedesktop.FileManager1");
        QDBusMessage call =
            QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                           service, QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
        // Asked without waiting: starting a file manager may take a while.
        auto* watcher =
            new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [folder](QDBusPendingCallWatcher* finished) {
                             if (finished->isError()) {
                                 openFolder(folder);
                             }
                             finished->deleteLater();
                         });
        return;
    }
#endif
    openFolder(folder);
}

#endif
