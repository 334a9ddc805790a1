#include "ziplisting.h"

#include <QFile>
#include <QtTest>

#include <limits>

namespace {

// Records as "date time|size|path", so that a failure shows which one differs.
QStringList describe(const QVector<FILE_IN_VAR>& records)
{
    QStringList lines;
    for (const FILE_IN_VAR& record : records) {
        lines << record.dateTime + QLatin1Char('|') + QString::number(record.size) +
                     QLatin1Char('|') + record.filePath;
    }
    return lines;
}

QString capture(const QString& name)
{
    QFile file(QStringLiteral(TEST_DATA_DIR "/listings/") + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestZipListing : public QObject
{
    Q_OBJECT
private slots:
    void capturedListings_data();
    void capturedListings();
    void damagedListings_data();
    void damagedListings();
};

void TestZipListing::capturedListings_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");

    const QString stamp = QStringLiteral("2024-03-05 14:07:08|");
    QStringList members;
    for (const char* entry :
         {"23|meta.json", "100|Custom/Atom/Person/Pose/my pose.json",
          "123456|Custom/Atom/Person/Pose/my pose.jpg", "12|Saves/scene/日本語 シーン.json",
          "1400|Saves/scene/Ünïcødé.jpg", "12|Custom/Sounds/Звук.wav", "1|-y.jpg", "2|x*.jpg",
          "3|win/path/file.jpg", "1|ends in blank ", "0|empty.txt"}) {
        members << stamp + QString::fromUtf8(entry);
    }
    QStringList big;
    for (const char* entry : {"2300000000|Custom/Assets/big bundle.assetbundle",
                              "5000000000|Custom/Assets/huge.assetbundle",
                              "1|Custom/Assets/small.jpg", "2|meta.json"}) {
        big << stamp + QString::fromLatin1(entry);
    }

    const struct
    {
        const char* name;
        QStringList records;
    } cases[] = {
        {"members", members},      {"dashed-name", members}, {"big", big},    {"directories", {}},
        {"encrypted-headers", {}}, {"not-archive", {}},      {"missing", {}},
    };
    for (const char* tool : {"7z", "7zz"}) {
        for (const auto& c : cases) {
            const QString file = QString::fromLatin1("%1-%2.txt").arg(tool, c.name);
            QTest::newRow(qPrintable(file + " LF")) << file << c.records;
            QTest::newRow(qPrintable(file + " CR LF")) << file << c.records;
        }
    }
}

void TestZipListing::capturedListings()
{
    QFETCH(QString, file);
    QFETCH(QStringList, expected);

    QString output = capture(file);
    QVERIFY2(!output.isEmpty(), qPrintable(file));
    QVERIFY(!output.contains(QLatin1Char('\r')));
    if (QString::fromLatin1(QTest::currentDataTag()).endsWith(QLatin1String("CR LF"))) {
        output.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    }

    QVector<FILE_IN_VAR> list;
    parseSevenZipListing(output, QStringLiteral("/packs/a b.var"), list);
    QCOMPARE(describe(list), expected);
    for (const FILE_IN_VAR& record : list) {
        QCOMPARE(record.varPath, QStringLiteral("/packs/a b.var"));
    }
}

void TestZipListing::damagedListings_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("expected");
    const QString stamp = QStringLiteral("2024-03-05 14:07:08|");

    // Ended by the time limit: complete member lines count, a cut line does not.
    const QString members = capture(QStringLiteral("7zz-members.txt"));
    QTest::newRow("cut off") << members.left(members.indexOf(QStringLiteral("my pose.jpg")) + 4)
                             << QStringList({stamp + "23|meta.json",
                                             stamp + "100|Custom/Atom/Person/Pose/my pose.json"});

    // No size at all must not slip under the picture size limits.
    const QString dashes = QStringLiteral(
        "------------------- ----- ------------ ------------  ------------------------\n");
    const QString sizes = dashes +
                          "2024-03-05 14:07:08 .....           -1            1  a.jpg\n"
                          "2024-03-05 14:07:08 .....  -2147483648            1  b.jpg\n"
                          "2024-03-05 14:07:08 .....          12x            1  c.jpg\n"
                          "2024-03-05 14:07:08 .....                         1  d.jpg\n" +
                          dashes;
    const QString none = stamp + QString::number(std::numeric_limits<qint64>::max()) + "|";
    QTest::newRow("no size") << sizes
                             << QStringList({none + "a.jpg", none + "b.jpg", none + "c.jpg",
                                             none + "d.jpg"});
}

void TestZipListing::damagedListings()
{
    QFETCH(QString, output);
    QFETCH(QStringList, expected);
    QVector<FILE_IN_VAR> list;
    parseSevenZipListing(output, QString(), list);
    QCOMPARE(describe(list), expected);
}

QTEST_GUILESS_MAIN(TestZipListing)
#include "tst_ziplisting.moc"
