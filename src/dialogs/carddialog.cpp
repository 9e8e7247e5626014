#include "dialogs/carddialog.h"

#include "reader/thread/thread.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <numbers>

double TCardDialog::TimeScale = 1.0;

namespace {

constexpr int WaitDots = 12;
constexpr int WaitStepMs = 100; // one step of the animation at normal speed

QPixmap StatusIcon(QWidget *owner, QStyle::StandardPixmap which)
{
    return owner->style()->standardIcon(which).pixmap(16, 16);
}

} // namespace

QColor CardDialogPanelColor()
{
    return QColor(166, 202, 240);
}

void TCardDialog::AddContentRule()
{
    auto *rule = new QFrame(pnlTop);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    fContent->addWidget(rule);
}

void TCardDialog::AddProfileNameRow(QLabel *&label, QLineEdit *&field)
{
    AddContentRule();
    auto *row = new QHBoxLayout;
    label = new QLabel(QStringLiteral("Профиль:"), pnlTop);
    label->setObjectName(QStringLiteral("Label2"));
    field = new QLineEdit(pnlTop);
    field->setObjectName(QStringLiteral("edtProfileName"));
    field->setReadOnly(true);
    field->setFrame(false);
    field->setFocusPolicy(Qt::NoFocus);
    QPalette fieldPalette = field->palette();
    fieldPalette.setColor(QPalette::Base, CardDialogPanelColor());
    field->setPalette(fieldPalette);
    row->addWidget(label);
    row->addWidget(field, 1);
    fContent->addLayout(row);
    AddContentRule();
}

// ---------------------------------------------------------------------------------------
// TWaitAnimation

TWaitAnimation::TWaitAnimation(QWidget *parent) : QWidget(parent), fTimer(new QTimer(this))
{
    setFixedSize(32, 32);
    connect(fTimer, &QTimer::timeout, this, &TWaitAnimation::Step);
    fTimer->setInterval(WaitStepMs);
}

void TWaitAnimation::Start()
{
    fTimer->start();
}

void TWaitAnimation::Stop()
{
    fTimer->stop();
}

bool TWaitAnimation::IsRunning() const
{
    return fTimer->isActive();
}

void TWaitAnimation::SetSpeed(int percent)
{
    fSpeed = std::max(1, percent);
    fTimer->setInterval(std::max(1, WaitStepMs * 100 / fSpeed));
}

QSize TWaitAnimation::sizeHint() const
{
    return QSize(32, 32);
}

void TWaitAnimation::Step()
{
    fFrame = (fFrame + 1) % WaitDots;
    update();
}

void TWaitAnimation::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double radius = std::min(width(), height()) / 2.0 - 4.0;
    const QColor base(40, 80, 170);
    for (int i = 0; i < WaitDots; ++i) {
        // The dot of the current frame is the brightest; the ones behind it fade.
        const int age = (fFrame - i + WaitDots) % WaitDots;
        QColor colour = base;
        colour.setAlphaF(std::max(0.15, 1.0 - age * 0.12));
        const double angle = 2.0 * std::numbers::pi * i / WaitDots - std::numbers::pi / 2.0;
        const QPointF at(centre.x() + radius * std::cos(angle),
                         centre.y() + radius * std::sin(angle));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(at, 2.5, 2.5);
    }
}

// ---------------------------------------------------------------------------------------
// TCardDialog

QString TCardDialog::CardDetectedText()
{
    return QStringLiteral(
        "Внимание! В поле считывателя обнаружена карта. Во избежании случайной записи, она "
        "деактивирована. Если вы хотите использовать ее, карту необходимо вторично поднести к "
        "считывателю.");
}

QString TCardDialog::WriteErrorText()
{
    return QStringLiteral(
        "Внимание! Произошла ошибка записи карты. Возможно, коды доступа карты не совпадают с "
        "указанными в профиле, или произошла другая непредвиденная ошибка.");
}

