// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The scanner's pure units: size texts, JSON text, command line, folder
// names as kept, a worker's path of folders.

#include "cli/options.h"
#include "core/folderstore.h"
#include "formats/jsonwriter.h"
#include "formats/ncduimport.h"
#include "formats/sizetext.h"
#include "walk/ancestorpath.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The extension's reading of a size text: trimmed, an optional K/KB/M/MB/
// G/GB/T/TB suffix in powers of 1024, the rest read as a double, the product
// truncated toward zero; anything unreadable is 0.
qint64 readSizeText(const QString &input)
{
    QString text = input.trimmed();
    static const struct
    {
        const char *one, *two;
        double multiplier;
    } units[] = {
        {"K", "KB", 1024.0}, {"M", "MB", 1048576.0}, {"G", "GB", 1073741824.0}, {"T", "TB", 1099511627776.0}};
    double multiplier = 1;
    for (const auto &unit : units) {
        if (text.endsWith(QLatin1String(unit.one)) || text.endsWith(QLatin1String(unit.two))) {
            multiplier = unit.multiplier;
            text = text.left(text.length() - (text.endsWith(QLatin1String(unit.two)) ? 2 : 1));
            break;
        }
    }
    bool ok = false;
    double value = text.toDouble(&ok);
    return ok ? qint64(multiplier * value) : 0;
}

} // namespace

class ScannerUnitsTest : public QObject
{
    Q_OBJECT

private slots:
    void sizeTextForm_data();
    void sizeTextForm();
    void sizeTextsReadBackClosely();
    void exactSizeIsThePlainCount();

    void jsonNames_data();
    void jsonNames();
    void jsonShape();

    void commandLine_data();
    void commandLine();

    void importCounting_data();
    void importCounting();
    void folderNames_data();
    void folderNames();
    void ancestorPath_data();
    void ancestorPath();
};

void ScannerUnitsTest::sizeTextForm_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    const quint64 K = 1024, M = K * K, G = M * K, T = G * K;
    QTest::newRow("zero") << quint64(0) << "0";
    QTest::newRow("below 1K") << quint64(512) << "512";
    QTest::newRow("largest plain") << quint64(1023) << "1023";
    QTest::newRow("1K") << K << "1.00K";
    QTest::newRow("4K") << 4 * K << "4.00K";
    QTest::newRow("rounds up to two digits") << quint64(10234) << "9.99K";
    QTest::newRow("9.995K becomes 10.0K") << quint64(10235) << "10.0K";
    QTest::newRow("12.3M") << quint64(12.3 * M) << "12.3M";
    QTest::newRow("99.96K becomes 100K") << quint64(102360) << "100K";
    QTest::newRow("123M") << 123 * M << "123M";
    QTest::newRow("999.4K stays K") << quint64(1023385) << "999K";
    QTest::newRow("999.5K moves to M") << quint64(1023488) << "0.976M";
    QTest::newRow("1023.4K in M") << quint64(1047962) << "0.999M";
    QTest::newRow("1023.6K rounds to 1M") << quint64(1048166) << "1.00M";
    QTest::newRow("just below 1M") << M - 1 << "1.00M";
    QTest::newRow("1016M in G") << 1016 * M << "0.992G";
    QTest::newRow("1.23G") << quint64(1.23 * G) << "1.23G";
    QTest::newRow("1020G in T") << 1020 * G << "0.996T";
    QTest::newRow("1T") << T << "1.00T";
    QTest::newRow("999T") << 999 * T << "999T";
    QTest::newRow("no unit above T") << 2048 * T << "2048T";
    QTest::newRow("largest count") << quint64(9223372036854775807ull) << "8388608T";
}

void ScannerUnitsTest::sizeTextForm()
{
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(quarn::sizeText(bytes)), text);
}

