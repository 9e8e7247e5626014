#pragma once
// The About box: product name, file version, copyright line and comment of
// the program, read once from the version block of its own executable.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TfrmAbout : public QDialog
{
    Q_OBJECT

public:
    // Reads the version data of exeFile (the program's own file when empty)
    // once, here; showing the box later reads nothing.
    explicit TfrmAbout(QWidget *parent = nullptr, const QString &exeFile = QString());

    // The maker's support address shown under the picture.
    static QString SupportEmail();

    QFrame *Panel1;
    QLabel *ProgramIcon;
    QLabel *lblEmail;
    QLabel *lblProductCaption;
    QLabel *lblProductName;
    QLabel *lblVersionCaption;
    QLabel *lblFileVersion;
    QLabel *lblCopyRightCaption;
    QLabel *lblCopyRight;
    QLabel *lblCommentsCaption;
    QLabel *lblComments;
    QPushButton *btnOK;

private:
    void FormCreate(const QString &exeFile);
};

// The single instance, created by the main window at start-up.
extern TfrmAbout *frmAbout;
