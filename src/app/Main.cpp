#include "app/Main.h"

#include "about/About.h"
#include "app/modal.h"
#include "app/passwd.h"
#include "dialogs/TestGenCards.h"
#include "dialogs/card.h"
#include "dialogs/carderase.h"
#include "dialogs/cardread.h"
#include "dialogs/changeprof.h"
#include "dialogs/mastercard.h"
#include "dialogs/readeractivate.h"
#include "profiles/DatUtils.h"
#include "profiles/profileprop.h"
#include "profiles/reportmodel.h"
#include "reader/discovery.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <exception>

TfrmMain *frmMain = nullptr;

namespace {

const QColor TopBarColor(99, 117, 214);

QFont BoldFont(QFont font, int pointSize = 0)
{
    font.setBold(true);
    if (pointSize > 0)
        font.setPointSize(pointSize);
    return font;
}

QLabel *PageLabel(const QString &text, QWidget *parent, int pointSize = 0)
{
    auto *label = new QLabel(text, parent);
    label->setFont(BoldFont(parent->font(), pointSize));
    return label;
}

QLabel *IconLabel(QStyle::StandardPixmap pixmap, int size, QWidget *parent)
{
    auto *label = new QLabel(parent);
    QPixmap picture = parent->style()->standardIcon(pixmap).pixmap(size, size);
    if (picture.width() < size)
        picture = picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    label->setPixmap(picture);
    label->setFixedSize(size, size);
    return label;
}

QFrame *Rule(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    return line;
}

// The refusal of a launcher that finds no current profile or a broken list.
QString NotChosenText()
{
    return QStringLiteral("Не выбран профиль безопасности или произошла внутренняя ошибка.");
}

// The refusal of card issue and erase on the profile "Пустой".
QString NoCardWorkText()
{
    return QStringLiteral("Для данного профиля создание, очистка или изменение карты невозможно.");
}

// The box of a state the launchers never expect.
void InternalErrorBox(QWidget *parent)
{
    Modal::Message(
        parent, QMessageBox::NoIcon, QStringLiteral("Tagor"),
        QStringLiteral("INTERNAL ERROR in actNewProfileExecute\r\nCall developers support"));
}

} // namespace

QString ErrorBoxText(const QString &text)
{
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + QLatin1Char('.');
    return text;
}

TLinkLabel::TLinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent) {}

