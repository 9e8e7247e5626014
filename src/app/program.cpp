#include "app/program.h"

#include "about/About.h"
#include "app/Main.h"
#include "app/modal.h"
#include "app/passwd.h"
#include "dialogs/TestGenCards.h"
#include "dialogs/card.h"
#include "dialogs/carderase.h"
#include "dialogs/cardread.h"
#include "dialogs/changeprof.h"
#include "dialogs/mastercard.h"
#include "dialogs/readeractivate.h"
#include "dialogs/virtualreader.h"
#include "profiles/DatUtils.h"
#include "profiles/profileprop.h"
#include "reader/sim/simbinding.h"
#include "reader/thread/thread.h"

#include <QFileInfo>
#include <QScreen>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>

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

// Puts a window beside the main window, on the side where the screen has more room, so
// that neither hides the other where the screen allows; it always stays on the screen.
static void PlaceBeside(QWidget *window, const QWidget *mainWindow)
{
    const QScreen *screen = mainWindow->screen();
    if (!screen)
        return;
    const QRect avail = screen->availableGeometry();
    const QRect main = mainWindow->frameGeometry();
    const QSize least = window->minimumSizeHint().boundedTo(avail.size());
    QSize size = window->size().expandedTo(least).boundedTo(avail.size());
    const int gap = 8;
    const int rightRoom = avail.right() - main.right() - gap;
    const int leftRoom = main.left() - avail.left() - gap;
    int x = avail.right() + 1 - size.width();
    if (std::max(rightRoom, leftRoom) >= least.width()) {
        size.setWidth(std::min(size.width(), std::max(rightRoom, leftRoom)));
        x = rightRoom >= leftRoom ? main.right() + 1 + gap : main.left() - gap - size.width();
    }
    const int y = std::clamp(main.top(), avail.top(), avail.bottom() + 1 - size.height());
    window->resize(size);
    window->move(x, y);
}

int RunProgram(int argc, char *argv[])
{
    // The arguments are read before any window system is needed, so --help works anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const TReaderSelection selection = ParseReaderArgs(arguments);
    if (selection.help || !selection.error.isEmpty()) {
        if (!selection.error.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(selection.error));
        std::fprintf(selection.help ? stdout : stderr, "%s",
                     qPrintable(ReaderHelpText(QFileInfo(arguments.value(0)).fileName())));
        return selection.help ? 0 : 2;
    }

    // The card worker exists, paused, before any window.
    CreateMfrcThread();

    int result = 0;
    {
        TApplication app(argc, argv);
        app.setApplicationName(QStringLiteral("Tagor"));
        // The virtual readers keep their memory beside the database.
        const QString dbPath = DatUtils::DefaultDatabasePath();
        BindSimulatedReaders(selection, dbPath.left(dbPath.size() - QStringLiteral(".db3").size()));

        // The windows, each once, in their start order.
        TfrmMain mainWindow;
        frmMain = &mainWindow;
        frmAbout = new TfrmAbout(&mainWindow);
        frmMasterCard = new TfrmMasterCard(&mainWindow);
        frmProfileProp = new TfrmProfileProp(&mainWindow);
        frmPass = new TfrmPass(&mainWindow);
        frmCard = new TfrmCard(&mainWindow);
        frmCardErase = new TfrmCardErase(&mainWindow);
        frmTstGenCards = new TfrmTstGenCards(&mainWindow);
        frmReaderActivate = new TfrmReaderActivate(&mainWindow);
        frmCardRead = new TfrmCardRead(&mainWindow);
        frmChangeProf = new TfrmChangeProf(&mainWindow);

        // While the simulator serves as the reader, the operator handles its cards in the
        // virtual reader window, a window of its own beside the main window (the card
        // dialogs are modal to the main window only). It keeps the cards beside the
        // database, so it opens once the show step has found the database.
        std::unique_ptr<TfrmVirtualReader> virtualReader;
        QObject::connect(&mainWindow, &TfrmMain::shown, &mainWindow, [&virtualReader] {
            TSimulator &sim = TSimulator::Instance();
            if (virtualReader || (Mfrc500() != &sim.Alto() && Rivlink() != &sim.Nova()))
                return;
            const QString db = DatUtils::DatabasePath().isEmpty() ? DatUtils::DefaultDatabasePath()
                                                                  : DatUtils::DatabasePath();
            virtualReader =
                std::make_unique<TfrmVirtualReader>(sim.Field(), VirtualReader::CardsFolderFor(db));
            frmVirtualReader = virtualReader.get();
            PlaceBeside(virtualReader.get(), frmMain);
            virtualReader->show();
        });

        mainWindow.show();
        result = app.exec();

        // The worker stops before the windows and the profiles it borrows go away.
        FreeMfrcThread();
        frmAbout = nullptr;
        frmMasterCard = nullptr;
        frmProfileProp = nullptr;
        frmPass = nullptr;
        frmCard = nullptr;
        frmCardErase = nullptr;
        frmTstGenCards = nullptr;
        frmReaderActivate = nullptr;
        frmCardRead = nullptr;
        frmChangeProf = nullptr;
        virtualReader.reset();
        frmMain = nullptr;
    }
    DatUtils::CloseDatabase();
    return result;
}
