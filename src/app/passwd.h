#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class TSecProfile;

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

// The refusal shown when an operation finds no profile to work on.
QString NotActivatedText();

// Makes the profile active, asking for its password through frmPass unless it is active
// already; true when it is active. False when there is no profile (refused with a
// "Нет профиля" box owned by parent), when the operator cancelled the password dialog
// (then cancelled runs, if given) or typed another password (nothing shown).
bool ActivateWithPassword(QWidget *parent, TSecProfile *profile,
                          const std::function<void()> &cancelled = {});