void ScannerUnitsTest::sizeTextsReadBackClosely()
{
    // Every count near unit and digit boundaries, and a dense geometric sweep
    // up to 2^60, must read back within 0.5%.
    std::vector<quint64> counts;
    for (quint64 scale = 1; scale <= (quint64(1) << 40); scale *= 1024)
        for (quint64 near : {1000ull, 1024ull, 10000ull, 10240ull, 100000ull, 102400ull, 1048576ull})
            for (qint64 delta = -600; delta <= 600; ++delta)
                counts.push_back(quint64(qint64(near * scale) + delta * qint64(scale / 64 + 1)));
    for (double x = 1; x < 1.2e18; x *= 1.0007)
        counts.push_back(quint64(x));
    // Below 1024 the integer; otherwise three significant digits and a unit
    // (0.976 to 0.999 just below the next unit), or a whole number of T.
    static const QRegularExpression form("^([0-9]{1,4}|([1-9]\\.[0-9]{2}|[1-9][0-9]\\.[0-9]|[1-9][0-9]{2}|"
                                         "0\\.9[0-9]{2})[KMGT]|[1-9][0-9]{3,}T)$");
    for (quint64 bytes : counts) {
        const QString text = QString::fromStdString(quarn::sizeText(bytes));
        QVERIFY2(form.match(text).hasMatch(), qPrintable(text));
        const double error = std::fabs(double(readSizeText(text)) - double(bytes));
        QVERIFY2(error <= 0.005 * double(bytes), qPrintable(QString("%1 -> %2").arg(bytes).arg(text)));
    }
}

void ScannerUnitsTest::exactSizeIsThePlainCount()
{
    for (quint64 bytes : {0ull, 1023ull, 1024ull, 123456789ull, 18446744073709551615ull})
        QCOMPARE(QString::fromStdString(quarn::sizeText(bytes, true)), QString::number(bytes));
}

void ScannerUnitsTest::jsonNames_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("parsed");
    QTest::addColumn<bool>("clean");
    const QString bad(QChar(0xFFFD));
    QTest::newRow("plain") << QByteArray("/tmp/a") << "/tmp/a" << true;
    QTest::newRow("blanks") << QByteArray("/tmp/a b  c ") << "/tmp/a b  c " << true;
    QTest::newRow("quotes") << QByteArray("/tmp/say \"hi\" 'x'") << "/tmp/say \"hi\" 'x'" << true;
    QTest::newRow("backslashes") << QByteArray("/tmp/a\\b\\\\") << "/tmp/a\\b\\\\" << true;
    QTest::newRow("newline and tab") << QByteArray("/tmp/a\nb\tc\r") << "/tmp/a\nb\tc\r" << true;
    QTest::newRow("other controls") << QByteArray("/tmp/\x01\x1f\x7f", 8) << QString("/tmp/\x01\x1f\x7f")
                                    << true;
    QTest::newRow("C1 controls, bidirectional overrides and isolates")
        << QByteArray("/tmp/\xC2\x80\xC2\x85\xC2\x9B"
                      "1m\xC2\x9F\xC2\xA0\xE2\x80\xAA\xE2\x80\xAE\xE2\x80\xAF\xE2\x81\xA6\xE2\x81\xA9")
        << QString::fromUtf8("/tmp/\u0080\u0085\u009B1m\u009F\u00A0\u202A\u202E\u202F\u2066\u2069") << true;
    QTest::newRow("CJK") << QByteArray("/tmp/磁盘") << QString::fromUtf8("/tmp/磁盘") << true;
    QTest::newRow("four-byte") << QByteArray("/tmp/\xF0\x9F\x98\x80")
                               << QString::fromUtf8("/tmp/\xF0\x9F\x98\x80") << true;
    QTest::newRow("stray byte") << QByteArray("/tmp/a\xFFz") << "/tmp/a" + bad + "z" << false;
    QTest::newRow("latin-1 word") << QByteArray("/tmp/caf\xE9.txt") << "/tmp/caf" + bad + ".txt" << false;
    QTest::newRow("truncated sequence") << QByteArray("/tmp/\xE7\xA3") << "/tmp/" + bad + bad << false;
    QTest::newRow("overlong slash") << QByteArray("/tmp/\xC0\xAF") << "/tmp/" + bad + bad << false;
    QTest::newRow("surrogate") << QByteArray("/tmp/\xED\xA0\x80") << "/tmp/" + bad + bad + bad << false;
    QTest::newRow("above U+10FFFF") << QByteArray("/tmp/\xF4\x90\x80\x80") << "/tmp/" + bad + bad + bad + bad
                                    << false;
    QTest::newRow("bad byte before valid CJK")
        << QByteArray("/tmp/\xFF磁") << "/tmp/" + bad + QString::fromUtf8("磁") << false;
}

