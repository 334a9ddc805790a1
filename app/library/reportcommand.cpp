#include "reportcommand.h"

#include "libraryindex.h"
#include "libraryqueries.h"
#include "libraryspace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTextStream>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

const QString reportNames =
    QStringLiteral("missing, used-by=NAME, old, broken, duplicates, space, undeclared or unused");
const QStringList sourceNames = {QStringLiteral("declared"), QStringLiteral("content"), QStringLiteral("both")};

bool stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

int fail(const QString& message)
{
    QTextStream(stderr) << "quillmark: " << message << '\n';
    return 2;
}

// Why `folder` cannot be read as one; empty when it can.
QString folderProblem(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists()) {
        return QStringLiteral("%1: no such folder").arg(folder);
    }
    if (!info.isDir()) {
        return QStringLiteral("%1: not a folder").arg(folder);
    }
    if (!info.isReadable() || !info.isExecutable()) {
        return QStringLiteral("%1: cannot read the folder").arg(folder);
    }
    return QString();
}

QJsonArray toArray(const QStringList& list)
{
    return QJsonArray::fromStringList(list);
}

QJsonObject files(const ReclaimableFiles& files, const QString& counted)
{
    return {{counted, files.paths.size()}, {QStringLiteral("bytes"), files.bytes}};
}

// "12 files, 3,456 bytes (3.38 KiB)"
QString amount(const QJsonObject& figures, const char* one, const char* many)
{
    const auto count = qint64(figures.value(QLatin1String(many)).toDouble());
    const auto bytes = qint64(figures.value(QLatin1String("bytes")).toDouble());
    const QString text = QStringLiteral("%1 %2, %3 bytes")
                             .arg(count)
                             .arg(QLatin1String(count == 1 ? one : many), QLocale::c().toString(bytes));
    return bytes < 1024 ? text : text + QStringLiteral(" (%1)").arg(QLocale::c().formattedDataSize(bytes));
}

QString joined(const QJsonValue& list)
{
    QStringList names;
    for (const QJsonValue& name : list.toArray()) {
        names << name.toString();
    }
    return names.join(QStringLiteral(", "));
}

} // namespace

bool ReportCommand::isRequested(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--report") == 0 || std::strncmp(argument, "--report=", 9) == 0 ||
            std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "--help-all") == 0 ||
            std::strcmp(argument, "-h") == 0) {
            return true;
        }
    }
    return false;
}

int ReportCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Without --report, Quillmark opens its window. With --report it indexes FOLDER\n"
                       "and every folder below it, prints one report about the whole library and exits;\n"
                       "no display is needed. What it reads is kept in the cache folder, so that a\n"
                       "second run reads only new and changed packages. Nothing is written below FOLDER.\n\n"
                       "Reports:\n"
                       "  missing        dependencies that no package of the folder satisfies\n"
                       "  used-by=NAME   packages that use the package NAME (Creator.Package.Version)\n"
                       "  old            packages of which a higher version is present\n"
                       "  broken         files that are not usable packages, with the reason\n"
                       "  duplicates     file names present in more than one folder\n"
                       "  space          the disk space by creator, and what could be reclaimed\n"
                       "  undeclared     references in each package's content that its meta.json\n"
                       "                 does not declare, directly or nested\n"
                       "  unused         dependencies a meta.json declares that none of the\n"
                       "                 package's content uses (packages read completely only)\n\n"
                       "The content of packages (the .json, .vap, .vaj, .vam, .vmi and .cslist members\n"
                       "of scenes, presets, clothing and hair) is read for undeclared, unused and\n"
                       "--deps content or both. So are the collector's own files below the Saves\n"
                       "and Custom folders of the game folder, which is the parent of FOLDER when\n"
                       "FOLDER is named AddonPackages; they count as users by their relative path.\n\n"
                       "Exit status: 0 with a report, 2 for an unknown report or an unusable folder."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("report"), QStringLiteral("The report to print: ") + reportNames + '.',
                      QStringLiteral("report")});
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print the report as one JSON document.")});
    parser.addOption({QStringLiteral("deps"),
                      QStringLiteral("Which references make a dependency for missing, used-by and old: "
                                     "declared (by meta.json; the default), content or both."),
                      QStringLiteral("source"), sourceNames.first()});
    parser.addOption({QStringLiteral("game"),
                      QStringLiteral("The game folder whose Saves and Custom folders hold the collector's own files."),
                      QStringLiteral("folder")});
    parser.addOption({QStringLiteral("no-local"), QStringLiteral("Do not read the collector's own files.")});
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The package folder to index."));
    if (!parser.parse(arguments)) {
        return fail(parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    const QString kind = parser.value(QStringLiteral("report"));
    const QStringList known = {QStringLiteral("missing"), QStringLiteral("old"), QStringLiteral("broken"),
                               QStringLiteral("duplicates"), QStringLiteral("space"),
                               QStringLiteral("undeclared"), QStringLiteral("unused")};
    if (!known.contains(kind) && !(kind.startsWith(QLatin1String("used-by=")) && kind.size() > 8)) {
        return fail(QStringLiteral("unknown report \"%1\"; use %2").arg(kind, reportNames));
    }
    const int sourceIndex = sourceNames.indexOf(parser.value(QStringLiteral("deps")));
    if (sourceIndex < 0) {
        return fail(QStringLiteral("unknown --deps \"%1\"; use declared, content or both")
                        .arg(parser.value(QStringLiteral("deps"))));
    }
    const auto source = DependencySource(sourceIndex);
    if (parser.positionalArguments().size() != 1) {
        return fail(QStringLiteral("name one package folder after the report"));
    }
    const QString folder = parser.positionalArguments().first();
    const QString game = parser.value(QStringLiteral("game"));
    for (const QString& named : {folder, game}) {
        const QString problem = named.isEmpty() ? QString() : folderProblem(named);
        if (!problem.isEmpty()) {
            return fail(problem);
        }
    }

    LibraryIndex index;
    // What can go is what nothing uses, the content and the collector's own files included.
    index.setContentReading(source != DependencySource::Declared || kind == QLatin1String("undeclared") ||
                                kind == QLatin1String("unused") || kind == QLatin1String("space"),
                            !parser.isSet(QStringLiteral("no-local")), game);
    QEventLoop loop;
    // The declared results come first; the report waits for the content's too.
    QObject::connect(&index, &LibraryIndex::ready, &loop, [&index, &loop] {
        if (!index.isRunning()) {
            loop.quit();
        }
    });
    if (stderrIsTerminal()) {
        QObject::connect(&index, &LibraryIndex::progress, [](int done, int total, bool content) {
            QTextStream(stderr) << (content ? "\rReading content: " : "\rReading packages: ") << done << " of "
                                << total << (done == total ? "\n" : "");
        });
    }
    index.refresh(folder);
    loop.exec();

    const bool json = parser.isSet(QStringLiteral("json"));
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    if (kind == QLatin1String("space")) {
        printSpace(space(*index.catalog()), json, out);
        return 0;
    }
    const QJsonArray entries = report(*index.catalog(), kind, !json, source);
    if (json) {
        out << QJsonDocument(entries).toJson(QJsonDocument::Indented);
    } else {
        printText(entries, kind, out);
    }
    return 0;
}

QJsonArray ReportCommand::report(const LibraryCatalog& catalog, const QString& kind, bool withRoutes,
                                 DependencySource source)
{
    QJsonArray entries;
    if (kind == QLatin1String("missing")) {
        for (const MissingDependency& entry : LibraryQueries::missing(catalog, source)) {
            QJsonObject object{
                {QStringLiteral("dependency"), entry.dependency},
                {QStringLiteral("state"), entry.otherVersion ? QStringLiteral("other-version") : QStringLiteral("missing")},
                {QStringLiteral("present"), toArray(entry.present)},
                {QStringLiteral("neededBy"), toArray(entry.neededBy)}};
            if (withRoutes) {
                object.insert(QStringLiteral("routes"), toArray(entry.routes));
            }
            entries.append(object);
        }
    } else if (kind.startsWith(QLatin1String("used-by="))) {
        for (const PackageUser& entry : LibraryQueries::usedBy(catalog, kind.mid(8), source)) {
            entries.append(QJsonObject{{QStringLiteral("package"), entry.package}, {QStringLiteral("path"), entry.path}});
        }
    } else if (kind == QLatin1String("old")) {
        for (const OldVersion& entry : LibraryQueries::oldVersions(catalog, source)) {
            entries.append(QJsonObject{{QStringLiteral("package"), entry.package},
                                       {QStringLiteral("path"), entry.path},
                                       {QStringLiteral("newest"), entry.newest},
                                       {QStringLiteral("referencedBy"), toArray(entry.referencedBy)}});
        }
    } else if (kind == QLatin1String("broken")) {
        for (const BrokenPackage& entry : LibraryQueries::broken(catalog)) {
            entries.append(QJsonObject{{QStringLiteral("path"), entry.path}, {QStringLiteral("problem"), entry.problem}});
        }
    } else if (kind == QLatin1String("duplicates")) {
        for (const DuplicateFile& entry : LibraryQueries::duplicates(catalog)) {
            entries.append(QJsonObject{{QStringLiteral("file"), entry.file}, {QStringLiteral("paths"), toArray(entry.paths)}});
        }
    } else if (kind == QLatin1String("undeclared") || kind == QLatin1String("unused")) {
        const bool undeclared = kind == QLatin1String("undeclared");
        for (const ContentMismatch& entry :
             undeclared ? LibraryQueries::undeclared(catalog) : LibraryQueries::unused(catalog)) {
            entries.append(QJsonObject{{QStringLiteral("package"), entry.package},
                                       {QStringLiteral("path"), entry.path},
                                       {undeclared ? QStringLiteral("references") : QStringLiteral("declared"),
                                        toArray(entry.names)}});
        }
    }
    return entries;
}

void ReportCommand::printText(const QJsonArray& entries, const QString& kind, QTextStream& out)
{
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        if (kind == QLatin1String("missing")) {
            out << entry.value(QLatin1String("dependency")).toString();
            if (entry.value(QLatin1String("state")).toString() == QLatin1String("other-version")) {
                out << "  (not this version; present: " << joined(entry.value(QLatin1String("present"))) << ")";
            }
            out << '\n';
            for (const QJsonValue& route : entry.value(QLatin1String("routes")).toArray()) {
                out << "    needed by " << route.toString() << '\n';
            }
        } else if (kind.startsWith(QLatin1String("used-by="))) {
            out << entry.value(QLatin1String("package")).toString() << "  " << entry.value(QLatin1String("path")).toString() << '\n';
        } else if (kind == QLatin1String("old")) {
            out << entry.value(QLatin1String("package")).toString() << "  (newest: "
                << entry.value(QLatin1String("newest")).toString() << ")  " << entry.value(QLatin1String("path")).toString() << '\n';
            const QString users = joined(entry.value(QLatin1String("referencedBy")));
            out << "    " << (users.isEmpty() ? QStringLiteral("nothing references this version") : QStringLiteral("referenced by ") + users) << '\n';
        } else if (kind == QLatin1String("broken")) {
            out << entry.value(QLatin1String("path")).toString() << ": " << entry.value(QLatin1String("problem")).toString() << '\n';
        } else if (kind == QLatin1String("undeclared") || kind == QLatin1String("unused")) {
            out << entry.value(QLatin1String("package")).toString() << "  " << entry.value(QLatin1String("path")).toString() << '\n'
                << (kind == QLatin1String("undeclared") ? "    uses undeclared " : "    declares unused ")
                << joined(entry.value(kind == QLatin1String("undeclared") ? QLatin1String("references") : QLatin1String("declared")))
                << '\n';
        } else {
            out << entry.value(QLatin1String("file")).toString() << '\n';
            for (const QJsonValue& path : entry.value(QLatin1String("paths")).toArray()) {
                out << "    " << path.toString() << '\n';
            }
        }
    }
    out << entries.size() << (entries.size() == 1 ? " entry" : " entries") << '\n';
}

