#include "dialogs/readeractivate.h"

#include "profiles/secprofiles.h"
#include "reader/thread/thread.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

TfrmReaderActivate *frmReaderActivate = nullptr;

QString TfrmReaderActivate::SuccessText()
{
    return QStringLiteral("Считыватель запрограммирован для работы с заданным профилем");
}

QString TfrmReaderActivate::FailureText()
{
    return QStringLiteral("Ошибка записи профиля в настольный считыватель");
}

TfrmReaderActivate::TfrmReaderActivate(QWidget *parent)
    : TCardDialog(QStringLiteral("Активирование считывателя"),
                  QStringLiteral("Активирование настольного считывателя для работы с заданным "
                                 "профилем безопасности"),
                  parent)
{
    setObjectName(QStringLiteral("frmReaderActivate"));
    // A title bar without buttons: no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // The whole dialog is one sky-blue panel.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, CardDialogPanelColor());
    setPalette(pal);
    setAutoFillBackground(true);

    AddProfileNameRow(Label2, edtProfileName);

    // No waiting animation and no close button: the dialog closes itself after the result.
    ImageWait->hide();
    btnClose->hide();
    btnClose->setDefault(false);
    MsgPausesWorker = false;
}

int32_t TfrmReaderActivate::JobAction() const
{
    return TA_PREPARE_READER;
}

void TfrmReaderActivate::FormShow()
{
    Timer->stop(); // a message left from an earlier showing closed by Escape
    edtProfileName->setText(profile ? profile->Caption : QString());
    HideMsg();
    ImageWait->Stop();
    ImageWait->hide();
    HandOver(TA_PREPARE_READER, profile, 0);
    ResumeWorker();
}

void TfrmReaderActivate::FormHide()
{
    HideMsg();
    if (!WorkerPaused())
        PauseWorker();
}

void TfrmReaderActivate::TimerTimer()
{
    Timer->stop();
    HideMsg();
    if (IsShown() && WorkerPaused())
        close();
}

void TfrmReaderActivate::CardDetected() {}

void TfrmReaderActivate::CardProcessed(TCardEvent *)
{
    // A result the worker posted just before the dialog was closed is of no use any more,
    // and pausing the worker then could stall the dialog that has it now.
    if (!IsShown())
        return;
    ShowMsg(false, SuccessText(), 3000);
    PauseWorker();
}

void TfrmReaderActivate::CardWriteError(TCardEvent *)
{
    if (!IsShown())
        return;
    ShowMsg(true, FailureText(), 3000);
    PauseWorker();
}
