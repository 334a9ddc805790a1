#include "librarycatalog.h"
#include "removalcheck.h"
#include "reportcommand.h"

#include <QtTest>

// "dir/A.B.1.var C.D.2 X.Y.1/E.F.3" is the package /lib/dir/A.B.1.var referring to C.D.2
// and X.Y.1 directly and to E.F.3 through X.Y.1; a leading "!" marks a damaged file, "?"
// one that could not be read; "=N" after the file gives its size; "@C.D.2" is a reference
// of its content.
static LibraryCatalog catalog(const QStringList& lines)
{
    QVector<IndexedPackage> packages;
    for (const QString& line : lines) {
        QStringList words = line.split(' ');
        const QStringList file = words.takeFirst().remove('!').remove('?').split('=');
        IndexedPackage package = IndexedPackage::fromFile("/lib/" + file[0], file.value(1, "1").toLongLong(), 1);
        package.unreadable = line.startsWith('?');
        package.problem = package.unreadable ? "cannot read" : line.startsWith('!') || package.version < 0 ? "bad" : "";
        package.contentRead = true;
        for (const QString& word : words) {
            if (word.startsWith('@')) {
                package.content.append({word.mid(1), "Saves/scene/s.json"});
                continue;
            }
            // Each name of the route is the reference the next one is nested in.
            int parent = -1;
            for (const QString& name : word.split('/')) {
                const auto& all = package.references;
                const int found = int(std::find_if(all.begin(), all.end(), [&](const PackageReference& r) {
                                          return r.name == name && r.parent == parent;
                                      }) - all.begin());
                if (found == all.size()) {
                    package.references.append({name, parent});
                }
                parent = found;
            }
        }
        packages.append(package);
    }
    return LibraryCatalog(packages);
}