void TLinkLabel::enterEvent(QEnterEvent *event)
{
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent *event)
{
    QFont f = font();
    f.setUnderline(false);
    setFont(f);
    unsetCursor();
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tagor"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    setFont(f);

    auto makeAction = [this](QAction *&action, const char *name, const QString &caption) {
        action = new QAction(caption, this);
        action->setObjectName(QString::fromLatin1(name));
    };
    makeAction(actExit, "actExit", QStringLiteral("Выход"));
    makeAction(actOpen, "actOpen", QString());
    makeAction(actProfActivate, "actProfActivate", QStringLiteral("Активировать"));
    makeAction(actProfileCreate, "actProfileCreate", QStringLiteral("Новый..."));
    makeAction(actProfileDelete, "actProfileDelete", QStringLiteral("Удалить"));
    makeAction(actMasterCard, "actMasterCard", QStringLiteral("Создать мастер-карту"));
    makeAction(actCardNew, "actCardNew", QStringLiteral("Новая карта"));
    makeAction(actCardErase, "actCardErase", QStringLiteral("Очистка карты"));
    makeAction(actChangeProfile, "actChangeProfile", QString());
    makeAction(actPrepareReader, "actPrepareReader",
               QStringLiteral("Активировать считыватель для системы"));
    makeAction(actCardRead, "actCardRead", QStringLiteral("Test read card"));
    actCardRead->setToolTip(QStringLiteral("Check reader initialization and card read"));
    makeAction(miHelpAbout, "miHelpAbout", QStringLiteral("О программе"));
    actProfActivate->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));

    auto bind = [this](QAction *action, void (TfrmMain::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
    };
    bind(actExit, &TfrmMain::actExitExecute);
    bind(actOpen, &TfrmMain::actOpenExecute);
    bind(actProfActivate, &TfrmMain::actProfActivateExecute);
    bind(actProfileCreate, &TfrmMain::actProfileCreateExecute);
    bind(actProfileDelete, &TfrmMain::actProfileDeleteExecute);
    bind(actMasterCard, &TfrmMain::actMasterCardExecute);
    bind(actCardNew, &TfrmMain::actCardNewExecute);
    bind(actCardErase, &TfrmMain::actCardEraseExecute);
    bind(actChangeProfile, &TfrmMain::actChangeProfileExecute);
    bind(actPrepareReader, &TfrmMain::actPrepareReaderExecute);
    bind(actCardRead, &TfrmMain::actCardReadExecute);
    bind(miHelpAbout, &TfrmMain::miHelpAboutClick);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(BuildTopBar());

    pcPages = new QStackedWidget(central);
    pcPages->setObjectName(QStringLiteral("pcPages"));
    tsMain = BuildMainPage();
    tsProfiles = BuildListPage(QStringLiteral("Профили безопасности"),
                               QStringLiteral("Список всех профилей системы:"), lvProfilesDetail,
                               ProfilesModel, "lvProfilesDetail");
    tsProfiles->setObjectName(QStringLiteral("tsProfiles"));
    tsCards =
        BuildListPage(QStringLiteral("Карты доступа"), QStringLiteral("Список всех карт системы:"),
                      lvCardsDetail, CardsModel, "lvCardsDetail");
    tsCards->setObjectName(QStringLiteral("tsCards"));
    pcPages->addWidget(tsMain);
    pcPages->addWidget(tsProfiles);
    pcPages->addWidget(tsCards);
    layout->addWidget(pcPages, 1);
    setCentralWidget(central);

    BuildMenu();

    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("sbMain"));
    bar->setSizeGripEnabled(false);
    sbPanel0 = new QLabel(bar);
    sbPanel0->setObjectName(QStringLiteral("sbPanel0"));
    sbPanel0->setFixedWidth(250);
    sbPanel1 = new QLabel(bar);
    sbPanel1->setObjectName(QStringLiteral("sbPanel1"));
    bar->addWidget(sbPanel0);
    bar->addWidget(sbPanel1, 1);
    setStatusBar(bar);

    // The client area is 682 by 489 pixels; the menu bar lies outside it.
    central->setFixedSize(682, 489 - bar->sizeHint().height());
    layout->activate();
    setFixedSize(sizeHint());

    FormCreate();
}

TfrmMain::~TfrmMain()
{
    DatUtils::SetMessageHandler({});
    if (frmMain == this)
        frmMain = nullptr;
}

QWidget *TfrmMain::BuildTopBar()
{
    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("pnlTop"));
    bar->setFixedHeight(42);
    bar->setAutoFillBackground(true);
    QPalette pal = bar->palette();
    pal.setColor(QPalette::Window, TopBarColor);
    bar->setPalette(pal);

    auto *label = new TLinkLabel(QStringLiteral("Текущий профиль:"), bar);
    label->setObjectName(QStringLiteral("Label6"));
    label->setFont(BoldFont(font()));
    QPalette lp = label->palette();
    lp.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label->setPalette(lp);

    cbProfiles = new QComboBox(bar);
    cbProfiles->setObjectName(QStringLiteral("cbProfiles"));
    cbProfiles->setMinimumWidth(200);
    connect(cbProfiles, &QComboBox::activated, this,
            [this] { Guarded([this] { cbProfilesChange(); }); });

    btnActivate = new QPushButton(bar);
    btnActivate->setObjectName(QStringLiteral("btnActivate"));
    btnActivate->setText(actProfActivate->text());
    btnActivate->setIcon(actProfActivate->icon());
    btnActivate->setEnabled(actProfActivate->isEnabled());
    connect(btnActivate, &QPushButton::clicked, actProfActivate, &QAction::trigger);
    connect(actProfActivate, &QAction::changed, btnActivate,
            [this] { btnActivate->setEnabled(actProfActivate->isEnabled()); });

    btnBack =
        new QPushButton(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("Назад"), bar);
    btnBack->setObjectName(QStringLiteral("btnBack"));
    // Enabled only while a list page is shown; the window starts on the operations page,
    // also when its show step stops early at an error.
    btnBack->setEnabled(false);
    connect(btnBack, &QPushButton::clicked, this, [this] { Guarded([this] { btnBackClick(); }); });

    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(8, 4, 8, 4);
    row->addWidget(label);
    row->addWidget(cbProfiles);
    row->addWidget(btnActivate);
    row->addStretch(1);
    row->addWidget(btnBack);
    return bar;
}

