#include "hvararchive.h"
#include "rawzip.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QtTest>

class TestHVarArchive : public QObject
{
    Q_OBJECT
    QTemporaryDir temp;

private slots:
    void initTestCase()
    {
        if (TestArchive::sevenZip().isEmpty()) {
            QSKIP("7-Zip is not installed");
        }
    }

    void open_data()
    {
        QTest::addColumn<QByteArray>("file"); // raw: a zip of a folder, a file and a file in it
        QTest::addColumn<QString>("error");
        QTest::newRow("members in order") << QByteArray("raw") << "";
        QTest::newRow("text") << QByteArray("not a zip") << "not a zip archive, or one cut short";
        QTest::newRow("no file") << QByteArray() << "cannot open the archive: ";
    }
    void open()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        const QString path = temp.filePath(QTest::currentDataTag());
        const QList<RawZip::Member> raw{{"d/", "", RawZip::Member::Directory}, {"z", "1"}, {"d/a", "2"}};
        QVERIFY(file.isEmpty() || (file == "raw" ? RawZip::write(path, raw) : TestFiles::write(path, file)));
        HVarArchive archive;
        QCOMPARE(archive.open(path), error.isEmpty());
        QVERIFY2(error.isEmpty() ? archive.error().isEmpty() : archive.error().startsWith(error), qPrintable(archive.error()));
        QCOMPARE(archive.members(), error.isEmpty() ? QStringList({"d/", "z", "d/a"}) : QStringList());
    }

    void read_data()
    {
        QTest::addColumn<int>("size");     // of the member "a/m.json"
        QTest::addColumn<qint64>("limit"); // -1: the default
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("error"); // empty when read
        const int limit = int(HVarArchive::defaultLimit);
        QTest::newRow("exactly the limit") << 100 << qint64(100) << "a/m.json" << "";
        QTest::newRow("one byte over") << 101 << qint64(100) << "a/m.json" << "a/m.json is larger than 100 bytes";
        QTest::newRow("exactly the default") << limit << qint64(-1) << "a/m.json" << "";
        QTest::newRow("one byte over the default") << limit + 1 << qint64(-1) << "a/m.json"
                                                   << QString("a/m.json is larger than %1 bytes").arg(limit);
        QTest::newRow("empty") << 0 << qint64(0) << "a/m.json" << "";
        QTest::newRow("other case") << 1 << qint64(-1) << "a/M.json" << "no a/M.json in the archive";
    }
    void read()
    {
        QFETCH(int, size);
        QFETCH(qint64, limit);
        QFETCH(QString, member);
        QFETCH(QString, error);
        QByteArray content(size, 'x');
        if (size > 0) {
            content[size - 1] = 'y';
        }
        const QString path = temp.filePath(QTest::currentDataTag() + QStringLiteral(".var"));
        QVERIFY(TestArchive::create(path, {{"a/m.json", content}, {"b.txt", "other"}}));
        HVarArchive archive;
        QVERIFY(archive.open(path));
        QByteArray data("stale");
        const bool read = limit < 0 ? archive.read(member, data) : archive.read(member, data, limit);
        QCOMPARE(archive.error(), error);
        QCOMPARE(data, read ? content : QByteArray());
        QCOMPARE(limit < 0 ? archive.readable(member) : archive.readable(member, limit), read);
        QCOMPARE(read, error.isEmpty());
        // A refusal leaves the archive open for the next member.
        QVERIFY(archive.read("b.txt", data) && data == "other" && archive.error().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHVarArchive)
#include "tst_hvararchive.moc"
