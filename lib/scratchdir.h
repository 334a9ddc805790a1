#ifndef SCRATCHDIR_H
#define SCRATCHDIR_H

#include "dovetalk_global.h"

#include <QString>

/// The scratch folder `name` beside the program when the program's folder is
/// writable, else the same name under the user's cache folder (for a program
/// installed system-wide). The folder is not created.
DOVETALK_EXPORT QString scratchDirectory(const QString& name);

#endif // SCRATCHDIR_H
