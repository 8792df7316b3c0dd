// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Size texts of the tool's JSON report turned into byte counts.
#include <QtTest>

#include <limits>

// Reaches the size parser of the tree window's source (test build only).
qint64 parseSizeStringForTests(const QString &sizeStr);

class SizeTextTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void SizeTextTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("bytes");

    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();

    // Units: powers of 1024, one- and two-letter forms alike.
    QTest::newRow("K") << "1.5K" << qint64(1536);
    QTest::newRow("KB") << "1.5KB" << qint64(1536);
    QTest::newRow("300K") << "300K" << qint64(307200);
    QTest::newRow("M") << "12M" << qint64(12582912);
    QTest::newRow("MB") << "12MB" << qint64(12582912);
    QTest::newRow("G truncated") << "2.3G" << qint64(2469606195);
    QTest::newRow("GB") << "2GB" << qint64(2147483648);
    QTest::newRow("T") << "1T" << qint64(1099511627776);
    QTest::newRow("TB") << "1.5TB" << qint64(1649267441664);
    QTest::newRow("largest whole T") << "8388607T" << qint64(9223370937343148032);

    // Plain bytes and truncation toward zero.
    QTest::newRow("bytes") << "512" << qint64(512);
    QTest::newRow("bytes truncated") << "512.9" << qint64(512);
    QTest::newRow("truncated, not rounded") << "999.9K" << qint64(1023897);
    QTest::newRow("fraction of K") << "0.1K" << qint64(102);
    QTest::newRow("zero") << "0" << qint64(0);
    QTest::newRow("small negative to zero") << "-0.1" << qint64(0);

    // Reading of the number.
    QTest::newRow("ends trimmed") << " \t4.0M \n" << qint64(4194304);
    QTest::newRow("blank before unit") << "2 G" << qint64(2147483648);
    QTest::newRow("blank before two-letter unit") << "1.5 MB" << qint64(1572864);
    QTest::newRow("exponent") << "1e3K" << qint64(1024000);
    QTest::newRow("plus sign") << "+2K" << qint64(2048);
    QTest::newRow("negative") << "-1K" << qint64(-1024);

    // Texts that hold no readable number.
    QTest::newRow("B alone is no unit") << "512B" << qint64(0);
    QTest::newRow("lower-case k") << "1.5k" << qint64(0);
    QTest::newRow("kB") << "1.5kB" << qint64(0);
    QTest::newRow("Kb") << "1.5Kb" << qint64(0);
    QTest::newRow("IEC") << "1.5KiB" << qint64(0);
    QTest::newRow("P is no unit") << "1P" << qint64(0);
    QTest::newRow("comma") << "1,5K" << qint64(0);
    QTest::newRow("group separator") << "1,000" << qint64(0);
    QTest::newRow("empty") << "" << qint64(0);
    QTest::newRow("white space only") << "  \t " << qint64(0);
    QTest::newRow("K alone") << "K" << qint64(0);
    QTest::newRow("KB alone") << "KB" << qint64(0);
    QTest::newRow("two units") << "1KK" << qint64(0);
    QTest::newRow("not a number") << "abc" << qint64(0);

    // Beyond the signed 64-bit range: saturated at the nearest limit.
    QTest::newRow("2^63 bytes") << "8388608T" << max;
    QTest::newRow("far above") << "1e30" << max;
    QTest::newRow("product overflows double") << "1e308T" << max;
    QTest::newRow("-2^63 fits exactly") << "-8388608T" << min;
    QTest::newRow("below -2^63") << "-8388609T" << min;
    QTest::newRow("far below") << "-1e30K" << min;

    // Infinite or not-a-number readings give 0.
    QTest::newRow("inf") << "inf" << qint64(0);
    QTest::newRow("-inf") << "-inf" << qint64(0);
    QTest::newRow("inf with unit") << "infK" << qint64(0);
    QTest::newRow("nan") << "nan" << qint64(0);
    QTest::newRow("nan with unit") << "nanG" << qint64(0);
    QTest::newRow("reading overflows double") << "1e400" << qint64(0);
}

void SizeTextTest::parse()
{
    QFETCH(QString, text);
    QFETCH(qint64, bytes);
    QCOMPARE(parseSizeStringForTests(text), bytes);
}

QTEST_APPLESS_MAIN(SizeTextTest)
#include "tst_sizetext.moc"