namespace {
QWidget *BluePage(QWidget *parent)
{
    auto *page = new QFrame(parent);
    page->setFrameShape(QFrame::NoFrame);
    page->setAutoFillBackground(true);
    QPalette pal = page->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Highlight));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::Base));
    page->setPalette(pal);
    return page;
}
} // namespace

QWidget *TfrmMain::BuildMainPage()
{
    QWidget *page = BluePage(this);
    page->setObjectName(QStringLiteral("tsMain"));

    auto link = [this, page](const char *name, const QString &text, int pointSize,
                             void (TfrmMain::*handler)()) {
        auto *label = new TLinkLabel(text, page);
        label->setObjectName(QString::fromLatin1(name));
        label->setFont(BoldFont(page->font(), pointSize));
        connect(label, &TLinkLabel::clicked, this,
                [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
        return label;
    };
    auto operations = [page] {
        QLabel *label = PageLabel(QStringLiteral("Операции:"), page);
        QFont f = label->font();
        f.setUnderline(true);
        label->setFont(f);
        return label;
    };
    auto entry = [page](QStyle::StandardPixmap icon, QLabel *label) {
        auto *row = new QHBoxLayout;
        row->addWidget(IconLabel(icon, 16, page));
        row->addWidget(label, 1);
        return row;
    };

    auto *left = new QVBoxLayout;
    auto *leftHead = new QHBoxLayout;
    leftHead->addWidget(IconLabel(QStyle::SP_FileDialogDetailedView, 48, page));
    leftHead->addWidget(link("lblGoToProfilesPage", QStringLiteral("Профили безопасности"), 12,
                             &TfrmMain::lblGoToProfilesPageClick),
                        1);
    left->addLayout(leftHead);
    left->addWidget(operations());
    left->addLayout(entry(QStyle::SP_FileDialogNewFolder,
                          link("lblProfileCreate", QStringLiteral("Создать новый профиль"), 0,
                               &TfrmMain::actProfileCreateExecute)));
    left->addLayout(entry(QStyle::SP_TrashIcon,
                          link("lbProfilelDelete", QStringLiteral("Удалить текущий профиль"), 0,
                               &TfrmMain::actProfileDeleteExecute)));
    left->addLayout(
        entry(QStyle::SP_DriveFDIcon,
              link("lblCreateProfileMaster", QStringLiteral("Создать мастер-карту профиля"), 0,
                   &TfrmMain::actMasterCardExecute)));
    left->addWidget(Rule(page));
    left->addLayout(
        entry(QStyle::SP_ComputerIcon, link("Label8", QStringLiteral("Активировать считыватель"), 0,
                                            &TfrmMain::actPrepareReaderExecute)));
    left->addStretch(1);

    auto *right = new QVBoxLayout;
    auto *rightHead = new QHBoxLayout;
    rightHead->addWidget(IconLabel(QStyle::SP_DriveHDIcon, 48, page));
    rightHead->addWidget(link("lblGoToCardsPage", QStringLiteral("Карты доступа"), 12,
                              &TfrmMain::lblGoToCardsPageClick),
                         1);
    right->addLayout(rightHead);
    right->addWidget(operations());
    right->addLayout(
        entry(QStyle::SP_FileIcon, link("lblCreateCard", QStringLiteral("Создать новую карту"), 0,
                                        &TfrmMain::actCardNewExecute)));
    right->addLayout(
        entry(QStyle::SP_DialogResetButton, link("lblClearCard", QStringLiteral("Очистить карту"),
                                                 0, &TfrmMain::actCardEraseExecute)));
    right->addLayout(entry(QStyle::SP_BrowserReload,
                           link("lblChangeCardProfile", QStringLiteral("Сменить профиль карты"), 0,
                                &TfrmMain::actChangeProfileExecute)));
    right->addWidget(Rule(page));
    right->addLayout(entry(QStyle::SP_FileDialogContentsView,
                           link("lblCheckReaderAndCard", QStringLiteral("Читать защищенный номер"),
                                0, &TfrmMain::actCardReadExecute)));
    right->addStretch(1);

    btnTest = new QPushButton(QStringLiteral("Gen Cards"), page);
    btnTest->setObjectName(QStringLiteral("btnTest"));
    btnTest->setVisible(false);
    connect(btnTest, &QPushButton::clicked, this, [this] { Guarded([this] { btnTestClick(); }); });

    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(24, 24, 24, 12);
    grid->setHorizontalSpacing(40);
    grid->addLayout(left, 0, 0);
    grid->addLayout(right, 0, 2);
    grid->addWidget(btnTest, 1, 1, Qt::AlignCenter);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    return page;
}

QWidget *TfrmMain::BuildListPage(const QString &heading, const QString &label, QTreeView *&view,
                                 TReportModel *&model, const char *viewName)
{
    QWidget *page = BluePage(this);
    auto *head = new QHBoxLayout;
    head->addWidget(IconLabel(
        viewName[2] == 'P' ? QStyle::SP_FileDialogDetailedView : QStyle::SP_DriveHDIcon, 48, page));
    head->addWidget(PageLabel(heading, page, 12), 1);

    view = new QTreeView(page);
    view->setObjectName(QString::fromLatin1(viewName));
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAlternatingRowColors(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setItemsExpandable(false);
    view->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid #d0d0d0; "
                                       "border-bottom: 1px solid #d0d0d0; }"));
    view->header()->setSectionsClickable(false);
    view->header()->setSectionsMovable(false);
    view->header()->setStretchLastSection(false);
    model = new TReportModel(page);
    view->setModel(model);
    if (view == lvProfilesDetail) {
        view->setFocusPolicy(Qt::NoFocus);
        model->SetColumns({QStringLiteral("No."), QStringLiteral("Название"),
                           QStringLiteral("Основан на профиле"), QStringLiteral("Дата"),
                           QStringLiteral("Время"), QStringLiteral("Сектор"),
                           QStringLiteral("Ориг. ID"), QStringLiteral("R/O")});
        const int widths[] = {30, 140, 140, 80, 80, 50, 65, 50};
        for (int i = 0; i < 8; ++i)
            view->setColumnWidth(i, widths[i]);
    } else {
        model->SetColumns({QStringLiteral("No."), QStringLiteral("Профиль"), QStringLiteral("Дата"),
                           QStringLiteral("Время"), QStringLiteral("Серийный номер"),
                           QStringLiteral("Номер карты"), QStringLiteral("Мастер")});
        const int widths[] = {30, 150, 70, 60, 140, 140, 50};
        for (int i = 0; i < 7; ++i)
            view->setColumnWidth(i, widths[i]);
    }

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addLayout(head);
    layout->addWidget(PageLabel(label, page));
    layout->addWidget(view, 1);
    return page;
}

void TfrmMain::BuildMenu()
{
    auto *menu = menuBar();
    menu->setObjectName(QStringLiteral("mnuMain"));
    auto *profile = menu->addMenu(QStringLiteral("Профиль"));
    profile->setObjectName(QStringLiteral("miProfile"));
    profile->addAction(actProfileCreate);
    profile->addAction(actProfActivate);
    profile->addAction(actProfileDelete);
    profile->addSeparator();
    profile->addAction(actExit);
    auto *help = menu->addMenu(QStringLiteral("Помощь"));
    help->setObjectName(QStringLiteral("miHelp"));
    help->addAction(miHelpAbout);
}

void TfrmMain::FormCreate()
{
    CurrentProfID = -1;
    ProfList.Clear();
    ReaderNumber = -1;
    ReaderKind = 0;
    ReaderSerial = 0;
    // Messages of the database routines reach the operator in a plain message box.
    DatUtils::SetMessageHandler([this](const QString &text, const QString &caption) {
        QPointer<TfrmMain> self(this);
        auto show = [self, text, caption] {
            if (self)
                Modal::Message(self, QMessageBox::NoIcon, caption, text);
        };
        // A routine called on the card worker's thread must not open a window there.
        if (QThread::currentThread() == thread())
            show();
        else
            QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);
    });
}

void TfrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!showStepStarted) {
        showStepStarted = true;
        // Centre on the screen at start.
        if (const QScreen *screen = this->screen())
            move(screen->availableGeometry().center() - frameGeometry().center() + pos());
        FormShow();
    }
}

void TfrmMain::FormShow()
{
    pcPages->setCurrentIndex(0);
    // The wait runs in the event loop, so the window keeps painting meanwhile.
    QTimer::singleShot(ShowWaitMs, this, [this] {
        Guarded([this] { FormShowContinue(); });
        showStepDone = true;
        emit shown();
    });
}

void TfrmMain::FormShowContinue()
{
    actOpen->trigger();
    OpenDatabase(DatabasePath);
    LoadProfiles(ProfList);
    FillProfilesCombo(cbProfiles);
    SelectProfileInCombo(cbProfiles, 2);
    cbProfilesChange();
    btnBack->setEnabled(false);
    // The dialogs that look profiles up by ID work on this very list.
    if (frmMasterCard)
        frmMasterCard->ProfList = &ProfList;
    if (frmChangeProf)
        frmChangeProf->ProfList = &ProfList;
}

void TfrmMain::ShowError(const QString &text)
{
    Modal::Message(this, QMessageBox::Critical, QStringLiteral("Tagor"), ErrorBoxText(text));
}

