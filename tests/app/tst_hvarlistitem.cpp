#include "hvarlistitem.h"

#include <QRandomGenerator>
#include <QTableWidget>
#include <QtTest>

class TestHVarListItem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void numbersByValue_data();
    void numbersByValue();
    void cellsOrderAsTheCollator();
};

void TestHVarListItem::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    // The cells take the default locale of their first comparison: make it the one
    // whose collator ignores numeric mode, as under LANG=C.
    QLocale::setDefault(QLocale::c());
}

void TestHVarListItem::numbersByValue_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("C") << QLocale::c();
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::France);
    QTest::newRow("Swedish") << QLocale(QLocale::Swedish, QLocale::Sweden);
    QTest::newRow("Russian") << QLocale(QLocale::Russian, QLocale::Russia);
    QTest::newRow("Japanese") << QLocale(QLocale::Japanese, QLocale::Japan);
    QTest::newRow("Arabic") << QLocale(QLocale::Arabic, QLocale::Egypt);
}

void TestHVarListItem::numbersByValue()
{
    QFETCH(QLocale, locale);
    const QCollator collator = numericCollator(locale);
    QVERIFY(collator.compare("9.00", "10.50") < 0);
    QVERIFY(collator.compare("100.00", "99.99") > 0);
    QVERIFY(collator.compare("10.05", "10.50") < 0);
    QVERIFY(collator.compare("2022-01-31 23:59:59", "2022-11-01 00:00:00") < 0);
    QVERIFY(collator.compare("2022-11-01 09:00:00", "2022-11-01 10:00:00") < 0);
    QCOMPARE(collator.compare("4608.00", "4608.00"), 0);
}

void TestHVarListItem::cellsOrderAsTheCollator()
{
    // The kept collation key follows changes of the text.
    HVarListItem small("2.00");
    HVarListItem large("10.00");
    QVERIFY(small < large);
    small.setText("20.00");
    QVERIFY(large < small);
    large.setData(Qt::DisplayRole, "200.00");
    QVERIFY(small < large);
    QVERIFY(!(large < large));

    // Against a cell of its kind or a plain one, a cell orders as the collator.
    const QCollator collator = numericCollator(QLocale());
    QRandomGenerator random(7);
    for (int i = 0; i < 2000; ++i) {
        const QString a = QString::asprintf("%.02lf", random.bounded(5000.0));
        const QString b =
            i % 2 ? QString::asprintf("%.02lf", random.bounded(5000.0))
                  : QString::asprintf("2022-%02d-%02d %02d:00:00", 1 + random.bounded(12),
                                      1 + random.bounded(28), random.bounded(24));
        const bool before = collator.compare(a, b) < 0;
        QCOMPARE(HVarListItem(a) < HVarListItem(b), before);
        QCOMPARE(HVarListItem(a) < QTableWidgetItem(b), before);
    }
}

QTEST_MAIN(TestHVarListItem)
#include "tst_hvarlistitem.moc"
