#include "shellfileops.h"
#include "testfiles.h"

#include <QDateTime>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

class TestShellFileOps : public QObject
{
    Q_OBJECT
private slots:
    void move_data();
    void move();
    void trash_data();
    void trash();
};

void TestShellFileOps::move_data()
{
    QTest::addColumn<bool>("across"); // from a memory file system to the disk
    QTest::addColumn<bool>("directory");
    QTest::addColumn<QString>("occupant");
    QTest::addColumn<int>("cancelAt"); // the progress report that cancels; 0 none
    QTest::newRow("file") << false << false << "" << 0;
    QTest::newRow("directory") << false << true << "" << 0;
    QTest::newRow("name taken by a file") << false << false << "file" << 0;
    QTest::newRow("name taken by a directory") << false << false << "directory" << 0;
    QTest::newRow("name taken by a dangling link") << false << false << "link" << 0;
    QTest::newRow("across") << true << false << "" << 0;
    QTest::newRow("across, name taken") << true << false << "file" << 0;
    QTest::newRow("across, cancelled") << true << false << "" << 2;
}

void TestShellFileOps::move()
{
    QFETCH(bool, across);
    QFETCH(bool, directory);
    QFETCH(QString, occupant);
    QFETCH(int, cancelAt);
    QTemporaryDir memory("/dev/shm/quillmark-move-XXXXXX");
    QTemporaryDir disk(QCoreApplication::applicationDirPath() + "/move-XXXXXX");
    if (across && (!memory.isValid() ||
                   QStorageInfo(memory.path()).device() == QStorageInfo(disk.path()).device())) {
        QSKIP("no tmpfs folder /dev/shm beside the build folder");
    }
    const QString name = "/A.Name With Blanks.1.var";
    const QString source = (across ? memory.path() : disk.path() + "/src") + name;
    const QString dest = disk.path() + "/dest";
    const QString target = dest + name;
    const QString inside = directory ? "/meta.json" : "";
    // Bytes that differ from chunk to chunk, so that a misplaced block is noticed.
    QByteArray mine(across ? 3 * 1024 * 1024 + 17 : 4, Qt::Uninitialized);
    for (int i = 0; i < mine.size(); ++i) {
        mine[i] = char((i * 7 + i / 4096) & 0xff);
    }
    QVERIFY(TestFiles::write(source + inside, mine) && QDir().mkpath(dest));
    const QDateTime stamp = QDateTime::currentDateTime().addDays(-40);
    QFile file(source + inside);
    QVERIFY(file.open(QIODevice::ReadWrite) &&
            file.setFileTime(stamp, QFileDevice::FileModificationTime));
    file.close();
    QVERIFY(occupant != "file" || TestFiles::write(target, "theirs"));
    QVERIFY(occupant != "directory" || QDir().mkpath(target));
    QVERIFY(occupant != "link" || QFile::link(disk.path() + "/nowhere", target));

    QList<qint64> copied;
    const auto progress = [&](qint64 done, qint64 total) {
        copied << (total == mine.size() ? done : -1);
        return copied.size() != cancelAt;
    };
    const bool moves = occupant.isEmpty() && cancelAt == 0;
    QCOMPARE(moveFileTo(source, dest, progress), moves);
    QCOMPARE(TestFiles::read(source + inside), moves ? QByteArray("<unreadable>") : mine);
    QCOMPARE(TestFiles::read(target + inside),
             moves ? mine : QByteArray(occupant == "file" ? "theirs" : "<unreadable>"));
    QCOMPARE(QFileInfo(target).isDir(), directory || occupant == "directory");
    QCOMPARE(QFileInfo(target).isSymLink(), occupant == "link");
    QVERIFY(!moves || QFileInfo(target + inside).lastModified().toSecsSinceEpoch() ==
                          stamp.toSecsSinceEpoch());
    QVERIFY(!across || !moves || copied == QList<qint64>({1 << 20, 2 << 20, 3 << 20, mine.size()}));
    // No half-made copy is left behind.
    QVERIFY(moves || !occupant.isEmpty() || TestFiles::tree(dest).isEmpty());
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
    // HOME, the data home and the working directory are the test's own.
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir root;
    const QString home = root.path() + "/home";
    const QString cwd = root.path() + "/cwd";
    QVERIFY(QDir().mkpath(home) && QDir().mkpath(cwd) && QDir::setCurrent(cwd));
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + "/.local/share"));
    // A plain file where the data folders would go.
    QVERIFY(possible || (TestFiles::write(home + "/.qttest", "in the way") &&
                         TestFiles::write(home + "/.local", "in the way")));
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QVERIFY(!QFileInfo::exists(dataHome));
    const QString file = home + "/pkgs/Creator.Pack.1.var";
    QVERIFY(TestFiles::write(file, "package"));

    QCOMPARE(deleteFileToTrash(file), possible);
    QCOMPARE(TestFiles::read(file), possible ? QByteArray("<unreadable>") : QByteArray("package"));
    QCOMPARE(TestFiles::read(dataHome + "/Trash/files/Creator.Pack.1.var"),
             possible ? QByteArray("package") : QByteArray("<unreadable>"));
    QCOMPARE(QFileInfo::exists(dataHome + "/Trash/info/Creator.Pack.1.var.trashinfo"), possible);
    // Never "trashed" below the working directory, and nothing left there.
    QCOMPARE(TestFiles::tree(cwd), QStringList());
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}

QTEST_GUILESS_MAIN(TestShellFileOps)
#include "tst_shellfileops.moc"