void TfrmMain::ErrorBox(const QString &caption, const QString &text)
{
    Modal::Message(this, QMessageBox::Critical, caption, text);
}

void TfrmMain::Guarded(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const std::exception &e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

bool TfrmMain::CheckReader()
{
    if (ReaderKind != 0)
        return true;
    ErrorBox(QStringLiteral("Нет считывателя"),
             QStringLiteral("Нет доступного или подключенного считывателя"));
    return false;
}

void TfrmMain::FillProfilesCombo(QComboBox *combo)
{
    if (ProfList.Count() == 0)
        return;
    combo->clear();
    for (int i = 0; i < ProfList.Count(); ++i) {
        const TSecProfile *p = ProfList.GetItem(i);
        combo->addItem(p->Caption, p->ID());
    }
    combo->setCurrentIndex(0);
}

void TfrmMain::SelectProfileInCombo(QComboBox *combo, int32_t id)
{
    if (combo->count() == 0)
        return;
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i).toInt() == id) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

void TfrmMain::cbProfilesChange()
{
    if (cbProfiles->currentIndex() < 0)
        return;
    const int32_t id = cbProfiles->currentData().toInt();
    TSecProfile *profile = ProfList.ProfileByID(id);
    CurrentProfID = id;
    if (profile)
        ShowProfileStatus(profile->Caption, profile->Active());
}

void TfrmMain::ShowProfileStatus(const QString &caption, bool active)
{
    QString suffix;
    if (active) {
        suffix = QStringLiteral("  (АКТИВЕН)");
        actProfActivate->setEnabled(false);
    } else {
        suffix = QStringLiteral("  (не активен)");
        actProfActivate->setEnabled(true);
    }
    sbPanel1->setText(QStringLiteral("Текущий профиль:  ") + caption + suffix);
}

TSecProfile *TfrmMain::CurrentProfile() const
{
    return ProfList.ProfileByID(CurrentProfID);
}

TSecProfile *TfrmMain::CurrentProfileOrRefuse(const QString &text)
{
    TSecProfile *profile = CurrentProfile();
    if (!profile)
        ErrorBox(QStringLiteral("Нет профиля"), text);
    return profile;
}

bool TfrmMain::EnsureProfileActive(TSecProfile *profile)
{
    if (profile && profile->Active())
        return true;
    if (!ActivateWithPassword(this, profile))
        return false;
    actProfActivate->setEnabled(false);
    ShowProfileStatus(profile->Caption, true);
    return true;
}

void TfrmMain::actProfActivateExecute()
{
    if (EnsureProfileActive(CurrentProfile())) {
        actProfActivate->setEnabled(false);
        cbProfilesChange();
    }
}

void TfrmMain::actExitExecute()
{
    close();
}

void TfrmMain::actOpenExecute()
{
    sbPanel0->setText(DiscoverReader(ReaderSerial, ReaderNumber));
}

