// The client program as a user would run it (with the same command line),
// its sound output and its alerts recorded, driven by commands on standard
// input (see ClientDriver).
//
// The program writes its diagnostics to standard output; here they are sent
// to standard error, so that the standard output carries only the replies.

#include "ClientDriver.h"
#include "Recorders.h"
#include "app/AppLocation.h"
#include "app/ClientOptions.h"
#include "app/client/TolvarApp.h"
#include "kit/SoundOutput.h"
#include "lobby/LoginWindow.h"
#include "net/TolvarSpeak.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const int replies = ::dup(STDOUT_FILENO);
    if (replies < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("tolvar_e2e_client");
        return 2;
    }

    const ClientOptions options = ClientOptions::Parse(std::vector<std::string>(argv, argv + argc),
                                                       std::getenv("TOLVAR_PORT"));
    if (!options.error.empty()) {
        std::fprintf(stderr, "tolvar_e2e_client: %s\n", options.error.c_str());
        return 2;
    }
    TolvarSpeak::SetServerPort(options.port);
    if (!options.server.empty())
        LoginWindow::SetDefaultServer(options.server);
    AppLocation::Instance()->SetExecutableCall(argc > 0 ? std::string(argv[0]) : std::string());
    TolvarApp app(argc, argv);

    // Replaced before any game sound is loaded: the sound effects are
    // loaded through the output installed when the first one is played.
    auto sounds = std::make_shared<RecordingSound>();
    kit::SetSoundOutput(sounds);
    AlertRecorder alerts;
    alerts.Install();

    ClientDriver driver(replies, sounds, &alerts);
    driver.Start();
    app.Run();
    return 0;
}
