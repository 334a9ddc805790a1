#include "picturestages.h"

#include <QtTest>

#include <thread>

using Stage = PictureStages::Stage;

class TestPictureStages : public QObject
{
    Q_OBJECT
private slots:
    void readsWhatTheListWants();
    void stops_data();
    void stops();
};

// A reader takes what is queued, in the order the list comes to it; a picture that
// 7-Zip writes later waits for it, and the readers end once every picture is taken.
void TestPictureStages::readsWhatTheListWants()
{
    std::atomic_bool busy{true};
    PictureStages stages(busy);
    stages.beginEarly(1);
    QVector<int> read;
    std::thread reader([&] {
        stages.leaveEarly();
        for (int index = stages.next(); index >= 0; index = stages.next()) {
            read << index;
            stages.finish(index);
        }
    });
    QVERIFY(stages.waitForEarlyReaders());
    stages.list(
        {Stage::Ready, Stage::Waiting, Stage::Ready, Stage::Done, Stage::Ready, Stage::Ready}, 2);
    int waits = 0;
    QVERIFY(stages.waitFor(3, 2, [&] { ++waits; }));
    QCOMPARE(waits, 0);
    QVERIFY(stages.waitFor(4, 1, [] {}));
    stages.makeReady({1});
    QVERIFY(stages.waitFor(1, 1, [] {}));
    QVERIFY(stages.waitFor(5, 1, [] {}));
    reader.join();
    QCOMPARE(read, QVector<int>({0, 2, 4, 1, 5}));
}

void TestPictureStages::stops_data()
{
    QTest::addColumn<bool>("clearBusy");
    QTest::newRow("stop()") << false;
    QTest::newRow("busy cleared") << true;
}

// After a stop nothing more is handed out, nobody waits, and what a reader holds may
// still be finished.
void TestPictureStages::stops()
{
    QFETCH(bool, clearBusy);
    std::atomic_bool busy{true};
    PictureStages stages(busy);
    stages.beginEarly(1);
    stages.list({Stage::Ready, Stage::Ready, Stage::Waiting}, 3);
    QCOMPARE(stages.next(), 0);
    if (clearBusy) {
        busy = false;
    } else {
        stages.stop();
    }
    QVERIFY(stages.stopped());
    QCOMPARE(stages.next(), -1);
    QVERIFY(!stages.waitFor(1, 3, [] {}));
    QVERIFY(!stages.waitForEarlyReaders());
    stages.finish(0);
    QVERIFY(stages.waitFor(0, 3, [] {}));
}

QTEST_MAIN(TestPictureStages)
#include "tst_picturestages.moc"
