#ifndef FILELOCATOR_H
#define FILELOCATOR_H

#include <QString>

/// Shows one file selected in the desktop's file manager, without waiting for it.
/// Where no file manager can select it, the folder that holds it is opened instead.
void showInFileManager(const QString& path);

#endif // FILELOCATOR_H
