#include "hfile.h"
#include "testfiles.h"

#include <QtTest>

#include <sys/stat.h>

class TestHFile : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString at(QString path) const { return path.replace('@', dir->path()); }

private slots:
    // Relative paths must never land anywhere: run them inside the test folder.
    void init() { QDir::setCurrent((dir = std::make_unique<QTemporaryDir>())->path()); }

    void mkMutiDirLeavesRelativePaths()
    {
        QCOMPARE(HFile::mkMutiDir("rel/a/b"), QString("rel/a/b"));
        QCOMPARE(TestFiles::tree(dir->path()), QStringList());
    }

    void copyFile_data()
    {
        QTest::addColumn<QString>("src");
        QTest::addColumn<QString>("dst"); // nothing may change unless it is "@/d1/:/a.txt"
        // A ":" level is made below its parent, not in the working folder.
        QTest::newRow("creates folders") << "@/src/a.txt" << "@/d1/:/a.txt";
        QTest::newRow("never overwrites") << "@/src/a.txt" << "@/old.txt";
        QTest::newRow("relative destination") << "@/src/a.txt" << "out/a.txt";
        // Reading a pipe would never end; writing through a dangling link would leave the folder.
        QTest::newRow("pipe as source") << "@/src/pipe" << "@/out/pipe";
        QTest::newRow("dangling link") << "@/src/a.txt" << "@/link.txt";
    }
    void copyFile()
    {
        QFETCH(QString, src);
        QFETCH(QString, dst);
        QVERIFY(TestFiles::write(at("@/src/a.txt"), "a") && TestFiles::write(at("@/old.txt"), "old"));
        QVERIFY(::mkfifo(QFile::encodeName(at("@/src/pipe")).constData(), 0600) == 0
                && QFile::link(at("@/nowhere.txt"), at("@/link.txt")));
        const QStringList before = TestFiles::tree(dir->path());
        const bool copied = dst == "@/d1/:/a.txt";
        QCOMPARE(HFile::copyFile(at(src), at(dst)), copied);
        QCOMPARE(TestFiles::read(at(copied ? dst : "@/old.txt")), QByteArray(copied ? "a" : "old"));
        QVERIFY(copied || TestFiles::tree(dir->path()) == before);
    }

    void searchFile_data()
    {
        QTest::addColumn<QStringList>("files"); // "@" marks a link to the top folder
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder a sorts first") << QStringList({"Name.var", "a/Name.var"}) << "Name.var" << "a/Name.var";
        QTest::newRow("match inside folder wins") << QStringList({"Pkg.var/Pkg.var"}) << "Pkg.var" << "Pkg.var/Pkg.var";
        QTest::newRow("case-sensitive") << QStringList({"b/c/Name.var"}) << "name.var" << QString();
        // Links back up are entered once, or the search would never end.
        QTest::newRow("link cycles") << QStringList({"sub/z/Deep.var", "@sub/back", "@sub/z/up"}) << "Deep.var" << "sub/z/Deep.var";
    }
    void searchFile()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, wanted);
        QFETCH(QString, expected);
        const QString root = at("@/AddonPackages");
        for (const QString& file : files) {
            QVERIFY(file.startsWith('@') ? QFile::link(root, root + "/" + file.mid(1))
                                         : TestFiles::write(root + "/" + file, "x"));
        }
        QString found;
        QCOMPARE(HFile::searchFile(root, wanted, found) ? found.mid(root.size() + 1) : QString(), expected);
    }
};

QTEST_GUILESS_MAIN(TestHFile)
#include "tst_hfile.moc"
