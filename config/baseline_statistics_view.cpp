// The baseline dialog's statistics list: per channel over the checked readings, the spread and
// the room it leaves inside the limits under edit.
#include "baseline_edit.h"
#include "cbaseline_dlg.h"
#include "channel_statistics.h"

#include <QTableWidget>

namespace {
const QString NONE = QString::fromUtf8("—");
const QColor NOT_CAPABLE(255, 160, 160);

void Put(QTableWidget* list, int row, int column, const QString& text, const QBrush& background = QBrush())
{
    QTableWidgetItem* item = list->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        list->setItem(row, column, item);
    }
    item->setText(text);
    item->setBackground(background);
}
} // namespace

void CBaseLineDlg::UpdateStatistics()
{
    std::vector<std::size_t> checked;
    for (std::size_t n = 0; n < readings.size(); ++n)
        if (RowChecked(RowOfReading(static_cast<int>(n))))
            checked.push_back(n);

    std::vector<std::int32_t> values(checked.size());
    for (int c = 0; c < 32; ++c) {
        const auto k = static_cast<std::size_t>(c);
        for (std::size_t i = 0; i < checked.size(); ++i)
            values[i] = readings[checked[i]][k];
        const ChannelStatistics s = ComputeChannelStatistics(values, editThresholdHigh[c], editThresholdLow[c]);
        const int column = c + 1;
        Put(statisticsList, STAT_MIN, column, s.count > 0 ? QString::number(s.minimum) : NONE);
        Put(statisticsList, STAT_MAX, column, s.count > 0 ? QString::number(s.maximum) : NONE);
        Put(statisticsList, STAT_MEAN, column, s.count > 0 ? QString::number(s.mean, 'f', 1) : NONE);
        Put(statisticsList, STAT_SIGMA, column, s.hasSigma ? QString::number(s.sigma, 'f', 2) : NONE);
        if (s.hasCpk)
            Put(statisticsList, STAT_CPK, column, QString::number(s.cpk, 'f', 1),
                s.cpk < CPK_CAPABLE ? QBrush(NOT_CAPABLE) : QBrush());
        else
            Put(statisticsList, STAT_CPK, column, NONE);
    }
}
