#pragma once

// The card read dialog: the worker reads each presented card through the programmed
// reader, and the dialog shows the card's protected number and its own UID, and puts the
// same text on the clipboard. Messages do not pause the worker, so cards can be read one
// after another.

#include "dialogs/carddialog.h"

#include <QString>

class QPlainTextEdit;
struct TCradIds;

class TfrmCardRead : public TCardDialog
{
    Q_OBJECT

public:
    explicit TfrmCardRead(QWidget *parent = nullptr);

    // The text of a card read: three lines separated by CR LF, the protected number as 8
    // hex digits (Id2[3] first) and the UID as two digits per byte, last byte first.
    static QString ResultText(const TCradIds &ids);
    static QString ReadErrorText();

    // Controls
    QPlainTextEdit *Memo; // never visible: hands the result text to the clipboard

    // The message time has run out: back to waiting; when the worker is paused, close.
    void TimerTimer() override;

protected:
    int32_t JobAction() const override;
    void FormShow() override;
    void CardDetected() override;
    void CardProcessed(TCardEvent *event) override;
    void CardReadError(TCardEvent *event) override;
};

extern TfrmCardRead *frmCardRead;
