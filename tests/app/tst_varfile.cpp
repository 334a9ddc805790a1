#include "packagefiles.h"
#include "referenceinsertion.h"
#include "varfile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct Record
{
    QString name;
    qint64 size;
};

// Owns the records of one ordering run.
using Records = std::vector<std::unique_ptr<varFile>>;

QVector<varFile*> pointers(const Records& records)
{
    QVector<varFile*> result;
    for (const auto& record : records) {
        result.append(record.get());
    }
    return result;
}

} // namespace

Q_DECLARE_METATYPE(QVector<Record>)

class TestVarFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void fields();
    void sortsLikeInsertion_data();
    void sortsLikeInsertion();
    void nameStartsWith_data();
    void nameStartsWith();

private:
    // Creates the records' files, each in a folder of its own, in the given order.
    Records makeRecords(const QVector<Record>& records, const QString& tag);

    QTemporaryDir temp;
};

void TestVarFile::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(temp.isValid());
}

Records TestVarFile::makeRecords(const QVector<Record>& records, const QString& tag)
{
    Records made;
    for (int i = 0; i < records.size(); ++i) {
        const QString path =
            temp.filePath(QStringLiteral("%1/%2/").arg(tag).arg(i)) + records.at(i).name;
        if (!PackageFiles::create(path, records.at(i).size)) {
            return {};
        }
        made.push_back(std::make_unique<varFile>(QFileInfo(path)));
    }
    return made;
}

void TestVarFile::fields()
{
    const QString path = temp.filePath(QStringLiteral("fields/Big Author.Pack.2.var"));
    const qint64 size = 5LL * 1024 * 1024 * 1024 + 17;
    const QDateTime modified(QDate(2021, 2, 3), QTime(4, 5, 6));
    QVERIFY(PackageFiles::create(path, size, modified));
    const varFile file{QFileInfo(path)};
    QCOMPARE(file.getFullPath(), path);
    QCOMPARE(file.getFileName(), QString("Big Author.Pack.2.var"));
    QCOMPARE(file.getSuffix(), QString("var"));
    QCOMPARE(file.getFileSize(), size);
    QCOMPARE(file.getTimeString(), QString("2021-02-03 04:05:06"));
    QVERIFY(!file.duplicate);
}

void TestVarFile::sortsLikeInsertion_data()
{
    QTest::addColumn<QVector<Record>>("records");

    QTest::newRow("triple of one size")
        << QVector<Record>{{"b.var", 1}, {"a.x.var", 4}, {"A.X.var", 4}, {"a.x.VAR", 4}};
    QTest::newRow("triple of two sizes")
        << QVector<Record>{{"a.x.var", 4}, {"A.x.var", 5}, {"a.X.var", 4}, {"0.var", 4}};
    QTest::newRow("same name, other size")
        << QVector<Record>{{"a.var", 1}, {"A.var", 2}, {"a.var", 3}};
    QTest::newRow("folded letters")
        << QVector<Record>{{QString::fromUtf8("σ.var"), 1}, {QString::fromUtf8("Σ.var"), 1},
                           {QString::fromUtf8("ς.var"), 1}, {QString::fromUtf8("Ä.var"), 2},
                           {QString::fromUtf8("ä.var"), 2}, {"z.var", 2}};

    // Random records from a small pool of names, so that equal names in other case,
    // equal names of other sizes and longer runs of copies all occur.
    const QStringList pool{"a.b.1.var",
                           "A.B.1.var",
                           "a.B.1.var",
                           "a.b.10.var",
                           "a.b.2.var",
                           "Ab.var",
                           "ab.var",
                           "a_b.var",
                           "a.var",
                           "[x].var",
                           "x y.var",
                           "X Y.var",
                           QString::fromUtf8("Ñu.var"),
                           QString::fromUtf8("ñU.var"),
                           QString::fromUtf8("日本.var")};
    for (quint32 seed : {1u, 2u, 3u, 4u}) {
        QRandomGenerator random(seed);
        QVector<Record> records;
        for (int i = 0; i < 150; ++i) {
            records.append({pool.at(random.bounded(pool.size())), random.bounded(3)});
        }
        QTest::newRow(qPrintable(QStringLiteral("random %1").arg(seed))) << records;
    }
}

void TestVarFile::sortsLikeInsertion()
{
    QFETCH(QVector<Record>, records);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
    const Records inserted = makeRecords(records, tag + QStringLiteral("_insert"));
    const Records sorted = makeRecords(records, tag + QStringLiteral("_sort"));
    QCOMPARE(int(inserted.size()), records.size());

    QVector<varFile*> expected;
    for (const auto& record : inserted) {
        referenceInsert(expected, record.get());
    }
    QVector<varFile*> actual = pointers(sorted);
    varFile::sortByName(actual);

    QCOMPARE(actual.size(), expected.size());
    const auto folderIndex = [](const varFile* file) {
        return QFileInfo(file->getFullPath()).dir().dirName().toInt();
    };
    for (int i = 0; i < actual.size(); ++i) {
        QCOMPARE(folderIndex(actual.at(i)), folderIndex(expected.at(i)));
        QCOMPARE(actual.at(i)->duplicate, expected.at(i)->duplicate);
    }

    // A mark means: another record has the same name, ignoring case, and size.
    for (const varFile* file : actual) {
        const bool shared = std::any_of(actual.begin(), actual.end(), [file](const varFile* f) {
            return f != file && f->isSameFile(*file);
        });
        QCOMPARE(file->duplicate, shared);
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
