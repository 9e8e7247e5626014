#pragma once

#include <QMessageBox>
#include <QString>

#include <deque>
#include <functional>

class QDialog;
class QWidget;

// Every modal prompt of the program goes through here. A test queues answers in
// advance, so no test ever blocks in a nested event loop; every message box shown is
// recorded so tests can check what the operator was told.
namespace Modal {

struct Shown
{
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

// Shows a message box and returns the button pressed.
QMessageBox::StandardButton
Message(QWidget *parent, QMessageBox::Icon icon, const QString &caption, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// Shows a dialog modally and returns its result.
int Exec(QDialog *dialog);

// Test seams. A queued answer is used by the next Message call; a queued handler is
// called by the next Exec call instead of exec() and its result returned.
void SetNextAnswer(QMessageBox::StandardButton answer);
void SetNextExec(std::function<int(QDialog *)> handler);
const std::deque<Shown> &History();
void ClearHistory();
bool PendingAnswers();

} // namespace Modal
