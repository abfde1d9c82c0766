#include "cinfo_dialog.h"

#include "dialog_units.h"
#include "logo.h"

#include <QLabel>
#include <QLineEdit>

CInfoDialog::CInfoDialog(QWidget* parent, bool brackwellTech) : QDialog(parent), brackwellTech_(brackwellTech) {}

QWidget* CInfoDialog::Control(int id) const
{
    return FindControl(this, id);
}

void CInfoDialog::ShowLogo(const QString& tag)
{
    ShowLogoIn(logo_, LogoBitmapForTag(tag, brackwellTech_));
}

void CInfoDialog::OnInitDialog()
{
    if (initialised_)
        return;
    initialised_ = true;
    InitControls();
}

void CInfoDialog::showEvent(QShowEvent* event)
{
    OnInitDialog();
    QDialog::showEvent(event);
}

void CInfoDialog::SetFieldText(int id, const QString& text) const
{
    if (auto* edit = qobject_cast<QLineEdit*>(Control(id)))
        edit->setText(text);
}
