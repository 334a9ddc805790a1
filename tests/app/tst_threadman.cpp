#include "packagefiles.h"
#include "threadman.h"

#include <QDir>
#include <QFile>
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
