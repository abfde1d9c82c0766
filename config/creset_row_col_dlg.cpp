// The rows/columns dialog: two counts in dialog-unit layout and their checked exchange.
#include "creset_row_col_dlg.h"

#include "dialog_exchange.h"
#include "dialog_fit.h"
#include "dialog_units.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

namespace {
const QString APP_CAPTION = QStringLiteral("Vorlaine");

template <typename T>
T* Place(T* widget, int id, const QRect& units)
{
    widget->setProperty("controlId", id);
    widget->setGeometry(DialogUnitsToPixels(units, widget->font()));
    return widget;
}
} // namespace

CResetRowColDlg::CResetRowColDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Dialog"));
    setFont(DialogFont());
    setFixedSize(DialogUnitsToPixels(QRect(0, 0, 187, 55)).size());

    // Created in tab order.
    Place(new QLabel(tr("每行分配数"), this), 0, QRect(10, 15, 48, 8));
    Place(new QLineEdit(this), IDC_ROW_COUNT, QRect(60, 10, 40, 14));
    Place(new QLabel(tr("每列分配数"), this), 0, QRect(10, 35, 48, 8));
    Place(new QLineEdit(this), IDC_COLUMN_COUNT, QRect(60, 30, 40, 14));
    auto* ok = Place(new QPushButton(QStringLiteral("OK"), this), IDC_OK, QRect(130, 15, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    auto* cancel = Place(new QPushButton(QStringLiteral("Cancel"), this), IDC_CANCEL, QRect(130, 32, 50, 14));
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    FitTextLines(this);
}

QWidget* CResetRowColDlg::Control(int id) const
{
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->property("controlId").toInt() == id)
            return w;
    return nullptr;
}

QLineEdit* CResetRowColDlg::edit(int id) const
{
    return qobject_cast<QLineEdit*>(Control(id));
}

void CResetRowColDlg::showEvent(QShowEvent* event)
{
    // Only our own show: a window coming back from the system keeps what the user typed.
    if (!event->spontaneous())
        UpdateData(false);
    QDialog::showEvent(event);
}

void CResetRowColDlg::OnOK()
{
    if (UpdateData(true))
        QDialog::accept();
}

bool CResetRowColDlg::UpdateData(bool saveAndValidate)
{
    if (!saveAndValidate) {
        edit(IDC_COLUMN_COUNT)->setText(QString::number(columnCount));
        edit(IDC_ROW_COUNT)->setText(QString::number(rowCount));
        return true;
    }

    auto refuse = [this](int id, const QString& text) {
        QMessageBox box(QMessageBox::Warning, APP_CAPTION, text, QMessageBox::Ok, this);
        box.exec();
        QLineEdit* field = edit(id);
        field->setFocus();
        field->selectAll();
        return false;
    };
    auto take = [&](int id, int& field, int low, int high) {
        const auto value = ParseDialogInteger(edit(id)->text());
        if (!value)
            return refuse(id, tr("请输入一个整数。"));
        field = *value;
        if (field < low || field > high)
            return refuse(id, tr("请输入一个 %1 至 %2 之间的整数。").arg(low).arg(high));
        return true;
    };
    return take(IDC_COLUMN_COUNT, columnCount, 1, 10) && take(IDC_ROW_COUNT, rowCount, 1, 5);
}
