#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QPushButton;
class QSpinBox;
class QStatusBar;

// The test window that fills the card register with made-up records, without a reader.
class TfrmTstGenCards : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmTstGenCards(QWidget *parent = nullptr);

    // The card number the next record receives.
    int64_t fNextCardNum = 0;

    QSpinBox *sedNumCards;
    QPushButton *btnGenerate;
    QPushButton *btnClose;
    QStatusBar *sbrStatus;
    QLabel *sbrPanel0; // 200 pixels: the next number
    QLabel *sbrPanel1; // 50 pixels: the count

    // The next free card number, shown in panel 0.
    int64_t FetchNextNumber();
    void btnGenerateClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
};

extern TfrmTstGenCards *frmTstGenCards;
