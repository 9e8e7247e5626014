#pragma once

// The reader activation dialog: the worker programs the desktop reader with the profile
// (its key A, number and sector); the outcome shows for 3 seconds, then the dialog closes
// by itself. There is no waiting animation and no close button. Escape still closes the
// dialog (and pauses the worker) while the reader gives no answer either way, so the
// operator is never stuck with it.

#include "dialogs/carddialog.h"

class QLineEdit;

class TfrmReaderActivate : public TCardDialog
{
    Q_OBJECT

public:
    explicit TfrmReaderActivate(QWidget *parent = nullptr);

    static QString SuccessText();
    static QString FailureText();

    // Controls
    QLabel *Label2;
    QLineEdit *edtProfileName;

    // The message time has run out: hide the message; when the worker is paused (the
    // result handlers pause it), close the dialog.
    void TimerTimer() override;

protected:
    int32_t JobAction() const override;
    void FormShow() override;
    void FormHide() override;
    void CardDetected() override;
    void CardProcessed(TCardEvent *event) override;
    void CardWriteError(TCardEvent *event) override;
};

extern TfrmReaderActivate *frmReaderActivate;