class TestLibraryQueries : public QObject
{
    Q_OBJECT
private slots:
    void queries_data()
    {
        QTest::addColumn<QStringList>("packages");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected"); // the report as JSON, '' for ""
        const QStringList versions = {"C.P.9.var", "C.P.10.var", "a/C.P.2.var"};
        QTest::newRow("exact version present") << (versions + QStringList{"A.B.1.var C.P.10 C.P.2"}) << "missing" << "[]";
        QTest::newRow("other versions, numeric order")
            << (versions + QStringList{"A.B.1.var C.P.3", "Z.Z.1.var c.p.3"}) << "missing"
            << "[{'dependency':'C.P.3','state':'other-version','present':['C.P.2','C.P.9','C.P.10'],"
               "'neededBy':['A.B.1','Z.Z.1'],'routes':['A.B.1','Z.Z.1']}]";
        QTest::newRow("latest in any capitalisation")
            << (versions + QStringList{"A.B.1.var C.P.latest C.P.LATEST c.p.Latest"}) << "missing" << "[]";
        QTest::newRow("latest with no version, nested")
            << QStringList{"A.B.1.var X.Y.1 X.Y.1/Q.R.latest", "X.Y.1.var"} << "missing"
            << "[{'dependency':'Q.R.latest','state':'missing','present':[],'neededBy':['A.B.1'],'routes':['A.B.1 via X.Y.1']}]";
        QTest::newRow("nested two deep")
            << QStringList{"A.B.1.var X.Y.2/Q.R.3/S.T.1", "X.Y.2.var", "Q.R.3.var"} << "missing"
            << "[{'dependency':'S.T.1','state':'missing','present':[],'neededBy':['A.B.1'],'routes':['A.B.1 via X.Y.2/Q.R.3']}]";
        QTest::newRow("unreadable and unparsable files satisfy nothing")
            << QStringList{"!C.P.1.var", "Odd.var", "A.B.1.var C.P.1 Odd"} << "missing"
            << "[{'dependency':'C.P.1','state':'missing','present':[],'neededBy':['A.B.1'],'routes':['A.B.1']},"
               "{'dependency':'Odd','state':'missing','present':[],'neededBy':['A.B.1'],'routes':['A.B.1']}]";
        // "b@" and "a_" hash alike, ignoring case, and must still be told apart.
        QTest::newRow("names of one hash") << QStringList{"C.b@.1.var", "C.a_.2.var", "A.B.1.var C.a_.1 C.b@.2"} << "missing"
            << "[{'dependency':'C.a_.1','state':'other-version','present':['C.a_.2'],'neededBy':['A.B.1'],'routes':['A.B.1']},"
               "{'dependency':'C.b@.2','state':'other-version','present':['C.b@.1'],'neededBy':['A.B.1'],'routes':['A.B.1']}]";
        QTest::newRow("cycle") << QStringList{"A.B.1.var C.D.1", "C.D.1.var A.B.1 A.B.1/C.D.1"} << "missing" << "[]";
        QTest::newRow("used by: exact, nested, latest of the newest")
            << (versions + QStringList{"A.B.1.var C.P.10", "D.E.1.var X.Y.1/C.P.latest", "F.G.1.var C.P.9"}) << "used-by=C.P.10"
            << "[{'package':'A.B.1','path':'/lib/A.B.1.var'},{'package':'D.E.1','path':'/lib/D.E.1.var'}]";
        QTest::newRow("used by: latest not for an older version")
            << (versions + QStringList{"D.E.1.var C.P.latest", "F.G.1.var C.P.9"}) << "used-by=C.P.9.var"
            << "[{'package':'F.G.1','path':'/lib/F.G.1.var'}]";
        QTest::newRow("old versions with exact referrers")
            << (versions + QStringList{"A.B.1.var C.P.9 C.P.latest", "D.E.1.var X.Y.1/C.P.9"}) << "old"
            << "[{'package':'C.P.2','path':'/lib/a/C.P.2.var','newest':'C.P.10','referencedBy':[]},"
               "{'package':'C.P.9','path':'/lib/C.P.9.var','newest':'C.P.10','referencedBy':['A.B.1','D.E.1']}]";
        QTest::newRow("broken sorted by path") << QStringList{"z/A.B.1.var", "!b/C.D.1.var", "Bad.var"} << "broken"
            << "[{'path':'/lib/Bad.var','problem':'bad'},{'path':'/lib/b/C.D.1.var','problem':'bad'}]";
        QTest::newRow("duplicates ignoring case")
            << QStringList{"x/A.B.1.var", "y/a.b.1.var", "C.D.1.var", "z/C.D.2.var"} << "duplicates"
            << "[{'file':'A.B.1.var','paths':['/lib/x/A.B.1.var','/lib/y/a.b.1.var']}]";
        // C.P.2 is referenced by a description, C.P.0 by a scene; the first copy of A.B.1 in path order stays; creators of equal
        // size go by name, in the spelling met first.
        QTest::newRow("space: terabytes, old, duplicates, broken, unparsable")
            << QStringList{"c.P.1.var=3000000000000", "C.P.2.var=2000000000000", "C.P.3.var=1000", "A.B.1.var=10 C.P.2",
                           "x/A.B.1.var=10", "y/a.b.1.var=10", "B.Q.1.var=30", "!D.E.1.var=7", "Odd.var=5", "?F.G.1.var=100", "c.P.0.var=1", "Z.Z.1.var=1 @C.P.0"} << "space"
            << "{'packages':12,'bytes':5000000001174,'creators':[{'creator':'C','packages':4,'bytes':5000000001001},"
               "{'creator':'F','packages':1,'bytes':100},{'creator':'A','packages':3,'bytes':30},{'creator':'B','packages':1,'bytes':30},{'creator':'D','packages':1,'bytes':7},"
               "{'creator':'','packages':1,'bytes':5},{'creator':'Z','packages':1,'bytes':1}],'reclaimable':{'oldUnreferenced':{'packages':1,'bytes':3000000000000},"
               "'duplicates':{'files':2,'bytes':20},'broken':{'files':2,'bytes':12}}}";
        QTest::newRow("space of nothing") << QStringList() << "space"
            << "{'packages':0,'bytes':0,'creators':[],'reclaimable':{'oldUnreferenced':{'packages':0,'bytes':0},"
               "'duplicates':{'files':0,'bytes':0},'broken':{'files':0,'bytes':0}}}";
    }
    void queries()
    {
        QFETCH(QStringList, packages);
        QFETCH(QString, query);
        QFETCH(QString, expected);
        const LibraryCatalog library = catalog(packages);
        const QJsonDocument report = query == "space" ? QJsonDocument(ReportCommand::space(library))
                                                      : QJsonDocument(ReportCommand::report(library, query, true));
        QCOMPARE(report.toJson(QJsonDocument::Compact), QJsonDocument::fromJson(expected.replace('\'', '"').toUtf8()).toJson(QJsonDocument::Compact));
    }

