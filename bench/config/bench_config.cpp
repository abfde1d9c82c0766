// Load and save of a full configuration (8 x 8 grid, 64 pages) through the page table and the
// grid, as the File menu does them; medians and worst of N runs in ms.
//   bench_config [runs]
#include "colorbar.h"
#include "configuration_file.h"
#include "page_table.h"

#include "median_report.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 50;

    InitPageTableDefaults();
    CColorBar grid;
    grid.SetColumns(8);
    grid.SetRows(8);
    QTemporaryDir dir;
    const std::string fresh = dir.filePath(QStringLiteral("fresh.ini")).toStdString();
    const std::string existing = dir.filePath(QStringLiteral("station.ini")).toStdString();
    if (!SaveConfigurationFile(existing, grid))
        return 1;

    int n = 0;
    report("save, new file", [&] {
        std::remove((fresh + std::to_string(n)).c_str());
        (void)SaveConfigurationFile(fresh + std::to_string(n++), grid);
    }, runs);
    report("save over the same file", [&] { (void)SaveConfigurationFile(existing, grid); }, runs);
    std::optional<ConfigurationRefusal> refusal;
    report("load", [&] { (void)LoadConfigurationFile(existing, grid, refusal); }, runs);
    return 0;
}
