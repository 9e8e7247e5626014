#include "About.h"

#include "about/VerInf.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

TfrmAbout *frmAbout = nullptr;

namespace {

// The picture: a contactless card with its chip and the radio waves.
QPixmap CardPicture()
{
    QPixmap pm(101, 102);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient body(0, 20, 0, 86);
    body.setColorAt(0, QColor(0x3A, 0x6E, 0xC8));
    body.setColorAt(1, QColor(0x1B, 0x3A, 0x78));
    p.setPen(QPen(QColor(0x10, 0x24, 0x50), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(6, 30, 80, 52), 7, 7);

    // Chip.
    p.setPen(QPen(QColor(0x80, 0x60, 0x10), 1));
    p.setBrush(QColor(0xE8, 0xC0, 0x50));
    p.drawRoundedRect(QRectF(16, 44, 20, 16), 3, 3);
    p.drawLine(QPointF(26, 44), QPointF(26, 60));
    p.drawLine(QPointF(16, 52), QPointF(36, 52));

    // Stripe for the number.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawRoundedRect(QRectF(16, 68, 56, 6), 2, 2);

    // Waves.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x20, 0x90, 0x40), 3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const qreal r = 10 + 9 * i;
        p.drawArc(QRectF(76 - r, 30 - r, 2 * r, 2 * r), -10 * 16, 110 * 16);
    }
    return pm;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setTextFormat(Qt::PlainText); // version texts are shown as they are
    return l;
}

} // namespace

QString TfrmAbout::SupportEmail()
{
    return QStringLiteral("support@tagor.example");
}

TfrmAbout::TfrmAbout(QWidget *parent, const QString &exeFile) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    // Fixed dialog frame: no resizing, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(459, 284);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(8, 8, 443, 230);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(29, 12, 101, 102);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(CardPicture());

    QFont bold = font();
    bold.setBold(true);
    lblEmail = MakeLabel(Panel1, "lblEmail", SupportEmail(), QRect(4, 120, 152, 16));
    lblEmail->setFont(bold);
    lblEmail->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    QFont value9 = font();
    value9.setPointSize(9);
    value9.setBold(true);

    const int capX = 162, capW = 66, valX = 230, valW = 206;
    lblProductCaption = MakeLabel(Panel1, "lblProductCaption", QStringLiteral("Product:"),
                                  QRect(capX, 14, capW, 16));
    lblProductName = MakeLabel(Panel1, "lblProductName", QStringLiteral("нет данных"),
                               QRect(valX, 13, valW, 34));
    lblProductName->setFont(value9);
    lblProductName->setWordWrap(true); // up to two lines
    lblProductName->setStyleSheet(QStringLiteral("color: navy;"));

    lblVersionCaption = MakeLabel(Panel1, "lblVersionCaption", QStringLiteral("Version:"),
                                  QRect(capX, 54, capW, 16));
    lblFileVersion = MakeLabel(Panel1, "lblFileVersion", QStringLiteral("нет данных"),
                               QRect(valX, 53, valW, 18));
    lblFileVersion->setFont(value9);
    lblFileVersion->setStyleSheet(QStringLiteral("color: green;"));

    lblCopyRightCaption = MakeLabel(Panel1, "lblCopyRightCaption", QStringLiteral("Copyright:"),
                                    QRect(capX, 80, capW, 16));
    lblCopyRight =
        MakeLabel(Panel1, "lblCopyRight", QStringLiteral("нет данных"), QRect(valX, 79, valW, 34));
    lblCopyRight->setFont(value9);
    lblCopyRight->setWordWrap(true); // a long line goes on to a second one

    lblCommentsCaption = MakeLabel(Panel1, "lblCommentsCaption", QStringLiteral("Comments:"),
                                   QRect(capX, 118, capW, 16));
    lblComments = MakeLabel(Panel1, "lblComments", QStringLiteral("нет данных"),
                            QRect(valX, 118, valW, 64)); // up to four lines
    lblComments->setWordWrap(true);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(376, 248, 75, 25);
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    // Centred on the screen.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }

    FormCreate(exeFile.isEmpty() ? QCoreApplication::applicationFilePath() : exeFile);
}

void TfrmAbout::FormCreate(const QString &exeFile)
{
    // The reader lives only for this step, whatever happens in it.
    const TVersionInfo info(exeFile);
    if (info.Valid()) {
        lblProductName->setText(info.ProductName());
        lblFileVersion->setText(info.FileVersion());
        lblCopyRight->setText(info.LegalCopyright());
        lblComments->setText(info.Comments());
    }
}
