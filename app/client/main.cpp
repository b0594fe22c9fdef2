// The client's entry point.

#include "app/AppLocation.h"
#include "app/ClientOptions.h"
#include "app/client/TolvarApp.h"
#include "lobby/LoginWindow.h"
#include "net/TolvarSpeak.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const ClientOptions options = ClientOptions::Parse(std::vector<std::string>(argv, argv + argc),
                                                       std::getenv("TOLVAR_PORT"));
    if (!options.error.empty()) {
        std::fprintf(stderr, "tolvar: %s\n\n%s", options.error.c_str(),
                     ClientOptions::Usage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(ClientOptions::Usage().c_str(), stdout);
        return 0;
    }
    TolvarSpeak::SetServerPort(options.port);
    if (!options.server.empty())
        LoginWindow::SetDefaultServer(options.server);

    // Before any window, sound or setting exists: they all resolve their
    // files below the executable's directory.
    AppLocation::Instance()->SetExecutableCall(argc > 0 ? std::string(argv[0]) : std::string());
    TolvarApp app(argc, argv);
    app.Run();
    return 0;
}
