// The baseline dialog's handlers: readings, the raw-data file, the average, the limits, the
// channel switches and the data exchange of its edit fields.
#include "baseline_edit.h"
#include "baseline_math.h"
#include "cbaseline_dlg.h"
#include "dialog_exchange.h"
#include "grid_model.h"
#include "page_table.h"
#include "raw_data_file.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>

#include <algorithm>
#include <functional>

namespace {
const QString APP_CAPTION = QStringLiteral("Vorlaine");

bool ValidPage(int page)
{
    return page >= 0 && page < PAGE_COUNT;
}

Channels16 ToChannels(const std::uint16_t (&values)[32])
{
    Channels16 out{};
    std::copy(std::begin(values), std::end(values), out.begin());
    return out;
}

void Store(const Channels16& values, std::uint16_t (&out)[32])
{
    std::copy(values.begin(), values.end(), std::begin(out));
}

// An empty position's reading: left unchecked, in light orange, for the operator to judge.
const QColor EMPTY_READING(255, 200, 120);

// Judged by the limits and channels under edit, as the records judge a position. With no channel
// tested nothing tells an empty position, so the reading is taken as it is.
bool LooksEmpty(const std::array<std::int32_t, 32>& values, const std::uint8_t (&states)[32])
{
    if (std::none_of(std::begin(states), std::end(states), [](std::uint8_t s) { return s == Active; }))
        return false;
    std::uint16_t read[32] = {};
    for (int k = 0; k < 32; ++k)
        read[k] = static_cast<std::uint16_t>(std::clamp(values[static_cast<std::size_t>(k)], 0, 65535));
    return ReadsEmpty(read, editThresholdLow, states);
}

void Message(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}
} // namespace

void CBaseLineDlg::InsertReadingRow(const QString& label, bool checked, const std::array<std::int32_t, 32>& values,
                                    const QBrush& background)
{
    filling_ = true;
    readingsList->insertRow(0);
    auto* first = new QTableWidgetItem(label);
    first->setFlags(first->flags() | Qt::ItemIsUserCheckable);
    first->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    readingsList->setItem(0, 0, first);
    for (int c = 0; c < 32; ++c)
        readingsList->setItem(0, c + 1, new QTableWidgetItem(QString::number(values[static_cast<std::size_t>(c)])));
    for (int c = 0; c <= 32; ++c)
        readingsList->item(0, c)->setBackground(background);
    filling_ = false;
}

bool CBaseLineDlg::RowChecked(int row) const
{
    const QTableWidgetItem* item = row >= 0 && row < readingsList->rowCount() ? readingsList->item(row, 0) : nullptr;
    return item != nullptr && item->checkState() == Qt::Checked;
}

void CBaseLineDlg::OnRead()
{
    const int n = readingCount;
    readingCount = n + 1;
    std::array<std::int32_t, 32> values{};
    if (ValidPage(selectedPage)) {
        std::lock_guard lock(pageTableLock());
        for (int k = 0; k < 32; ++k)
            values[static_cast<std::size_t>(k)] = pageTable[selectedPage].measured[k];
    }
    readings.push_back(values);
    std::uint8_t states[32] = {};
    preview.GetChannelStates(0, 0, states);
    // Near-zero values of an empty position would drag the mean and Cpk down.
    const bool empty = LooksEmpty(values, states);
    InsertReadingRow(QString::number(n), !empty, values, empty ? QBrush(EMPTY_READING) : QBrush());
    UpdateStatistics();
}

