// The baseline dialog's data work: reading a raw-data file of 255 readings, and the statistics of
// all 32 channels over them, alone and as the dialog does them ("Load" fills its list and its
// statistics; a check-box change recomputes them); medians and worst of N runs in ms.
//   bench_baseline [runs]
#include "baseline_edit.h"
#include "cbaseline_dlg.h"
#include "channel_statistics.h"
#include "raw_data_file.h"

#include "median_report.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    constexpr int kReadings = 255;

    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 12.0);
    std::vector<RawLine> lines(kReadings);
    for (RawLine& line : lines) {
        line.checked = random() % 8 != 0;
        for (std::size_t k = 0; k < line.values.size(); ++k)
            line.values[k] = static_cast<std::int32_t>(1000 + 10 * static_cast<int>(k) + noise(random));
    }
    char folder[] = "/tmp/bench_baselineXXXXXX";
    if (!::mkdtemp(folder))
        return 1;
    const std::string path = std::string(folder) + "/rawdata/rawdata.csv";
    std::string error;
    if (!WriteRawDataFile(path, lines, &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }

    std::vector<RawReading> readings;
    report("read 255 readings", [&] {
        if (!ReadRawDataFile(path, readings) || readings.size() != kReadings)
            std::abort();
    }, runs);

    double sink = 0.0;
    report("statistics, 32 x 255 readings", [&] {
        std::vector<std::int32_t> column;
        column.reserve(readings.size());
        for (std::size_t k = 0; k < RAW_CHANNELS; ++k) {
            column.clear();
            for (const RawReading& r : readings)
                column.push_back(r.values[k]);
            sink += ComputeChannelStatistics(column, 1100, 900).mean;
        }
    }, runs);
    report("save 255 readings", [&] { (void)WriteRawDataFile(path, lines, nullptr); }, runs);

    // The dialog's own "Load", its question answered at once, and a check-box change.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromLocal8Bit(folder));
    selectedPage = 0;
    CBaseLineDlg dlg(false, 0.9);
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Ok)->click();
    });
    answer.start(0);
    const int dialogRuns = std::max(1, runs / 10);
    report("dialog Load, 255 readings", [&] {
        dlg.OnLoad();
        if (dlg.readingsList->rowCount() != kReadings)
            std::abort();
    }, dialogRuns);
    answer.stop();
    bool on = false;
    report("dialog check-box change", [&] {
        dlg.readingsList->item(100, 0)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        on = !on;
    }, runs);
    QDir::setCurrent(previous);

    std::remove(path.c_str());
    ::rmdir((std::string(folder) + "/rawdata").c_str());
    ::rmdir(folder);
    return sink > 0.0 ? 0 : 1;
}
