#include "packagefiles.h"
#include "threadman.h"
#include "varfile.h"

#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void makePackages(const QString& folder, int count)
{
    for (int i = 0; i < count; ++i) {
        QVERIFY(
            PackageFiles::create(folder + QString("/s%1/Author.P%2.1.var").arg(i % 20).arg(i), 0));
    }
}

// Takes the cells of the listing as the window would, so that none is left unowned.
void takeCells(threadMan& worker)
{
    QObject::connect(&worker, &threadMan::fillTable,
                     [](int, int, int, QTableWidgetItem* item) { delete item; });
}

} // namespace

class TestThreadMan : public QObject
{
    Q_OBJECT
private slots:
    void scratchDirectoryCreatedAndEmptied();
    void secondStartHasNoEffect();
    void stopEndsTheJob();
    void unknownModeDoesNothing();
};

void TestThreadMan::scratchDirectoryCreatedAndEmptied()
{
    const QString scratch = QCoreApplication::applicationDirPath() + "/~tmp2";
    QDir(scratch).removeRecursively();
    threadMan worker;
    QCOMPARE(worker.tempDir, scratch);
    QVERIFY(QFileInfo(scratch).isDir());

    QFile(scratch + "/meta.json").open(QIODevice::WriteOnly);
    QDir().mkpath(scratch + "/sub");
    QFile(scratch + "/sub/kept.jpg").open(QIODevice::WriteOnly);
    worker.clearTempDir();
    QVERIFY(!QFile::exists(scratch + "/meta.json"));
    QVERIFY(QFile::exists(scratch + "/sub/kept.jpg"));
    QVERIFY(QFileInfo(scratch).isDir());
}

void TestThreadMan::secondStartHasNoEffect()
{
    QTemporaryDir many;
    makePackages(many.path(), 400);
    QTableWidget table;
    threadMan worker;
    worker.mode = 0;
    worker.path = many.path();
    worker.table = &table;
    takeCells(worker);
    QSignalSpy listings(&worker, &threadMan::initTableSort);
    worker.startJob();
    worker.startJob();
    QVERIFY(worker.wait(20000));
    QCOMPARE(listings.count(), 1);
    QCOMPARE(worker.files.size(), 400);
    QVERIFY(!worker.busy);
}

void TestThreadMan::stopEndsTheJob()
{
    QTemporaryDir many;
    makePackages(many.path(), 3000);
    QTableWidget table;
    threadMan worker;
    worker.mode = 0;
    worker.path = many.path();
    worker.table = &table;
    takeCells(worker);
    worker.startJob();
    worker.stopJob();
    QVERIFY(worker.isFinished());
    QVERIFY(!worker.busy);
    QVERIFY(worker.files.size() < 3000);
}

void TestThreadMan::unknownModeDoesNothing()
{
    QTableWidget table;
    threadMan worker;
    worker.mode = 7;
    worker.table = &table;
    QSignalSpy progress(&worker, &threadMan::setProg);
    worker.startJob();
    QVERIFY(worker.wait(5000));
    QVERIFY(worker.files.isEmpty());
    QCOMPARE(progress.count(), 0);
}

QTEST_MAIN(TestThreadMan)
#include "tst_threadman.moc"
