#include "profiles/profileprop.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TfrmProfileProp *frmProfileProp = nullptr;

namespace {

// Six pairs of hexadecimal positions separated by blanks; an unfilled position shows 0.
const QString KeyMask = QStringLiteral("hh hh hh hh hh hh;0");
constexpr int KeyDigits = 12;
constexpr int MinNameLength = 4;
constexpr int MinPasswordLength = 4;
constexpr int MaxPasswordLength = 10;

QLineEdit *KeyEntry(QWidget *parent, const char *name)
{
    auto *entry = new QLineEdit(parent);
    entry->setObjectName(QString::fromLatin1(name));
    entry->setInputMask(KeyMask);
    entry->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return entry;
}

QLineEdit *PasswordEntry(QWidget *parent, const char *name)
{
    auto *entry = new QLineEdit(parent);
    entry->setObjectName(QString::fromLatin1(name));
    entry->setEchoMode(QLineEdit::Password);
    entry->setMaxLength(MaxPasswordLength);
    // Every typed character shows as "*".
    entry->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    return entry;
}

} // namespace

TfrmProfileProp::TfrmProfileProp(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmProfileProp"));
    setWindowTitle(QStringLiteral("Профиль безопасности"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowModality(Qt::WindowModal);

    edtName = new QLineEdit(this);
    edtName->setObjectName(QStringLiteral("edtName"));

    lblProfileName = new QLabel(this);
    lblProfileName->setObjectName(QStringLiteral("lblProfileName"));
    QFont bold = lblProfileName->font();
    bold.setBold(true);
    lblProfileName->setFont(bold);

    edtDate = new QDateTimeEdit(this);
    edtDate->setObjectName(QStringLiteral("edtDate"));
    edtDate->setEnabled(false);

    sedSectorNumber = new QSpinBox(this);
    sedSectorNumber->setObjectName(QStringLiteral("sedSectorNumber"));
    sedSectorNumber->setRange(1, 31);
    sedSectorNumber->setValue(1);

    edtKeyA = KeyEntry(this, "edtKeyA");
    edtKeyB = KeyEntry(this, "edtKeyB");
    edtKeyA->installEventFilter(this);
    edtKeyB->installEventFilter(this);

    edtPasswd1 = PasswordEntry(this, "edtPasswd1");
    edtPasswd2 = PasswordEntry(this, "edtPasswd2");

    cbxUseOriginalId = new QCheckBox(QStringLiteral("Использовать оригинальный ID карты"), this);
    cbxUseOriginalId->setObjectName(QStringLiteral("cbxUseOriginalId"));
    cbMasterCard = new QCheckBox(QStringLiteral("Создать мастер-карту профиля"), this);
    cbMasterCard->setObjectName(QStringLiteral("cbMasterCard"));
    cbMasterCard->setChecked(true);

    lblHint = new QLabel(DefaultHint(), this);
    lblHint->setObjectName(QStringLiteral("lblHint"));
    lblHint->setWordWrap(true);

    actOk = new QAction(QStringLiteral("Ok"), this);
    actOk->setObjectName(QStringLiteral("actOk"));
    btnOk = new QPushButton(actOk->text(), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnOk->setAutoDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Отмена"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    connect(btnOk, &QPushButton::clicked, actOk, &QAction::trigger);
    connect(actOk, &QAction::changed, btnOk, [this] { btnOk->setEnabled(actOk->isEnabled()); });
    connect(actOk, &QAction::triggered, this, &TfrmProfileProp::actOkExecute);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *grid = new QGridLayout;
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Название профиля:"), this), row++, 0, 1, 2);
    grid->addWidget(edtName, row++, 0, 1, 2);
    auto *replaces = new QHBoxLayout;
    replaces->addWidget(new QLabel(QStringLiteral("Замещает профиль:"), this));
    replaces->addWidget(lblProfileName, 1);
    grid->addLayout(replaces, row++, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Дата создания:"), this), row, 0);
    grid->addWidget(new QLabel(QStringLiteral("Сектор карты:"), this), row++, 1);
    grid->addWidget(edtDate, row, 0);
    grid->addWidget(sedSectorNumber, row++, 1);
    grid->addWidget(new QLabel(QStringLiteral("Ключ А (для чтения): "), this), row, 0);
    grid->addWidget(new QLabel(QStringLiteral("Ключ В (для записи): "), this), row++, 1);
    grid->addWidget(edtKeyA, row, 0);
    grid->addWidget(edtKeyB, row++, 1);
    grid->addWidget(new QLabel(QStringLiteral("Пароль для доступа к профилю:"), this), row++, 0, 1,
                    2);
    grid->addWidget(edtPasswd1, row++, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Повторите ввод пароля еще раз:"), this), row++, 0, 1,
                    2);
    grid->addWidget(edtPasswd2, row++, 0, 1, 2);
    grid->addWidget(cbxUseOriginalId, row++, 0, 1, 2);
    grid->addWidget(cbMasterCard, row++, 0, 1, 2);
    grid->addWidget(lblHint, row++, 0, 1, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    lblHint->setFixedWidth(360);

    connect(cbxUseOriginalId, &QCheckBox::clicked, this, &TfrmProfileProp::cbxUseOriginalIdClick);
    for (QLineEdit *entry : {edtName, edtKeyA, edtKeyB, edtPasswd1, edtPasswd2})
        connect(entry, &QLineEdit::textChanged, this, &TfrmProfileProp::actOkUpdate);

    PrepareForNew();
}

QString TfrmProfileProp::DefaultHint()
{
    return QStringLiteral("Длина имени профиля не менее 4-х символов, ключи не должны быть равны "
                          "нулю, длина пароля не менее 4-х символов.");
}

void TfrmProfileProp::PrepareForNew()
{
    edtName->setText(QStringLiteral("<имя профиля>"));
    lblProfileName->clear();
    edtDate->setDateTime(QDateTime::currentDateTime());
    sedSectorNumber->setValue(1);
    edtKeyA->setText(QStringLiteral("000000000000"));
    edtKeyB->setText(QStringLiteral("000000000000"));
    edtPasswd1->clear();
    edtPasswd2->clear();
    cbMasterCard->setChecked(true);
    actOkUpdate();
}

int64_t TfrmProfileProp::GetHexData(const QLineEdit *entry)
{
    // The entry shows "XX XX XX XX XX XX": every third character is a separating blank.
    const QString shown = entry->displayText();
    QString digits;
    for (int i = 0; i < shown.size(); ++i) {
        if (i % 3 != 2)
            digits += shown.at(i);
    }
    while (digits.size() < KeyDigits)
        digits += QLatin1Char('0');
    digits.truncate(KeyDigits);
    digits.replace(QLatin1Char(' '), QLatin1Char('0'));
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok, 16);
    return ok ? int64_t(value) : 0;
}

int64_t TfrmProfileProp::KeyA() const
{
    return GetHexData(edtKeyA);
}

int64_t TfrmProfileProp::KeyB() const
{
    return GetHexData(edtKeyB);
}

QChar TfrmProfileProp::edtKeyAKeyPress(QChar key)
{
    char16_t c = key.unicode();
    if (c >= u'a' && c <= u'z')
        c = char16_t(c - u'a' + u'A');
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))
        return QChar(c);
    return QChar();
}

QString TfrmProfileProp::PasswordProblem(const QString &password)
{
    if (password.contains(QLatin1Char(':')))
        return QStringLiteral("Пароль не может содержать двоеточие \":\".");
    for (const QChar ch : password) {
        if (ch.unicode() > 0xFF)
            return QStringLiteral("Пароль может состоять только из латинских букв, цифр и знаков; "
                                  "русские буквы и другие символы не допускаются.");
    }
    return QString();
}

void TfrmProfileProp::actOkUpdate()
{
    const QString pass = edtPasswd1->text();
    QString problem = PasswordProblem(pass);
    if (problem.isEmpty())
        problem = PasswordProblem(edtPasswd2->text());
    lblHint->setText(problem.isEmpty() ? DefaultHint() : problem);
    const bool ok = pass.size() >= MinPasswordLength && edtPasswd2->text() == pass &&
                    edtName->text().size() >= MinNameLength && KeyA() != 0 && KeyB() != 0 &&
                    problem.isEmpty();
    actOk->setEnabled(ok);
    btnOk->setEnabled(ok);
}

void TfrmProfileProp::actOkExecute()
{
    actOkUpdate();
    if (actOk->isEnabled())
        accept();
}

void TfrmProfileProp::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (parentWidget()) {
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
    FormShow();
    FormActivate();
}

void TfrmProfileProp::FormShow()
{
    sedSectorNumber->setMinimum(cbxUseOriginalId->isChecked() ? 0 : 1);
    actOkUpdate();
}

void TfrmProfileProp::FormActivate()
{
    edtName->setFocus();
}

void TfrmProfileProp::cbxUseOriginalIdClick()
{
    // Sector 0 only for profiles that write no number block.
    if (cbxUseOriginalId->isChecked()) {
        sedSectorNumber->setMinimum(0);
    } else {
        sedSectorNumber->setMinimum(1); // a value of 0 becomes 1
    }
}

bool TfrmProfileProp::KeyEntryKeyPress(QLineEdit *entry, QKeyEvent *event)
{
    const QString text = event->text();
    if (text.size() != 1 || text.at(0).unicode() < 32 || text.at(0).unicode() == 127)
        return false; // editing and moving keys are the entry's own
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QChar key = edtKeyAKeyPress(text.at(0));
    if (key.isNull())
        return true; // discarded
    if (key != text.at(0)) {
        entry->insert(QString(key));
        return true;
    }
    return false;
}

bool TfrmProfileProp::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == edtKeyA || watched == edtKeyB))
        return KeyEntryKeyPress(static_cast<QLineEdit *>(watched), static_cast<QKeyEvent *>(event));
    return QDialog::eventFilter(watched, event);
}
