// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The tree result window: its rows, its widgets, double-click reveal and sorting.
#include "externalprogram.h"
#include "fakeprogram.h"
#include "jsonoutputdialog.h"
#include "logcapture.h"

#include <DLabel>

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QFile>
#include <QHeaderView>
#include <QLayout>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

const QString kTitle = QStringLiteral("磁盘使用统计");

QTreeView *treeOf(const JsonOutputDialog &dialog)
{
    return dialog.findChild<QTreeView *>();
}

QStandardItemModel *modelOf(const JsonOutputDialog &dialog)
{
    return qobject_cast<QStandardItemModel *>(treeOf(dialog)->model());
}

// Every row in pre-order, one line each: indentation by depth, then the shown
// name, the stored path, the size and the percentage, separated by "|".
void appendRows(const QAbstractItemModel &model, const QModelIndex &parent, int depth, QStringList &lines)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex name = model.index(row, 0, parent);
        lines << QStringLiteral("%1%2|%3|%4|%5")
                     .arg(QString(depth * 2, QLatin1Char(' ')), name.data().toString(),
                          name.data(Qt::UserRole).toString(), model.index(row, 1, parent).data().toString(),
                          model.index(row, 2, parent).data().toString());
        appendRows(model, name, depth + 1, lines);
    }
}

QString rowsOf(const JsonOutputDialog &dialog)
{
    QStringList lines;
    appendRows(*modelOf(dialog), {}, 0, lines);
    return lines.join(QLatin1Char('\n'));
}

// The shown names of one level, in the view's order.
QString namesUnder(const QAbstractItemModel &model, const QModelIndex &parent)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        names << model.index(row, 0, parent).data().toString();
    }
    return names.join(QLatin1Char(' '));
}

// Finds the name cell that stores path.
QModelIndex nameCellOf(const QAbstractItemModel &model, const QString &path)
{
    const QModelIndexList hits =
        model.match(model.index(0, 0), Qt::UserRole, path, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return hits.value(0);
}

// A user's double-click on a cell: press and release, then the double-click.
void doubleClick(QTreeView *tree, const QModelIndex &cell)
{
    const QPoint centre = tree->visualRect(cell).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, centre);
}

// A fake file manager the window reveals items with, for as long as it lives.
class FakeFileManager : public FakeProgram
{
public:
    FakeFileManager() : FakeProgram(QByteArray(), QStringLiteral("file-manager"))
    {
        ExternalProgram::setForTests({}, program());
    }
    ~FakeFileManager() { ExternalProgram::setForTests({}, {}); }

    // The arguments of the last run.
    QStringList arguments() const { return runs().value(runs().size() - 1); }
};

const QByteArray kDataReport = R"({"name":"/data","size":"3000","children":[
    {"name":"/data/a","size":"1000"},
    {"name":"/data/b","size":"2000","children":[{"name":"/data/b/c","size":"900"}]}]})";

} // namespace

class JsonOutputDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void modelIsConsistent();

    void windowLayout();
    void startsExpandedInReportOrder();
    void closeButtonAccepts();
    void topLevelArray_data();
    void topLevelArray();
    void parseError_data();
    void parseError();

    void doubleClickRevealsFullPath();
    void doubleClickByMouseEndsExec();
    void doubleClickDoesNothing_data();
    void doubleClickDoesNothing();
    void hostilePathIsOneArgument_data();
    void hostilePathIsOneArgument();

    void sorting_data();
    void sorting();
};

