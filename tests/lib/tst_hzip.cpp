#include "hzip.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray contentOf(const QString& memberPath)
{
    return memberPath.toUtf8() + QByteArray(100, 'x');
}

QStringList listedFiles(HZip& zip, const QString& archive)
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

} // namespace

class TestHZip : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void listAndExtract_data();
    void listAndExtract();
    void nothingToExtract_data();
    void nothingToExtract();
    void extractFilesKeepsFolders();
    void extractFilesStopsWhenAsked();
    void lookupOrder_data();
    void lookupOrder();
    void stopCheckEndsRuns();
};

void TestHZip::initTestCase()
{
    if (TestArchive::sevenZip().isEmpty()) {
        QSKIP("7-Zip is not installed");
    }
}

void TestHZip::listAndExtract_data()
{
    // Archives and folders are named relative to the working folder.
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("outDir"); // empty: the scratch folder
    QTest::newRow("plain") << "pkg.var"
                           << "Custom/meta.json"
                           << "out";
    QTest::newRow("switch-like member") << "pkg.var"
                                        << "-y.jpg"
                                        << "new/out*dir";
    QTest::newRow("list-file-like member") << "pkg.var"
                                           << "@list.jpg"
                                           << "";
    QTest::newRow("wildcard member") << "pkg.var"
                                     << "x*.jpg"
                                     << "out";
    QTest::newRow("wildcard archive") << "w*.var"
                                      << "meta.json"
                                      << "out";
    QTest::newRow("blanks and non-Latin")
        << QString::fromUtf8("Пакет с пробелом ü.var")
        << QString::fromUtf8("Saves/日本 シーン/Звук файл.jpg") << QString::fromUtf8("вывод ü");
}

void TestHZip::listAndExtract()
{
    QFETCH(QString, archive);
    QFETCH(QString, member);
    QFETCH(QString, outDir);
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
    // Matches the archive's name read as a wildcard, and 7-Zip would list it first.
    QVERIFY(TestArchive::create("w decoy.var", {{"decoy.jpg", "decoy"}}));
    QVERIFY(TestArchive::create(
        archive, {{member, contentOf(member)}, {"xa.jpg", "other"}, {"Saves/a.json", "{}"}}));

    HZip zip;
    // "xa.jpg" matches the member's name read as a wildcard.
    QStringList expected{"Saves/a.json|2", "xa.jpg|5",
                         member + "|" + QString::number(contentOf(member).size())};
    expected.sort();
    QCOMPARE(listedFiles(zip, archive), expected);

    QString outFile;
    zip.ExtractAFile(archive, member, outDir, outFile);
    const auto remove = qScopeGuard([&] { QFile::remove(outFile); });
    const QString name = QFileInfo(member).fileName();
    const QString folder =
        outDir.isEmpty() ? QCoreApplication::applicationDirPath() + "/~tmp" : outDir;
    QCOMPARE(outFile, folder + "/" + name);
    QCOMPARE(TestFiles::read(outFile), contentOf(member));
    QVERIFY(outDir.isEmpty() || QDir(outDir).entryList(QDir::Files) == QStringList{name});
}

void TestHZip::nothingToExtract_data()
{
    QTest::addColumn<QStringList>("createArgs");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QStringList>("listed");

    // AES, since a wrong password passes ZipCrypto's one-byte check once in 256 tries.
    QTest::newRow("encrypted member") << QStringList{"-tzip", "-pSECRET", "-mem=AES256"}
                                      << "secret.jpg" << QStringList{"open.jpg|4", "secret.jpg|6"};
    QTest::newRow("member not in archive")
        << QStringList{"-tzip"} << "gone.jpg" << QStringList{"open.jpg|4", "secret.jpg|6"};
    QTest::newRow("not an archive") << QStringList() << "secret.jpg" << QStringList();
}

void TestHZip::nothingToExtract()
{
    QFETCH(QStringList, createArgs);
    QFETCH(QString, member);
    QFETCH(QStringList, listed);

    QTemporaryDir dir;
    const QString archive = dir.filePath("pkg.var");
    QVERIFY(createArgs.isEmpty()
                ? TestFiles::write(archive, "not an archive")
                : TestArchive::create(archive, {{"secret.jpg", "secret"}, {"open.jpg", "open"}},
                                      createArgs));

    HZip zip;
    QCOMPARE(listedFiles(zip, archive), listed);

    // 7-Zip must give up at once rather than wait for a password until the time limit.
    QElapsedTimer timer;
    timer.start();
    QString outFile;
    zip.ExtractAFile(archive, member, dir.filePath("out"), outFile);
    QCOMPARE(outFile, dir.filePath("out/") + member);
    QVERIFY(QFileInfo(outFile).size() == 0);
    zip.ExtractFiles(archive, {member}, dir.filePath("all"));
    QVERIFY(QFileInfo(dir.filePath("all/") + member).size() == 0);
    QVERIFY(timer.elapsed() < HZip::runLimitMs / 3);
}