void TfrmMain::lblGoToProfilesPageClick()
{
    ShowProfiles(*ProfilesModel);
    pcPages->setCurrentWidget(tsProfiles);
    btnBack->setEnabled(true);
}

void TfrmMain::lblGoToCardsPageClick()
{
    ShowCards(*CardsModel);
    pcPages->setCurrentWidget(tsCards);
    btnBack->setEnabled(true);
}

void TfrmMain::btnBackClick()
{
    pcPages->setCurrentWidget(tsMain);
    btnBack->setEnabled(false);
}

void TfrmMain::miHelpAboutClick()
{
    if (frmAbout)
        Modal::Exec(frmAbout);
}

void TfrmMain::actProfileCreateExecute()
{
    if (CurrentProfID < 2) {
        ErrorBox(QStringLiteral("Выберите профиль"),
                 QStringLiteral("Новый профиль нельзя создать на базе \"Пустого\"."));
        return;
    }
    TSecProfile *base = CurrentProfile();
    if (!base) {
        InternalErrorBox(this);
        return;
    }
    if (!EnsureProfileActive(base))
        return;

    frmProfileProp->PrepareForNew();
    frmProfileProp->lblProfileName->setText(base->Caption);
    if (Modal::Exec(frmProfileProp) != QDialog::Accepted)
        return;

    const int32_t baseId = CurrentProfID;
    if (AddProfile(
            frmProfileProp->edtName->text(), uint8_t(frmProfileProp->sedSectorNumber->value()),
            frmProfileProp->edtPasswd1->text(), frmProfileProp->KeyA(), frmProfileProp->KeyB(),
            baseId, 1, base->KeyB, frmProfileProp->cbxUseOriginalId->isChecked() ? 1 : 0, 0) < 0)
        return;

    // Every profile object is new after reloading; earlier references are invalid.
    LoadProfiles(ProfList);
    FillProfilesCombo(cbProfiles);
    base = ProfList.ProfileByID(baseId);
    if (base)
        base->SetActive(true);
    // The new row has the largest ID; captions need not be unique, so they cannot tell it.
    TSecProfile *created = nullptr;
    for (int i = 0; i < ProfList.Count(); ++i) {
        TSecProfile *p = ProfList.GetItem(i);
        if (!created || p->ID() > created->ID())
            created = p;
    }
    if (!created || created == base) {
        InternalErrorBox(this);
        return;
    }
    created->SetActive(true);

    if (frmProfileProp->cbMasterCard->isChecked() && CheckReader() && frmMasterCard) {
        FillProfilesCombo(frmMasterCard->cbProfiles);
        frmMasterCard->profileOld = base;
        frmMasterCard->profileNew = created;
        SelectProfileInCombo(frmMasterCard->cbProfiles, created->ID());
        frmMasterCard->cbProfiles->setEnabled(false);
        Modal::Exec(frmMasterCard);
    }

    SelectProfileInCombo(cbProfiles, created->ID());
    cbProfilesChange();
}