void JsonOutputDialogTest::rows_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("rows");

    QTest::newRow("shown names and stored paths")
        << QByteArray(R"({"name":"/data/projects","size":"4K","children":[
               {"name":"/data/projects/src","size":"1K"},
               {"name":"plain","size":"1K"},
               {"name":"/data/projects/dir/","size":"1K"}]})")
        << "/data/projects|/data/projects|4K|100.0%\n"
           "  src|/data/projects/src|1K|25.0%\n"
           "  plain|plain|1K|25.0%\n"
           "  |/data/projects/dir/|1K|25.0%";
    QTest::newRow("percentages against the total at every depth")
        << QByteArray(R"({"name":"/t","size":"3000","children":[
               {"name":"/t/a","size":"1000","children":[{"name":"/t/a/x","size":"2000"}]},
               {"name":"/t/b","size":"0"},
               {"name":"/t/c","size":"abc"},
               {"name":"/t/d"},
               {"name":"/t/e","size":2000},
               {"name":"/t/f","size":"4500"},
               {"name":"/t/g","size":"-1500"}]})")
        << "/t|/t|3000|100.0%\n"
           "  a|/t/a|1000|33.3%\n"
           "    x|/t/a/x|2000|66.7%\n"
           "  b|/t/b|0|0.0%\n"
           "  c|/t/c|abc|0.0%\n"
           "  d|/t/d||0.0%\n"
           "  e|/t/e||0.0%\n"
           "  f|/t/f|4500|150.0%\n"
           "  g|/t/g|-1500|-50.0%";
    QTest::newRow("total from a unit text")
        << QByteArray(R"({"name":"/u","size":"1.5K","children":[{"name":"/u/v","size":"1K"}]})")
        << "/u|/u|1.5K|100.0%\n"
           "  v|/u/v|1K|66.7%";
    QTest::newRow("no total size: N/A everywhere")
        << QByteArray(R"({"name":"/n","children":[{"name":"/n/a","size":"1K"}]})")
        << "/n|/n||N/A\n"
           "  a|/n/a|1K|N/A";
    QTest::newRow("unreadable total size: N/A everywhere")
        << QByteArray(R"({"name":"/n","size":"lots","children":[{"name":"/n/a","size":"1K"}]})")
        << "/n|/n|lots|N/A\n"
           "  a|/n/a|1K|N/A";
    QTest::newRow("negative total size: N/A")
        << QByteArray(R"({"name":"/n","size":"-1K"})") << "/n|/n|-1K|N/A";
    QTest::newRow("children as a string")
        << QByteArray(R"({"name":"/s","size":"1","children":"/s/a"})") << "/s|/s|1|100.0%";
    QTest::newRow("children as a number")
        << QByteArray(R"({"name":"/s","size":"1","children":3})") << "/s|/s|1|100.0%";
    QTest::newRow("children empty") << QByteArray(R"({"name":"/s","size":"1","children":[]})")
                                    << "/s|/s|1|100.0%";
    QTest::newRow("mixed children: only objects become rows")
        << QByteArray(R"({"name":"/m","size":"4","children":[1,"x",null,true,[{"name":"/m/in"}],
               {"name":"/m/obj","size":"1"}]})")
        << "/m|/m|4|100.0%\n"
           "  obj|/m/obj|1|25.0%";
    QTest::newRow("missing or non-text name")
        << QByteArray(R"({"name":"/r","size":"2","children":[{"size":"1"},{"name":7,"size":"1"}]})")
        << "/r|/r|2|100.0%\n"
           "  ||1|50.0%\n"
           "  ||1|50.0%";
    QTest::newRow("pre-order, report order") << QByteArray(R"({"name":"/p","size":"8","children":[
               {"name":"/p/z","size":"1","children":[
                   {"name":"/p/z/2","size":"1","children":[{"name":"/p/z/2/deep","size":"1"}]},
                   {"name":"/p/z/1","size":"1"}]},
               {"name":"/p/a","size":"1"}]})")
                                             << "/p|/p|8|100.0%\n"
                                                "  z|/p/z|1|12.5%\n"
                                                "    2|/p/z/2|1|12.5%\n"
                                                "      deep|/p/z/2/deep|1|12.5%\n"
                                                "    1|/p/z/1|1|12.5%\n"
                                                "  a|/p/a|1|12.5%";
}

void JsonOutputDialogTest::rows()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, rows);
    const JsonOutputDialog dialog(kTitle, json);
    QCOMPARE(rowsOf(dialog), rows);
}