void CBaseLineDlg::OnLoad()
{
    QMessageBox ask(QMessageBox::Question, QString(), tr("真正需要重新载入？"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    if (ask.exec() != QMessageBox::Ok)
        return;
    readingsList->setRowCount(0);
    // The store follows the list, so that a later "Save" never writes readings no row shows.
    readings.clear();
    readingCount = 0;

    std::vector<RawReading> loaded;
    if (!ReadRawDataFile(RAW_DATA_PATH, loaded)) {
        UpdateStatistics();
        Message(this, QMessageBox::NoIcon, QString(), tr("文件不存在"));
        return;
    }
    readingsList->setUpdatesEnabled(false);
    readings.reserve(loaded.size());
    for (const RawReading& r : loaded) {
        readings.push_back(r.values);
        InsertReadingRow(QString::fromLatin1(r.item.data(), static_cast<qsizetype>(r.item.size())), r.checked, r.values);
    }
    readingsList->setUpdatesEnabled(true);
    readingCount = static_cast<std::int32_t>(readings.size());
    UpdateStatistics();
}

void CBaseLineDlg::OnSave()
{
    std::vector<RawLine> lines(readings.size());
    for (std::size_t n = 0; n < readings.size(); ++n) {
        lines[n].checked = RowChecked(RowOfReading(static_cast<int>(n)));
        lines[n].values = readings[n];
    }
    std::string error;
    if (!WriteRawDataFile(RAW_DATA_PATH, lines, &error))
        Message(this, QMessageBox::Warning, APP_CAPTION,
                tr("原始数据文件 %1 保存失败：%2")
                    .arg(QString::fromLatin1(RAW_DATA_PATH), QString::fromStdString(error)));
}

void CBaseLineDlg::OnAverage()
{
    if (readingsList->rowCount() == 0)
        return;
    std::vector<std::array<std::int32_t, 32>> rows;
    for (int row = 0; row < readingsList->rowCount(); ++row) {
        if (!RowChecked(row))
            continue;
        std::array<std::int32_t, 32> values{};
        for (int c = 0; c < 32; ++c) {
            const QTableWidgetItem* item = readingsList->item(row, c + 1);
            values[static_cast<std::size_t>(c)] = item != nullptr ? LeadingInteger(item->text()) : 0;
        }
        rows.push_back(values);
    }
    const auto average = AverageChannels(rows);
    if (!average) {
        // Nothing to average: say so once and keep the references as they are.
        Message(this, QMessageBox::Warning, APP_CAPTION, QStringLiteral("ERR"));
        return;
    }
    for (int c = 0; c < 32; ++c) {
        const std::int32_t value = (*average)[static_cast<std::size_t>(c)];
        averageList->setItem(0, c + 1, new QTableWidgetItem(QString::number(value)));
        editRefData[c] = static_cast<std::uint16_t>(value);
    }
    averageList->item(0, 0)->setCheckState(Qt::Checked);
    preview.SetReference(0, 0, editRefData);
    preview.SetValues(0, 0, editRefData);
    averaged = true;
    UpdateStatistics();
}

void CBaseLineDlg::OnSet()
{
    UpdateData(true);
    const Channels16 reference = ToChannels(editRefData);
    if (byPercentage) {
        const DerivedLimits limits = LimitsByPercentage(reference, percentage);
        Store(limits.upper, editThresholdHigh);
        Store(limits.lower, editThresholdLow);
    }
    if (byValue) {
        const DerivedLimits limits = LimitsByValue(reference, upperOffset, lowerOffset);
        Store(limits.upper, editThresholdHigh);
        Store(limits.lower, editThresholdLow);
    }
    // Without a new reference the preview keeps the limits it had.
    if (averaged) {
        preview.SetUpperLimits(0, 0, editThresholdHigh);
        preview.SetLowerLimits(0, 0, editThresholdLow);
    }
    UpdateData(true);
    preview.SetDataRange(0, 0, rangeMax, rangeMin);
    std::uint8_t states[32] = {};
    preview.GetChannelStates(0, 0, states);
    for (int k = 0; k < 32; ++k)
        editMask[k] = states[k];
    OnSimilaritySwitch();
    UpdateStatistics();
}

void CBaseLineDlg::OnByPercentage()
{
    check(IDC_BY_PERCENTAGE)->setChecked(true);
    check(IDC_BY_VALUE)->setChecked(false);
}

void CBaseLineDlg::OnByValue()
{
    check(IDC_BY_VALUE)->setChecked(true);
    check(IDC_BY_PERCENTAGE)->setChecked(false);
}

void CBaseLineDlg::OnSimilaritySwitch()
{
    preview.SetSimilarityOn(0, 0, check(IDC_SIMILARITY_ON)->isChecked());
    preview.SetSimilarityThreshold(0, 0, LeadingNumber(edit(IDC_SIMILARITY_THRESHOLD)->text()) / 100);
}

void CBaseLineDlg::SetPageMask(std::uint8_t state)
{
    std::uint8_t states[32] = {};
    for (int k = 0; k < 32; ++k) {
        editMask[k] = state;
        states[k] = state;
    }
    if (ValidPage(selectedPage)) {
        std::lock_guard lock(pageTableLock());
        for (int k = 0; k < 32; ++k)
            pageTable[selectedPage].mask[k] = state;
    }
    preview.SetChannelStates(0, 0, states);
}

void CBaseLineDlg::OnAllOn()
{
    SetPageMask(0);
}

void CBaseLineDlg::OnAllOff()
{
    SetPageMask(1);
}

void CBaseLineDlg::OnOK()
{
    std::uint8_t states[32] = {};
    preview.GetChannelStates(0, 0, states);
    for (int k = 0; k < 32; ++k)
        editMask[k] = states[k];
    if (UpdateData(true))
        QDialog::accept();
}

bool CBaseLineDlg::UpdateData(bool saveAndValidate)
{
    if (!saveAndValidate) {
        edit(IDC_RANGE_MIN)->setText(QString::number(rangeMin));
        edit(IDC_RANGE_MAX)->setText(QString::number(rangeMax));
        edit(IDC_PERCENTAGE)->setText(FormatDialogNumber(percentage));
        edit(IDC_UPPER_OFFSET)->setText(QString::number(upperOffset));
        edit(IDC_LOWER_OFFSET)->setText(QString::number(lowerOffset));
        check(IDC_BY_PERCENTAGE)->setChecked(byPercentage);
        check(IDC_BY_VALUE)->setChecked(byValue);
        return true;
    }

    auto refuse = [this](int id, const QString& text) {
        Message(this, QMessageBox::Warning, APP_CAPTION, text);
        QLineEdit* field = edit(id);
        field->setFocus();
        field->selectAll();
        return false;
    };
    const QString notInteger = tr("请输入一个整数。");
    auto takeInteger = [&](int id, std::int32_t& field) {
        const auto value = ParseDialogInteger(edit(id)->text());
        if (value)
            field = *value;
        return value.has_value();
    };

    if (!takeInteger(IDC_RANGE_MIN, rangeMin))
        return refuse(IDC_RANGE_MIN, notInteger);
    if (rangeMin < 0 || rangeMin > 65535)
        return refuse(IDC_RANGE_MIN, tr("请输入一个 %1 至 %2 之间的整数。").arg(0).arg(65535));
    if (!takeInteger(IDC_RANGE_MAX, rangeMax))
        return refuse(IDC_RANGE_MAX, notInteger);
    const auto number = ParseDialogNumber(edit(IDC_PERCENTAGE)->text());
    if (!number)
        return refuse(IDC_PERCENTAGE, tr("请输入一个数字。"));
    percentage = *number;
    if (!takeInteger(IDC_UPPER_OFFSET, upperOffset))
        return refuse(IDC_UPPER_OFFSET, notInteger);
    if (!takeInteger(IDC_LOWER_OFFSET, lowerOffset))
        return refuse(IDC_LOWER_OFFSET, notInteger);
    byPercentage = check(IDC_BY_PERCENTAGE)->isChecked();
    byValue = check(IDC_BY_VALUE)->isChecked();
    return true;
}
