#include "hfile.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestHFile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { QDir::setCurrent(previousCwd); }
    void mkMutiDir_data();
    void mkMutiDir();
    void copyFile_data();
    void copyFile();
    void searchFile_data();
    void searchFile();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString previousCwd;
};

void TestHFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    // Relative paths must never land anywhere: run them inside the test folder.
    previousCwd = QDir::currentPath();
    QDir::setCurrent(dir->path());
}

void TestHFile::mkMutiDir_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("created");
    QTest::newRow("chain") << "@/x/y/z" << QStringList({"x", "x/y", "x/y/z"});
    // A ":" level is made below its parent, not in the working folder.
    QTest::newRow("colon level") << "@/c/:/d" << QStringList({"c", "c/:", "c/:/d"});
    QTest::newRow("relative chain") << "rel/a/b" << QStringList();
}

void TestHFile::mkMutiDir()
{
    QFETCH(QString, path);
    QFETCH(QStringList, created);
    path.replace("@", dir->path());
    QCOMPARE(HFile::mkMutiDir(path), path);
    QCOMPARE(TestFiles::tree(dir->path()), created);
}

void TestHFile::copyFile_data()
{
    QTest::addColumn<QString>("src");
    QTest::addColumn<QString>("dst");
    QTest::addColumn<bool>("copied");
    QTest::newRow("creates folders") << "src/a.txt"
                                     << "@/d1/d2/a.txt" << true;
    QTest::newRow("never overwrites") << "src/a.txt"
                                      << "@/old.txt" << false;
    QTest::newRow("folder as source") << "src"
                                      << "@/out/a.txt" << false;
    QTest::newRow("relative destination") << "src/a.txt"
                                          << "out/a.txt" << false;
    // Reading a pipe would never end; writing through a dangling link would leave the folder.
    QTest::newRow("pipe as source") << "src/pipe"
                                    << "@/out/pipe" << false;
    QTest::newRow("dangling link") << "src/a.txt"
                                   << "@/link.txt" << false;
}

void TestHFile::copyFile()
{
    QFETCH(QString, src);
    QFETCH(QString, dst);
    QFETCH(bool, copied);
    dst.replace("@", dir->path());
    QVERIFY(TestFiles::write(dir->path() + "/src/a.txt", "a"));
    QVERIFY(TestFiles::write(dir->path() + "/old.txt", "old"));
    QCOMPARE(::mkfifo(QFile::encodeName(dir->path() + "/src/pipe").constData(), 0600), 0);
    QVERIFY(QFile::link(dir->path() + "/nowhere.txt", dir->path() + "/link.txt"));
    const QStringList before = TestFiles::tree(dir->path());

    QCOMPARE(HFile::copyFile(dir->path() + "/" + src, dst), copied);
    if (copied) {
        QCOMPARE(TestFiles::read(dst), QByteArray("a"));
    } else {
        QCOMPARE(TestFiles::tree(dir->path()), before);
        QCOMPARE(TestFiles::read(dir->path() + "/old.txt"), QByteArray("old"));
    }
}

void TestHFile::searchFile_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QString>("expected");
    QTest::newRow("folder a sorts first") << QStringList({"Name.var", "a/Name.var"}) << "Name.var"
                                          << "a/Name.var";
    QTest::newRow("match inside folder wins") << QStringList({"Pkg.var/Pkg.var"}) << "Pkg.var"
                                              << "Pkg.var/Pkg.var";
    QTest::newRow("case-sensitive") << QStringList({"b/c/Name.var"}) << "name.var" << QString();
    // Links back up are entered once, or the search would never end.
    QTest::newRow("link cycles") << QStringList({"sub/z/Deep.var", "@sub/back", "@sub/z/up"})
                                 << "Deep.var"
                                 << "sub/z/Deep.var";
}

void TestHFile::searchFile()
{
    QFETCH(QStringList, files);
    QFETCH(QString, wanted);
    QFETCH(QString, expected);
    const QString root = dir->path() + "/AddonPackages";
    for (const QString& file : files) {
        QVERIFY(file.startsWith('@') ? QFile::link(root, root + "/" + file.mid(1))
                                     : TestFiles::write(root + "/" + file, "x"));
    }
    QString found = "unchanged";
    QCOMPARE(HFile::searchFile(root, wanted, found), !expected.isEmpty());
    QCOMPARE(found, expected.isEmpty() ? QString("unchanged") : root + "/" + expected);
    QVERIFY(!HFile::searchFile(root, "Missing.var", found));
}

QTEST_GUILESS_MAIN(TestHFile)
#include "tst_hfile.moc"
