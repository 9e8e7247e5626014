#include "dialogs/cardread.h"

#include "profiles/secprofiles.h"
#include "reader/thread/thread.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTimer>

TfrmCardRead *frmCardRead = nullptr;

namespace {

QString HexByte(uint8_t value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

TfrmCardRead::TfrmCardRead(QWidget *parent)
    : TCardDialog(QStringLiteral("Контрольное чтение карты"),
                  QStringLiteral("Поднесите карту с профилем, записанным в считыватель для "
                                 "проверки считывателя и (или) карты"),
                  parent)
{
    setObjectName(QStringLiteral("frmCardRead"));
    // A title bar without buttons: "Закрыть" (or Escape) closes the dialog.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    AddContentRule();

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->hide();

    MsgPausesWorker = false;
}

QString TfrmCardRead::ResultText(const TCradIds &ids)
{
    QString text = QStringLiteral("Карта прочитана:\r\nЗащищенный  номер    = 0x");
    for (int i = 3; i >= 0; --i)
        text += HexByte(ids.Id2[i]);
    text += QStringLiteral("\r\n");
    text += QStringLiteral("Собственный ID карты = 0x");
    // Only the valid UID bytes, never more than the record holds.
    const int length = ids.Id1Len < 0 ? 0 : (ids.Id1Len > 8 ? 8 : ids.Id1Len);
    for (int i = length - 1; i >= 0; --i)
        text += HexByte(ids.Id1[i]);
    return text;
}

QString TfrmCardRead::ReadErrorText()
{
    return QStringLiteral("Ошибка чтения тестовой карты.");
}

int32_t TfrmCardRead::JobAction() const
{
    return TA_READ_CARD;
}

void TfrmCardRead::FormShow()
{
    BeginShow(); // ShowWait, animation at 200 %
    HandOver(TA_READ_CARD, profile, 0);
    ResumeWorker();
}

void TfrmCardRead::TimerTimer()
{
    Timer->stop();
    if (!IsShown()) {
        HideMsg();
        return;
    }
    ShowWait();
    if (WorkerPaused())
        close();
}

void TfrmCardRead::CardDetected() {}

void TfrmCardRead::CardProcessed(TCardEvent *event)
{
    const TCradIds *ids = event ? event->Ids() : nullptr;
    if (!ids || !IsShown())
        return;
    const QString text = ResultText(*ids);
    Memo->setPlainText(text);
    Memo->selectAll();
    // The text itself, CR LF included, goes to the clipboard (the editor would turn the
    // line breaks into its own).
    QGuiApplication::clipboard()->setText(text);
    ShowMsg(false, text, 3000);
}

void TfrmCardRead::CardReadError(TCardEvent *)
{
    if (!IsShown())
        return;
    ShowMsg(true, ReadErrorText(), 2000);
}
