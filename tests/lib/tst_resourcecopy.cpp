#include "hvamjson.h"
#include "testfiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// "\/" keeps "//" out of the source, where moc would take it for a comment.
const QByteArray scene = R"({"atoms": [{"id": "Person", "type": "Person", "storables": [
  {"id": "geometry",
   "clothing": [{"id": "Custom/Clothing/Female/x/a.vam"}],
   "hair": [{"id": "Custom/Hair/Female/h/b.vam"},
            {"id": "Custom/Hair/Female/plain/noext.txt"},
            {"id": "Other.Pack.2:/Custom/Hair/q.vam"}],
   "morphs": [{"uid": "Custom/Atom/Person/Morphs/female/m.vmi"}]},
  {"id": "PluginManager", "plugins": {
   "plugin#0": "Author.Pkg.1:/Custom/Scripts/a.cs",
   "plugin#1": ":/Custom/Scripts/s.cs",
   "plugin#2": "Missing.Pkg.1:/Custom/Scripts/m.cs"}},
  {"id": "asset", "assetUrl": "Custom/Assets/x.assetbundle",
   "web": "https:\/\/example.com/Custom/Assets/y.assetbundle"}
]}]})";

const int sceneRecords = 10;

using Progress = QList<QPair<int, int>>;

Progress progressOf(const QSignalSpy& spy)
{
    Progress steps;
    for (const QList<QVariant>& arguments : spy) {
        steps << qMakePair(arguments.at(0).toInt(), arguments.at(1).toInt());
    }
    return steps;
}

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    const QStringList entries = TestFiles::tree(folder);
    for (const QString& entry : entries) {
        if (QFileInfo(folder + "/" + entry).isFile()) {
            files << entry;
        }
    }
    return files;
}

} // namespace

class TestResourceCopy : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pathSplitRoot_data();
    void pathSplitRoot();
    void copiesSceneAndResources();
    void sceneAndThumbnail_data();
    void sceneAndThumbnail();
    void refusedCopyTouchesNothing_data();
    void refusedCopyTouchesNothing();
    void hostileValuesStayInside_data();
    void hostileValuesStayInside();

private:
    QStringList outsideDestination() const;

    QTemporaryDir* dir = nullptr;
    QString game;
    QString destination;
    QString previousCwd;
};

void TestResourceCopy::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestResourceCopy::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    previousCwd = QDir::currentPath();
    QDir::setCurrent(dir->path());
    game = dir->path() + "/games/VaM";
    destination = dir->path() + "/out/dest/here";
    // Each file holds its path in the game, so that a copy shows where it came from.
    const QList<QPair<QString, QStringList>> folders = {
        {".", {"VaM.exe", "top.jpg"}},
        {"Saves/scene", {"a.jpg", "other.json"}},
        {"Custom/Clothing/Female/x", {"a.vam", "a.vaj", "a.jpg", "sub/inner.txt"}},
        {"Custom/Hair/Female/h", {"b.vam", "b.vaj", "b.vab", "b.jpg"}},
        {"Custom/Hair/Female/plain", {"noext.txt", "noext.vaj"}},
        {"Custom/Atom/Person/Morphs/female", {"m.vmi", "m.vmb"}},
        {"Custom/Assets", {"x.assetbundle", "y.assetbundle"}},
        {":/Custom/Scripts", {"s.cs"}},
        {"AddonPackages", {"Author/Sub/Author.Pkg.1.var", "Other.Pack.2.var", "Unused.Pack.1.var"}},
    };
    for (const auto& folder : folders) {
        for (const QString& name : folder.second) {
            const QString file = folder.first + "/" + name;
            QVERIFY(TestFiles::write(game + "/" + file, file.toUtf8()));
        }
    }
    QVERIFY(TestFiles::write(game + "/Saves/scene/a.json", scene));
    QVERIFY(TestFiles::write(dir->path() + "/outside.txt", "outside"));
    QVERIFY(QDir().mkpath(dir->path() + "/out/dest"));
}

void TestResourceCopy::cleanup()
{
    QDir::setCurrent(previousCwd);
    delete dir;
    dir = nullptr;
}

