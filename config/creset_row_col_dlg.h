#pragma once
// Asks how many cells a row and a column get. The caller sets the counts, runs the dialog and
// takes them back after OK.
#include <QDialog>

class QLineEdit;

class CResetRowColDlg final : public QDialog {
    Q_OBJECT

public:
    enum ControlId {
        IDC_ROW_COUNT = 1019,
        IDC_COLUMN_COUNT = 1020,
        IDC_OK = 1,
        IDC_CANCEL = 2,
    };

    explicit CResetRowColDlg(QWidget* parent = nullptr);

    // The control with that id (its "controlId" property), or nullptr.
    QWidget* Control(int id) const;

    void OnOK();
    // Moves the edits into the fields (true) or the fields into the edits (false). Taking stops at
    // the first refused edit, with the message and the focus on it; the fields before it are taken.
    bool UpdateData(bool saveAndValidate);

    int columnCount = 0; // 1..10
    int rowCount = 0;    // 1..5

public slots:
    void accept() override { OnOK(); }

protected:
    // The counts the caller set after construction reach the edits here.
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* edit(int id) const;
};
