// The rows/columns dialog: what the caller sets is shown, what OK takes is checked.
#include "creset_row_col_dlg.h"
#include "message_boxes.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

QLineEdit* Edit(const CResetRowColDlg& dlg, int id)
{
    return qobject_cast<QLineEdit*>(dlg.Control(id));
}

TEST(ResetRowColDialog, RefusedCountStopsTheExchangeAtItsEdit)
{
    struct Case {
        const char* columns;
        const char* rows;
        const char* message;
        int control;
    };
    const Case cases[] = {
        {"11", "3", "请输入一个 1 至 10 之间的整数。", CResetRowColDlg::IDC_COLUMN_COUNT},
        {"0", "3", "请输入一个 1 至 10 之间的整数。", CResetRowColDlg::IDC_COLUMN_COUNT},
        {"3", "6", "请输入一个 1 至 5 之间的整数。", CResetRowColDlg::IDC_ROW_COUNT},
        {"x", "3", "请输入一个整数。", CResetRowColDlg::IDC_COLUMN_COUNT},
        {"3", " ", "请输入一个整数。", CResetRowColDlg::IDC_ROW_COUNT},
        {"x", "9", "请输入一个整数。", CResetRowColDlg::IDC_COLUMN_COUNT}, // the first refusal only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.columns) + " x " + c.rows);
        CResetRowColDlg dlg;
        Edit(dlg, CResetRowColDlg::IDC_COLUMN_COUNT)->setText(c.columns);
        Edit(dlg, CResetRowColDlg::IDC_ROW_COUNT)->setText(c.rows);
        auto* ok = qobject_cast<QPushButton*>(dlg.Control(CResetRowColDlg::IDC_OK));
        EXPECT_EQ(messagesDuring([&] { ok->click(); }), QStringList{QString::fromUtf8(c.message)});
        EXPECT_EQ(dlg.result(), 0);
        QLineEdit* refused = Edit(dlg, c.control);
        EXPECT_EQ(dlg.focusWidget(), refused);
        EXPECT_EQ(refused->selectedText(), refused->text());
    }
}

TEST(ResetRowColDialog, ShowsTheCallersCountsAndTakesTheEditsOnlyOnOk)
{
    struct Case {
        const char* name;
        std::function<void(CResetRowColDlg&)> close;
        int result;
        int columns;
        int rows;
    };
    auto press = [](int id) {
        return [id](CResetRowColDlg& dlg) { qobject_cast<QPushButton*>(dlg.Control(id))->click(); };
    };
    auto key = [](Qt::Key k) {
        return [k](CResetRowColDlg& dlg) { QTest::keyClick(Edit(dlg, CResetRowColDlg::IDC_ROW_COUNT), k); };
    };
    const Case cases[] = {
        {"OK", press(CResetRowColDlg::IDC_OK), QDialog::Accepted, 3, 2},
        {"Enter", key(Qt::Key_Return), QDialog::Accepted, 3, 2},
        {"Cancel", press(CResetRowColDlg::IDC_CANCEL), QDialog::Rejected, 7, 4},
        {"Escape", key(Qt::Key_Escape), QDialog::Rejected, 7, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CResetRowColDlg dlg;
        dlg.columnCount = 7;
        dlg.rowCount = 4;
        QString shownRows;
        QString shownColumns;
        QTimer::singleShot(0, &dlg, [&] {
            shownRows = Edit(dlg, CResetRowColDlg::IDC_ROW_COUNT)->text();
            shownColumns = Edit(dlg, CResetRowColDlg::IDC_COLUMN_COUNT)->text();
            Edit(dlg, CResetRowColDlg::IDC_COLUMN_COUNT)->setText("3");
            Edit(dlg, CResetRowColDlg::IDC_ROW_COUNT)->setText("2");
            c.close(dlg);
            if (dlg.isVisible())
                dlg.done(-1); // still open: fail instead of hanging
        });
        const int result = dlg.exec();
        EXPECT_EQ(shownRows, "4");
        EXPECT_EQ(shownColumns, "7");
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(dlg.columnCount, c.columns);
        EXPECT_EQ(dlg.rowCount, c.rows);
    }
}

} // namespace