void JsonOutputDialogTest::modelIsConsistent()
{
    JsonOutputDialog dialog(kTitle, kDataReport);
    QAbstractItemModelTester tester(modelOf(dialog), QAbstractItemModelTester::FailureReportingMode::QtTest);
    treeOf(dialog)->sortByColumn(1, Qt::AscendingOrder);
    treeOf(dialog)->sortByColumn(0, Qt::DescendingOrder);
}

void JsonOutputDialogTest::windowLayout()
{
    JsonOutputDialog dialog(kTitle, kDataReport);
    QCOMPARE(dialog.windowTitle(), kTitle);
    QCOMPARE(dialog.minimumSize(), QSize(800, 500));
    QCOMPARE(dialog.size(), QSize(900, 600));

    const QTreeView *tree = treeOf(dialog);
    const QAbstractItemModel *model = tree->model();
    QCOMPARE(model->columnCount(), 3);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("名称"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("大小"));
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("百分比"));
    QCOMPARE(tree->columnWidth(0), 600);
    QCOMPARE(tree->columnWidth(1), 100);
    QCOMPARE(tree->columnWidth(2), 100);
    QCOMPARE(tree->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The hint stands above the tree in one content widget.
    const auto *hint = dialog.findChild<Dtk::Widget::DLabel *>();
    QVERIFY(hint);
    QCOMPARE(hint->text(), QStringLiteral("双击列表的任意节点可在文件管理器查看"));
    const QLayout *content = tree->parentWidget()->layout();
    QCOMPARE(hint->parentWidget(), tree->parentWidget());
    QCOMPARE(content->indexOf(const_cast<Dtk::Widget::DLabel *>(hint)), 0);
    QCOMPARE(content->indexOf(const_cast<QTreeView *>(tree)), 1);
    QCOMPARE(content->contentsMargins(), QMargins(10, 10, 10, 10));

    QCOMPARE(dialog.buttonCount(), 1);
    const QAbstractButton *close = dialog.getButton(0);
    QCOMPARE(close->text(), QStringLiteral("关\u00a0闭")); // DDialog spaces out two CJK characters
    QCOMPARE(close->minimumWidth(), 80);
    QCOMPARE(close->maximumWidth(), 120);

    // Shown: at its size, in the middle of the screen (give or take the
    // frame), hint, tree and button from top to bottom, the widths kept and
    // all three columns in view.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), QSize(900, 600));
    const QPoint offCentre = dialog.geometry().center() - dialog.screen()->geometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 8,
             qPrintable(QStringLiteral("%1, %2 px off the centre").arg(offCentre.x()).arg(offCentre.y())));
    QVERIFY(tree->viewport()->width() >= 800);
    QVERIFY(!tree->horizontalScrollBar()->isVisible());
    QVERIFY(hint->mapTo(&dialog, QPoint()).y() < tree->mapTo(&dialog, QPoint()).y());
    QVERIFY(tree->mapTo(&dialog, QPoint(0, tree->height())).y() <= close->mapTo(&dialog, QPoint()).y());
    QCOMPARE(tree->columnWidth(0), 600);
    QCOMPARE(tree->columnWidth(1), 100);
    QCOMPARE(tree->columnWidth(2), 100);
}

void JsonOutputDialogTest::startsExpandedInReportOrder()
{
    const JsonOutputDialog dialog(kTitle, kDataReport);
    const QTreeView *tree = treeOf(dialog);
    const QAbstractItemModel &model = *tree->model();
    QCOMPARE(rowsOf(dialog), QStringLiteral("/data|/data|3000|100.0%\n"
                                            "  a|/data/a|1000|33.3%\n"
                                            "  b|/data/b|2000|66.7%\n"
                                            "    c|/data/b/c|900|30.0%"));
    const QModelIndex top = model.index(0, 0);
    QVERIFY(tree->isExpanded(top));
    QVERIFY(tree->isExpanded(model.index(1, 0, top)));
}

void JsonOutputDialogTest::closeButtonAccepts()
{
    JsonOutputDialog dialog(kTitle, kDataReport);
    QTimer::singleShot(0, &dialog, [&dialog] {
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.getButton(0), Qt::LeftButton);
    });
    QTimer::singleShot(5000, &dialog, [&dialog] { dialog.done(-1); }); // ends a stuck run
    // DDialog ends the run with the button's index before the window's own
    // handler accepts.
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
}

