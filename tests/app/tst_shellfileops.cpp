#include "shellfileops.h"
#include "testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Bytes that differ from chunk to chunk, so that a misplaced block is noticed.
QByteArray patterned(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        bytes[i] = char((i * 7 + i / 4096) & 0xff);
    }
    return bytes;
}

// Points HOME, the data home and the working directory at a fresh folder for one
// test, and puts them back afterwards.
class ScratchHome
{
public:
    ScratchHome()
        : oldHome(qgetenv("HOME")), oldDataHome(qgetenv("XDG_DATA_HOME")),
          oldCwd(QDir::currentPath())
    {
        QDir().mkpath(home());
        QDir().mkpath(cwd());
        qputenv("HOME", QFile::encodeName(home()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home() + "/.local/share"));
        QDir::setCurrent(cwd());
    }
    ~ScratchHome()
    {
        QDir::setCurrent(oldCwd);
        qputenv("HOME", oldHome);
        qputenv("XDG_DATA_HOME", oldDataHome);
    }
    QString home() const { return root.path() + "/home"; }
    QString cwd() const { return root.path() + "/cwd"; }
    QString trash() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
    }

private:
    QTemporaryDir root;
    QByteArray oldHome;
    QByteArray oldDataHome;
    QString oldCwd;
};

} // namespace

class TestShellFileOps : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void moveIntoFolder_data();
    void moveIntoFolder();
    void moveNeverReplaces_data();
    void moveNeverReplaces();
    void moveAcrossFileSystems_data();
    void moveAcrossFileSystems();
    void missingEntriesFail();
    void trashWithoutDataHome();
    void trashThatCannotBeMadeFails();
};

void TestShellFileOps::moveIntoFolder_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("file") << false;
    QTest::newRow("directory") << true;
}

void TestShellFileOps::moveIntoFolder()
{
    QFETCH(bool, directory);
    QTemporaryDir root;
    const QString source = root.path() + "/src/A.Name With Blanks.1.var";
    const QString inside = directory ? source + "/meta.json" : source;
    QVERIFY(TestFiles::write(inside, "content"));
    const QString dest = root.path() + "/dest";
    QVERIFY(QDir().mkpath(dest));

    QVERIFY(moveFileTo(source, dest));
    QVERIFY(!QFileInfo::exists(source));
    QCOMPARE(TestFiles::read(QString(inside).replace(root.path() + "/src", dest)), QByteArray("content"));
}

void TestShellFileOps::moveNeverReplaces_data()
{
    QTest::addColumn<QString>("occupant");
    QTest::newRow("file") << "file";
    QTest::newRow("directory") << "directory";
    QTest::newRow("dangling link") << "link";
}

void TestShellFileOps::moveNeverReplaces()
{
    QFETCH(QString, occupant);
    QTemporaryDir root;
    const QString source = root.path() + "/src/x.var";
    const QString target = root.path() + "/dest/x.var";
    QVERIFY(TestFiles::write(source, "mine"));
    QVERIFY(QDir().mkpath(root.path() + "/dest"));
    if (occupant == "file") {
        QVERIFY(TestFiles::write(target, "theirs"));
    } else if (occupant == "directory") {
        QVERIFY(QDir().mkpath(target));
    } else {
        QVERIFY(QFile::link(root.path() + "/nowhere", target));
    }

    QVERIFY(!moveFileTo(source, root.path() + "/dest"));
    QCOMPARE(TestFiles::read(source), QByteArray("mine"));
    if (occupant == "file") {
        QCOMPARE(TestFiles::read(target), QByteArray("theirs"));
    } else if (occupant == "directory") {
        QVERIFY(QFileInfo(target).isDir());
    } else {
        QVERIFY(QFileInfo(target).isSymLink());
    }
    // Moving a file into its own folder is a collision with itself.
    QVERIFY(!moveFileTo(source, root.path() + "/src"));
    QCOMPARE(TestFiles::read(source), QByteArray("mine"));
}