// Every entry of the test folder but the destination and what it holds.
QStringList TestResourceCopy::outsideDestination() const
{
    return TestFiles::tree(dir->path()).filter(QRegularExpression("^(?!out/dest/here(/|$))"));
}

void TestResourceCopy::pathSplitRoot_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("root"); // Empty when none is found.
    QTest::addColumn<QString>("rest");
    QTest::newRow("the game folder itself") << "@" << QString("@") << QString();
    QTest::newRow("scene folder") << "@/Saves/scene" << QString("@") << QString("Saves/scene");
    QTest::newRow("nearest wins") << "@/Custom/Assets/inner/deep" << QString("@/Custom/Assets")
                                  << QString("inner/deep");
    QTest::newRow("none above") << "#/games/other/Saves" << QString() << QString("unchanged");
}

void TestResourceCopy::pathSplitRoot()
{
    QFETCH(QString, path);
    QFETCH(QString, root);
    QFETCH(QString, rest);
    QVERIFY(TestFiles::write(game + "/Custom/Assets/VaM.exe", "second"));
    path.replace("@", game).replace("#", dir->path());
    root.replace("@", game);
    QString foundRoot;
    QString foundRest = "unchanged";
    QCOMPARE(HVamJson::pathSplitRoot(path, foundRoot, foundRest), !root.isEmpty());
    if (!root.isEmpty()) {
        QCOMPARE(foundRoot, root);
    }
    QCOMPARE(foundRest, rest);
}

void TestResourceCopy::copiesSceneAndResources()
{
    HVamJson json;
    QVERIFY(json.Load(game + "/Saves/scene/a.json"));
    QVERIFY(json.searchPathString());
    QCOMPARE(int(json.paths.size()), sceneRecords);
    const QStringList before = outsideDestination();

    QSignalSpy spy(&json, &HVamJson::sig_prog);
    // A relative destination is taken from the working folder.
    QVERIFY(json.copyTo("out/dest/here", false));
    Progress expected = {{0, sceneRecords + 1}, {1, 0}};
    for (int i = 0; i < sceneRecords; ++i) {
        expected << qMakePair(i + 2, 0);
    }
    QCOMPARE(progressOf(spy), expected);

    const QStringList files = {":/Custom/Scripts/s.cs",
                               "AddonPackages/Author.Pkg.1.var",
                               "AddonPackages/Other.Pack.2.var",
                               "Custom/Assets/x.assetbundle",
                               "Custom/Atom/Person/Morphs/female/m.vmb",
                               "Custom/Atom/Person/Morphs/female/m.vmi",
                               "Custom/Clothing/Female/x/a.jpg",
                               "Custom/Clothing/Female/x/a.vaj",
                               "Custom/Clothing/Female/x/a.vam",
                               "Custom/Hair/Female/h/b.jpg",
                               "Custom/Hair/Female/h/b.vab",
                               "Custom/Hair/Female/h/b.vaj",
                               "Custom/Hair/Female/h/b.vam",
                               "Custom/Hair/Female/plain/noext.txt",
                               "Saves/scene/a.jpg",
                               "Saves/scene/a.json"};
    QCOMPARE(filesBelow(destination), files);
    QCOMPARE(TestFiles::read(destination + "/AddonPackages/Author.Pkg.1.var"),
             QByteArray("AddonPackages/Author/Sub/Author.Pkg.1.var"));
    QCOMPARE(TestFiles::read(destination + "/Saves/scene/a.json"), scene);
    QCOMPARE(outsideDestination(), before);

    // A second run copies nothing new and overwrites nothing.
    QVERIFY(TestFiles::write(game + "/Custom/Hair/Female/h/b.vam", "changed"));
    QVERIFY(TestFiles::write(game + "/AddonPackages/Other.Pack.2.var", "changed"));
    QVERIFY(json.copyTo(destination, false));
    QCOMPARE(filesBelow(destination), files);
    QCOMPARE(TestFiles::read(destination + "/Custom/Hair/Female/h/b.vam"),
             QByteArray("Custom/Hair/Female/h/b.vam"));
    QCOMPARE(TestFiles::read(destination + "/AddonPackages/Other.Pack.2.var"),
             QByteArray("AddonPackages/Other.Pack.2.var"));
}