void ScannerUnitsTest::jsonNames()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, parsed);
    QFETCH(bool, clean);
    quarn::Report report;
    report.add(0, raw.toStdString(), 4096);
    quarn::StringSink json;
    std::vector<std::string> badNames;
    QVERIFY(
        quarn::writeJson(report, false, json, [&](std::string_view name) { badNames.emplace_back(name); }));

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json.text), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(document.object().value("name").toString(), parsed);
    QCOMPARE(badNames.empty(), clean);
    // Raw control characters are never allowed inside JSON strings; C1
    // controls and bidirectional overrides and isolates are escaped too,
    // so that the text is safe on a terminal.
    for (char c : json.text.substr(0, json.text.size() - 1))
        QVERIFY(static_cast<unsigned char>(c) >= 0x20);
    for (const uint c : QString::fromStdString(json.text).toUcs4())
        QVERIFY2(!((c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)),
                 json.text.c_str());
}

void ScannerUnitsTest::jsonShape()
{
    quarn::Report report;
    report.add(0, "/data", 3 << 20);
    report.add(1, "big", 2 << 20);
    report.add(2, "x", 2000);
    report.add(1, "locked", 4096, "Permission denied");
    quarn::StringSink json;
    QVERIFY(quarn::writeJson(report, false, json));
    QCOMPARE(
        QString::fromStdString(json.text),
        QString("{\"name\":\"/data\",\"size\":\"3.00M\",\"children\":["
                "{\"name\":\"/data/big\",\"size\":\"2.00M\",\"children\":[{\"name\":\"/data/big/x\",\"size\":"
                "\"1.95K\"}]},"
                "{\"name\":\"/data/locked\",\"size\":\"4.00K\",\"error\":\"Permission denied\"}]}\n"));
    quarn::StringSink exact;
    QVERIFY(quarn::writeJson(report, true, exact));
    QCOMPARE(QString::fromStdString(exact.text).left(33),
             QString("{\"name\":\"/data\",\"size\":\"3145728\","));

    // A target that ends in a slash gets no second one before its children.
    quarn::Report slashed;
    slashed.add(0, "/", 8192);
    slashed.add(1, "x", 4096);
    quarn::StringSink root;
    QVERIFY(quarn::writeJson(slashed, false, root));
    QVERIFY2(root.text.find("\"name\":\"/x\"") != std::string::npos, root.text.c_str());
}

void ScannerUnitsTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("top");
    QTest::addColumn<QString>("flags"); // j b x a s c i: json, exact, one file system, apparent size,
                                        // summarize, total, inodes
    QTest::addColumn<int>("threads");
    QTest::addColumn<QString>("path");
    QTest::newRow("defaults") << QStringList{} << true << 20 << "" << 0 << ".";
    QTest::newRow("as the extension calls it")
        << QStringList{"-n", "13", "-j", "/usr"} << true << 13 << "j" << 0 << "/usr";
    QTest::newRow("attached value and grouped flags")
        << QStringList{"-jbn5", "-t2", "--apparent-size", "x"} << true << 5 << "jba" << 2 << "x";
    QTest::newRow("long forms") << QStringList{"--top=13",        "--json",    "--bytes", "--one-file-system",
                                               "--apparent-size", "--threads", "4",       "/usr"}
                                << true << 13 << "jbxa" << 4 << "/usr";
    QTest::newRow("abbreviations") << QStringList{"--tot", "--app", "--thr=3", "--j", "--ino", "--sum"}
                                   << true << 20 << "jacis" << 3 << ".";
    QTest::newRow("options after the path")
        << QStringList{"x", "-n", "5", "--json"} << true << 5 << "j" << 0 << "x";
    QTest::newRow("-- ends options") << QStringList{"-x", "--", "-n"} << true << 20 << "x" << 0 << "-n";
    QTest::newRow("lone dash is a path") << QStringList{"-"} << true << 20 << "" << 0 << "-";
    QTest::newRow("-n 0") << QStringList{"-n", "0"} << false << 0 << "" << 0 << "";
    QTest::newRow("-n negative") << QStringList{"-n", "-3"} << false << 0 << "" << 0 << "";
    QTest::newRow("-n not a number") << QStringList{"-n", "12x"} << false << 0 << "" << 0 << "";
    QTest::newRow("-n missing value") << QStringList{"-j", "-n"} << false << 0 << "" << 0 << "";
    QTest::newRow("-t 0") << QStringList{"-t", "0"} << false << 0 << "" << 0 << "";
    QTest::newRow("unknown short") << QStringList{"-z"} << false << 0 << "" << 0 << "";
    QTest::newRow("unknown long") << QStringList{"--bogus"} << false << 0 << "" << 0 << "";
    QTest::newRow("ambiguous abbreviation") << QStringList{"--t=3"} << false << 0 << "" << 0 << "";
    QTest::newRow("value given to a flag") << QStringList{"--json=yes"} << false << 0 << "" << 0 << "";
    QTest::newRow("--max-depth negative") << QStringList{"-d", "-1"} << false << 0 << "" << 0 << "";
    QTest::newRow("--color unknown") << QStringList{"--color=sometimes"} << false << 0 << "" << 0 << "";
    QTest::newRow("several paths, summed up")
        << QStringList{"a", "-sc", "b", "--inodes", "a"} << true << 20 << "sci" << 0 << "a b a";
}

void ScannerUnitsTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, accepted);
    std::vector<QByteArray> storage;
    std::vector<const char *> argv;
    for (const QString &argument : arguments)
        storage.push_back(argument.toUtf8());
    for (const QByteArray &argument : storage)
        argv.push_back(argument.constData());
    quarn::Options options;
    const std::string problem = quarn::parseOptions(int(argv.size()), argv.data(), options);
    QCOMPARE(problem.empty(), accepted);
    if (!accepted)
        return;
    QFETCH(int, top);
    QFETCH(QString, flags);
    QFETCH(int, threads);
    QFETCH(QString, path);
    QCOMPARE(int(options.top), top);
    QCOMPARE(options.json, flags.contains('j'));
    QCOMPARE(options.exactSizes, flags.contains('b'));
    QCOMPARE(options.oneFileSystem, flags.contains('x'));
    QCOMPARE(options.apparentSize, flags.contains('a'));
    QCOMPARE(int(options.threads), threads);
    QCOMPARE(options.summarize, flags.contains('s'));
    QCOMPARE(options.total, flags.contains('c'));
    QCOMPARE(options.inodes, flags.contains('i'));
    QStringList paths;
    for (const std::string &given : options.paths)
        paths << QString::fromStdString(given);
    QCOMPARE(paths.join(' '), path);
}

