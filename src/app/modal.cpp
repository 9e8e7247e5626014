#include "app/modal.h"

#include <QDialog>

namespace Modal {
namespace {
std::deque<QMessageBox::StandardButton> answers;
std::deque<std::function<int(QDialog *)>> execHandlers;
std::deque<Shown> history;
} // namespace

QMessageBox::StandardButton Message(QWidget *parent, QMessageBox::Icon icon, const QString &caption,
                                    const QString &text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    history.push_back({icon, caption, text});
    if (!answers.empty()) {
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}

int Exec(QDialog *dialog)
{
    if (!execHandlers.empty()) {
        auto handler = std::move(execHandlers.front());
        execHandlers.pop_front();
        return handler(dialog);
    }
    return dialog->exec();
}

void SetNextAnswer(QMessageBox::StandardButton answer)
{
    answers.push_back(answer);
}

void SetNextExec(std::function<int(QDialog *)> handler)
{
    execHandlers.push_back(std::move(handler));
}

const std::deque<Shown> &History()
{
    return history;
}

void ClearHistory()
{
    history.clear();
}

bool PendingAnswers()
{
    return !answers.empty() || !execHandlers.empty();
}

} // namespace Modal