void JsonOutputDialogTest::topLevelArray_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("empty array") << QByteArray("[]");
    QTest::newRow("array of nodes") << QByteArray(R"([{"name":"/x","size":"1"}])");
}

void JsonOutputDialogTest::topLevelArray()
{
    QFETCH(QByteArray, json);
    const JsonOutputDialog dialog(kTitle, json);
    QCOMPARE(rowsOf(dialog), QStringLiteral("|||N/A"));
}

void JsonOutputDialogTest::parseError_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain text") << QByteArray("/data 3000") << QStringLiteral("JSON 解析错误: illegal value");
    QTest::newRow("cut short") << QByteArray("{") << QStringLiteral("JSON 解析错误: unterminated object");
    QTest::newRow("no separator") << QByteArray(R"({"name" "/data"})")
                                  << QStringLiteral("JSON 解析错误: missing name separator");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("JSON 解析错误: illegal value");
}

void JsonOutputDialogTest::parseError()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    JsonOutputDialog dialog(kTitle, bytes);
    const QAbstractItemModel &model = *treeOf(dialog)->model();
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), text);
    QVERIFY(!model.index(0, 1).data().isValid());
    QVERIFY(!model.index(0, 2).data().isValid());
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);

    // The error row reveals nothing and leaves the window open.
    const FakeFileManager fileManager;
    dialog.show();
    emit treeOf(dialog)->doubleClicked(model.index(0, 0));
    QVERIFY(dialog.isVisible());
    QVERIFY(!fileManager.ran());
}

void JsonOutputDialogTest::doubleClickRevealsFullPath()
{
    const FakeFileManager fileManager;
    JsonOutputDialog dialog(kTitle, kDataReport);
    dialog.show();
    const QModelIndex nested = nameCellOf(*treeOf(dialog)->model(), QStringLiteral("/data/b/c"));
    QCOMPARE(nested.data().toString(), QStringLiteral("c"));

    LogCapture log;
    emit treeOf(dialog)->doubleClicked(nested);
    QCOMPARE(log.standardOutput(),
             QStringLiteral("run  %1 --show-item \"/data/b/c\"\n").arg(fileManager.program()));
    QCOMPARE(fileManager.arguments(), QStringList({"--show-item", "/data/b/c"}));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void JsonOutputDialogTest::doubleClickByMouseEndsExec()
{
    const FakeFileManager fileManager;
    JsonOutputDialog dialog(kTitle, kDataReport);
    QTreeView *tree = treeOf(dialog);
    const QModelIndex b = nameCellOf(*tree->model(), QStringLiteral("/data/b"));
    QTimer::singleShot(0, &dialog, [&dialog, tree, b] {
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        doubleClick(tree, b);
    });
    QTimer::singleShot(5000, &dialog, [&dialog] { dialog.done(-1); });
    LogCapture log;
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(fileManager.arguments(), QStringList({"--show-item", "/data/b"}));
    QVERIFY(!tree->findChild<QLineEdit *>());
}

void JsonOutputDialogTest::doubleClickDoesNothing_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("column");
    QTest::newRow("size cell") << kDataReport << "/data/b" << 1;
    QTest::newRow("percentage cell") << kDataReport << "/data/b" << 2;
    QTest::newRow("empty name") << QByteArray(
                                       R"({"name":"/e","size":"1","children":[{"name":"","size":"1"}]})")
                                << "" << 0;
    QTest::newRow("missing name") << QByteArray(R"({"name":"/e","size":"1","children":[{"size":"1"}]})") << ""
                                  << 0;
}