void ScannerUnitsTest::importCounting_data()
{
    QTest::addColumn<QByteArray>("entries"); // after the target's object: a folder of 100 bytes on device 1;
                                             // "=OBJECT": a target file's object instead
    QTest::addColumn<QString>("measure");    // "", "apparent" or "inodes"
    QTest::addColumn<QString>("report");     // depth:name=size, "!error" where set, in pre-order; then
                                             // "unreadable=N@PATH:REASON" when the export marks some
    const QString longName(1024, 'n');
    QTest::newRow("folders sum what they hold")
        << QByteArray(R"(,{"name":"a","dsize":10},[{"name":"d","dsize":5},{"name":"b","dsize":7}])") << ""
        << "0:r=122 1:d=12 2:b=7 1:a=10";
    QTest::newRow("lengths with --apparent-size")
        << QByteArray(R"(,{"name":"a","asize":3,"dsize":4096},[{"name":"d","asize":2}])") << "apparent"
        << "0:r=55 1:a=3 1:d=2";
    QTest::newRow("--inodes: each entry 1, a hard link once, what is left out or unread 0")
        << QByteArray(R"(,{"name":"a","dsize":10,"ino":5,"nlink":2},{"name":"l","notreg":true},)"
                      R"([{"name":"d"},{"name":"b","dsize":10,"ino":5,"nlink":2},{"name":"c"}],)"
                      R"({"name":"p","excluded":"pattern"},[{"name":"k","excluded":"kernfs"}],)"
                      R"({"name":"u","read_error":true})")
        << "inodes"
        << "0:r=6!read error 1:d=2 2:c=1 1:a=1 1:k=1 1:l=1 unreadable=1@r/u:";
    QTest::newRow("hard link counted at its first place, device inherited")
        << QByteArray(R"(,{"name":"a","dsize":10,"ino":5,"hlnkc":true},)"
                      R"([{"name":"d"},{"name":"b","dsize":10,"ino":5,"hlnkc":true,"nlink":2}])")
        << ""
        << "0:r=110 1:a=10 1:d=0";
    QTest::newRow("same inode on another device is another file")
        << QByteArray(R"(,{"name":"a","dsize":10,"ino":5,"nlink":2},)"
                      R"([{"name":"d","dev":2},{"name":"b","dsize":10,"ino":5,"nlink":2}])")
        << ""
        << "0:r=120 1:a=10 1:d=10 2:b=10";
    QTest::newRow("left out: nothing counted, a kernel mount point empty")
        << QByteArray(R"(,{"name":"p","dsize":50,"excluded":"pattern"},)"
                      R"([{"name":"o","dsize":50,"excluded":"otherfs"},{"name":"x","dsize":9}],)"
                      R"([{"name":"k","dsize":3,"excluded":"kernfs"}],{"name":"e","dsize":4,"excluded":""})")
        << ""
        << "0:r=103 1:k=3";
    QTest::newRow("unreadable file marks its folder")
        << QByteArray(R"(,[{"name":"d","dsize":1},{"name":"f","read_error":true,"dsize":9}])") << ""
        << "0:r=101 1:d=1!read error unreadable=1@r/d/f:";
    QTest::newRow("quarn's reasons: a folder's own first, then its files'")
        << QByteArray(R"(,[{"name":"d","dsize":1,"read_error":true,"error":"Permission denied"},)"
                      R"({"name":"f","read_error":true,"error":"Input/output error"}],)"
                      R"([{"name":"e","dsize":2},{"name":"g","read_error":true,"error":"No such file"},)"
                      R"({"name":"h","read_error":true,"error":"Input/output error"}])")
        << ""
        << "0:r=103 1:e=2!No such file 1:d=1!Permission denied unreadable=4@r/d:Permission denied";
    QTest::newRow("left out for an error: nothing counted or marked, still unreadable")
        << QByteArray(R"(,[{"name":"d","dsize":1},{"name":"d","excluded":"cycle","read_error":true,)"
                      R"("error":"Circular directory structure"}])")
        << ""
        << "0:r=101 1:d=1 unreadable=1@r/d/d:Circular directory structure";
    QTest::newRow("target file: its size, unread or left out")
        << QByteArray(R"(={"name":"f","dsize":9,"asize":3})") << ""
        << "0:f=9";
    QTest::newRow("target file not read") << QByteArray(R"(={"name":"f","dsize":9,"read_error":true})") << ""
                                          << "0:f=0!read error unreadable=1@f:";
    QTest::newRow("target file left out")
        << QByteArray(R"(={"name":"f","dsize":9,"excluded":"otherfs"})") << ""
        << "0:f=0";
    QTest::newRow("escapes and a surrogate pair decoded")
        << QByteArray(R"(,{"name":"a\u00e9\ud83d\ude00\n\"","dsize":1})") << ""
        << QString::fromUtf8("0:r=101 1:a\u00e9\U0001F600\n\"=1");
    QTest::newRow("keys of other versions skipped")
        << QByteArray(R"(,{"name":"a","dsize":2,"mtime":5,"x":{"y":[1,-2.5e3,{"z":null}]},"type":"reg"})")
        << ""
        << "0:r=102 1:a=2";
    QTest::newRow("names, keys and values of any length")
        << (R"(,[{"name":")" + longName.toUtf8() + R"(","dsize":3,")" + QByteArray(100, 'k') + R"(":"x"},)" +
            R"({"name":")" + longName.toUtf8() + R"(","dsize":1},)" +
            R"([{"name":"k","dsize":7,"excluded":"kernfs)" + QByteArray(100, 's') + R"("}],)" +
            R"({"name":"b","dsize":2,"error":")" + QByteArray(70000, 'e') + R"("}])")
        << ""
        << "0:r=106 1:" + longName + "=6 2:b=2 2:" + longName + "=1";
    QTest::newRow("one name in two folders")
        << QByteArray(
               R"(,[{"name":"a","dsize":1},{"name":"a","dsize":2}],[{"name":"b"},{"name":"a","dsize":3}])")
        << ""
        << "0:r=106 1:a=3 2:a=2 1:b=3 2:a=3";
}

void ScannerUnitsTest::importCounting()
{
    QFETCH(QByteArray, entries);
    QFETCH(QString, measure);
    QFETCH(QString, report);
    QByteArray document = R"([1,2,{"progname":"t"},)";
    if (entries.startsWith('='))
        document += entries.mid(1) + "]";
    else
        document += R"([{"name":"r","dsize":100,"asize":50,"dev":1})" + entries + "]]";
    quarn::ImportSettings settings;
    settings.measure = measure == "apparent" ? quarn::Measure::Apparent
                       : measure == "inodes" ? quarn::Measure::Entries
                                             : quarn::Measure::Allocated;
    settings.report.top = 50;
    const quarn::ImportResult result = quarn::importExport(
        [&document](char *buffer, std::size_t size) {
            const qsizetype n = std::min(qsizetype(size), document.size());
            std::memcpy(buffer, document.constData(), size_t(n));
            document.remove(0, n);
            return long(n);
        },
        settings);
    QVERIFY2(result.read, result.problem.c_str());
    QStringList shown;
    for (const quarn::ReportEntry &entry : result.report.entries()) {
        QString line = QString::number(entry.depth) + ":" +
                       QString::fromStdString(std::string(result.report.name(entry))) + "=" +
                       QString::number(entry.size);
        if (entry.errorLength)
            line += "!" + QString::fromStdString(std::string(result.report.error(entry)));
        shown << line;
    }
    if (result.unreadable)
        shown << "unreadable=" + QString::number(result.unreadable) + "@" +
                     QString::fromStdString(result.firstUnreadable) + ":" +
                     QString::fromStdString(result.firstReason);
    QCOMPARE(shown.join(' '), report);
}

