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
    void secondRunCopiesNothingNew();
    void noGameRootTouchesNothing();
    void hostileValuesStayInside_data();
    void hostileValuesStayInside();
    void destinationOutsideCases();

private:
    void makeGame();
    QString changesOutsideDestination(const QStringList& before) const;

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
    makeGame();
}

void TestResourceCopy::cleanup()
{
    QDir::setCurrent(previousCwd);
    delete dir;
    dir = nullptr;
}

void TestResourceCopy::makeGame()
{
    const QStringList files = {
        "VaM.exe",
        "Saves/scene/a.json",
        "Saves/scene/a.jpg",
        "Saves/scene/other.json",
        "Saves/scene/plain.scene",
        "top.json",
        "top.jpg",
        "Custom/Clothing/Female/x/a.vam",
        "Custom/Clothing/Female/x/a.vaj",
        "Custom/Clothing/Female/x/a.jpg",
        "Custom/Clothing/Female/x/sub/inner.txt",
        "Custom/Hair/Female/h/b.vam",
        "Custom/Hair/Female/h/b.vaj",
        "Custom/Hair/Female/h/b.vab",
        "Custom/Hair/Female/h/b.jpg",
        "Custom/Hair/Female/plain/noext.txt",
        "Custom/Hair/Female/plain/noext.vaj",
        "Custom/Atom/Person/Morphs/female/m.vmi",
        "Custom/Atom/Person/Morphs/female/m.vmb",
        "Custom/Assets/x.assetbundle",
        "Custom/Assets/y.assetbundle",
        ":/Custom/Scripts/s.cs",
        "AddonPackages/Author/Sub/Author.Pkg.1.var",
        "AddonPackages/Other.Pack.2.var",
        "AddonPackages/Unused.Pack.1.var",
    };
    for (const QString& file : files) {
        QVERIFY(TestFiles::write(game + "/" + file, file.toUtf8()));
    }
    QVERIFY(TestFiles::write(game + "/Saves/scene/a.json", scene));
    QVERIFY(TestFiles::write(dir->path() + "/outside.txt", "outside"));
    QVERIFY(QDir().mkpath(dir->path() + "/out/dest"));
}

// Entries that appeared or vanished anywhere but inside the destination.
QString TestResourceCopy::changesOutsideDestination(const QStringList& before) const
{
    const QString inside = QDir(dir->path()).relativeFilePath(destination);
    QStringList changes;
    const QStringList after = TestFiles::tree(dir->path());
    for (const QString& entry : after) {
        if (!before.contains(entry) && entry != inside && !entry.startsWith(inside + "/")) {
            changes << "+" + entry;
        }
    }
    for (const QString& entry : before) {
        if (!after.contains(entry)) {
            changes << "-" + entry;
        }
    }
    return changes.join(", ");
}

void TestResourceCopy::pathSplitRoot_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("rest");
    QTest::newRow("the game folder itself") << "@" << true << "@"
                                            << "";
    QTest::newRow("scene folder") << "@/Saves/scene" << true << "@"
                                  << "Saves/scene";
    QTest::newRow("nearest wins") << "@/Custom/Assets/inner/deep" << true << "@/Custom/Assets"
                                  << "inner/deep";
    QTest::newRow("none above") << "#/games/other/Saves" << false << ""
                                << "unchanged";
}

