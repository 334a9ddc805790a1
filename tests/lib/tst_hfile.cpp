#include "hfile.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
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

    void mkMutiDirCreatesChain();
    void mkMutiDirKeepsExistingPath();
    void mkMutiDirRefusesPathWithoutPrefix_data();
    void mkMutiDirRefusesPathWithoutPrefix();

    void copyFileCreatesChain();
    void copyFileNeverOverwrites();
    void copyFileRefuses_data();
    void copyFileRefuses();

    void copyPathCopiesPlainFilesOnce();

    void searchFileOrder_data();
    void searchFileOrder();
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

void TestHFile::mkMutiDirCreatesChain()
{
    QVERIFY(QDir().mkpath(dir->path() + "/x"));
    const QString target = dir->path() + "/x/y/z";
    QCOMPARE(HFile::mkMutiDir(target), target);
    QVERIFY(QFileInfo(target).isDir());

    const QString trailing = dir->path() + "/p/q/";
    QCOMPARE(HFile::mkMutiDir(trailing), trailing);
    QVERIFY(QFileInfo(dir->path() + "/p/q").isDir());

    const QString colon = dir->path() + "/c/:/d";
    QCOMPARE(HFile::mkMutiDir(colon), colon);
    QVERIFY(QFileInfo(colon).isDir());
    QVERIFY(!QFileInfo::exists(dir->path() + "/:"));
}

void TestHFile::mkMutiDirKeepsExistingPath()
{
    QVERIFY(TestFiles::write(dir->path() + "/x/file.txt", "f"));
    const QStringList before = TestFiles::tree(dir->path());
    QCOMPARE(HFile::mkMutiDir(dir->path() + "/x"), dir->path() + "/x");
    QCOMPARE(HFile::mkMutiDir(dir->path() + "/x/file.txt"), dir->path() + "/x/file.txt");
    QCOMPARE(TestFiles::tree(dir->path()), before);
}

void TestHFile::mkMutiDirRefusesPathWithoutPrefix_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("empty") << QString();
    QTest::newRow("name") << "name";
    QTest::newRow("relative chain") << "rel/a/b";
    QTest::newRow("trailing slash") << "rel/";
}

void TestHFile::mkMutiDirRefusesPathWithoutPrefix()
{
    QFETCH(QString, path);
    QCOMPARE(HFile::mkMutiDir(path), path);
    QCOMPARE(TestFiles::tree(dir->path()), QStringList());
}

void TestHFile::copyFileCreatesChain()
{
    const QString src = dir->path() + "/src/a.txt";
    const QString dst = dir->path() + "/d1/d2/d3/a.txt";
    QVERIFY(TestFiles::write(src, "content"));
    QVERIFY(HFile::copyFile(src, dst));
    QCOMPARE(TestFiles::read(dst), QByteArray("content"));
}

void TestHFile::copyFileNeverOverwrites()
{
    const QString src = dir->path() + "/a.txt";
    const QString dst = dir->path() + "/b.txt";
    QVERIFY(TestFiles::write(src, "new"));
    QVERIFY(TestFiles::write(dst, "old"));
    QVERIFY(!HFile::copyFile(src, dst));
    QCOMPARE(TestFiles::read(dst), QByteArray("old"));

#ifdef Q_OS_UNIX
    // A dangling link would otherwise be written through to its target.
    const QString link = dir->path() + "/link.txt";
    QVERIFY(QFile::link(dir->path() + "/nowhere.txt", link));
    QVERIFY(!HFile::copyFile(src, link));
    QVERIFY(!QFileInfo::exists(dir->path() + "/nowhere.txt"));
#endif
}

void TestHFile::copyFileRefuses_data()
{
    QTest::addColumn<QString>("src");
    QTest::addColumn<QString>("dst");
    QTest::newRow("missing source") << "@/missing.txt"
                                    << "@/out/a.txt";
    QTest::newRow("folder as source") << "@/src"
                                      << "@/out/a.txt";
    QTest::newRow("destination without folder") << "@/src/a.txt"
                                                << "a.txt";
    QTest::newRow("relative destination") << "@/src/a.txt"
                                          << "out/a.txt";
    QTest::newRow("empty destination") << "@/src/a.txt"
                                       << "";
#ifdef Q_OS_UNIX
    QTest::newRow("pipe as source") << "@/src/pipe"
                                    << "@/out/pipe";
#endif
}

void TestHFile::copyFileRefuses()
{
    QFETCH(QString, src);
    QFETCH(QString, dst);
    src.replace("@", dir->path());
    dst.replace("@", dir->path());
    QVERIFY(TestFiles::write(dir->path() + "/src/a.txt", "a"));
#ifdef Q_OS_UNIX
    QCOMPARE(::mkfifo(QFile::encodeName(dir->path() + "/src/pipe").constData(), 0600), 0);
#endif
    const QStringList before = TestFiles::tree(dir->path());
    QVERIFY(!HFile::copyFile(src, dst));
    QCOMPARE(TestFiles::tree(dir->path()), before);
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

void TestHFile::searchFileOrder_data()
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
}

void TestHFile::searchFileOrder()
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

    QVERIFY(!HFile::searchFile(dir->path() + "/missing", wanted, found));
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
