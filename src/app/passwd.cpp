#include "app/passwd.h"

#include "app/modal.h"
#include "profiles/secprofiles.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

TfrmPass *frmPass = nullptr;

TfrmPass::TfrmPass(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPass"));
    setWindowTitle(QStringLiteral("Пароль"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto *band = new QFrame(this);
    band->setObjectName(QStringLiteral("pnlTop"));
    band->setAutoFillBackground(true);
    QPalette pal = band->palette();
    pal.setColor(QPalette::Window, Qt::white);
    band->setPalette(pal);
    auto *hint = new QLabel(QStringLiteral("Пожалуйста, введите пароль для активизации выбранного "
                                           "профиля, и нажмите кнопку ОК"),
                            band);
    hint->setObjectName(QStringLiteral("lblHint"));
    hint->setWordWrap(true);
    auto *bandLayout = new QHBoxLayout(band);
    bandLayout->addWidget(hint);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgKey"));
    picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(48, 48));

    edtProf = new QLineEdit(this);
    edtProf->setObjectName(QStringLiteral("edtProf"));
    edtProf->setReadOnly(true);
    edtProf->setEnabled(false);

    edtPassword = new QLineEdit(this);
    edtPassword->setObjectName(QStringLiteral("edtPassword"));
    edtPassword->setEchoMode(QLineEdit::Password);
    edtPassword->setMaxLength(10);
    // Every typed character shows as "*".
    edtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Профиль"), this), 0, 0);
    grid->addWidget(edtProf, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Пароль:"), this), 1, 0);
    grid->addWidget(edtPassword, 1, 1);

    auto *middle = new QHBoxLayout;
    middle->addWidget(picture, 0, Qt::AlignTop);
    middle->addLayout(grid, 1);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setEnabled(false);
    btnCancel = new QPushButton(QStringLiteral("Отмена"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(band);
    auto *body = new QVBoxLayout;
    body->setContentsMargins(10, 6, 10, 0);
    body->addLayout(middle);
    body->addLayout(buttons);
    layout->addLayout(body);
    setFixedWidth(380);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(edtPassword, &QLineEdit::textChanged, this, &TfrmPass::edtPasswordChange);
}

QString TfrmPass::ProfName() const
{
    return edtProf->text();
}

void TfrmPass::SetProfName(const QString &name)
{
    edtProf->setText(name);
}

QString TfrmPass::Pass() const
{
    return edtPassword->text();
}

void TfrmPass::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormActivate();
    if (parentWidget()) {
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
}

void TfrmPass::FormActivate()
{
    // No earlier password is ever offered again.
    edtPassword->clear();
    edtPassword->setFocus();
    edtPasswordChange();
}

void TfrmPass::edtPasswordChange()
{
    btnOK->setEnabled(!edtPassword->text().isEmpty());
}

QString NotActivatedText()
{
    return QStringLiteral("Не активирован профиль безопасности.");
}

bool ActivateWithPassword(QWidget *parent, TSecProfile *profile,
                          const std::function<void()> &cancelled)
{
    if (!profile) {
        Modal::Message(parent, QMessageBox::Critical, QStringLiteral("Нет профиля"),
                       NotActivatedText());
        return false;
    }
    if (profile->Active())
        return true;
    frmPass->SetProfName(profile->Caption);
    if (Modal::Exec(frmPass) != QDialog::Accepted) {
        if (cancelled)
            cancelled();
        return false;
    }
    if (frmPass->Pass() != profile->passwd)
        return false;
    profile->SetActive(true);
    return true;
}