QJsonObject ReportCommand::space(const LibraryCatalog& catalog)
{
    const LibrarySpace space = LibrarySpace::of(catalog);
    QJsonArray creators;
    for (const CreatorSpace& entry : space.creators) {
        creators.append(QJsonObject{{QStringLiteral("creator"), entry.creator},
                                    {QStringLiteral("packages"), entry.packages},
                                    {QStringLiteral("bytes"), entry.bytes}});
    }
    const QString packages = QStringLiteral("packages");
    const QString files = QStringLiteral("files");
    return {{packages, space.packages},
            {QStringLiteral("bytes"), space.bytes},
            {QStringLiteral("creators"), creators},
            {QStringLiteral("reclaimable"),
             QJsonObject{{QStringLiteral("oldUnreferenced"), ::files(space.oldUnreferenced, packages)},
                         {QStringLiteral("duplicates"), ::files(space.duplicates, files)},
                         {QStringLiteral("broken"), ::files(space.broken, files)}}}};
}

void ReportCommand::printSpace(const QJsonObject& report, bool json, QTextStream& out)
{
    if (json) {
        out << QJsonDocument(report).toJson(QJsonDocument::Indented);
        return;
    }
    out << amount(report, "package", "packages") << '\n';
    for (const QJsonValue& value : report.value(QLatin1String("creators")).toArray()) {
        const QJsonObject creator = value.toObject();
        const QString name = creator.value(QLatin1String("creator")).toString();
        out << "    " << (name.isEmpty() ? QStringLiteral("(names that do not parse)") : name) << ": "
            << amount(creator, "package", "packages") << '\n';
    }
    const QJsonObject reclaimable = report.value(QLatin1String("reclaimable")).toObject();
    out << "Old versions that nothing references: "
        << amount(reclaimable.value(QLatin1String("oldUnreferenced")).toObject(), "package", "packages") << '\n'
        << "Copies beyond the first of duplicate files: "
        << amount(reclaimable.value(QLatin1String("duplicates")).toObject(), "file", "files") << '\n'
        << "Broken files: " << amount(reclaimable.value(QLatin1String("broken")).toObject(), "file", "files") << '\n';
}
