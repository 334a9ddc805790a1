#include "hfile.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

class TestHFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mkMutiDir_data();
    void mkMutiDir();
    void copyFile_data();
    void copyFile();
    void copyPathCopiesPlainFilesOnce();
    void searchFile_data();
    void searchFile();
    void searchFileSurvivesLinkCycle();

private:
    QTemporaryDir* dir = nullptr;
    QString previousCwd;
};

void TestHFile::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestHFile::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    // Relative paths must never land anywhere: run them inside the test folder.
    previousCwd = QDir::currentPath();
    QDir::setCurrent(dir->path());
}

void TestHFile::cleanup()
{
    QDir::setCurrent(previousCwd);
    delete dir;
    dir = nullptr;
}

void TestHFile::mkMutiDir_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("created");
    QTest::newRow("chain") << "@/x/y/z" << QStringList({"x/y", "x/y/z"});
    QTest::newRow("trailing slash") << "@/p/q/" << QStringList({"p", "p/q"});
    // A ":" level is made below its parent, not in the working folder.
    QTest::newRow("colon level") << "@/c/:/d" << QStringList({"c", "c/:", "c/:/d"});
    QTest::newRow("existing folder") << "@/x" << QStringList();
    QTest::newRow("existing file") << "@/x/file.txt" << QStringList();
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("name") << "name" << QStringList();
    QTest::newRow("relative chain") << "rel/a/b" << QStringList();
    QTest::newRow("relative with slash") << "rel/" << QStringList();
}

void TestHFile::mkMutiDir()
{
    QFETCH(QString, path);
    QFETCH(QStringList, created);
    path.replace("@", dir->path());
    QVERIFY(TestFiles::write(dir->path() + "/x/file.txt", "f"));
    QStringList expected = TestFiles::tree(dir->path()) + created;
    expected.sort();

    QCOMPARE(HFile::mkMutiDir(path), path);
    QCOMPARE(TestFiles::tree(dir->path()), expected);
}

void TestHFile::copyFile_data()
{
    QTest::addColumn<QString>("src");
    QTest::addColumn<QString>("dst");
    QTest::addColumn<bool>("copied");
    QTest::newRow("creates folders") << "@/src/a.txt"
                                     << "@/d1/d2/d3/a.txt" << true;
    QTest::newRow("never overwrites") << "@/src/a.txt"
                                      << "@/old.txt" << false;
    QTest::newRow("missing source") << "@/missing.txt"
                                    << "@/out/a.txt" << false;
    QTest::newRow("folder as source") << "@/src"
                                      << "@/out/a.txt" << false;
    QTest::newRow("destination without folder") << "@/src/a.txt"
                                                << "a.txt" << false;
    QTest::newRow("relative destination") << "@/src/a.txt"
                                          << "out/a.txt" << false;
    QTest::newRow("empty destination") << "@/src/a.txt"
                                       << "" << false;
#ifdef Q_OS_UNIX
    QTest::newRow("pipe as source") << "@/src/pipe"
                                    << "@/out/pipe" << false;
    // A dangling link would otherwise be written through to its target.
    QTest::newRow("dangling link") << "@/src/a.txt"
                                   << "@/link.txt" << false;
#endif
}

void TestHFile::copyFile()
{
    QFETCH(QString, src);
    QFETCH(QString, dst);
    QFETCH(bool, copied);
    src.replace("@", dir->path());
    dst.replace("@", dir->path());
    QVERIFY(TestFiles::write(dir->path() + "/src/a.txt", "a"));
    QVERIFY(TestFiles::write(dir->path() + "/old.txt", "old"));
#ifdef Q_OS_UNIX
    QCOMPARE(::mkfifo(QFile::encodeName(dir->path() + "/src/pipe").constData(), 0600), 0);
    QVERIFY(QFile::link(dir->path() + "/nowhere.txt", dir->path() + "/link.txt"));
#endif
    const QStringList before = TestFiles::tree(dir->path());
    const QByteArray dstBefore = TestFiles::read(dst);

    QCOMPARE(HFile::copyFile(src, dst), copied);
    if (copied) {
        QCOMPARE(TestFiles::read(dst), QByteArray("a"));
    } else {
        QCOMPARE(TestFiles::tree(dir->path()), before);
        QCOMPARE(TestFiles::read(dst), dstBefore);
    }
}

