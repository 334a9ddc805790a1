#include "hfile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestHFile : public QObject
{
    Q_OBJECT
private slots:
    void mkMutiDirCreatesChain();
};

void TestHFile::mkMutiDirCreatesChain()
{
    QTemporaryDir dir;
    const QString target = dir.path() + "/x/y/z";
    QCOMPARE(HFile::mkMutiDir(target), target);
    QVERIFY(QFileInfo(target).isDir());
}

QTEST_GUILESS_MAIN(TestHFile)
#include "tst_hfile.moc"
