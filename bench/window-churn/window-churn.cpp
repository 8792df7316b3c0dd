// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Opens and closes the tree window many times in one process on a generated
// report, and reports how resident memory and the time to build and show the
// window behave: RSS before and after the runs, its growth, and the median,
// fastest and slowest build-and-show time. Exits 1 when RSS grew by more than
// the allowed share.
//
// Both RSS figures are taken with Qt's pixmap cache emptied. The style keeps
// the painted button bevel there under the button's palette, and every close
// button gets a palette of its own, so each window adds an entry of about
// 8 KiB until the cache's own limit (QPixmapCache::cacheLimit, 10 MiB) is
// reached; that cache is Qt's, bounded, and not the window's memory. The
// figure with the cache as it is gets printed as well.
#include "jsonoutputdialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPixmapCache>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A report of exactly `nodes` nodes: the root, then directories of up to 100
// files each, with sizes in the tool's size texts.
QByteArray makeReport(int nodes)
{
    QByteArray json = R"({"name":"/data","size":"9.8G","children":[)";
    int left = nodes - 1;
    for (int dir = 0; left > 0; ++dir) {
        if (dir > 0)
            json += ',';
        json += R"({"name":"/data/dir)" + QByteArray::number(dir) + R"(","size":")" +
                QByteArray::number(100 + dir % 900) + R"(M")";
        --left;
        const int files = std::min(left, 100);
        if (files > 0) {
            json += R"(,"children":[)";
            for (int file = 0; file < files; ++file) {
                if (file > 0)
                    json += ',';
                json += R"({"name":"/data/dir)" + QByteArray::number(dir) + "/file" +
                        QByteArray::number(file) + R"(","size":")" + QByteArray::number(1 + file % 999) +
                        '.' + QByteArray::number(file % 10) + R"(K"})";
            }
            json += ']';
            left -= files;
        }
        json += '}';
    }
    json += "]}\n";
    return json;
}

// Resident set size in KiB, after handing freed heap pages back to the
// system so that only memory still in use counts.
long residentKiB()
{
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// Lets one turn of an event loop run, as the caller's loop would after the
// window closed: objects that Qt and the window handed to deleteLater() are
// deleted only there, not by processEvents() outside any loop.
void settle()
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
}

// Bytes the heap has handed out and not yet got back: live memory, without
// the freed pages that fragmentation keeps in the resident set.
std::size_t heapInUseBytes()
{
    return mallinfo2().uordblks;
}

// Builds the window from the report bytes and shows it, with its first
// layout and paint done; returns the milliseconds that took.
double openAndClose(const QByteArray &report)
{
    QElapsedTimer timer;
    timer.start();
    {
        JsonOutputDialog dialog(QStringLiteral("磁盘使用统计"), report);
        dialog.show();
        QCoreApplication::processEvents();
        const double elapsed = double(timer.nsecsElapsed()) / 1e6;
        dialog.close();
        settle();
        return elapsed;
    }
}

int argument(int argc, char **argv, const char *name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    }
    return fallback;
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argument(argc, argv, "--runs", 200);
    const int nodes = argument(argc, argv, "--nodes", 10000);
    const int allowedGrowthPercent = argument(argc, argv, "--max-growth", 5);
    QApplication application(argc, argv);

    const QByteArray report = makeReport(nodes);
    const long startKiB = residentKiB();
    // The first window loads fonts, style and platform caches once per
    // process; the baseline is taken after it is gone.
    const double firstMs = openAndClose(report);
    QPixmapCache::clear();
    const long beforeKiB = residentKiB();
    const std::size_t heapBefore = heapInUseBytes();

    std::vector<double> times;
    times.reserve(std::size_t(runs));
    for (int i = 0; i < runs; ++i)
        times.push_back(openAndClose(report));
    const long withCacheKiB = residentKiB();
    QPixmapCache::clear();
    const long afterKiB = residentKiB();
    const std::size_t heapAfter = heapInUseBytes();

    std::sort(times.begin(), times.end());
    const double median = times.empty() ? 0.0 : times[times.size() / 2];
    const double growth = 100.0 * double(afterKiB - beforeKiB) / double(beforeKiB);
    std::printf("report: %d nodes, %lld bytes; %d windows opened and closed\n", nodes,
                static_cast<long long>(report.size()), runs);
    std::printf("RSS at start: %ld KiB; after the first window: %ld KiB (first build and show %.1f ms)\n",
                startKiB, beforeKiB, firstMs);
    std::printf("RSS after the runs with Qt's pixmap cache as it is: %ld KiB (%+.2f%%)\n", withCacheKiB,
                100.0 * double(withCacheKiB - beforeKiB) / double(beforeKiB));
    std::printf("RSS before the runs: %ld KiB, after: %ld KiB, growth %+.2f%% (allowed %d%%)\n", beforeKiB,
                afterKiB, growth, allowedGrowthPercent);
    std::printf("heap in use before the runs: %zu bytes, after: %zu bytes (%+.0f bytes per window)\n",
                heapBefore, heapAfter, runs > 0 ? (double(heapAfter) - double(heapBefore)) / runs : 0.0);
    if (!times.empty())
        std::printf("build and show: median %.1f ms, fastest %.1f ms, slowest %.1f ms\n", median,
                    times.front(), times.back());
    return growth > allowedGrowthPercent ? 1 : 0;
}
