#pragma once

#include "dialogs/carddialog.h"

#include <cstdint>

class QComboBox;
class QLabel;
class TSecProfile;
class TSecProfileList;

// The master card dialog: writes blank cards that open under the source profile
// (profileOld) and carry the target profile's keys and sector. The worker starts only
// once a valid, active target is chosen in cbProfiles.
//
// Opened from the main window's launcher, cbProfiles is enabled and the operator chooses
// the target. Opened from profile creation, the caller presets profileNew (the new,
// active profile), selects its entry and disables cbProfiles: the dialog then takes that
// target up at once, so master cards from the base profile to the new one can be written
// right away.
class TfrmMasterCard : public TCardDialog
{
    Q_OBJECT

public:
    explicit TfrmMasterCard(QWidget *parent = nullptr);

    // The source profile; cards are recorded under its ID. Set by the launcher.
    TSecProfile *profileOld = nullptr;
    // The target profile last chosen (or preset by profile creation).
    TSecProfile *profileNew = nullptr;
    // The main window's profile list, handed over by its show step.
    TSecProfileList *ProfList = nullptr;
    // Index of the list entry selected at show time.
    int32_t fBaseId = -1;

    QLabel *lblPresentCard; // the instruction, shown while the worker waits for cards
    QLabel *Label2;
    QComboBox *cbProfiles;

    // A target is chosen in the list.
    void cbProfilesChange();

    // The message time has run out: the worker is resumed only while a target is chosen.
    void TimerTimer() override;

    static QString SuccessText();

protected:
    void FormShow() override;
    void CardProcessed(TCardEvent *event) override;
    void CardProcessError(TCardEvent *event) override;

private:
    // ActivateWithPassword, with a box when the password dialog is cancelled.
    bool ActivateProfile(TSecProfile *p);
    // Valid target for profileOld: another profile than the source, not "Пустой".
    bool ValidTarget(int32_t id) const;
    // Starts (or redirects) the worker for profileNew.
    void StartForTarget();

    // True while the worker has a valid target (from StartForTarget until a refused
    // choice or the next showing).
    bool fHasTarget = false;
};

extern TfrmMasterCard *frmMasterCard;
