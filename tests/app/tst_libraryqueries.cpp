#include "libraryqueries.h"

#include <QtTest>

class TestLibraryQueries : public QObject
{
    Q_OBJECT
private slots:
    void queries_data();
    void queries();
};

namespace {

// "dir/A.B.1.var C.D.2 X.Y.1/E.F.3" is the package /lib/dir/A.B.1.var referring to C.D.2
// directly and to E.F.3 through X.Y.1; a leading "!" marks an unreadable file.
LibraryCatalog catalog(const QStringList& specs)
{
    QVector<IndexedPackage> packages;
    for (const QString& spec : specs) {
        QStringList words = spec.split(QLatin1Char(' '));
        QString file = words.takeFirst();
        const bool unreadable = file.startsWith(QLatin1Char('!'));
        IndexedPackage package = IndexedPackage::fromFile(QStringLiteral("/lib/") + file.remove(QLatin1Char('!')), 1, 1);
        if (unreadable || package.version < 0) {
            package.problem = QStringLiteral("bad");
        }
        for (const QString& word : words) {
            const int slash = word.lastIndexOf(QLatin1Char('/'));
            package.references.append({word.mid(slash + 1), word.left(qMax(0, slash))});
        }
        packages.append(package);
    }
    return LibraryCatalog(packages);
}

QString answer(const LibraryCatalog& catalog, const QString& query)
{
    QStringList lines;
    if (query == QLatin1String("missing")) {
        for (const MissingDependency& m : LibraryQueries::missing(catalog)) {
            lines << QStringLiteral("%1 %2[%3] <- %4 (%5)")
                         .arg(m.dependency, m.otherVersion ? QStringLiteral("other") : QStringLiteral("missing"),
                              m.present.join(','), m.neededBy.join(','), m.routes.join(','));
        }
    } else if (query.startsWith(QLatin1String("used-by="))) {
        for (const PackageUser& u : LibraryQueries::usedBy(catalog, query.mid(8))) {
            lines << u.package + QLatin1Char('@') + u.path;
        }
    } else if (query == QLatin1String("old")) {
        for (const OldVersion& o : LibraryQueries::oldVersions(catalog)) {
            lines << QStringLiteral("%1>%2 [%3]").arg(o.package, o.newest, o.referencedBy.join(','));
        }
    } else if (query == QLatin1String("broken")) {
        for (const BrokenPackage& b : LibraryQueries::broken(catalog)) {
            lines << b.path;
        }
    } else {
        for (const DuplicateFile& d : LibraryQueries::duplicates(catalog)) {
            lines << d.file + QLatin1String(": ") + d.paths.join(',');
        }
    }
    return lines.join(QStringLiteral("; "));
}

} // namespace

void TestLibraryQueries::queries_data()
{
    QTest::addColumn<QStringList>("packages");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("expected");
    const QStringList versions = {"C.P.9.var", "C.P.10.var", "a/C.P.2.var"};
    QTest::newRow("exact version present") << (versions + QStringList{"A.B.1.var C.P.10 C.P.2"}) << "missing" << "";
    QTest::newRow("other versions, numeric order")
        << (versions + QStringList{"A.B.1.var C.P.3", "Z.Z.1.var c.p.3"}) << "missing"
        << "C.P.3 other[C.P.2,C.P.9,C.P.10] <- A.B.1,Z.Z.1 (A.B.1,Z.Z.1)";
    QTest::newRow("latest in any capitalisation")
        << (versions + QStringList{"A.B.1.var C.P.latest C.P.LATEST c.p.Latest"}) << "missing" << "";
    QTest::newRow("latest with no version, nested")
        << QStringList{"A.B.1.var X.Y.1 X.Y.1/Q.R.latest", "X.Y.1.var"} << "missing"
        << "Q.R.latest missing[] <- A.B.1 (A.B.1 via X.Y.1)";
    QTest::newRow("unreadable and unparsable files satisfy nothing")
        << QStringList{"!C.P.1.var", "Odd.var", "A.B.1.var C.P.1 Odd"} << "missing"
        << "C.P.1 missing[] <- A.B.1 (A.B.1); Odd missing[] <- A.B.1 (A.B.1)";
    QTest::newRow("cycle") << QStringList{"A.B.1.var C.D.1", "C.D.1.var A.B.1 A.B.1/C.D.1"} << "missing" << "";
    QTest::newRow("used by: exact, nested, latest of the newest")
        << (versions + QStringList{"A.B.1.var C.P.10", "D.E.1.var X.Y.1/C.P.latest", "F.G.1.var C.P.9"})
        << "used-by=C.P.10" << "A.B.1@/lib/A.B.1.var; D.E.1@/lib/D.E.1.var";
    QTest::newRow("used by: latest not for an older version")
        << (versions + QStringList{"D.E.1.var C.P.latest", "F.G.1.var C.P.9"}) << "used-by=C.P.9.var"
        << "F.G.1@/lib/F.G.1.var";
    QTest::newRow("used by: cycle") << QStringList{"A.B.1.var C.D.1", "C.D.1.var A.B.1"} << "used-by=A.B.1"
                                    << "C.D.1@/lib/C.D.1.var";
    QTest::newRow("old versions with exact referrers")
        << (versions + QStringList{"A.B.1.var C.P.9 C.P.latest", "D.E.1.var X.Y.1/C.P.9"}) << "old"
        << "C.P.2>C.P.10 []; C.P.9>C.P.10 [A.B.1,D.E.1]";
    QTest::newRow("broken sorted by path") << QStringList{"z/A.B.1.var", "!b/C.D.1.var", "Bad.var"} << "broken"
                                           << "/lib/Bad.var; /lib/b/C.D.1.var";
    QTest::newRow("duplicates ignoring case")
        << QStringList{"x/A.B.1.var", "y/a.b.1.var", "C.D.1.var", "z/C.D.2.var"} << "duplicates"
        << "A.B.1.var: /lib/x/A.B.1.var,/lib/y/a.b.1.var";
}

void TestLibraryQueries::queries()
{
    QFETCH(QStringList, packages);
    QFETCH(QString, query);
    QFETCH(QString, expected);
    QCOMPARE(answer(catalog(packages), query), expected);
}

QTEST_GUILESS_MAIN(TestLibraryQueries)
#include "tst_libraryqueries.moc"
