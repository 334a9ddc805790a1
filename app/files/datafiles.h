#ifndef DATAFILES_H
#define DATAFILES_H

#include <QString>

/// The path of the program's data file or folder `name` ("help.txt", "img"). Beside
/// the program first (a build folder, or an installation on Windows), then the data
/// folders: the user's and the system's, and share/quillmark of the installation that
/// holds the program, wherever it was installed. When none holds it, the path beside
/// the program.
QString dataFilePath(const QString& name);

#endif // DATAFILES_H
