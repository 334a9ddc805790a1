#include "hzip.h"
#include "listedwindow.h"
#include "messageboxcatcher.h"
#include "rawzip.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QListWidget>
#include <QProgressBar>
#include <QTableWidget>
#include <QtTest>

namespace {

// The longest the GUI thread may go without running its timers, while a package is
// inspected and while a selection waits for the inspection to stop: far from a wait
// for a 7-Zip run that hangs until its time limit, far from the machine's load too.
const qint64 stallLimitMs = HZip::runLimitMs / 3;
const int inspectionLimitMs = 60000;

const QString good = QStringLiteral("Good.Package.1.var");
using Member = RawZip::Member;

// Every entry below `root` with its kind and, for files, size and time; links are not
// followed.
QStringList snapshot(const QString& root)
{
    QStringList entries = TestFiles::tree(root);
    for (QString& entry : entries) {
        const QFileInfo info(root + '/' + entry);
        const QString file =
            QString(" %1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
        entry += info.isSymLink() ? " -> " + info.symLinkTarget() : info.isDir() ? "/" : file;
    }
    return entries;
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT
private slots:
    void hostilePackage_data();
    void hostilePackage();

private:
    QTemporaryDir root;
    QByteArray picture = TestArchive::picture(16, 16);
};

void TestHostile::hostilePackage_data()
{
    QTest::addColumn<int>("dependencies"); // -1: whatever 7-Zip makes of it
    QTest::addColumn<int>("items");
    if (TestArchive::sevenZip().isEmpty()) {
        QSKIP("7-Zip is not installed");
    }
    // What a link in a package could point at: none of it may be read or changed.
    QVERIFY(TestFiles::write(root.path() + "/outside/secret.jpg", picture));
    QVERIFY(
        TestFiles::write(root.path() + "/outside/meta.json", TestArchive::metaJson({{"L.1", ""}})));
    QVERIFY(TestArchive::create(root.path() + "/" + good,
                                {{"meta.json", TestArchive::metaJson({{"Some.Thing.1", "CC BY"}})},
                                 {"Saves/scene/good.jpg", picture}}));
    // The hostile package of a row, in a folder of its own.
    const auto row = [this](const char* tag, int dependencies, int items) {
        QTest::newRow(tag) << dependencies << items;
        QDir().mkpath(root.path() + "/packages/" + tag);
        return root.path() + "/packages/" + tag + "/Hostile.Package.1.var";
    };
    // A zip of the members named, parted by '|': "name>target" is a link, "name=Dep.Name" a
    // description naming that dependency, "name/" a folder, a name ending in ".jpg" a picture;
    // '@' stands for the folder outside.
    const auto zip = [&](const char* tag, int items, const QByteArray& names) {
        QList<Member> members;
        for (const QByteArray& name :
             QByteArray(names).replace('@', (root.path() + "/outside").toUtf8()).split('|')) {
            const QList<QByteArray> link = name.split('>'), meta = name.split('=');
            members << (link.size() == 2   ? Member{link[0], link[1], Member::Link}
                        : meta.size() == 2 ? Member{meta[0], TestArchive::metaJson({{meta[1], ""}})}
                        : name.endsWith('/')
                            ? Member{name, "", Member::Directory}
                            : Member{name, name.endsWith(".jpg") ? picture : QByteArray("x")});
        }
        return RawZip::write(row(tag, 0, items), members);
    };

    QVERIFY(TestFiles::write(row("zero bytes", 0, 0), QByteArray()));
    QVERIFY(zip("truncated zip", -1, "meta.json|Saves/scene/a.jpg|Saves/scene/b.jpg"));
    const QString truncated = root.path() + "/packages/truncated zip/Hostile.Package.1.var";
    QVERIFY(TestFiles::write(truncated, TestFiles::read(truncated).left(500)));
    QVERIFY(zip("meta.json is a folder", 2, "meta.json/|meta.json/inner.jpg|meta.json/meta.json"));
    QVERIFY(TestArchive::create(row("meta.json with invalid UTF-8", 0, 0),
                                {{"meta.json", "{\"dependencies\": {\"A.\xff\xfe.1\": "
                                               "{\"licenseType\": \"\xc3\x28\xed\xa0\x80\"}}}"}}));
    QMap<QString, QString> many{{"Good.Package.latest", "FC"}};
    for (int i = 0; i < 9999; ++i) {
        many.insert(QString("Creator.Pkg%1.1").arg(i, 5, 10, QLatin1Char('0')), "CC BY");
    }
    QVERIFY(TestArchive::create(row("10,000 dependencies", 10000, 0),
                                {{"meta.json", TestArchive::metaJson(many)}}));

    QVERIFY(zip("names of 1,000 characters", 3,
                "Custom/" + QByteArray(1000, 'a') + ".jpg|Custom/" +
                    QByteArray(200, 's').append('/').repeated(5) + "c.jpg|Saves/scene/" +
                    QByteArray(1000, 'b') + ".json"));
    QVERIFY(zip("names with .. segments", -1,
                "../escape1.jpg|../../escape2.jpg|Custom/../../../../escape3.jpg|"
                "Saves/scene/ok.jpg|../meta.json=Up.Up.1"));
    QVERIFY(zip("names with line breaks or only dots", -1,
                ".|..|...|....jpg|Custom/.../x.jpg|Saves/scene/new\nline.jpg|meta.json\n=A.B.1|"
                "Custom/carriage\rreturn.jpg|Custom/\n2024-03-05 14:07:08 .....  1  1  fake.jpg"));
    QByteArray names = "Custom/0.jpg";
    for (int i = 1; i < 20000; ++i) {
        names += "|Custom/" + QByteArray::number(i) + (i % 20 ? ".cs" : ".jpg");
    }
    QVERIFY(zip("20,000 members", 20000, names));

    const QMap<QString, QByteArray> locked{{"meta.json", TestArchive::metaJson({{"A.B.1", "FC"}})},
                                           {"Saves/scene/s.jpg", picture}};
    QVERIFY(TestArchive::create(row("encrypted zip", 0, 1), locked, {"-tzip", "-pX"}));
    // Names encrypted as well.
    QVERIFY(TestArchive::create(row("encrypted 7z", 0, 0), locked, {"-t7z", "-pX", "-mhe=on"}));
    QVERIFY(zip("links out of the archive", -1,
                "meta.json>@/meta.json|Saves/scene/abs.jpg>@/secret.jpg|"
                "Saves/scene/rel.jpg>../../../../../outside/secret.jpg|Custom/away>@|"
                "Custom/away/planted.jpg|Custom/inside.jpg>../Saves/scene/abs.jpg"));
}

void TestHostile::hostilePackage()
{
    QFETCH(int, dependencies);
    QFETCH(int, items);
    const QString folder = root.path() + "/packages/" + QTest::currentDataTag();
    QVERIFY(QFile::copy(root.path() + "/" + good, folder + "/" + good));
    MessageBoxCatcher boxes;
    ListedWindow w(folder);
    QVERIFY(w.list());

    // The good package first, so that the hostile one's results are told from its.
    qint64 longest = 0;
    QElapsedTimer clock;
    clock.start();
    // Called as the test waits, each time the GUI thread has run its events: the longest
    // time between two calls is how long it stood still.
    const auto showsGood = [&] {
        longest = qMax(longest, clock.restart());
        return w.deps->rowCount() == 1 && w.deps->item(0, 0) &&
               w.deps->item(0, 0)->text() == "Some.Thing.1" && w.contents->count() == 1 &&
               w.contents->item(0)->text() == "\u301001 Scene\u3011Saves/scene/good.";
    };
    w.packages->selectRow(0);
    QTRY_VERIFY_WITH_TIMEOUT(showsGood(), inspectionLimitMs);

    // The program's folder holds the scratch folders of the program and of the library
    // and the home folder of the test, with the cache folder where thumbnails are kept:
    // those change as they should.
    const QDir app(QCoreApplication::applicationDirPath());
    const QString cache =
        app.relativeFilePath(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    const QRegularExpression notOwn("^(?!(~tmp2?|" + QRegularExpression::escape(cache) + ")(/|$))");
    const QStringList rootBefore = snapshot(root.path());
    const QStringList appBefore = snapshot(app.path()).filter(notOwn);

    w.packages->selectRow(1);
    // With many, the last of them, "Good.Package.latest", is satisfied by the listed package.
    QTRY_VERIFY_WITH_TIMEOUT(
        !showsGood() && (items < 0 || w.contents->count() == items) &&
            (dependencies < 0 || w.deps->rowCount() == dependencies) &&
            (dependencies < 2 || w.deps->findItems("\u221A", Qt::MatchExactly).size() == 1),
        inspectionLimitMs);
    // A list filled to its end leaves the bar full, however few of its steps were shown.
    const auto* bar = w.window->findChild<QProgressBar*>("progressBar");
    QVERIFY(items <= 0 || bar->value() == bar->maximum());

    // Back to the good package: the hostile inspection stops at once and leaves
    // nothing behind that would spoil the next one.
    w.packages->selectRow(0);
    QTRY_VERIFY_WITH_TIMEOUT(showsGood(), inspectionLimitMs);
    QVERIFY2(longest < stallLimitMs, qPrintable(QString("stood still for %1 ms").arg(longest)));
    QVERIFY(boxes.titles.isEmpty());
    QCOMPARE(snapshot(root.path()), rootBefore);
    QCOMPARE(snapshot(app.path()).filter(notOwn), appBefore);
    // Above the program's folder, where ".." segments would lead.
    for (QDir up(app.filePath("~tmp2")); up.cdUp();) {
        QCOMPARE(up.entryList({"escape*"}, QDir::AllEntries | QDir::System), QStringList());
    }
    // The scratch folder keeps nothing but files of its own, none of them a link.
    QCOMPARE(snapshot(app.filePath("~tmp2")).filter(" -> "), QStringList());
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
