#pragma once

#include "profiles/secprofiles.h"

#include <QLabel>
#include <QMainWindow>

#include <functional>

class QAction;
class QComboBox;
class QPushButton;
class QStackedWidget;
class QTreeView;
class TReportModel;

// A label of the operations page that behaves like a link: underlined and with the hand
// pointer while the mouse is over it, and clickable.
class TLinkLabel : public QLabel
{
    Q_OBJECT

public:
    TLinkLabel(const QString &text, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The main window: three pages, the current-profile selector and the status bar.
class TfrmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Fields
    uint32_t ReaderSerial = 0;
    int32_t ReaderNumber = -1;
    int32_t CurrentProfID = -1;
    TSecProfileList ProfList;

    // Where the database lives; empty means beside the program file.
    QString DatabasePath;
    // The wait of the show step before the reader is looked for, in milliseconds.
    int ShowWaitMs = 500;

    // Controls
    QComboBox *cbProfiles;
    QPushButton *btnActivate;
    QPushButton *btnBack;
    QPushButton *btnTest;
    QStackedWidget *pcPages;
    QWidget *tsMain;
    QWidget *tsProfiles;
    QWidget *tsCards;
    QTreeView *lvProfilesDetail;
    QTreeView *lvCardsDetail;
    TReportModel *ProfilesModel;
    TReportModel *CardsModel;
    QLabel *sbPanel0;
    QLabel *sbPanel1;

    // Actions
    QAction *actExit;
    QAction *actOpen;
    QAction *actProfActivate;
    QAction *actProfileCreate;
    QAction *actProfileDelete;
    QAction *actMasterCard;
    QAction *actCardNew;
    QAction *actCardErase;
    QAction *actChangeProfile;
    QAction *actPrepareReader;
    QAction *actCardRead;
    QAction *miHelpAbout;

    // True once the show step has run to its end (or stopped at an error).
    bool ShowStepDone() const { return showStepDone; }

    // Routines used by every launcher and by the dialogs.
    bool CheckReader();
    void FillProfilesCombo(QComboBox *combo);
    void SelectProfileInCombo(QComboBox *combo, int32_t id);
    void cbProfilesChange();
    void ShowProfileStatus(const QString &caption, bool active);
    bool EnsureProfileActive(TSecProfile *profile);
    TSecProfile *CurrentProfile() const;
    // The current profile; none is refused with a "Нет профиля" box saying text.
    TSecProfile *CurrentProfileOrRefuse(const QString &text);

    // Shows an error in a message box titled "Tagor" (full stop appended as needed).
    void ShowError(const QString &text);
    // A message box with the error icon and an OK button, owned by the main window.
    void ErrorBox(const QString &caption, const QString &text);
    // Runs an operation; any error that escapes it is shown in a message box.
    void Guarded(const std::function<void()> &operation);

    // Handlers
    void actExitExecute();
    void actOpenExecute();
    void actProfActivateExecute();
    void actProfileCreateExecute();
    void actProfileDeleteExecute();
    void actMasterCardExecute();
    void actCardNewExecute();
    void actCardEraseExecute();
    void actChangeProfileExecute();
    void actPrepareReaderExecute();
    void actCardReadExecute();
    void btnTestClick();
    void miHelpAboutClick();
    void lblGoToProfilesPageClick();
    void lblGoToCardsPageClick();
    void btnBackClick();

signals:
    // The show step has finished.
    void shown();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormShowContinue();
    QWidget *BuildTopBar();
    QWidget *BuildMainPage();
    QWidget *BuildListPage(const QString &heading, const QString &label, QTreeView *&view,
                           TReportModel *&model, const char *viewName);
    void BuildMenu();

    bool showStepStarted = false;
    bool showStepDone = false;
};

extern TfrmMain *frmMain;

// The error text as the message box shows it: a full stop is appended unless the last
// character's code is the full stop's or lower.
QString ErrorBoxText(const QString &text);