void TestHFile::copyPathCopiesPlainFilesOnce()
{
    const QString src = dir->path() + "/X/";
    const QString dst = dir->path() + "/Y/";
    QVERIFY(TestFiles::write(src + "a.vam", "a"));
    QVERIFY(TestFiles::write(src + "b.jpg", "b"));
    QVERIFY(TestFiles::write(src + "sub/c.txt", "c"));
    QVERIFY(TestFiles::write(dst + "b.jpg", "kept"));

    QVERIFY(HFile::copyPath(src, dst));
    QCOMPARE(TestFiles::tree(dst), QStringList({"a.vam", "b.jpg"}));
    QCOMPARE(TestFiles::read(dst + "a.vam"), QByteArray("a"));
    QCOMPARE(TestFiles::read(dst + "b.jpg"), QByteArray("kept"));

    // Any path inside the folders names them; a second run finds everything there.
    QVERIFY(TestFiles::write(src + "a.vam", "changed"));
    QVERIFY(HFile::copyPath(src + "a.vam", dst + "whatever"));
    QCOMPARE(TestFiles::tree(dst), QStringList({"a.vam", "b.jpg"}));
    QCOMPARE(TestFiles::read(dst + "a.vam"), QByteArray("a"));
}

void TestHFile::searchFile_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QString>("expected");
    const QStringList nested = {"Name.var", "a/Name.var"};
    QTest::newRow("folder a sorts first") << nested << "Name.var"
                                          << "a/Name.var";
    QTest::newRow("folder z sorts last") << QStringList({"Name.var", "z/Name.var"}) << "Name.var"
                                         << "Name.var";
    QTest::newRow("deep below") << QStringList({"b/c/d/Name.var"}) << "Name.var"
                                << "b/c/d/Name.var";
    QTest::newRow("case-sensitive") << nested << "name.var" << QString();
    QTest::newRow("folder with the name") << QStringList({"Pkg.var/readme.txt"}) << "Pkg.var"
                                          << "Pkg.var";
    QTest::newRow("match inside folder wins") << QStringList({"Pkg.var/Pkg.var"}) << "Pkg.var"
                                              << "Pkg.var/Pkg.var";
    QTest::newRow("nothing") << nested << "Other.var" << QString();
    QTest::newRow("no such folder") << QStringList() << "Name.var" << QString();
}

void TestHFile::searchFile()
{
    QFETCH(QStringList, files);
    QFETCH(QString, wanted);
    QFETCH(QString, expected);
    const QString root = dir->path() + "/AddonPackages";
    for (const QString& file : files) {
        QVERIFY(TestFiles::write(root + "/" + file, "x"));
    }
    QString found = "unchanged";
    QCOMPARE(HFile::searchFile(root, wanted, found), !expected.isEmpty());
    QCOMPARE(found, expected.isEmpty() ? QString("unchanged") : root + "/" + expected);
}

void TestHFile::searchFileSurvivesLinkCycle()
{
#ifdef Q_OS_UNIX
    const QString root = dir->path() + "/AddonPackages";
    QVERIFY(TestFiles::write(root + "/sub/z/Deep.var", "x"));
    QVERIFY(QFile::link(root, root + "/sub/back"));
    QVERIFY(QFile::link(root + "/sub", root + "/sub/z/up"));
    QString found;
    QVERIFY(!HFile::searchFile(root, "Missing.var", found));
    QVERIFY(HFile::searchFile(root, "Deep.var", found));
    QCOMPARE(QFileInfo(found).canonicalFilePath(),
             QFileInfo(root + "/sub/z/Deep.var").canonicalFilePath());
#else
    QSKIP("Directory links are made with the Unix calls here");
#endif
}

QTEST_GUILESS_MAIN(TestHFile)
#include "tst_hfile.moc"
