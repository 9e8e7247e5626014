#include "dialogs/card.h"

#include "app/modal.h"
#include "profiles/DatUtils.h"
#include "reader/thread/thread.h"

#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

TfrmCard *frmCard = nullptr;

namespace {

// HEX: eight positions shown as four groups of two; DEC: nine digit positions. An empty
// position shows as the digit 0.
const QString HexMask = QStringLiteral("nn nn nn nn;0");
const QString DecMask = QStringLiteral("999999999;0");
constexpr int DecDigits = 9;

bool IsHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

} // namespace

TfrmCard::TfrmCard(QWidget *parent)
    : TCardDialog(QStringLiteral("Подготовка карты"),
                  QStringLiteral("Для подготовки карты  поднесите ее к настольному считывателю."),
                  parent)
{
    setObjectName(QStringLiteral("frmCard"));

    pnlNumber = new QWidget(pnlTop);
    pnlNumber->setObjectName(QStringLiteral("pnlNumber"));
    auto *grid = new QGridLayout(pnlNumber);
    grid->setContentsMargins(0, 8, 0, 4);

    lblCardNumber = new QLabel(QStringLiteral("Номер карты:"), pnlNumber);
    lblCardNumber->setObjectName(QStringLiteral("lblCardNumber"));

    edtCardNum = new QLineEdit(pnlNumber);
    edtCardNum->setObjectName(QStringLiteral("edtCardNum"));
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPointSize(12);
    edtCardNum->setFont(mono);
    edtCardNum->setFixedWidth(150);
    edtCardNum->installEventFilter(this);

    rgrHexDec = new QGroupBox(QStringLiteral("Система счисления"), pnlNumber);
    rgrHexDec->setObjectName(QStringLiteral("rgrHexDec"));
    auto *radios = new QHBoxLayout(rgrHexDec);
    rbHex = new QRadioButton(QStringLiteral("HEX"), rgrHexDec);
    rbHex->setObjectName(QStringLiteral("rbHex"));
    rbDec = new QRadioButton(QStringLiteral("DEC"), rgrHexDec);
    rbDec->setObjectName(QStringLiteral("rbDec"));
    radios->addWidget(rbHex);
    radios->addWidget(rbDec);
    rbHex->setChecked(true); // HEX when the program starts; kept between showings

    cbCustomNum = new QCheckBox(QStringLiteral("Использовать произвольный номер"), pnlNumber);
    cbCustomNum->setObjectName(QStringLiteral("cbCustomNum"));

    grid->addWidget(lblCardNumber, 0, 0);
    grid->addWidget(edtCardNum, 1, 0, Qt::AlignTop);
    grid->addWidget(rgrHexDec, 0, 1, 2, 1);
    grid->addWidget(cbCustomNum, 2, 0, 1, 2);
    ContentLayout()->addWidget(pnlNumber);

    connect(rbHex, &QRadioButton::clicked, this, [this] { rgrHexDecClick(); });
    connect(rbDec, &QRadioButton::clicked, this, [this] { rgrHexDecClick(); });
    connect(cbCustomNum, &QCheckBox::clicked, this, [this] { cbCustomNumClick(); });
    connect(edtCardNum, &QLineEdit::textChanged, this, [this] { edtCardNumChange(); });

    rgrHexDecClick();
}

bool TfrmCard::IsHex() const
{
    return rbHex->isChecked();
}

bool TfrmCard::UsesOriginalId() const
{
    return profile && profile->UseOriginalId() != 0;
}

int32_t TfrmCard::JobAction() const
{
    return TA_WRITE_CARD;
}

void TfrmCard::SetWorkerNumber()
{
    // Once closed, the dialog leaves the worker's number alone: a result that reaches it
    // late must not change the number of the card dialog that has the worker now.
    if (mfrcthread && IsShown())
        mfrcthread->cardnumber = NextCardNumber;
}

void TfrmCard::rgrHexDecClick()
{
    // The program's own rewrite shows NextCardNumber; it is not read back as a new
    // number (a number wider than the field would otherwise be cut down by the re-read).
    fProgramWrite = true;
    if (IsHex()) {
        edtCardNum->setInputMask(HexMask);
        edtCardNum->setText(QString::number(NextCardNumber, 16).toUpper().rightJustified(8, u'0'));
    } else {
        edtCardNum->setInputMask(DecMask);
        edtCardNum->setText(QString::number(NextCardNumber).rightJustified(DecDigits, u'0'));
    }
    fProgramWrite = false;
}

