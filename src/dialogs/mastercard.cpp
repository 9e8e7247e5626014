#include "dialogs/mastercard.h"

#include "app/modal.h"
#include "app/passwd.h"
#include "profiles/DatUtils.h"
#include "profiles/secprofiles.h"
#include "reader/thread/thread.h"

#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

TfrmMasterCard *frmMasterCard = nullptr;

TfrmMasterCard::TfrmMasterCard(QWidget *parent)
    : TCardDialog(QStringLiteral("Подготовка карты"),
                  QStringLiteral("Для программирования мастер-карты поднесите ЧИСТУЮ карту к "
                                 "настольному считывателю."),
                  parent)
{
    setObjectName(QStringLiteral("frmMasterCard"));
    // The instruction beside the picture is shown only while the worker waits for cards.
    lblPresentCard = Label1;
    lblPresentCard->setObjectName(QStringLiteral("lblPresentCard"));
    lblPresentCard->hide();

    Label2 = new QLabel(QStringLiteral("На какой профиль требуется переходить:"), pnlTop);
    Label2->setObjectName(QStringLiteral("Label2"));
    cbProfiles = new QComboBox(pnlTop);
    cbProfiles->setObjectName(QStringLiteral("cbProfiles"));
    cbProfiles->setEditable(false);
    ContentLayout()->addWidget(Label2);
    ContentLayout()->addWidget(cbProfiles);

    connect(cbProfiles, &QComboBox::activated, this, [this] { cbProfilesChange(); });
}

QString TfrmMasterCard::SuccessText()
{
    return QStringLiteral("Карта успешно инициализирована.");
}

bool TfrmMasterCard::ValidTarget(int32_t id) const
{
    return id >= 2 && !(profileOld && id == profileOld->ID());
}

void TfrmMasterCard::FormShow()
{
    // Profile creation presets its new profile as the target and disables the list.
    TSecProfile *preset = cbProfiles->isEnabled() ? nullptr : profileNew;

    BeginShow();
    // Nothing runs until a target is chosen.
    ImageWait->hide();
    ImageWait->Stop();

    const int64_t number = GetMaxCardNum();
    lblPresentCard->hide();
    profileNew = profileOld;
    HandOver(TA_WRITE_MASTER, profileOld, 1);
    if (mfrcthread)
        mfrcthread->cardnumber = number;
    fBaseId = cbProfiles->currentIndex();
    fHasTarget = false;

    if (preset && profileOld && ValidTarget(preset->ID()) && ActivateProfile(preset)) {
        profileNew = preset;
        StartForTarget();
    }
}

void TfrmMasterCard::StartForTarget()
{
    fHasTarget = true;
    lblPresentCard->show();
    if (mfrcthread)
        mfrcthread->profile1 = profileNew;
    if (WorkerPaused()) {
        ResumeWorker();
        ImageWait->show();
        ImageWait->Start();
    }
}

void TfrmMasterCard::cbProfilesChange()
{
    if (cbProfiles->currentIndex() < 0)
        return;
    const int32_t id = cbProfiles->currentData().toInt();
    lblPresentCard->hide();

    if (!ValidTarget(id)) {
        fHasTarget = false;
        if (!WorkerPaused())
            PauseWorker();
        ImageWait->hide();
        ImageWait->Stop();
        Modal::Message(this, QMessageBox::Critical, QStringLiteral("Нет профиля"),
                       QStringLiteral("Нельзя переходить на данный профиль. Выберите другой"));
        cbProfiles->setCurrentIndex(fBaseId);
        return;
    }

    profileNew = ProfList ? ProfList->ProfileByID(id) : nullptr;
    if (ActivateProfile(profileNew)) {
        StartForTarget();
        return;
    }
    // The worker's job is not changed: a worker already running for an earlier target
    // goes on with that target.
    cbProfiles->setCurrentIndex(fBaseId);
    Modal::Message(this, QMessageBox::Critical, QStringLiteral("Ошибка"),
                   QStringLiteral("Не удалось активировать профиль безопасности"));
}

void TfrmMasterCard::TimerTimer()
{
    if (fHasTarget || !IsShown()) {
        TCardDialog::TimerTimer();
        return;
    }
    // A target was refused while the message showed (the message had paused the worker):
    // the worker stays paused and the waiting picture hidden until a valid target is
    // chosen.
    Timer->stop();
    HideMsg();
}

bool TfrmMasterCard::ActivateProfile(TSecProfile *p)
{
    // Unlike the main window, a cancelled password dialog is answered with a box.
    return ActivateWithPassword(this, p, [this] {
        Modal::Message(this, QMessageBox::Critical, QStringLiteral("Ошибка пароля"),
                       QStringLiteral("Неверный пароль - профиль не активирован."));
    });
}

void TfrmMasterCard::CardProcessed(TCardEvent *event)
{
    if (!mfrcthread || !profileOld)
        return;
    // The worker runs until the message below pauses it; should it take up another card
    // before this event is handled, the event still names the card it is about.
    const int64_t serial = event ? event->Serial() : mfrcthread->serial.load();
    const int64_t number = event ? event->CardNumber() : mfrcthread->cardnumber.load();
    // Every card of this dialog is a master card (the job it hands the worker says so).
    AddCard(profileOld->ID(), 1, serial, number);
    // A result that reaches the dialog after closing leaves the worker's number alone: the
    // worker may serve another dialog by now, and the next showing takes a fresh number.
    if (IsShown())
        mfrcthread->cardnumber = GetMaxCardNum();
    ShowMsg(false, SuccessText(), 2000);
}

void TfrmMasterCard::CardProcessError(TCardEvent *)
{
    ShowMsg(true, WriteErrorText(), 5000);
}
