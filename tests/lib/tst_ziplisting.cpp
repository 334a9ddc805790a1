#include "ziplisting.h"

#include "testfiles.h"

#include <QtTest>

#include <limits>

class TestZipListing : public QObject
{
    Q_OBJECT
private slots:
    void listings_data();
    void listings();
};

void TestZipListing::listings_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("expected"); // "size|path", all dated 2024-03-05 14:07:08
    const QStringList members =
        QString::fromUtf8("23|meta.json;100|Custom/Atom/Person/Pose/my pose.json;"
                          "123456|Custom/Atom/Person/Pose/my pose.jpg;"
                          "12|Saves/scene/日本語 シーン.json;1400|Saves/scene/Ünïcødé.jpg;"
                          "12|Custom/Sounds/Звук.wav;1|-y.jpg;2|x*.jpg;"
                          "3|win/path/file.jpg;1|ends in blank ;0|empty.txt")
            .split(';');
    const QStringList big{"2300000000|Custom/Assets/big bundle.assetbundle",
                          "5000000000|Custom/Assets/huge.assetbundle", "1|Custom/Assets/small.jpg",
                          "2|meta.json"};
    const QList<QPair<const char*, QStringList>> cases{
        {"members", members},      {"dashed-name", members}, {"big", big},   {"directories", {}},
        {"encrypted-headers", {}}, {"not-archive", {}},      {"missing", {}}};
    for (const char* tool : {"7z", "7zz"}) {
        for (const auto& c : cases) {
            const QString file = QString::asprintf("%s-%s.txt", tool, c.first);
            const QString lf =
                QString::fromUtf8(TestFiles::read(TEST_DATA_DIR "/listings/" + file));
            QTest::newRow(qPrintable(file + " LF")) << lf << c.second;
            QTest::newRow(qPrintable(file + " CR LF"))
                << QString(lf).replace("\n", "\r\n") << c.second;
        }
    }
    // Ended by the time limit: complete member lines count, a cut line does not.
    const QString whole =
        QString::fromUtf8(TestFiles::read(TEST_DATA_DIR "/listings/7zz-members.txt"));
    QTest::newRow("cut off") << whole.left(whole.indexOf("my pose.jpg") + 4)
                             << QStringList(members.mid(0, 2));
    // No size at all must not slip under the picture size limits.
    const QString dashes("------------------- ----- ------------ ------------  ----------\n");
    const QString none = QString::number(std::numeric_limits<qint64>::max()) + "|";
    QTest::newRow("no size") << dashes +
                                    "2024-03-05 14:07:08 .....           -1            1  a.jpg\n"
                                    "2024-03-05 14:07:08 .....  -2147483648            1  b.jpg\n"
                                    "2024-03-05 14:07:08 .....          12x            1  c.jpg\n"
                                    "2024-03-05 14:07:08 .....                         1  d.jpg\n" +
                                    dashes
                             << QStringList({none + "a.jpg", none + "b.jpg", none + "c.jpg",
                                             none + "d.jpg"});
}

void TestZipListing::listings()
{
    QFETCH(QString, output);
    QFETCH(QStringList, expected);
    QVERIFY(!output.startsWith("<unreadable>"));
    QVector<FILE_IN_VAR> list;
    parseSevenZipListing(output, QStringLiteral("/packs/a b.var"), list);
    QStringList records;
    for (const FILE_IN_VAR& record : list) {
        QCOMPARE(record.varPath, QStringLiteral("/packs/a b.var"));
        QCOMPARE(record.dateTime, QStringLiteral("2024-03-05 14:07:08"));
        records << QString::number(record.size) + '|' + record.filePath;
    }
    QCOMPARE(records, expected);
}

QTEST_GUILESS_MAIN(TestZipListing)
#include "tst_ziplisting.moc"