void TfrmCard::cbCustomNumClick()
{
    const bool editable = cbCustomNum->isChecked();
    edtCardNum->setReadOnly(!editable);
    edtCardNum->setFrame(editable);
    QPalette pal = edtCardNum->palette();
    pal.setColor(QPalette::Base,
                 editable ? QApplication::palette().color(QPalette::Base) : CardDialogPanelColor());
    edtCardNum->setPalette(pal);
    if (!editable)
        NextCardNumber = GetMaxCardNum();
    rgrHexDecClick();
    SetWorkerNumber();
}

std::optional<int64_t> TfrmCard::ReadNumber() const
{
    // The displayed text holds every position, an empty one shown as the digit 0.
    const QString shown = edtCardNum->displayText();
    bool ok = false;
    int64_t value = 0;
    if (IsHex()) {
        QString digits = shown;
        digits.remove(u' ');
        for (QChar c : digits) {
            if (!IsHexDigit(c.toUpper()))
                return std::nullopt;
        }
        value = digits.isEmpty() ? 0 : digits.toLongLong(&ok, 16);
        if (!digits.isEmpty() && !ok)
            return std::nullopt;
    } else {
        const QString digits = shown.trimmed();
        for (QChar c : digits) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        value = digits.isEmpty() ? 0 : digits.toLongLong(&ok, 10);
        if (!digits.isEmpty() && !ok)
            return std::nullopt;
    }
    return value;
}

void TfrmCard::edtCardNumChange()
{
    if (fProgramWrite)
        return;
    if (!cbCustomNum->isChecked() || UsesOriginalId())
        return;
    const std::optional<int64_t> number = ReadNumber();
    if (!number) {
        Modal::Message(this, QMessageBox::NoIcon, DatUtils::MessageCaption,
                       QStringLiteral("ERROR Number Conversion !!!"));
        return;
    }
    NextCardNumber = *number;
    SetWorkerNumber();
}

QChar TfrmCard::edtCardNumKeyPress(QChar key) const
{
    if (key >= u'a' && key <= u'z')
        key = QChar(key.unicode() - u'a' + u'A');
    if (key.unicode() > 32) {
        if (IsHex() ? !IsHexDigit(key) : !(key >= u'0' && key <= u'9'))
            return QChar();
    }
    return key;
}

bool TfrmCard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edtCardNum && event->type() == QEvent::KeyPress && !fRetyping) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        if (text.size() == 1) {
            const QChar typed = text.at(0);
            const QChar entered = edtCardNumKeyPress(typed);
            if (entered.isNull())
                return true; // discarded
            if (entered != typed) {
                // The field takes the upper-case letter instead of the typed one.
                QKeyEvent replaced(QEvent::KeyPress, key->key(), key->modifiers(), QString(entered),
                                   key->isAutoRepeat(), ushort(key->count()));
                fRetyping = true;
                QApplication::sendEvent(edtCardNum, &replaced);
                fRetyping = false;
                return true;
            }
        }
    }
    return TCardDialog::eventFilter(watched, event);
}

void TfrmCard::FormShow()
{
    BeginShow();
    cbCustomNum->setChecked(false);
    edtCardNum->setReadOnly(true);
    NextCardNumber = GetMaxCardNum();
    cbCustomNumClick();
    if (mfrcthread)
        mfrcthread->cardnumber = NextCardNumber;
    HandOver(TA_WRITE_CARD, profile, 0);
    pnlNumber->setVisible(!UsesOriginalId());
    ResumeWorker();
}

void TfrmCard::FormHide()
{
    TCardDialog::FormHide();
    if (mfrcthread && mfrcthread->hwnd.get() == this)
        mfrcthread->threadaction = 0;
}

void TfrmCard::CardProcessed(TCardEvent *event)
{
    // The card the event is about, with the number written on it (the one the field
    // showed then): the worker may have taken up the next card, or the operator typed
    // another number, before the event is handled.
    const int64_t written = event ? event->CardNumber() : NextCardNumber;
    const int64_t number = UsesOriginalId() ? 0 : written;
    if (profile && mfrcthread) {
        const int64_t serial = event ? event->Serial() : mfrcthread->serial.load();
        AddCard(profile->ID(), mfrcthread->ismaster, serial, number);
    }
    if (!cbCustomNum->isChecked()) {
        NextCardNumber = GetMaxCardNum();
        rgrHexDecClick();
    }
    SetWorkerNumber();
    ShowMsg(false, QStringLiteral("Карта успешно инициализирована."), 2000);
}

void TfrmCard::CardProcessError(TCardEvent *)
{
    ShowMsg(true, WriteErrorText(), 5000);
}
