// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Both result windows shown on a real X server: menu-host runs the extension
// under xvfb-run with the xcb platform, dumps the window while it is on
// screen and takes a screenshot; the test checks the picture's size and that
// it shows content where the widget tree says it should. In a build against
// the real DTK, each window is also shown in deepin's own style, whose wider
// margins and fonts are what the window's size has to fit.
#include "fakeprogram.h"
#include "testpaths.h"
#include <QFile>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kReport =
    R"({"name":"/data","size":"3000","children":[{"name":"/data/a","size":"1000"},)"
    R"({"name":"/data/b","size":"2000","children":[{"name":"/data/b/c","size":"900"}]}]})";
const QByteArray kText = "磁盘 report\n4.00K  /data/a\n12.3M  /data/b\n";

struct Shown
{
    int exitCode = -1;
    QByteArray log;
    QJsonObject dump;
    QImage screenshot;
};

// Share of pixels in a band of rows that differ from the band's commonest
// colour: near zero for an empty area, clearly above it where text is drawn.
double inkShare(const QImage &image, int top, int bottom)
{
    QHash<QRgb, int> counts;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    int commonest = 0;
    for (int count : std::as_const(counts))
        commonest = std::max(commonest, count);
    const int total = image.width() * (bottom - top);
    return total > 0 ? double(total - commonest) / total : 0.0;
}

QStringList rowLines(const QJsonArray &rows)
{
    QStringList lines;
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        lines << row[QLatin1String("name")].toString() + QLatin1Char(' ') +
                     row[QLatin1String("size")].toString() + QLatin1Char(' ') +
                     row[QLatin1String("percent")].toString();
        lines += rowLines(row[QLatin1String("children")].toArray());
    }
    return lines;
}

} // namespace

class RealDisplayTest : public QObject
{
    Q_OBJECT

private slots:
    void windowOnScreen_data();
    void windowOnScreen();

private:
    Shown show(const QByteArray &toolOutput, const QString &style);
    QTemporaryDir dir;
};

Shown RealDisplayTest::show(const QByteArray &toolOutput, const QString &style)
{
    Shown shown;
    const FakeProgram tool(FakeProgram::Reply{toolOutput});

    const QString png = dir.filePath(QStringLiteral("window.png"));
    const QString dump = dir.filePath(QStringLiteral("window.json"));
    QFile::remove(png);
    QFile::remove(dump);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QUARN_TEST_QUARN"), tool.program());
    if (!style.isEmpty()) {
        env.insert(QStringLiteral("QT_STYLE_OVERRIDE"), style);
#ifdef DEEPIN_STYLE_PLUGINS
        env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(DEEPIN_STYLE_PLUGINS));
#endif
    }
    QProcess host;
    host.setProcessEnvironment(env);
    host.setProcessChannelMode(QProcess::MergedChannels);
    host.start(QStringLiteral(XVFB_RUN),
               {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
                QStringLiteral(MENU_HOST), QStringLiteral("--trigger"), QStringLiteral("磁盘使用统计"),
                QStringLiteral("--screenshot"), png, QStringLiteral("--dump"), dump,
                QStringLiteral(TESTSEAM_PLUGIN), QStringLiteral("/data")});
    if (!host.waitForFinished(90000)) {
        host.kill();
        host.waitForFinished();
        return shown;
    }
    shown.exitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
    shown.log = host.readAll();
    QFile dumpFile(dump);
    if (dumpFile.open(QIODevice::ReadOnly))
        shown.dump = QJsonDocument::fromJson(dumpFile.readAll()).object();
    shown.screenshot.load(png);
    return shown;
}

void RealDisplayTest::windowOnScreen_data()
{
    QTest::addColumn<QByteArray>("toolOutput");
    QTest::addColumn<QString>("windowClass");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("style"); // empty: Qt's default

    const QStringList treeRows{"/data 3000 100.0%", "a 1000 33.3%", "b 2000 66.7%", "c 900 30.0%"};
    QTest::newRow("text window") << kText << "OutputDialog" << QStringList() << QString();
    QTest::newRow("tree window") << kReport << "JsonOutputDialog" << treeRows << QString();
#ifdef DEEPIN_STYLE_PLUGINS
    QTest::newRow("text window, deepin style") << kText << "OutputDialog" << QStringList() << "chameleon";
    QTest::newRow("tree window, deepin style") << kReport << "JsonOutputDialog" << treeRows << "chameleon";
#endif
}

void RealDisplayTest::windowOnScreen()
{
    QFETCH(QByteArray, toolOutput);
    QFETCH(QString, windowClass);
    QFETCH(QStringList, rows);
    QFETCH(QString, style);
    QVERIFY(dir.isValid());

    const Shown shown = show(toolOutput, style);
    QVERIFY2(shown.exitCode == 0, shown.log.constData());
    QCOMPARE(shown.dump[QLatin1String("class")].toString(), windowClass);
    if (!style.isEmpty())
        QCOMPARE(shown.dump[QLatin1String("style")].toString(), style);

    // The picture is the whole window at the size it has on screen, 900 x 600.
    const QJsonArray size = shown.dump[QLatin1String("size")].toArray();
    QCOMPARE(size, (QJsonArray{900, 600}));
    QVERIFY2(!shown.screenshot.isNull(), "no screenshot was written");
    QCOMPARE(shown.screenshot.size(), QSize(900, 600));

    // Not blank: the upper part holds the text or the hint and the first rows,
    // the bottom band the buttons.
    const QImage &image = shown.screenshot;
    QVERIFY2(inkShare(image, 0, image.height() / 3) > 0.01, "the upper part of the window is empty");
    QVERIFY2(inkShare(image, image.height() - 60, image.height()) > 0.01, "no buttons at the bottom");

    if (windowClass == QLatin1String("OutputDialog")) {
        QCOMPARE(shown.dump[QLatin1String("text")].toString(), QString::fromUtf8(kText));
        QCOMPARE(shown.dump[QLatin1String("buttons")].toArray(), (QJsonArray{"复制", "关闭"}));
    } else {
        QCOMPARE(rowLines(shown.dump[QLatin1String("rows")].toArray()), rows);
        // DDialog spaces out a button text of two CJK characters.
        QCOMPARE(shown.dump[QLatin1String("buttons")].toArray(), (QJsonArray{"关\u00a0闭"}));
        // The three columns fit the window's width.
        QCOMPARE(shown.dump[QLatin1String("horizontalScrollBar")].toBool(), false);
    }
}

QTEST_GUILESS_MAIN(RealDisplayTest)
#include "tst_realdisplay.moc"
