#pragma once
// A top-level Qt window that is also a message loop on the GUI thread.
//
// QtWindow is the Qt class to build on (QWidget, QMainWindow, QDialog) and
// Looper the loop base (GuiLooper, or an interface derived from it). Closing
// the window by its close box, by Quit() or by a posted B_QUIT_REQUESTED asks
// QuitRequested() once; when it agrees the window closes and is deleted.

#include "kit/GuiLooper.h"

#include <QCloseEvent>
#include <QString>

template <class QtWindow, class Looper = GuiLooper> class BWindow : public QtWindow, public Looper
{
public:
    explicit BWindow(const QString& title, QWidget* parent = nullptr) : QtWindow(parent)
    {
        QtWindow::setWindowTitle(title);
        QtWindow::setAttribute(Qt::WA_DeleteOnClose);
    }

    void Show() override
    {
        QtWindow::show();
        QtWindow::raise();
        QtWindow::activateWindow();
    }

    // Closes the window without asking QuitRequested() again.
    void Quit() override
    {
        fQuitAccepted = true;
        QtWindow::close();
    }

    bool QuitRequested() override { return true; }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (fQuitAccepted || QuitRequested()) {
            fQuitAccepted = true;
            event->accept();
        } else {
            event->ignore();
        }
    }

private:
    bool fQuitAccepted = false;
};
