#pragma once

// The shared base of the card dialogs (card issue, master card, erase, profile change,
// reader activation, card read).
//
// Every card dialog hands one job to the card worker, shows the worker's results as
// timed status messages and pauses the worker when it is closed. The layout, top to
// bottom: a sky-blue panel with the 32-pixel picture Image1 and the instruction Label1,
// then the dialog's own controls (added by the derived class to ContentLayout()), then
// the status area (imgOk / imgAttention and lblMsg, hidden at first); below the panel the
// waiting animation ImageWait in the middle and btnClose at the right.
//
// A derived dialog:
//   - passes its title and instruction to the constructor and adds its controls to
//     ContentLayout();
//   - overrides FormShow() (or uses the default, which hands the worker JobAction() with
//     `profile` and resumes it), and the event handlers it needs;
//   - sets MsgPausesWorker = false when its messages must not pause the worker, and
//     overrides TimerTimer() when the end of a message does something else.
//
// Closing the dialog (any way) pauses the worker. A message whose time runs out after the
// dialog has closed only clears the status area: it never resumes the worker, which may by
// then be working for another dialog.
//
// Message times are given in the program's own milliseconds (2000, 5000, 10000);
// TimeScale multiplies them on the timer only, so tests can run them fast.

#include <QDialog>
#include <QString>
#include <QWidget>

#include <cstdint>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QVBoxLayout;
class QEvent;
class TCardEvent;
class TSecProfile;

// The animated waiting picture: a ring of dots whose bright dot goes round. Painted in
// code, no picture files. Speed is a percentage of the normal speed (100 = one step every
// 100 ms).
class TWaitAnimation : public QWidget
{
    Q_OBJECT

public:
    explicit TWaitAnimation(QWidget *parent = nullptr);

    void Start();
    void Stop();
    bool IsRunning() const;
    void SetSpeed(int percent);
    int Speed() const { return fSpeed; }
    int Frame() const { return fFrame; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void Step();
    QTimer *fTimer;
    int fFrame = 0;
    int fSpeed = 100;
};

class TCardDialog : public QDialog
{
    Q_OBJECT

public:
    TCardDialog(const QString &title, const QString &instruction, QWidget *parent = nullptr);
    ~TCardDialog() override;

    // Multiplies every message time on the timer (tests set it small). Default 1.0.
    static double TimeScale;

    // The warning shown on CARD_DETECTED, for 10000 ms.
    static QString CardDetectedText();
    // The warning shown when writing a card failed (issue and master card dialogs).
    static QString WriteErrorText();

    // The profile the dialog works for; borrowed from the main window's ProfList and set
    // by the launcher before each showing.
    TSecProfile *profile = nullptr;

    // Controls
    QFrame *pnlTop;
    QLabel *Image1;
    QLabel *Label1;
    QLabel *imgOk;
    QLabel *imgAttention;
    QLabel *lblMsg;
    TWaitAnimation *ImageWait;
    QPushButton *btnClose;
    QTimer *Timer;

    // Shows one status message for timeout milliseconds (scaled by TimeScale): a red
    // warning when alert, else a blue success. Pauses the worker first when
    // MsgPausesWorker and the dialog is shown (a closed dialog paused it on closing). A new
    // message replaces one still showing and restarts the time.
    void ShowMsg(bool alert, const QString &msg, int32_t timeout);
    // Puts the status area back to its waiting look (animation running).
    void ShowWait();
    // The message time has run out: stop the timer, ShowWait and resume the worker, but
    // only while the dialog is shown; after closing only the status area is cleared.
    virtual void TimerTimer();

    // The timeout (unscaled, in ms) of the last message shown; 0 before any message.
    int32_t MsgTimeout() const { return fMsgTimeout; }
    // True between the dialog's show step and its hiding.
    bool IsShown() const { return fShown; }

protected:
    // Where the derived dialog puts its controls (between Label1 and the status area).
    QVBoxLayout *ContentLayout() const { return fContent; }
    // Adds a sunken line across the upper panel to the content.
    void AddContentRule();
    // Adds the "Профиль:" row between two such lines to the content: its label (Label2)
    // and the read-only field that shows the profile's name (edtProfileName).
    void AddProfileNameRow(QLabel *&label, QLineEdit *&field);

    // The action bit the default FormShow gives the worker (0: none).
    virtual int32_t JobAction() const { return 0; }

    // The dialog is shown. Default: BeginShow(); HandOver(JobAction(), profile, 0);
    // ResumeWorker().
    virtual void FormShow();
    // The dialog is closed (any way). Default: pause the worker.
    virtual void FormHide();

    // Worker events (event is null when an event of that code is not a TCardEvent); the
    // defaults: CARD_DETECTED shows CardDetectedText() as a warning for 10000 ms, the
    // others do nothing.
    virtual void CardDetected();
    virtual void CardProcessed(TCardEvent *event);
    virtual void CardProcessError(TCardEvent *event);
    virtual void CardWriteError(TCardEvent *event);
    virtual void CardReadError(TCardEvent *event);

    // The common beginning of every show step: a message left from an earlier showing is
    // dropped, ShowWait, animation at 200 %.
    void BeginShow();
    // Fills the worker's job fields (call while the worker is paused): hwnd := this
    // dialog, profile0, threadaction, ismaster.
    void HandOver(int32_t action, TSecProfile *profile0, int32_t ismaster);
    // Resumes / pauses the worker (no-ops without a worker).
    static void ResumeWorker();
    static void PauseWorker();
    static bool WorkerPaused();
    // Hides imgAttention, imgOk and lblMsg.
    void HideMsg();

    // Whether ShowMsg pauses the worker (the issue, master card and erase dialogs).
    bool MsgPausesWorker = true;

    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void customEvent(QEvent *event) override;

private:
    QVBoxLayout *fContent;
    bool fShown = false;
    int32_t fMsgTimeout = 0;
};

// Sky-blue background of the upper panel of the card dialogs.
QColor CardDialogPanelColor();
