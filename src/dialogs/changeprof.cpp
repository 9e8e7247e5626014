#include "dialogs/changeprof.h"

#include "app/modal.h"
#include "app/passwd.h"
#include "profiles/DatUtils.h"
#include "profiles/secprofiles.h"
#include "reader/thread/thread.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

TfrmChangeProf *frmChangeProf = nullptr;

namespace {
const QString NoErrorText = QStringLiteral("ERROR");
}

TfrmChangeProf::TfrmChangeProf(QWidget *parent)
    : TCardDialog(QStringLiteral("Смена профиля карты"),
                  QStringLiteral("Для смены профиля укажите текущий профиль карты и профиль, "
                                 "которым будет перепрошита карта."),
                  parent)
{
    setObjectName(QStringLiteral("frmChangeProf"));
    // An ordinary resizable window.
    layout()->setSizeConstraint(QLayout::SetMinimumSize);
    setSizeGripEnabled(true);
    // Results follow one another without pausing the worker.
    MsgPausesWorker = false;

    Label8 = new QLabel(QStringLiteral("Старый профиль карты:"), pnlTop);
    Label8->setObjectName(QStringLiteral("Label8"));
    cbProfiles1 = new QComboBox(pnlTop);
    cbProfiles1->setObjectName(QStringLiteral("cbProfiles1"));
    btnActivate1 = new QPushButton(QStringLiteral("Активировать.."), pnlTop);
    btnActivate1->setObjectName(QStringLiteral("btnActivate1"));
    btnActivate1->setAutoDefault(false);
    Label3 = new QLabel(QStringLiteral("Новый профиль карты:"), pnlTop);
    Label3->setObjectName(QStringLiteral("Label3"));
    cbProfiles2 = new QComboBox(pnlTop);
    cbProfiles2->setObjectName(QStringLiteral("cbProfiles2"));
    btnActivate2 = new QPushButton(QStringLiteral("Активировать.."), pnlTop);
    btnActivate2->setObjectName(QStringLiteral("btnActivate2"));
    btnActivate2->setAutoDefault(false);

    lblErrorProfile = new QLabel(NoErrorText, pnlTop);
    lblErrorProfile->setObjectName(QStringLiteral("lblErrorProfile"));
    lblErrorProfile->setWordWrap(true);
    QPalette red = lblErrorProfile->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblErrorProfile->setPalette(red);
    lblErrorProfile->hide();
    lblPesentCard =
        new QLabel(QStringLiteral("Все установки готовы, поднесите карту к считывателю"), pnlTop);
    lblPesentCard->setObjectName(QStringLiteral("lblPesentCard"));
    lblPesentCard->setWordWrap(true);
    lblPesentCard->hide();

    auto *grid = new QGridLayout;
    grid->addWidget(Label8, 0, 0, 1, 2);
    grid->addWidget(cbProfiles1, 1, 0);
    grid->addWidget(btnActivate1, 1, 1);
    grid->addWidget(Label3, 2, 0, 1, 2);
    grid->addWidget(cbProfiles2, 3, 0);
    grid->addWidget(btnActivate2, 3, 1);
    grid->setColumnStretch(0, 1);
    ContentLayout()->addLayout(grid);
    ContentLayout()->addWidget(lblErrorProfile);
    ContentLayout()->addWidget(lblPesentCard);

    connect(cbProfiles1, &QComboBox::activated, this, [this] { cbProfiles1Change(); });
    connect(cbProfiles2, &QComboBox::activated, this, [this] { cbProfiles2Change(); });
    connect(btnActivate1, &QPushButton::clicked, this, [this] { btnActivate1Click(); });
    connect(btnActivate2, &QPushButton::clicked, this, [this] { btnActivate2Click(); });
}

QString TfrmChangeProf::SuccessText()
{
    return QStringLiteral("Карта успешно перепрограммирована.");
}

QString TfrmChangeProf::RecordFailedText()
{
    return QStringLiteral("Карта перепрограммирована, но изменить ее запись в базе данных не "
                          "удалось: запись осталась за прежним профилем.");
}

TSecProfile *TfrmChangeProf::SelectedProfile(const QComboBox *combo) const
{
    if (!ProfList || combo->currentIndex() < 0)
        return nullptr;
    return ProfList->ProfileByID(combo->currentData().toInt());
}

void TfrmChangeProf::FormShow()
{
    BeginShow();
    if (!WorkerPaused())
        PauseWorker();
    if (mfrcthread) {
        mfrcthread->hwnd = this;
        mfrcthread->threadaction = TA_REWRITE;
        mfrcthread->ismaster = 0;
    }
    profile1 = SelectedProfile(cbProfiles1);
    btnActivate1->setEnabled(profile1 && !profile1->Active());
    profile2 = SelectedProfile(cbProfiles2);
    btnActivate2->setEnabled(profile2 && !profile2->Active());
    CheckProfiles();
}

