#pragma once

#include "dialogs/carddialog.h"

class QComboBox;
class QLabel;
class QPushButton;
class TSecProfile;
class TSecProfileList;

// The profile change dialog: rewrites issued cards of the source profile (profile1) for
// the target profile (profile2) and moves their records. The worker runs exactly while
// two different, active profiles are chosen; its messages do not pause it, so cards can
// be presented one after another without waiting for a message to end.
class TfrmChangeProf : public TCardDialog
{
    Q_OBJECT

public:
    explicit TfrmChangeProf(QWidget *parent = nullptr);

    TSecProfile *profile1 = nullptr; // source
    TSecProfile *profile2 = nullptr; // target
    // The main window's profile list, handed over by its show step.
    TSecProfileList *ProfList = nullptr;

    QLabel *Label8;
    QComboBox *cbProfiles1;
    QPushButton *btnActivate1;
    QLabel *Label3;
    QComboBox *cbProfiles2;
    QPushButton *btnActivate2;
    QLabel *lblErrorProfile;
    QLabel *lblPesentCard;

    void cbProfiles1Change();
    void cbProfiles2Change();
    void btnActivate1Click();
    void btnActivate2Click();
    // Starts the worker when both chosen profiles are usable, else says why and pauses it.
    void CheckProfiles();
    void FitContents();

    void TimerTimer() override;

    static QString SuccessText();
    // The card was rewritten but its records could not be moved to the target profile.
    static QString RecordFailedText();

protected:
    void FormShow() override;
    void CardProcessed(TCardEvent *event) override;
    void CardProcessError(TCardEvent *event) override;

private:
    TSecProfile *SelectedProfile(const QComboBox *combo) const;
    void ListChange(QComboBox *combo, QPushButton *activate, TSecProfile *&field,
                    const QString &refusal);
    void ActivateClick(QComboBox *combo, QPushButton *activate, TSecProfile *&field);
};

extern TfrmChangeProf *frmChangeProf;