void TestResourceCopy::pathSplitRoot()
{
    QFETCH(QString, path);
    QFETCH(bool, found);
    QFETCH(QString, root);
    QFETCH(QString, rest);
    QVERIFY(TestFiles::write(game + "/Custom/Assets/VaM.exe", "second"));
    path.replace("@", game).replace("#", dir->path());
    root.replace("@", game);
    QString foundRoot;
    QString foundRest = "unchanged";
    QCOMPARE(HVamJson::pathSplitRoot(path, foundRoot, foundRest), found);
    if (found) {
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
    const QStringList before = TestFiles::tree(dir->path());

    QSignalSpy spy(&json, &HVamJson::sig_prog);
    QVERIFY(json.copyTo(destination, false));

    Progress expected = {{0, sceneRecords + 1}, {1, 0}};
    for (int i = 0; i < sceneRecords; ++i) {
        expected << qMakePair(i + 2, 0);
    }
    QCOMPARE(progressOf(spy), expected);

    QStringList files = {
        ":/Custom/Scripts/s.cs",
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
        "Saves/scene/a.json",
    };
    QCOMPARE(filesBelow(destination), files);
    QCOMPARE(TestFiles::read(destination + "/AddonPackages/Author.Pkg.1.var"),
             QByteArray("AddonPackages/Author/Sub/Author.Pkg.1.var"));
    QCOMPARE(TestFiles::read(destination + "/Saves/scene/a.json"), scene);
    QCOMPARE(changesOutsideDestination(before), QString());
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
    TestFiles::write(game + "/" + scenePath, R"({"atoms": []})");
    HVamJson json;
    QVERIFY(json.Load(game + "/" + scenePath));

    QSignalSpy spy(&json, &HVamJson::sig_prog);
    QVERIFY(json.copyTo(destination, inSubFolder));
    QCOMPARE(progressOf(spy), Progress({{0, 1}, {1, 0}}));
    QCOMPARE(filesBelow(destination), expected);
}

void TestResourceCopy::secondRunCopiesNothingNew()
{
    HVamJson json;
    QVERIFY(json.Load(game + "/Saves/scene/a.json"));
    json.searchPathString();
    QVERIFY(json.copyTo(destination, true));
    const QStringList first = TestFiles::tree(destination);

    TestFiles::write(game + "/Custom/Hair/Female/h/b.vam", "changed");
    TestFiles::write(game + "/AddonPackages/Other.Pack.2.var", "changed");
    QSignalSpy spy(&json, &HVamJson::sig_prog);
    QVERIFY(json.copyTo(destination, true));
    QCOMPARE(spy.count(), sceneRecords + 2);
    QCOMPARE(TestFiles::tree(destination), first);
    const QString copy = destination + "/a.json";
    QCOMPARE(TestFiles::read(copy + "/Custom/Hair/Female/h/b.vam"),
             QByteArray("Custom/Hair/Female/h/b.vam"));
    QCOMPARE(TestFiles::read(copy + "/AddonPackages/Other.Pack.2.var"),
             QByteArray("AddonPackages/Other.Pack.2.var"));
}

void TestResourceCopy::noGameRootTouchesNothing()
{
    QVERIFY(QFile::remove(game + "/VaM.exe"));
    HVamJson json;
    QVERIFY(json.Load(game + "/Saves/scene/a.json"));
    json.searchPathString();
    const QStringList before = TestFiles::tree(dir->path());

    QSignalSpy spy(&json, &HVamJson::sig_prog);
    QVERIFY(!json.copyTo(destination, false));
    QCOMPARE(progressOf(spy), Progress({{0, sceneRecords + 1}}));
    QCOMPARE(TestFiles::tree(dir->path()), before);
}

void TestResourceCopy::hostileValuesStayInside_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("parent of the root") << "hair"
                                        << "../../outside.txt";
    QTest::newRow("parent folder copy") << "clothing"
                                        << "../../outside.txt";
    QTest::newRow("parent inside a path") << "assetUrl"
                                          << "Custom/../../../outside.txt";
    QTest::newRow("absolute path") << "assetUrl"
                                   << "/etc/hostname";
    QTest::newRow("absolute folder") << "clothing"
                                     << "@/outside.txt";
    QTest::newRow("backslashes") << "morphs"
                                 << "Custom\\..\\..\\..\\outside.txt";
    QTest::newRow("drive letter") << "assetUrl"
                                  << "Custom/c:/outside.txt";
    QTest::newRow("package with folders") << "plugin#0"
                                          << "Pkg/../../x:/a";
    QTest::newRow("package leading out") << "plugin#0"
                                         << "../../outside:/Custom/a.cs";
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
    const QStringList before = TestFiles::tree(dir->path());

    QVERIFY(json.copyTo(destination, false));
    QCOMPARE(filesBelow(destination), QStringList({"Saves/scene/a.jpg", "Saves/scene/a.json"}));
    QCOMPARE(changesOutsideDestination(before), QString());
}

void TestResourceCopy::destinationOutsideCases()
{
    HVamJson unloaded;
    QSignalSpy unloadedSpy(&unloaded, &HVamJson::sig_prog);
    QVERIFY(!unloaded.copyTo(destination, false));
    QCOMPARE(unloadedSpy.count(), 1);

    HVamJson json;
    QVERIFY(json.Load(game + "/Saves/scene/a.json"));
    const QStringList before = TestFiles::tree(dir->path());
    QVERIFY(!json.copyTo(QString(), false));
    QCOMPARE(TestFiles::tree(dir->path()), before);

    // A relative destination is taken from the working folder.
    QVERIFY(json.copyTo("out/dest/here", false));
    QCOMPARE(filesBelow(destination), QStringList({"Saves/scene/a.jpg", "Saves/scene/a.json"}));
}

QTEST_GUILESS_MAIN(TestResourceCopy)
#include "tst_resourcecopy.moc"
