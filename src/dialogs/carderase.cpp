#include "dialogs/carderase.h"

#include "profiles/DatUtils.h"
#include "reader/thread/thread.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfrmCardErase *frmCardErase = nullptr;

TfrmCardErase::TfrmCardErase(QWidget *parent)
    : TCardDialog(QStringLiteral("Очистка карты"),
                  QStringLiteral("Для очистки карты, поднесите ее в поле действия считывателя."),
                  parent)
{
    setObjectName(QStringLiteral("frmCardErase"));

    AddProfileNameRow(Label2, edtProfileName);

    // Escape closes the dialog; Enter does not.
    btnClose->setDefault(false);
    btnClose->setAutoDefault(false);
}

int32_t TfrmCardErase::JobAction() const
{
    return TA_ERASE;
}

void TfrmCardErase::FormShow()
{
    BeginShow();
    edtProfileName->setText(profile ? profile->Caption : QString());
    // Erasing uses no number: the worker's cardnumber is left as it is.
    HandOver(TA_ERASE, profile, 0);
    ResumeWorker();
}

void TfrmCardErase::CardProcessed(TCardEvent *event)
{
    // Every record of the erased card goes, whichever profile it was recorded under. The
    // card is the one the event is about, even when the worker has taken up another since.
    const int64_t serial = event ? event->Serial() : (mfrcthread ? mfrcthread->serial.load() : 0);
    const bool removed = (event || mfrcthread) && DeleteCard(serial);
    if (removed) {
        ShowMsg(false, QStringLiteral("Карта успешно очищена и удалена из БД."), 2000);
    } else {
        // The card is blank now, but its records are still in the register.
        ShowMsg(true, QStringLiteral("Карта очищена, но удалить ее запись из БД не удалось."),
                5000);
    }
}

void TfrmCardErase::CardProcessError(TCardEvent *)
{
    ShowMsg(true,
            QStringLiteral("Внимание! При попытке очистки карты произошла ошибка, возможно карта "
                           "не подготовлена для работы с данным профилем или произошла "
                           "непредвиденная ошибка."),
            5000);
}