    // Spellings that a look-up by case-sensitive order or by prefix would get wrong:
    // what is missing, who uses `name`, and who would lose a dependency without it.
    void spellings_data()
    {
        QTest::addColumn<QStringList>("packages");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QString>("users");
        QTest::addColumn<QString>("losing");
        QTest::newRow("only LATEST") << QStringList{"C.P.2.var", "A.B.1.var C.P.LATEST"} << "C.P.2" << "" << "A.B.1" << "A.B.1";
        QTest::newRow("only Latest") << QStringList{"C.P.2.var", "A.B.1.var C.P.Latest"} << "C.P.2" << "" << "A.B.1" << "A.B.1";
        QTest::newRow("only LATEST, absent") << QStringList{"X.Y.1.var", "A.B.1.var C.P.LATEST"} << "X.Y.1" << "C.P.LATEST" << "" << "";
        // Sorted by code, "_" falls between the capitals and the small letters.
        QTest::newRow("case around the name") << QStringList{"C.PA.1.var", "C.P_.1.var", "c.pa.2.var", "C.Pb.1.var", "A.B.1.var C.Pa.2 C.p_.1 C.pA.latest", "D.E.1.var C.pa.1"}
                                              << "c.pa.2" << "" << "A.B.1" << "A.B.1";
        QTest::newRow("latest of a shorter name") << QStringList{"Creator.Package.3.var", "A.B.1.var Creator.Pack.latest", "D.E.1.var Creator.Package.latest"}
                                                  << "Creator.Package.3" << "Creator.Pack.latest" << "D.E.1" << "D.E.1";
        QTest::newRow("latest of a longer name") << QStringList{"Creator.Pack.1.var", "A.B.1.var Creator.Package.latest", "D.E.1.var Creator.Pack.latest"}
                                                 << "Creator.Pack.1" << "Creator.Package.latest" << "D.E.1" << "D.E.1";
    }
    void spellings()
    {
        QFETCH(QStringList, packages);
        QFETCH(QString, name);
        QFETCH(QString, missing);
        QFETCH(QString, users);
        QFETCH(QString, losing);
        const LibraryCatalog library = catalog(packages);
        const QVector<MissingDependency> missingNow = LibraryQueries::missing(library);
        QStringList names;
        for (const MissingDependency& entry : missingNow) {
            names << entry.dependency;
        }
        QCOMPARE(names.join(' '), missing);
        names.clear();
        for (const PackageUser& user : LibraryQueries::usedBy(library, name)) {
            names << user.package;
        }
        QCOMPARE(names.join(' '), users);
        QCOMPARE(RemovalCheck::dependentsLosing(library, {"/lib/" + name + ".var"}, missingNow).join(' '), losing);
    }

    void removalSummary_data()
    {
        QTest::addColumn<int>("dependents");
        QTest::addColumn<QString>("end"); // after the first ten names
        QTest::newRow("as many as shown") << 10 << "";
        QTest::newRow("one more") << 11 << "\nand 1 more";
    }
    void removalSummary()
    {
        QFETCH(int, dependents);
        QFETCH(QString, end);
        QStringList names;
        for (int i = 0; i < dependents; ++i) {
            names << "D" + QString::number(i);
        }
        const QString text = RemovalCheck::summary(2, 0, names, true);
        QCOMPARE(text.section("use:\n", 1), names.mid(0, 10).join('\n') + end);
    }
};

QTEST_GUILESS_MAIN(TestLibraryQueries)
#include "tst_libraryqueries.moc"