void TestHZip::extractFilesKeepsFolders()
{
    QTemporaryDir dir;
    const QString archive = dir.filePath("pack w*.var");
    const QStringList wanted{"a/x.jpg", "-y.jpg", "w*.jpg", "\u65e5\u672c/\u5199\u771f.jpg"};
    const QStringList others{"b/x.jpg", "wz.jpg", "a/y.jpg"};
    QMap<QString, QByteArray> members;
    for (const QString& member : wanted + others) {
        members.insert(member, contentOf(member));
    }
    QVERIFY(TestArchive::create(archive, members));

    HZip zip;
    const QString out = dir.filePath("out dir/x*");
    QVERIFY(zip.ExtractFiles(archive, wanted, out));
    for (const QString& member : wanted) {
        QCOMPARE(TestFiles::read(out + "/" + member), contentOf(member));
    }
    for (const QString& member : others) {
        QVERIFY2(!QFileInfo::exists(out + "/" + member), qPrintable(member));
    }
}

void TestHZip::extractFilesStopsWhenAsked()
{
    QTemporaryDir dir;
    // Stored, not compressed: far more than 7-Zip can write before it is first asked.
    QByteArray big(96 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(big.data()), big.size() / 4);
    const QString archive = dir.filePath("big.var");
    QVERIFY(TestArchive::create(archive, {{"big.jpg", big}}, {"-tzip", "-mx0"}));
    big.clear();

    HZip zip;
    int asked = 0;
    QVERIFY(!zip.ExtractFiles(archive, {"big.jpg"}, dir.filePath("out"), [&asked] {
        ++asked;
        return false;
    }));
    QCOMPARE(asked, 1);
    QVERIFY(QFileInfo(dir.filePath("out/big.jpg")).size() < 96 * 1024 * 1024);
}

void TestHZip::lookupOrder_data()
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

void TestHZip::lookupOrder()
{
    QFETCH(QStringList, onPath);
    QFETCH(QString, fromEnvironment);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    for (const QString& name : onPath) {
        QVERIFY(TestFiles::writeScript(dir.filePath(name), "echo " + name.toUtf8() + " >> " +
                                                               dir.filePath("ran").toUtf8()));
    }
    const auto path = TestFiles::scopedEnvironment("PATH", dir.path());
    const auto sevenZip = TestFiles::scopedEnvironment(
        "DOVETALK_7Z", fromEnvironment.isEmpty() ? QString() : dir.filePath(fromEnvironment));
    const QString scratch = QCoreApplication::applicationDirPath() + "/~tmp";
    QVERIFY(QDir(scratch).removeRecursively());
    HZip zip;
    listedFiles(zip, dir.filePath("a.var"));
    QCOMPARE(TestFiles::read(dir.filePath("ran")), expected.toUtf8() + "\n");
    // Nothing was extracted, so nothing needed the scratch folder.
    QVERIFY(!QFileInfo::exists(scratch));
}

void TestHZip::stopCheckEndsRuns()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::writeScript(dir.filePath("slow 7z"), "exec sleep 60"));
    const auto sevenZip = TestFiles::scopedEnvironment("DOVETALK_7Z", dir.filePath("slow 7z"));
    HZip zip;
    zip.setStopCheck([] { return false; });
    QElapsedTimer clock;
    clock.start();
    const QString archive = dir.filePath("a.var");
    QCOMPARE(listedFiles(zip, archive), QStringList());
    QString outFile;
    zip.ExtractAFile(archive, QStringLiteral("a.jpg"), dir.path(), outFile);
    QVERIFY(!zip.ExtractFiles(archive, {"a.jpg"}, dir.filePath("out")));
    // Any one of the runs would take a minute, or half of it until its time limit.
    QVERIFY(clock.elapsed() < HZip::runLimitMs / 3);
}

QTEST_GUILESS_MAIN(TestHZip)
#include "tst_hzip.moc"
