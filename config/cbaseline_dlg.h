#pragma once
// The baseline dialog: readings of one sensor, their average as the new reference, limits derived
// from it by a percentage or by fixed offsets, a one-cell preview, and per-channel statistics of
// the checked readings against the limits under edit. Works on `selectedPage` and the working
// arrays of baseline_edit.h; the caller writes them back to the page and the boards after OK.
#include "colorbar.h"

#include <QBrush>
#include <QDialog>

#include <array>
#include <cstdint>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

class CBaseLineDlg final : public QDialog {
    Q_OBJECT

public:
    enum ControlId {
        IDC_READINGS = 1004,
        IDC_READ = 1005,
        IDC_LOAD = 1006,
        IDC_SAVE = 1007,
        IDC_AVERAGE_LIST = 1008,
        IDC_AVERAGE = 1009,
        IDC_BY_PERCENTAGE = 1010,
        IDC_PERCENTAGE = 1011,
        IDC_BY_VALUE = 1012,
        IDC_UPPER_OFFSET = 1013,
        IDC_LOWER_OFFSET = 1014,
        IDC_RANGE_MIN = 1015,
        IDC_RANGE_MAX = 1016,
        IDC_SET = 1017,
        IDC_PREVIEW = 1018,
        IDC_SIMILARITY_ON = 1019,
        IDC_SIMILARITY_THRESHOLD = 1020,
        IDC_ALL_ON = 1037,
        IDC_ALL_OFF = 1038,
        IDC_STATISTICS = 1039,
        IDC_OK = 1,
        IDC_CANCEL = 2,
    };
    // Rows of the statistics list, top to bottom.
    enum StatisticsRow { STAT_MIN, STAT_MAX, STAT_MEAN, STAT_SIGMA, STAT_CPK, STAT_ROWS };

    // Opens on `selectedPage` with the similarity settings of the clicked cell.
    CBaseLineDlg(bool similarityOn, double similarityThreshold, QWidget* parent = nullptr);
    ~CBaseLineDlg() override;

    // The control with that id (its "controlId" property), or nullptr.
    QWidget* Control(int id) const;

    void OnRead();
    void OnLoad();
    void OnSave();
    void OnAverage();
    void OnSet();
    void OnByPercentage();
    void OnByValue();
    void OnSimilaritySwitch();
    void OnAllOn();
    void OnAllOff();
    void OnOK();
    // Moves the controls into the fields (true) or the fields into the controls (false). Taking
    // stops at the first refused control, with the message and the focus on it; the fields
    // before it are already taken.
    bool UpdateData(bool saveAndValidate);

    QTableWidget* readingsList = nullptr;
    QTableWidget* averageList = nullptr;
    CColorBar preview;
    std::int32_t rangeMin = 0;
    std::int32_t rangeMax = 0;
    float percentage = 0.0F;
    std::int32_t upperOffset = 0;
    std::int32_t lowerOffset = 0;
    bool byPercentage = false;
    bool byValue = false;
    std::int32_t readingCount = 0;
    // One entry per reading, in the order taken or loaded; grows past 255 so that nothing is lost.
    std::vector<std::array<std::int32_t, 32>> readings;
    bool initialSimilarityOn = false;
    double initialSimilarityThreshold = 0.0;
    bool averaged = false;
    QTableWidget* statisticsList = nullptr;

public slots:
    void accept() override { OnOK(); }

private:
    void BuildControls();
    void OnInitDialog();
    void SetUpList(QTableWidget* list, bool checkBoxes);
    void InsertReadingRow(const QString& label, bool checked, const std::array<std::int32_t, 32>& values,
                          const QBrush& background = QBrush());
    void SetPageMask(std::uint8_t state);
    void UpdateStatistics();
    bool RowChecked(int row) const;
    int RowOfReading(int reading) const { return readingCount - 1 - reading; }

    QLineEdit* edit(int id) const;
    QCheckBox* check(int id) const;
    bool filling_ = false; // rows are being filled: check-box changes come from us
};