void TestShellFileOps::moveAcrossFileSystems_data()
{
    QTest::addColumn<bool>("occupied");
    QTest::newRow("free") << false;
    QTest::newRow("name taken") << true;
}

void TestShellFileOps::moveAcrossFileSystems()
{
    QFETCH(bool, occupied);
    if (!QFileInfo("/dev/shm").isDir()) {
        QSKIP("no tmpfs folder /dev/shm on this machine");
    }
    QTemporaryDir memory("/dev/shm/quillmark-move-XXXXXX");
    QTemporaryDir disk(QCoreApplication::applicationDirPath() + "/move-XXXXXX");
    QVERIFY(memory.isValid() && disk.isValid());
    if (QStorageInfo(memory.path()).device() == QStorageInfo(disk.path()).device()) {
        QSKIP("/dev/shm and the build folder are on one file system");
    }
    const QString source = memory.path() + "/big.var";
    const QString target = disk.path() + "/big.var";
    const QByteArray content = patterned(3 * 1024 * 1024 + 17);
    QVERIFY(TestFiles::write(source, content));
    const QDateTime stamp = QDateTime::currentDateTime().addDays(-40);
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    if (occupied) {
        QVERIFY(TestFiles::write(target, "theirs"));
    }

    QCOMPARE(moveFileTo(source, disk.path()), !occupied);
    QCOMPARE(TestFiles::read(target), occupied ? QByteArray("theirs") : content);
    QCOMPARE(QFileInfo::exists(source), occupied);
    if (occupied) {
        QCOMPARE(TestFiles::read(source), content);
    } else {
        QCOMPARE(QFileInfo(target).lastModified().toSecsSinceEpoch(), stamp.toSecsSinceEpoch());
    }
    // No half-made copy is left behind.
    const QStringList left =
        QDir(disk.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(left, QStringList{"big.var"});
}

void TestShellFileOps::missingEntriesFail()
{
    ScratchHome scratch;
    const QString gone = scratch.home() + "/gone.var";
    QVERIFY(!deleteFileToTrash(gone));
    QVERIFY(!moveFileTo(gone, scratch.home()));

    const QString file = scratch.home() + "/here.var";
    QVERIFY(TestFiles::write(file, "here"));
    QVERIFY(!moveFileTo(file, scratch.home() + "/no/such/folder"));
    QVERIFY(!moveFileTo(file, file));
    QCOMPARE(TestFiles::read(file), QByteArray("here"));
}

void TestShellFileOps::trashWithoutDataHome()
{
    ScratchHome scratch;
    const QString file = scratch.home() + "/pkgs/Creator.Pack.1.var";
    QVERIFY(TestFiles::write(file, "package"));
    QVERIFY(
        !QFileInfo::exists(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)));

    QVERIFY(deleteFileToTrash(file));
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(TestFiles::read(scratch.trash() + "/files/Creator.Pack.1.var"), QByteArray("package"));
    QVERIFY(QFileInfo::exists(scratch.trash() + "/info/Creator.Pack.1.var.trashinfo"));
    QCOMPARE(QDir(scratch.cwd()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestShellFileOps::trashThatCannotBeMadeFails()
{
    ScratchHome scratch;
    // A plain file where the data directories would go: no trash can be made.
    QVERIFY(TestFiles::write(scratch.home() + "/.qttest", "in the way"));
    QVERIFY(TestFiles::write(scratch.home() + "/.local", "in the way"));
    const QString file = scratch.home() + "/pkgs/Creator.Pack.1.var";
    QVERIFY(TestFiles::write(file, "package"));

    QVERIFY(!deleteFileToTrash(file));
    QCOMPARE(TestFiles::read(file), QByteArray("package"));
    QVERIFY(!QFileInfo::exists(scratch.cwd() + "/files/Creator.Pack.1.var"));
    QVERIFY(!QFileInfo::exists(scratch.cwd() + "/info/Creator.Pack.1.var.trashinfo"));
}

QTEST_GUILESS_MAIN(TestShellFileOps)
#include "tst_shellfileops.moc"
