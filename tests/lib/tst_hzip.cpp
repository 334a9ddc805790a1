#include "hzip.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>

static QStringList listedFiles(HZip& zip, const QString& archive)
{
    QVector<FILE_IN_VAR> list;
    zip.PackFileList(archive);
    zip.GetFileList(list, archive);
    QStringList names;
    for (const FILE_IN_VAR& record : list) {
        names << record.filePath + QLatin1Char('|') + QString::number(record.size);
    }
    names.sort();
    return names;
}

class TestHZip : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;

private slots:
    void initTestCase()
    {
        if (TestArchive::sevenZip().isEmpty()) {
            QSKIP("7-Zip is not installed");
        }
    }

    // Archives and folders may be named relative to the working folder, a fresh one each time.
    void init() { QVERIFY(QDir::setCurrent((dir = std::make_unique<QTemporaryDir>())->path())); }

    void listAndExtract_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("outDir"); // empty: the scratch folder
        QTest::newRow("plain") << "pkg.var" << "Custom/meta.json" << "out";
        QTest::newRow("switch-like member") << "pkg.var" << "-y.jpg" << "new/out*dir";
        QTest::newRow("list-file-like member") << "pkg.var" << "@list.jpg" << "";
        QTest::newRow("wildcard member") << "pkg.var" << "x*.jpg" << "out";
        QTest::newRow("wildcard archive") << "w*.var" << "meta.json" << "out";
        QTest::newRow("blanks and non-Latin") << QString::fromUtf8("Пакет с пробелом ü.var")
                                              << QString::fromUtf8("Saves/日本 シーン/Звук файл.jpg")
                                              << QString::fromUtf8("вывод ü");
    }
    void listAndExtract()
    {
        QFETCH(QString, archive);
        QFETCH(QString, member);
        QFETCH(QString, outDir);
        // Matches the archive's name read as a wildcard, and 7-Zip would list it first;
        // "xa.jpg" matches the member's name read as one.
        QVERIFY(TestArchive::create("w decoy.var", {{"decoy.jpg", "decoy"}}));
        QVERIFY(TestArchive::create(archive, {{member, member.toUtf8()}, {"xa.jpg", "other"}, {"Saves/a.json", "{}"}}));
        HZip zip;
        QStringList expected{"Saves/a.json|2", "xa.jpg|5", member + "|" + QString::number(member.toUtf8().size())};
        expected.sort();
        QCOMPARE(listedFiles(zip, archive), expected);

        QString outFile;
        zip.ExtractAFile(archive, member, outDir, outFile);
        const auto remove = qScopeGuard([&] { QFile::remove(outFile); });
        const QString name = QFileInfo(member).fileName();
        QCOMPARE(outFile, (outDir.isEmpty() ? QCoreApplication::applicationDirPath() + "/~tmp" : outDir) + "/" + name);
        QCOMPARE(TestFiles::read(outFile), member.toUtf8());
        QVERIFY(outDir.isEmpty() || QDir(outDir).entryList(QDir::Files) == QStringList{name});

        // A batch keeps the members' folders and brings nothing else.
        QVERIFY(zip.ExtractFiles(archive, {member, "Saves/a.json"}, "batch x*"));
        QCOMPARE(TestFiles::read("batch x*/" + member) + TestFiles::read("batch x*/Saves/a.json"), member.toUtf8() + "{}");
        QVERIFY(!QFileInfo::exists("batch x*/xa.jpg"));
    }

    void nothingToExtract_data()
    {
        QTest::addColumn<QStringList>("createArgs");
        QTest::addColumn<QString>("member");
        // AES, since a wrong password passes ZipCrypto's one-byte check once in 256 tries.
        QTest::newRow("encrypted member") << QStringList{"-tzip", "-pSECRET", "-mem=AES256"} << "secret.jpg";
        QTest::newRow("member not in archive") << QStringList{"-tzip"} << "gone.jpg";
        QTest::newRow("not an archive") << QStringList() << "secret.jpg";
    }
    void nothingToExtract()
    {
        QFETCH(QStringList, createArgs);
        QFETCH(QString, member);
        const QString archive = dir->filePath("pkg.var");
        const QMap<QString, QByteArray> members{{"secret.jpg", "secret"}, {"open.jpg", "open"}};
        QVERIFY(createArgs.isEmpty() ? TestFiles::write(archive, "x") : TestArchive::create(archive, members, createArgs));
        HZip zip;
        QCOMPARE(listedFiles(zip, archive), createArgs.isEmpty() ? QStringList() : QStringList({"open.jpg|4", "secret.jpg|6"}));
        // 7-Zip must give up at once rather than wait for a password until the time limit.
        const QDeadlineTimer soon(HZip::runLimitMs / 3);
        QString outFile;
        zip.ExtractAFile(archive, member, dir->filePath("out"), outFile);
        QCOMPARE(outFile, dir->filePath("out/") + member);
        zip.ExtractFiles(archive, {member}, dir->filePath("all"));
        QVERIFY(QFileInfo(outFile).size() == 0 && QFileInfo(dir->filePath("all/") + member).size() == 0);
        QVERIFY(!soon.hasExpired());
    }

    void extractFilesStopsWhenAsked()
    {
        // Stored, not compressed: far more than 7-Zip can write before it is first asked.
        QByteArray big(96 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(big.data()), big.size() / 4);
        QVERIFY(TestArchive::create(dir->filePath("big.var"), {{"big.jpg", big}}, {"-tzip", "-mx0"}));
        big.clear();
        HZip zip;
        int asked = 0;
        QVERIFY(!zip.ExtractFiles(dir->filePath("big.var"), {"big.jpg"}, dir->filePath("out"), [&] { return ++asked, false; }));
        QCOMPARE(asked, 1);
        QVERIFY(QFileInfo(dir->filePath("out/big.jpg")).size() < 96 * 1024 * 1024);
    }

    void lookupOrder_data()
    {
        QTest::addColumn<QStringList>("onPath");
        QTest::addColumn<QString>("fromEnvironment");
        QTest::addColumn<QString>("expected");
        const QStringList all{"7z", "7zz", "7za"};
        QTest::newRow("maintained 7-Zip first") << all << QString() << "7zz";
        QTest::newRow("then p7zip") << QStringList{"7za", "7z"} << QString() << "7z";
        QTest::newRow("then standalone") << QStringList{"7za"} << QString() << "7za";
        QTest::newRow("environment wins") << all << QString("7za") << QString("7za");
    }
    void lookupOrder()
    {
        QFETCH(QStringList, onPath);
        QFETCH(QString, fromEnvironment);
        QFETCH(QString, expected);
        for (const QString& name : onPath) {
            QVERIFY(TestFiles::writeScript(dir->filePath(name), "echo " + name.toUtf8() + " >> " + dir->filePath("ran").toUtf8()));
        }
        const auto path = TestFiles::scopedEnvironment("PATH", dir->path());
        const QString chosen = fromEnvironment.isEmpty() ? QString() : dir->filePath(fromEnvironment);
        const auto sevenZip = TestFiles::scopedEnvironment("DOVETALK_7Z", chosen);
        const QString scratch = QCoreApplication::applicationDirPath() + "/~tmp";
        QVERIFY(QDir(scratch).removeRecursively());
        HZip zip;
        listedFiles(zip, dir->filePath("a.var"));
        QCOMPARE(TestFiles::read(dir->filePath("ran")), expected.toUtf8() + "\n");
        // Nothing was extracted, so nothing needed the scratch folder.
        QVERIFY(!QFileInfo::exists(scratch));
    }

    void stopCheckEndsRuns()
    {
        QVERIFY(TestFiles::writeScript(dir->filePath("slow 7z"), "exec sleep 60"));
        const auto sevenZip = TestFiles::scopedEnvironment("DOVETALK_7Z", dir->filePath("slow 7z"));
        HZip zip;
        zip.setStopCheck([] { return false; });
        const QDeadlineTimer soon(HZip::runLimitMs / 3);
        QCOMPARE(listedFiles(zip, dir->filePath("a.var")), QStringList());
        QString outFile;
        zip.ExtractAFile(dir->filePath("a.var"), "a.jpg", dir->path(), outFile);
        QVERIFY(!zip.ExtractFiles(dir->filePath("a.var"), {"a.jpg"}, dir->filePath("out")));
        // Any one of the runs would take a minute, or half of it until its time limit.
        QVERIFY(!soon.hasExpired());
    }
};

QTEST_GUILESS_MAIN(TestHZip)
#include "tst_hzip.moc"
