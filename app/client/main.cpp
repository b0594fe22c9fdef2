// The client's entry point.

#include "app/AppLocation.h"
#include "app/client/TolvarApp.h"

#include <string>

int main(int argc, char** argv)
{
    // Before any window, sound or setting exists: they all resolve their
    // files below the executable's directory.
    AppLocation::Instance()->SetExecutableCall(argc > 0 ? std::string(argv[0]) : std::string());
    TolvarApp app(argc, argv);
    app.Run();
    return 0;
}