void TfrmMain::actProfileDeleteExecute()
{
    TSecProfile *profile = CurrentProfileOrRefuse(NotActivatedText());
    if (!profile)
        return;
    if (profile->IsReadOnly() != 0) {
        ErrorBox(QStringLiteral("Недопустимая операция"),
                 QStringLiteral("Данный профиль нельзя редактировать или удалять!"));
        return;
    }
    if (Modal::Message(this, QMessageBox::Question, QStringLiteral("Подтверждение"),
                       QStringLiteral("Вы уверены, что хотите удалить профиль \"") +
                           profile->Caption + QStringLiteral("\"?"),
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!EnsureProfileActive(profile))
        return;
    if (!DeleteProfile(CurrentProfID)) {
        ErrorBox(QStringLiteral("ОШИБКА"),
                 QStringLiteral("Ошибка при попытке удаления профиля из базы данных!"));
        return;
    }
    ProfList.Remove(profile);
    FillProfilesCombo(cbProfiles);
    CurrentProfID = 2;
    SelectProfileInCombo(cbProfiles, 2);
    cbProfilesChange();
}

// The card operation launchers: each refuses first when no reader is open.
void TfrmMain::actMasterCardExecute()
{
    if (!CheckReader())
        return;
    if (CurrentProfID <= 1) {
        ErrorBox(QStringLiteral("Ошибка профиля"),
                 QStringLiteral("Для данного профиля создание мастер-карты невозможно."));
        return;
    }
    TSecProfile *profile = CurrentProfileOrRefuse(NotActivatedText());
    if (!profile || !EnsureProfileActive(profile))
        return;
    FillProfilesCombo(frmMasterCard->cbProfiles);
    frmMasterCard->profileOld = profile;
    SelectProfileInCombo(frmMasterCard->cbProfiles, profile->ID());
    // The operator chooses the target.
    frmMasterCard->cbProfiles->setEnabled(true);
    Modal::Exec(frmMasterCard);
}

void TfrmMain::actCardNewExecute()
{
    if (!CheckReader())
        return;
    if (CurrentProfID <= 1) {
        ErrorBox(QStringLiteral("Ошибка профиля"), NoCardWorkText());
        return;
    }
    TSecProfile *profile = CurrentProfile();
    if (!profile) {
        InternalErrorBox(this);
        return;
    }
    if (!EnsureProfileActive(profile))
        return;
    frmCard->profile = profile;
    Modal::Exec(frmCard);
}

void TfrmMain::actCardEraseExecute()
{
    if (!CheckReader())
        return;
    if (ProfList.Count() == 0) {
        ErrorBox(QStringLiteral("Нет профиля"),
                 QStringLiteral("Нет профиля безопасности для очистки карт"));
        return;
    }
    TSecProfile *profile = CurrentProfileOrRefuse(NotChosenText());
    if (!profile)
        return;
    if (CurrentProfID <= 1) {
        ErrorBox(QStringLiteral("Ошибка профиля"), NoCardWorkText());
        return;
    }
    if (!EnsureProfileActive(profile))
        return;
    frmCardErase->profile = profile;
    Modal::Exec(frmCardErase);
}

void TfrmMain::actChangeProfileExecute()
{
    if (!CheckReader())
        return;
    if (ProfList.Count() < 3) {
        ErrorBox(QStringLiteral("Нет профиля"),
                 QStringLiteral("Нет профилей безопасности для перепрограммирования карты"));
        return;
    }
    TSecProfile *profile = CurrentProfileOrRefuse(NotActivatedText());
    if (!profile || !EnsureProfileActive(profile))
        return;
    FillProfilesCombo(frmChangeProf->cbProfiles1);
    SelectProfileInCombo(frmChangeProf->cbProfiles1, CurrentProfID);
    FillProfilesCombo(frmChangeProf->cbProfiles2);
    SelectProfileInCombo(frmChangeProf->cbProfiles2, CurrentProfID);
    Modal::Exec(frmChangeProf);
}

void TfrmMain::actPrepareReaderExecute()
{
    if (!CheckReader())
        return;
    if (ProfList.Count() == 0) {
        ErrorBox(QStringLiteral("Нет профиля"),
                 QStringLiteral("Нет профиля безопасности для активирования"));
        return;
    }
    TSecProfile *profile = CurrentProfileOrRefuse(NotChosenText());
    if (!profile)
        return;
    if (CurrentProfID <= 1) {
        ErrorBox(QStringLiteral("Ошибка профиля"),
                 QStringLiteral("Для данного профиля активирование считывателя невозможно."));
        return;
    }
    if (!EnsureProfileActive(profile)) {
        ErrorBox(QStringLiteral("Ошибка профиля"),
                 QStringLiteral("Профиль не активирован, активация считывателя невозможна."));
        return;
    }
    frmReaderActivate->profile = profile;
    Modal::Exec(frmReaderActivate);
}

void TfrmMain::actCardReadExecute()
{
    if (!CheckReader())
        return;
    if (ProfList.Count() == 0) {
        ErrorBox(QStringLiteral("Нет профиля"),
                 QStringLiteral("Нет профиля безопасности для работы с картой"));
        return;
    }
    TSecProfile *profile = CurrentProfileOrRefuse(NotChosenText());
    if (!profile)
        return;
    // Any current profile will do: the read takes sector and key from the reader.
    frmCardRead->profile = profile;
    Modal::Exec(frmCardRead);
}

void TfrmMain::btnTestClick()
{
    Modal::Exec(frmTstGenCards);
}
