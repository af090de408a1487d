#pragma once

// Windows of the updater and the one place where its modal prompts run, so that a
// headless test can answer them.

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QLabel;
class QProgressBar;

namespace UpdaterUi {

// Runs a modal dialog: exec() unless a test installed a hook, which then gets the
// dialog (already laid out, not shown) and returns its result.
using ModalHook = std::function<int(QDialog &dialog)>;
void setModalHookForTest(ModalHook hook);
int execModal(QDialog &dialog);

// A modal message box without parent with an OK button.
void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text, bool stayOnTop = false);

// Style, palette and tool-tip sheet of the whole updater.
void setupApplicationStyle();

// The "update available" dialog; accepted means "Обновить".
std::unique_ptr<QDialog> createUpdateDialog(const QString &currentVersion, const QString &newVersion);

// The download progress window; bar and status line are returned through the pointers.
QDialog *createProgressDialog(QProgressBar **bar, QLabel **status);

// The "installing" notice, which closes itself after closeAfterMs.
void showFinalDialog(int closeAfterMs);

// Centres a window on the primary screen's available area.
void centreOnPrimaryScreen(QWidget *window);

} // namespace UpdaterUi
