#pragma once
// The application object: brings the long-lived loops up in their fixed
// order, shows the first windows and runs the application loop.

#include <QApplication>

class TolvarApp : public QApplication
{
public:
    TolvarApp(int& argc, char** argv);
    ~TolvarApp() override;

    // Runs the application loop; returns when the application quits, after
    // the loops and threads of the program have ended.
    int Run();

private:
    // The platform's quit request: every window is asked to close first;
    // the application quits when all of them agreed.
    void _QuitRequested();
};
