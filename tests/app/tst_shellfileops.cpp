#include "shellfileops.h"
#include "testfiles.h"

#include <QDateTime>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestShellFileOps : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();
    void move_data();
    void move();
    void moveAcrossFileSystems_data();
    void moveAcrossFileSystems();
    void trash_data();
    void trash();

private:
    QString home() const { return root->path() + "/home"; }
    QString cwd() const { return root->path() + "/cwd"; }

    std::unique_ptr<QTemporaryDir> root;
};

void TestShellFileOps::init()
{
    // HOME, the data home and the working directory of each test are its own.
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(home()) && QDir().mkpath(cwd()));
    qputenv("HOME", QFile::encodeName(home()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home() + "/.local/share"));
    QVERIFY(QDir::setCurrent(cwd()));
}

void TestShellFileOps::cleanup()
{
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    root.reset();
}

void TestShellFileOps::move_data()
{
    QTest::addColumn<bool>("directory");
    QTest::addColumn<QString>("occupant");
    QTest::newRow("file") << false << "";
    QTest::newRow("directory") << true << "";
    QTest::newRow("name taken by a file") << false << "file";
    QTest::newRow("name taken by a directory") << false << "directory";
    QTest::newRow("name taken by a dangling link") << false << "link";
}

void TestShellFileOps::move()
{
    QFETCH(bool, directory);
    QFETCH(QString, occupant);
    const QString source = home() + "/src/A.Name With Blanks.1.var";
    const QString target = home() + "/dest/A.Name With Blanks.1.var";
    const QString inside = directory ? "/meta.json" : "";
    QVERIFY(TestFiles::write(source + inside, "mine"));
    QVERIFY(QDir().mkpath(home() + "/dest"));
    if (occupant == "file") {
        QVERIFY(TestFiles::write(target, "theirs"));
    } else if (occupant == "directory") {
        QVERIFY(QDir().mkpath(target));
    } else if (occupant == "link") {
        QVERIFY(QFile::link(home() + "/nowhere", target));
    }

    const bool moves = occupant.isEmpty();
    const QByteArray theirs = occupant == "file" ? "theirs" : "<unreadable>";
    QCOMPARE(moveFileTo(source, home() + "/dest"), moves);
    QCOMPARE(TestFiles::read(source + inside), QByteArray(moves ? "<unreadable>" : "mine"));
    QCOMPARE(TestFiles::read(target + inside), moves ? QByteArray("mine") : theirs);
    QCOMPARE(QFileInfo(target).isDir(), directory || occupant == "directory");
    QCOMPARE(QFileInfo(target).isSymLink(), occupant == "link");
}

void TestShellFileOps::moveAcrossFileSystems_data()
{
    QTest::addColumn<bool>("occupied");
    QTest::addColumn<int>("cancelAt"); // the progress report that cancels; 0 none
    QTest::newRow("free") << false << 0;
    QTest::newRow("name taken") << true << 0;
    QTest::newRow("cancelled") << false << 2;
}

void TestShellFileOps::moveAcrossFileSystems()
{
    QFETCH(bool, occupied);
    QFETCH(int, cancelAt);
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
    // Bytes that differ from chunk to chunk, so that a misplaced block is noticed.
    QByteArray content(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (int i = 0; i < content.size(); ++i) {
        content[i] = char((i * 7 + i / 4096) & 0xff);
    }
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

    QList<qint64> copied;
    const auto progress = [&](qint64 done, qint64 total) {
        copied << (total == content.size() ? done : -1);
        return copied.size() != cancelAt;
    };
    const bool moves = !occupied && cancelAt == 0;
    QCOMPARE(moveFileTo(source, disk.path(), progress), moves);
    QCOMPARE(TestFiles::read(target), occupied ? QByteArray("theirs")
                                      : moves  ? content
                                               : QByteArray("<unreadable>"));
    QCOMPARE(TestFiles::read(source), moves ? QByteArray("<unreadable>") : content);
    if (moves) {
        QCOMPARE(QFileInfo(target).lastModified().toSecsSinceEpoch(), stamp.toSecsSinceEpoch());
        QCOMPARE(copied, (QList<qint64>{1 << 20, 2 << 20, 3 << 20, content.size()}));
    }
    // No half-made copy is left behind.
    QCOMPARE(TestFiles::tree(disk.path()),
             moves || occupied ? QStringList{"big.var"} : QStringList());
}

void TestShellFileOps::trash_data()
{
    QTest::addColumn<bool>("possible");
    QTest::newRow("no data folder yet") << true;
    QTest::newRow("no trash can be made") << false;
}

void TestShellFileOps::trash()
{
    QFETCH(bool, possible);
    if (!possible) {
        // A plain file where the data folders would go.
        QVERIFY(TestFiles::write(home() + "/.qttest", "in the way"));
        QVERIFY(TestFiles::write(home() + "/.local", "in the way"));
    }
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QVERIFY(!QFileInfo::exists(dataHome));
    const QString file = home() + "/pkgs/Creator.Pack.1.var";
    QVERIFY(TestFiles::write(file, "package"));

    QCOMPARE(deleteFileToTrash(file), possible);
    QCOMPARE(TestFiles::read(file), possible ? QByteArray("<unreadable>") : QByteArray("package"));
    QCOMPARE(TestFiles::read(dataHome + "/Trash/files/Creator.Pack.1.var"),
             possible ? QByteArray("package") : QByteArray("<unreadable>"));
    QCOMPARE(QFileInfo::exists(dataHome + "/Trash/info/Creator.Pack.1.var.trashinfo"), possible);
    // Never "trashed" below the working directory, and nothing left there.
    QCOMPARE(TestFiles::tree(cwd()), QStringList());
}

QTEST_GUILESS_MAIN(TestShellFileOps)
#include "tst_shellfileops.moc"
