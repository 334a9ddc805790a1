#ifndef REPORTCOMMAND_H
#define REPORTCOMMAND_H

#include "librarycatalog.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

class QTextStream;

/// The headless command line: `quillmark --report KIND FOLDER [--json]` indexes the
/// folder and prints one report about the whole library. Needs a QCoreApplication,
/// no display.
class ReportCommand
{
public:
    /// Whether the arguments ask for the command line rather than the window.
    static bool isRequested(int argc, char* argv[]);

    /// Runs the command; returns the exit status: 0 with a report, 2 with a one-line
    /// message on standard error for bad arguments or an unusable folder.
    static int run(const QStringList& arguments);

    /// The report `kind` ("missing", "used-by=NAME", "old", "broken", "duplicates",
    /// "undeclared" or "unused") as --json prints it. `withRoutes` adds to each missing
    /// dependency how it was referenced ("routes"), which the text shows and the JSON
    /// document leaves out. `source` is what makes a dependency for missing, used-by
    /// and old.
    static QJsonArray report(const LibraryCatalog& catalog, const QString& kind, bool withRoutes = false,
                             DependencySource source = DependencySource::Declared);

    /// The "space" report, one object rather than a list: the bytes and packages in all
    /// and by creator, and what could be reclaimed.
    static QJsonObject space(const LibraryCatalog& catalog);

private:
    static void printSpace(const QJsonObject& report, bool json, QTextStream& out);
    static void printText(const QJsonArray& entries, const QString& kind, QTextStream& out);
};

#endif // REPORTCOMMAND_H
