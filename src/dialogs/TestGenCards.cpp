#include "dialogs/TestGenCards.h"

#include "profiles/DatUtils.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

TfrmTstGenCards *frmTstGenCards = nullptr;

namespace {
// Generated records carry this offset added to their number as serial.
constexpr int64_t SerialOffset = 0x11000000;
constexpr int32_t TransportProfileId = 2;
} // namespace

TfrmTstGenCards::TfrmTstGenCards(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmTstGenCards"));
    setWindowTitle(QStringLiteral("Test Cards Generation"));
    // A single fixed border without any title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::WindowModal);

    auto *outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->setContentsMargins(0, 8, 0, 0);

    auto *frame = new QGroupBox(this);
    auto *row = new QHBoxLayout(frame);
    auto *label = new QLabel(QStringLiteral("Cards count"), frame);
    sedNumCards = new QSpinBox(frame);
    sedNumCards->setObjectName(QStringLiteral("sedNumCards"));
    sedNumCards->setRange(1, 10000);
    sedNumCards->setValue(5);
    btnGenerate = new QPushButton(QStringLiteral("Generate"), frame);
    btnGenerate->setObjectName(QStringLiteral("btnGenerate"));
    btnGenerate->setAutoDefault(false);
    row->addWidget(label);
    row->addWidget(sedNumCards);
    row->addWidget(btnGenerate);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    btnClose = buttons->button(QDialogButtonBox::Close);
    btnClose->setText(QStringLiteral("&Close"));
    btnClose->setObjectName(QStringLiteral("btnClose"));

    auto *body = new QVBoxLayout;
    body->setContentsMargins(8, 0, 8, 0);
    body->addWidget(frame);
    body->addWidget(buttons);
    outer->addLayout(body);

    sbrStatus = new QStatusBar(this);
    sbrStatus->setObjectName(QStringLiteral("sbrStatus"));
    sbrStatus->setSizeGripEnabled(false);
    sbrPanel0 = new QLabel(sbrStatus);
    sbrPanel0->setObjectName(QStringLiteral("sbrPanel0"));
    sbrPanel0->setMinimumWidth(200);
    sbrPanel1 = new QLabel(sbrStatus);
    sbrPanel1->setObjectName(QStringLiteral("sbrPanel1"));
    sbrPanel1->setMinimumWidth(50); // wider when its text needs it
    sbrStatus->addWidget(sbrPanel0);
    sbrStatus->addWidget(sbrPanel1);
    outer->addWidget(sbrStatus);

    connect(btnGenerate, &QPushButton::clicked, this, [this] { btnGenerateClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int64_t TfrmTstGenCards::FetchNextNumber()
{
    const int64_t n = GetMaxCardNum();
    sbrPanel0->setText(QStringLiteral("Next number: 0x") +
                       QString::number(n, 16).toUpper().rightJustified(8, u'0'));
    QCoreApplication::processEvents();
    return n;
}

void TfrmTstGenCards::FormShow()
{
    fNextCardNum = FetchNextNumber();
}

void TfrmTstGenCards::btnGenerateClick()
{
    const int count = sedNumCards->value();
    // The loop lets window events through; a second click must not start a nested run.
    btnGenerate->setEnabled(false);
    for (int i = 1; i <= count; ++i) {
        sbrPanel1->setText(QStringLiteral("Count = ") + QString::number(i));
        QCoreApplication::processEvents();
        AddCard(TransportProfileId, 0, fNextCardNum + SerialOffset, fNextCardNum);
        fNextCardNum = FetchNextNumber();
    }
    btnGenerate->setEnabled(true);
}

void TfrmTstGenCards::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}
