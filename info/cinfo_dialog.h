#pragma once
// The common part of the board information dialogs: filling the controls once when first shown,
// finding controls by id, and the logo picture chosen by a firmware author tag.
#include <QDialog>
#include <QString>

class QLabel;

class CInfoDialog : public QDialog {
    Q_OBJECT

public:
    QWidget* Control(int id) const;
    // Puts the logo of `tag` into the picture control.
    void ShowLogo(const QString& tag);
    // Fills the controls from the members; runs once, when the dialog is first shown.
    void OnInitDialog();

protected:
    // `brackwellTech`: the dialog takes the "BRACKWELLTECH" tag for the maker's logo.
    CInfoDialog(QWidget* parent, bool brackwellTech);
    virtual void InitControls() = 0;
    void showEvent(QShowEvent* event) override;
    void SetFieldText(int id, const QString& text) const;

    QLabel* logo_ = nullptr;

private:
    bool brackwellTech_;
    bool initialised_ = false;
};