TCardDialog::TCardDialog(const QString &title, const QString &instruction, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 8);
    outer->setSizeConstraint(QLayout::SetFixedSize); // fixed size, follows hidden areas

    pnlTop = new QFrame(this);
    pnlTop->setObjectName(QStringLiteral("pnlTop"));
    pnlTop->setAutoFillBackground(true);
    QPalette panelPalette = pnlTop->palette();
    panelPalette.setColor(QPalette::Window, CardDialogPanelColor());
    pnlTop->setPalette(panelPalette);
    auto *panel = new QVBoxLayout(pnlTop);
    panel->setContentsMargins(12, 12, 12, 12);

    auto *head = new QHBoxLayout;
    Image1 = new QLabel(pnlTop);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(32, 32));
    Label1 = new QLabel(instruction, pnlTop);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setFixedWidth(330);
    head->addWidget(Image1, 0, Qt::AlignTop);
    head->addWidget(Label1, 1);
    panel->addLayout(head);

    fContent = new QVBoxLayout;
    fContent->setContentsMargins(0, 0, 0, 0);
    panel->addLayout(fContent);

    // Status area: one of the two icons and the message, all hidden at first. Both icons
    // sit in the same place; the area keeps its place whether a message shows or not, high
    // enough for the longest message of the card dialogs (the CARD_DETECTED warning).
    auto *status = new QHBoxLayout;
    auto *iconBox = new QWidget(pnlTop);
    iconBox->setFixedSize(16, 16);
    imgOk = new QLabel(iconBox);
    imgOk->setObjectName(QStringLiteral("imgOk"));
    imgOk->setGeometry(0, 0, 16, 16);
    imgOk->setPixmap(StatusIcon(this, QStyle::SP_DialogApplyButton));
    imgAttention = new QLabel(iconBox);
    imgAttention->setObjectName(QStringLiteral("imgAttention"));
    imgAttention->setGeometry(0, 0, 16, 16);
    imgAttention->setPixmap(StatusIcon(this, QStyle::SP_MessageBoxWarning));
    lblMsg = new QLabel(pnlTop);
    lblMsg->setObjectName(QStringLiteral("lblMsg"));
    lblMsg->setWordWrap(true);
    lblMsg->setFixedWidth(346);
    const int msgHeight =
        lblMsg->fontMetrics()
            .boundingRect(QRect(0, 0, 346, 10000), Qt::TextWordWrap, CardDetectedText())
            .height();
    lblMsg->setFixedHeight(std::max(msgHeight, 4 * lblMsg->fontMetrics().lineSpacing()) + 4);
    lblMsg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QSizePolicy msgPolicy = lblMsg->sizePolicy();
    msgPolicy.setRetainSizeWhenHidden(true);
    lblMsg->setSizePolicy(msgPolicy);
    status->addWidget(iconBox, 0, Qt::AlignTop);
    status->addWidget(lblMsg, 1, Qt::AlignTop);
    panel->addLayout(status);
    imgOk->hide();
    imgAttention->hide();
    lblMsg->hide();

    outer->addWidget(pnlTop);

    auto *bottom = new QHBoxLayout;
    bottom->setContentsMargins(12, 0, 12, 0);
    ImageWait = new TWaitAnimation(this);
    ImageWait->setObjectName(QStringLiteral("ImageWait"));
    btnClose = new QPushButton(QStringLiteral("Закрыть"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    // Enter and Escape both close the card dialogs unless a derived dialog says otherwise.
    btnClose->setDefault(true);
    bottom->addStretch(1);
    bottom->addWidget(ImageWait);
    bottom->addStretch(1);
    bottom->addWidget(btnClose);
    outer->addLayout(bottom);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setSingleShot(true);
    connect(Timer, &QTimer::timeout, this, [this] { TimerTimer(); });
}

TCardDialog::~TCardDialog()
{
    // A worker that still names this dialog must not post to it any more.
    if (mfrcthread && mfrcthread->hwnd.get() == this)
        mfrcthread->hwnd = nullptr;
}

void TCardDialog::ResumeWorker()
{
    if (mfrcthread)
        mfrcthread->Resume();
}

void TCardDialog::PauseWorker()
{
    if (mfrcthread)
        mfrcthread->Suspend();
}

bool TCardDialog::WorkerPaused()
{
    return !mfrcthread || mfrcthread->Suspended();
}

void TCardDialog::HideMsg()
{
    imgAttention->hide();
    imgOk->hide();
    lblMsg->hide();
}

void TCardDialog::ShowWait()
{
    HideMsg();
    ImageWait->show();
    ImageWait->Start();
}

void TCardDialog::ShowMsg(bool alert, const QString &msg, int32_t timeout)
{
    // A closed dialog left the worker paused already; a result that reaches it late must
    // not pause the worker that another card dialog has set running since.
    if (MsgPausesWorker && fShown)
        PauseWorker();
    ImageWait->Stop();
    ImageWait->hide();
    Timer->stop();
    imgAttention->setVisible(alert);
    imgOk->setVisible(!alert);
    lblMsg->setText(msg);
    QPalette pal = lblMsg->palette();
    pal.setColor(QPalette::WindowText, alert ? QColor(Qt::red) : QColor(Qt::blue));
    lblMsg->setPalette(pal);
    lblMsg->show();
    fMsgTimeout = timeout;
    const double scaled = std::max(0.0, double(timeout) * TimeScale);
    Timer->setInterval(int(std::min(scaled, 2.0e9)));
    Timer->start();
}

void TCardDialog::TimerTimer()
{
    Timer->stop();
    if (!fShown) {
        // Closed meanwhile: the worker stays paused (it may serve another dialog now).
        HideMsg();
        return;
    }
    ShowWait();
    ResumeWorker();
}

void TCardDialog::BeginShow()
{
    Timer->stop();
    ShowWait();
    ImageWait->SetSpeed(200);
}

void TCardDialog::HandOver(int32_t action, TSecProfile *profile0, int32_t ismaster)
{
    if (!mfrcthread)
        return;
    mfrcthread->hwnd = this;
    mfrcthread->profile0 = profile0;
    mfrcthread->ismaster = ismaster;
    mfrcthread->threadaction = action;
}

void TCardDialog::FormShow()
{
    BeginShow();
    HandOver(JobAction(), profile, 0);
    ResumeWorker();
}

void TCardDialog::FormHide()
{
    if (!WorkerPaused())
        PauseWorker();
    ImageWait->Stop();
}

void TCardDialog::CardDetected()
{
    ShowMsg(true, CardDetectedText(), 10000);
}

void TCardDialog::CardProcessed(TCardEvent *) {}
void TCardDialog::CardProcessError(TCardEvent *) {}
void TCardDialog::CardWriteError(TCardEvent *) {}
void TCardDialog::CardReadError(TCardEvent *) {}

void TCardDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous() || fShown)
        return;
    fShown = true;
    FormShow();
}

void TCardDialog::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (event->spontaneous() || !fShown)
        return;
    fShown = false;
    FormHide();
}

void TCardDialog::customEvent(QEvent *event)
{
    // The worker posts TCardEvent; anything else of these codes reaches the handlers as null.
    auto *card = dynamic_cast<TCardEvent *>(event);
    switch (int(event->type())) {
    case int(CARD_DETECTED):
        CardDetected();
        break;
    case int(CARD_PROCESSED):
        CardProcessed(card);
        break;
    case int(CARD_PROCESS_ERROR):
        CardProcessError(card);
        break;
    case int(CARD_WRITE_ERROR):
        CardWriteError(card);
        break;
    case int(CARD_READ_ERROR):
        CardReadError(card);
        break;
    default:
        QDialog::customEvent(event);
        break;
    }
}
