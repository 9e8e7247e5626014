#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The password dialog: asks for the password that unlocks a profile. The caller sets
// ProfName, shows it modally and compares Pass with the profile's password itself.
class TfrmPass : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmPass(QWidget *parent = nullptr);

    QString ProfName() const;
    void SetProfName(const QString &name);
    QString Pass() const;

    QLineEdit *edtProf;
    QLineEdit *edtPassword;
    QPushButton *btnOK;
    QPushButton *btnCancel;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormActivate();
    void edtPasswordChange();
};

extern TfrmPass *frmPass;