void JsonOutputDialogTest::doubleClickDoesNothing()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, path);
    QFETCH(int, column);
    const FakeFileManager fileManager;
    JsonOutputDialog dialog(kTitle, json);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTreeView *tree = treeOf(dialog);
    const QAbstractItemModel &model = *tree->model();
    const QModelIndex name = path.isEmpty() ? model.index(0, 0, model.index(0, 0)) : nameCellOf(model, path);
    const QModelIndex cell = name.siblingAtColumn(column);
    QVERIFY(cell.isValid());

    QSignalSpy doubleClicks(tree, &QAbstractItemView::doubleClicked);
    LogCapture log;
    doubleClick(tree, cell);
    QCOMPARE(doubleClicks.count(), 1);
    QVERIFY(dialog.isVisible());
    QVERIFY(log.standardOutput().isEmpty());
    QVERIFY(!fileManager.ran());
    // Neither the double-click nor the edit key opened an editor.
    tree->setCurrentIndex(cell);
    QTest::keyClick(tree, Qt::Key_F2);
    QVERIFY(!tree->findChild<QLineEdit *>());
}

void JsonOutputDialogTest::hostilePathIsOneArgument_data()
{
    QTest::addColumn<QString>("path");
    // MARKER stands for a file that only shell syntax in the path could create.
    QTest::newRow("double quotes") << R"(/d/a"; touch "MARKER)";
    QTest::newRow("dollar") << "/d/$(touch MARKER)";
    QTest::newRow("backquotes") << "/d/`touch MARKER`";
    QTest::newRow("backslash") << R"(/d/a\"; touch MARKER; \")";
    QTest::newRow("semicolon") << "/d/a;touch MARKER";
    QTest::newRow("blanks") << "/d/my files/a b";
    QTest::newRow("newline") << "/d/a\ntouch MARKER";
    QTest::newRow("format markers") << "/d/%1 %2";
}

void JsonOutputDialogTest::hostilePathIsOneArgument()
{
    QFETCH(QString, path);
    const FakeFileManager fileManager;
    path.replace(QStringLiteral("MARKER"), fileManager.filePath(QStringLiteral("marker")));
    const QJsonObject node{{"name", path}, {"size", "1"}};
    JsonOutputDialog dialog(kTitle, QJsonDocument(node).toJson());
    dialog.show();

    LogCapture log;
    emit treeOf(dialog)->doubleClicked(nameCellOf(*treeOf(dialog)->model(), path));
    QCOMPARE(fileManager.arguments(), QStringList({"--show-item", path}));
    QVERIFY(!QFile::exists(fileManager.filePath(QStringLiteral("marker"))));
    QCOMPARE(log.standardOutput(),
             QStringLiteral("run  %1 --show-item \"%2\"\n").arg(fileManager.program(), path));
    QVERIFY(!dialog.isVisible());
}

void JsonOutputDialogTest::sorting_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("names");

    // Sizes and shares chosen so that text order and numeric order differ.
    const auto asc = int(Qt::AscendingOrder);
    const auto desc = int(Qt::DescendingOrder);
    QTest::newRow("size ascending") << 1 << asc << "unreadable ten-k nine-hundred-m one-point-two-g";
    QTest::newRow("size descending") << 1 << desc << "one-point-two-g nine-hundred-m ten-k unreadable";
    QTest::newRow("name ascending") << 0 << asc << "nine-hundred-m one-point-two-g ten-k unreadable";
    QTest::newRow("name descending") << 0 << desc << "unreadable ten-k one-point-two-g nine-hundred-m";
    QTest::newRow("percentage ascending") << 2 << asc << "unreadable ten-k nine-hundred-m one-point-two-g";
}

void JsonOutputDialogTest::sorting()
{
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QString, names);
    // Total 10G: shares 0.0%, 0.0% (10K), 8.8% (900M), 12.0% (1.2G).
    JsonOutputDialog dialog(kTitle, R"({"name":"/s","size":"10G","children":[
        {"name":"/s/one-point-two-g","size":"1.2G"},
        {"name":"/s/unreadable","size":"x"},
        {"name":"/s/nine-hundred-m","size":"900M"},
        {"name":"/s/ten-k","size":"10K"}]})");
    QTreeView *tree = treeOf(dialog);
    tree->sortByColumn(column, Qt::SortOrder(order));
    QCOMPARE(namesUnder(*tree->model(), tree->model()->index(0, 0)), names);
}

QTEST_MAIN(JsonOutputDialogTest)
#include "tst_jsonoutputdialog.moc"
