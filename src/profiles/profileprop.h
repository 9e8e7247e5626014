#pragma once

#include <QDialog>

#include <cstdint>

class QAction;
class QCheckBox;
class QDateTimeEdit;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The profile dialog: name, sector, keys and password of a new profile derived from the
// current one. The caller runs PrepareForNew, sets lblProfileName, shows it modally and
// on OK reads the entries, the two check boxes and KeyA()/KeyB().
class TfrmProfileProp : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmProfileProp(QWidget *parent = nullptr);

    // Controls
    QLineEdit *edtName;
    QLabel *lblProfileName;
    QDateTimeEdit *edtDate;
    QSpinBox *sedSectorNumber;
    QLineEdit *edtKeyA;
    QLineEdit *edtKeyB;
    QLineEdit *edtPasswd1;
    QLineEdit *edtPasswd2;
    QCheckBox *cbxUseOriginalId;
    QCheckBox *cbMasterCard;
    QLabel *lblHint;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    QAction *actOk;

    // Resets every field but cbxUseOriginalId, whose tick carries over within a run.
    void PrepareForNew();

    // The keys as entered: 48-bit values, unfilled positions read as 0.
    int64_t KeyA() const;
    int64_t KeyB() const;

    // The value of a key entry: its twelve hexadecimal positions without the separating
    // blanks, unfilled or missing positions read as 0, the first position most
    // significant.
    static int64_t GetHexData(const QLineEdit *entry);

    // The key entry filter: a to z become upper case; anything but 0-9 and A-F is
    // discarded (a null character is returned).
    static QChar edtKeyAKeyPress(QChar key);

    // Why a password cannot be stored so that it unlocks the profile later, or an empty
    // text when it can: the key data separates its fields with ":" and keeps only
    // characters up to U+00FF.
    static QString PasswordProblem(const QString &password);

    // The hint shown below the entries while nothing special is wrong.
    static QString DefaultHint();

    // Re-evaluates the OK rule (run after every change of an entry).
    void actOkUpdate();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void FormActivate();
    void cbxUseOriginalIdClick();
    void actOkExecute();
    bool KeyEntryKeyPress(QLineEdit *entry, QKeyEvent *event);
};

extern TfrmProfileProp *frmProfileProp;
