#include "app/program.h"

#include "app/Main.h"
#include "app/modal.h"
#include "app/passwd.h"
#include "dialogs/changeprof.h"
#include "dialogs/mastercard.h"
#include "profiles/DatUtils.h"
#include "profiles/profileprop.h"

#include <cstdio>
#include <exception>

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        const QString text = ErrorBoxText(QString::fromUtf8(e.what()));
        Modal::Message(frmMain, QMessageBox::Critical, QStringLiteral("Tagor"), text);
    }
    return false;
}

int RunProgram(int argc, char *argv[])
{
    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Tagor"));

    int result = 0;
    {
        TfrmMain mainWindow;
        frmMain = &mainWindow;
        TfrmMasterCard masterCardDialog(&mainWindow);
        frmMasterCard = &masterCardDialog;
        TfrmProfileProp profilePropDialog(&mainWindow);
        frmProfileProp = &profilePropDialog;
        TfrmPass passDialog(&mainWindow);
        frmPass = &passDialog;
        TfrmChangeProf changeProfDialog(&mainWindow);
        frmChangeProf = &changeProfDialog;

        mainWindow.show();
        result = app.exec();
        frmChangeProf = nullptr;
        frmPass = nullptr;
        frmProfileProp = nullptr;
        frmMasterCard = nullptr;
    }
    CloseDatabase();
    return result;
}
