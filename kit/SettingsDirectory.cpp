#include "kit/SettingsDirectory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace kit {
namespace {

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return "/tmp";
}

std::string XdgDirectory(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    std::string path = (value != nullptr && value[0] == '/') ? std::string(value)
                                                             : HomeDirectory() + "/" + fallback;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

std::string UserSettingsDirectory()
{
    return XdgDirectory("XDG_CONFIG_HOME", ".config");
}

std::string UserDataDirectory()
{
    return XdgDirectory("XDG_DATA_HOME", ".local/share");
}

bool CreateDirectories(const std::string& path, unsigned mode)
{
    if (path.empty())
        return false;
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace kit
