#pragma once

#include <QApplication>

// The application object: an error that escapes an event handler is shown to the
// operator in a message box and the program goes on.
class TApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
};

// Starts the program: the card worker, the windows in their order, the event loop; at
// the end stops the worker and closes the database.
int RunProgram(int argc, char *argv[]);
