#include "packagefiles.h"
#include "testfiles.h"
#include "threadman.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestThreadMan : public QObject
{
    Q_OBJECT
private slots:
    void scratchDirectoryCreatedAndEmptied();
    void secondStartHasNoEffect();
};

void TestThreadMan::scratchDirectoryCreatedAndEmptied()
{
    const QString scratch = QCoreApplication::applicationDirPath() + "/~tmp2";
    QDir(scratch).removeRecursively();
    // What a crashed instance left behind: its folder and a lock of a process that is gone.
    QProcess gone;
    gone.start(QStringLiteral("true"), QStringList());
    const QByteArray pid = QByteArray::number(gone.processId());
    QVERIFY(gone.waitForFinished());
    QVERIFY(TestFiles::write(scratch + "/instance-crashed/pictures-1/a.jpg", "x"));
    QVERIFY(TestFiles::write(scratch + "/.instance-crashed.lock", pid + "\ntst_threadman\n\n"));

    auto worker = std::make_unique<threadMan>();
    QCOMPARE(QFileInfo(worker->tempDir).path(), scratch);
    QCOMPARE(QDir(scratch).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QFileInfo(worker->tempDir).fileName()});
    QVERIFY(TestFiles::write(worker->tempDir + "/meta.json", "{}"));
    QVERIFY(TestFiles::write(worker->tempDir + "/pictures-2/b.jpg", "x"));
    {
        // Another instance running at the same time keeps to a folder of its own.
        threadMan other;
        QVERIFY(other.tempDir != worker->tempDir);
        QVERIFY(QFile::exists(worker->tempDir + "/meta.json"));
    }
    worker->clearTempDir();
    QCOMPARE(TestFiles::tree(worker->tempDir), QStringList());
    worker.reset();
    QCOMPARE(TestFiles::tree(scratch), QStringList());
}

void TestThreadMan::secondStartHasNoEffect()
{
    QTemporaryDir many;
    for (int i = 0; i < 400; ++i) {
        QVERIFY(PackageFiles::create(many.filePath(QString("s%1/P%2.var").arg(i % 20).arg(i)), 0));
    }
    QTableWidget table;
    threadMan worker;
    QObject::connect(&worker, &threadMan::fillTable,
                     [](int, int, int, QTableWidgetItem* cell) { delete cell; });
    QSignalSpy listings(&worker, &threadMan::initTableSort);
    worker.mode = 0;
    worker.path = many.path();
    worker.table = &table;
    worker.startJob();
    worker.startJob();
    QVERIFY(worker.wait(20000));
    QCOMPARE(listings.count(), 1);
    QCOMPARE(worker.files.size(), 400);
    QVERIFY(!worker.busy);
}

QTEST_MAIN(TestThreadMan)
#include "tst_threadman.moc"
