#pragma once

#include "dialogs/carddialog.h"

class QLineEdit;

// The card erase dialog: returns cards of the profile to the factory transport
// configuration, one after another, and drops each erased card from the register.
class TfrmCardErase : public TCardDialog
{
    Q_OBJECT

public:
    explicit TfrmCardErase(QWidget *parent = nullptr);

    QLabel *Label2;
    QLineEdit *edtProfileName;

protected:
    int32_t JobAction() const override;
    void FormShow() override;
    void CardProcessed(TCardEvent *event) override;
    void CardProcessError(TCardEvent *event) override;
};

extern TfrmCardErase *frmCardErase;