void TfrmChangeProf::CheckProfiles()
{
    QString reason;
    if (!profile1 || !profile2)
        reason =
            QStringLiteral("Не назначен как минимум один профиль для перепрограммирования карты.");
    else if (!profile1->Active() || !profile2->Active())
        reason =
            QStringLiteral("Для перепрограммирования карты оба профиля должны бфть активированы.");
    else if (profile1->ID() == profile2->ID())
        reason = QStringLiteral("Исходный и целевой профили безопасности должны быть разными.");

    if (reason.isEmpty()) {
        if (mfrcthread) {
            mfrcthread->profile0 = profile1;
            mfrcthread->profile1 = profile2;
        }
        ResumeWorker();
        ImageWait->show();
        ImageWait->Start();
        lblPesentCard->show();
        lblErrorProfile->hide();
        lblErrorProfile->setText(NoErrorText);
        FitContents();
        return;
    }
    lblErrorProfile->setText(reason);
    lblErrorProfile->show();
    if (!WorkerPaused())
        PauseWorker();
    ImageWait->hide();
    ImageWait->Stop();
    lblPesentCard->hide();
    FitContents();
}

void TfrmChangeProf::FitContents()
{
    // The wrapped texts need more height at the dialog's width than the layout's
    // minimum tells; grow the window rather than squeeze the lists and buttons.
    layout()->activate();
    const int needed = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                     : layout()->totalMinimumSize().height();
    if (height() < needed)
        resize(width(), needed);
}

void TfrmChangeProf::ListChange(QComboBox *combo, QPushButton *activate, TSecProfile *&field,
                                const QString &refusal)
{
    if (combo->currentIndex() < 0)
        return;
    const int32_t id = combo->currentData().toInt();
    TSecProfile *p = ProfList ? ProfList->ProfileByID(id) : nullptr;
    if (id < 2) {
        // The choice is ignored: the chosen profiles and the worker's job stay.
        Modal::Message(this, QMessageBox::Critical, QStringLiteral("Нет профиля"),
                       QStringLiteral("Профиль ") + (p ? p->Caption : combo->currentText()) +
                           refusal);
        return;
    }
    activate->setEnabled(p && !p->Active());
    field = p;
    CheckProfiles();
}

void TfrmChangeProf::cbProfiles1Change()
{
    ListChange(cbProfiles1, btnActivate1, profile1, QStringLiteral(" не может быть исходным."));
}

void TfrmChangeProf::cbProfiles2Change()
{
    ListChange(cbProfiles2, btnActivate2, profile2, QStringLiteral(" не может быть целевым."));
}

void TfrmChangeProf::ActivateClick(QComboBox *combo, QPushButton *activate, TSecProfile *&field)
{
    TSecProfile *p = SelectedProfile(combo);
    if (!ActivateWithPassword(this, p))
        return;
    field = p;
    activate->setEnabled(false);
    CheckProfiles();
}

void TfrmChangeProf::btnActivate1Click()
{
    ActivateClick(cbProfiles1, btnActivate1, profile1);
}

void TfrmChangeProf::btnActivate2Click()
{
    ActivateClick(cbProfiles2, btnActivate2, profile2);
}

void TfrmChangeProf::TimerTimer()
{
    // The worker was never paused by the message: nothing to resume.
    Timer->stop();
    if (!IsShown()) {
        HideMsg();
        return;
    }
    ShowWait();
    if (!lblErrorProfile->isHidden()) {
        // Not ready (a list changed while the message showed): nothing runs, so the
        // waiting picture stays hidden.
        ImageWait->hide();
        ImageWait->Stop();
    }
}

void TfrmChangeProf::CardProcessed(TCardEvent *event)
{
    if (!mfrcthread || !profile2)
        return;
    // The worker goes on taking up cards while a message shows, so by now its serial and
    // cardnumber may belong to a later card: the event carries those of its own card.
    const int64_t serial = event ? event->Serial() : mfrcthread->serial.load();
    const int64_t carried = event ? event->CardNumber() : mfrcthread->cardnumber.load();
    const int64_t number = profile2->UseOriginalId() ? 0 : carried;
    const bool updated = UpdateCard(profile2->ID(), serial, number);
    if (!updated) {
        // The card already carries the target profile; its records could not follow.
        ShowMsg(true, RecordFailedText(), 5000);
        return;
    }
    ShowMsg(false, SuccessText(), 2000);
}

void TfrmChangeProf::CardProcessError(TCardEvent *)
{
    ShowMsg(true, WriteErrorText(), 5000);
}