// Names as long as a file system may serve (FUSE allows 1,024 bytes) are
// kept whole, next to each other in the store's arena.
void ScannerUnitsTest::folderNames_data()
{
    QTest::addColumn<int>("length");
    for (int length : {1, 127, 128, 255, 256, 1024, 70000})
        QTest::newRow(qPrintable(QString::number(length) + " bytes")) << length;
}

void ScannerUnitsTest::folderNames()
{
    QFETCH(int, length);
    quarn::FolderStore store("/t", 1, 1, 0);
    const std::string first(std::size_t(length), 'a');
    const std::string second = std::string(std::size_t(length) - 1, 'b') + "c";
    quarn::DirNode &a = store.addChild(&store.dirs()[0], first.data(), first.size());
    quarn::DirNode &b = store.addChild(&a, second.data(), second.size());
    QCOMPARE(std::string(a.name()) + "|" + std::string(b.name()), first + "|" + second);
    QCOMPARE(quarn::displayPath(&b), "/t/" + first + "/" + second);
}

// Two chains below a target (inode 1): A, inodes 100 + depth, 3,000 levels,
// and B, inodes 10,000 + depth, leaving A at depth 1,000. The path is moved
// along them ("A2500": to A's folder at depth 2,500), then a folder looked
// for by inode: the depth it is found at on the path, or -1.
void ScannerUnitsTest::ancestorPath_data()
{
    QTest::addColumn<QString>("moves");
    QTest::addColumn<quint64>("inode");
    QTest::addColumn<int>("found");
    QTest::newRow("the parent") << "A5" << quint64(104) << 4;
    QTest::newRow("the folder itself") << "A5" << quint64(105) << 5;
    QTest::newRow("the target, from deep down") << "A3000" << quint64(1) << 0;
    QTest::newRow("below the end: not on the path") << "A10" << quint64(111) << -1;
    QTest::newRow("another chain's folder") << "A2000" << quint64(10000 + 1500) << -1;
    QTest::newRow("the way shared with another chain") << "A3000 B2500" << quint64(100 + 900) << 900;
    QTest::newRow("left behind on another chain") << "A3000 B2500" << quint64(100 + 2000) << -1;
    QTest::newRow("on the chain moved to") << "A3000 B2500" << quint64(10000 + 2500) << 2500;
    QTest::newRow("up and down again") << "A3000 A5 A2000" << quint64(100 + 1999) << 1999;
    QTest::newRow("up and down again, below") << "A3000 A5 A2000" << quint64(100 + 2001) << -1;
}

void ScannerUnitsTest::ancestorPath()
{
    QFETCH(QString, moves);
    QFETCH(quint64, inode);
    QFETCH(int, found);
    quarn::DirNodeStore store;
    quarn::DirNode &root = store.add();
    root.inode = 1;
    std::vector<quarn::DirNode *> chainA{&root}, chainB(1001, nullptr);
    for (std::uint32_t depth = 1; depth <= 3000; ++depth) {
        quarn::DirNode &node = store.add();
        node.parent = chainA.back();
        node.depth = depth;
        node.inode = 100 + depth;
        chainA.push_back(&node);
    }
    chainB[1000] = chainA[1000];
    for (std::uint32_t depth = 1001; depth <= 3000; ++depth) {
        quarn::DirNode &node = store.add();
        node.parent = chainB.back();
        node.depth = depth;
        node.inode = 10000 + depth;
        chainB.push_back(&node);
    }
    quarn::AncestorPath path;
    for (const QString &move : moves.split(' '))
        path.moveTo((move.startsWith('A') ? chainA : chainB)[move.mid(1).toUInt()]);
    const quarn::DirNode *hit = path.find(0, inode);
    QCOMPARE(hit ? int(hit->depth) : -1, found);
}

QTEST_GUILESS_MAIN(ScannerUnitsTest)

#include "tst_scannerunits.moc"
