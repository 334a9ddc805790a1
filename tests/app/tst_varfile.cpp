#include "packagefiles.h"
#include "referenceinsertion.h"
#include "varfile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

class TestVarFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sortsLikeInsertion_data();
    void sortsLikeInsertion();
    void nameStartsWith_data();
    void nameStartsWith();

private:
    QTemporaryDir temp;
};

void TestVarFile::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(temp.isValid());
}

void TestVarFile::sortsLikeInsertion_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 4u}) {
        QTest::newRow(qPrintable(QString::number(seed))) << seed;
    }
}

void TestVarFile::sortsLikeInsertion()
{
    QFETCH(quint32, seed);
    // Names from a small pool, so that equal names in other case (also where case folds
    // letters together), equal names of other sizes and longer runs of copies all occur.
    const QStringList pool = QString::fromUtf8("a.b.1.var|A.B.1.var|a.B.1.var|a.b.10.var|a.b.2.var|"
                                               "Ab.var|ab.var|a_b.var|a.var|[x].var|x y.var|"
                                               "X Y.var|Ñu.var|ñU.var|σ.var|Σ.var|ς.var|日本.var")
                                 .split(QLatin1Char('|'));
    QRandomGenerator random(seed);
    // Each file in a folder of its own, in the scan's order; two records of each file,
    // one for either ordering.
    std::vector<std::unique_ptr<varFile>> owned;
    QVector<varFile*> expected;
    QVector<varFile*> actual;
    for (int i = 0; i < 150; ++i) {
        const QString path = temp.filePath(QStringLiteral("%1/%2/").arg(seed).arg(i)) +
                             pool.at(random.bounded(pool.size()));
        QVERIFY(PackageFiles::create(path, random.bounded(3)));
        owned.push_back(std::make_unique<varFile>(QFileInfo(path)));
        referenceInsert(expected, owned.back().get());
        owned.push_back(std::make_unique<varFile>(QFileInfo(path)));
        actual.append(owned.back().get());
    }
    varFile::sortByName(actual);
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i) {
        QCOMPARE(actual.at(i)->getFullPath(), expected.at(i)->getFullPath());
        QCOMPARE(actual.at(i)->duplicate, expected.at(i)->duplicate);
    }
}

void TestVarFile::nameStartsWith_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("match");
    QTest::newRow("whole name") << "Author.Pack.1.var" << true;
    QTest::newRow("other case") << "author.pack" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("longer than the name") << "Author.Pack.1.var.bak" << false;
    QTest::newRow("different") << "Author.Peck" << false;
}

void TestVarFile::nameStartsWith()
{
    QFETCH(QString, text);
    QFETCH(bool, match);
    const QString path = temp.filePath(QStringLiteral("prefix/Author.Pack.1.var"));
    QVERIFY(PackageFiles::create(path, 1));
    QCOMPARE(varFile(QFileInfo(path)).nameStartsWith(text), match);
}

QTEST_MAIN(TestVarFile)
#include "tst_varfile.moc"