void TestResourceCopy::sceneAndThumbnail_data()
{
    QTest::addColumn<QString>("scenePath");
    QTest::addColumn<bool>("inSubFolder");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("in place") << "Saves/scene/a.json" << false
                              << QStringList({"Saves/scene/a.jpg", "Saves/scene/a.json"});
    QTest::newRow("in sub-folder")
        << "Saves/scene/a.json" << true
        << QStringList({"a.json/Saves/scene/a.jpg", "a.json/Saves/scene/a.json"});
    QTest::newRow("in the game root")
        << "top.json" << false << QStringList({"top.jpg", "top.json"});
    QTest::newRow("no thumbnail name") << "Saves/scene/plain.scene" << true
                                       << QStringList({"plain.scene/Saves/scene/plain.scene"});
}

void TestResourceCopy::sceneAndThumbnail()
{
    QFETCH(QString, scenePath);
    QFETCH(bool, inSubFolder);
    QFETCH(QStringList, expected);
    QVERIFY(TestFiles::write(game + "/" + scenePath, R"({"atoms": []})"));
    HVamJson json;
    QVERIFY(json.Load(game + "/" + scenePath));

    QSignalSpy spy(&json, &HVamJson::sig_prog);
    QVERIFY(json.copyTo(destination, inSubFolder));
    QCOMPARE(progressOf(spy), Progress({{0, 1}, {1, 0}}));
    QCOMPARE(filesBelow(destination), expected);
}

void TestResourceCopy::refusedCopyTouchesNothing_data()
{
    QTest::addColumn<bool>("gameRoot");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("records");
    QTest::newRow("no VaM.exe") << false << true << "@" << sceneRecords;
    QTest::newRow("nothing loaded") << true << false << "@" << 0;
    QTest::newRow("no destination") << true << true << QString() << sceneRecords;
}

void TestResourceCopy::refusedCopyTouchesNothing()
{
    QFETCH(bool, gameRoot);
    QFETCH(bool, loaded);
    QFETCH(QString, target);
    QFETCH(int, records);
    if (!gameRoot) {
        QVERIFY(QFile::remove(game + "/VaM.exe"));
    }
    HVamJson json;
    if (loaded) {
        QVERIFY(json.Load(game + "/Saves/scene/a.json"));
        json.searchPathString();
    }
    const QStringList before = TestFiles::tree(dir->path());

    QSignalSpy spy(&json, &HVamJson::sig_prog);
    QVERIFY(!json.copyTo(target.replace("@", destination), false));
    QCOMPARE(progressOf(spy), Progress({{0, records + 1}}));
    QCOMPARE(TestFiles::tree(dir->path()), before);
}

void TestResourceCopy::hostileValuesStayInside_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    const char* const rows[][2] = {
        {"hair", "../../outside.txt"},
        {"clothing", "../../outside.txt"},
        {"assetUrl", "Custom/../../../outside.txt"},
        {"assetUrl", "/etc/hostname"},
        {"clothing", "@/outside.txt"},
        {"morphs", "Custom\\..\\..\\..\\outside.txt"},
        {"assetUrl", "Custom/c:/outside.txt"},
        {"plugin#0", "Pkg/../../x:/a"},
        {"plugin#0", "../../outside:/Custom/a.cs"},
    };
    for (const auto& row : rows) {
        QTest::newRow(qPrintable(QString("%1 %2").arg(row[0], row[1]))) << row[0] << row[1];
    }
}

void TestResourceCopy::hostileValuesStayInside()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    value.replace("@", dir->path());
    // A package the traversal would find if names were taken as paths.
    QVERIFY(TestFiles::write(dir->path() + "/games/outside.var", "outside"));
    HVamJson json;
    QVERIFY(json.Load(game + "/Saves/scene/a.json"));
    json.paths.push_back(std::make_unique<VamPath>("/atoms/storables/" + key + "/id", value));
    const QStringList before = outsideDestination();

    QVERIFY(json.copyTo(destination, false));
    QCOMPARE(filesBelow(destination), QStringList({"Saves/scene/a.jpg", "Saves/scene/a.json"}));
    QCOMPARE(outsideDestination(), before);
}

QTEST_GUILESS_MAIN(TestResourceCopy)
#include "tst_resourcecopy.moc"
