#pragma once

#include "dialogs/carddialog.h"

#include <cstdint>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

// The card issue dialog: turns blank cards into numbered user cards of the profile, one
// after another, and records each card issued.
class TfrmCard : public TCardDialog
{
    Q_OBJECT

public:
    explicit TfrmCard(QWidget *parent = nullptr);

    // The number the next card will carry (the worker's cardnumber always equals it).
    int64_t NextCardNumber = 0;

    // Number area
    QWidget *pnlNumber;
    QLabel *lblCardNumber;
    QLineEdit *edtCardNum;
    QGroupBox *rgrHexDec;
    QRadioButton *rbHex;
    QRadioButton *rbDec;
    QCheckBox *cbCustomNum;

    // Radix of the number entry.
    bool IsHex() const;

    // Handlers of the number entry.
    void rgrHexDecClick();
    void cbCustomNumClick();
    void edtCardNumChange();
    // A typed character before the field takes it: returns the character to enter (a
    // lower-case Latin letter becomes upper case), or a null QChar to discard it.
    QChar edtCardNumKeyPress(QChar key) const;

    // The number the field shows, read in the chosen radix; nullopt when the text cannot
    // be read as a number.
    std::optional<int64_t> ReadNumber() const;

protected:
    int32_t JobAction() const override;
    void FormShow() override;
    void FormHide() override;
    void CardProcessed(TCardEvent *event) override;
    void CardProcessError(TCardEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SetWorkerNumber();
    bool UsesOriginalId() const;

    bool fProgramWrite = false; // the program itself is rewriting the field
    bool fRetyping = false;     // a key press is being replaced by its upper-case form
};

extern TfrmCard *frmCard;
