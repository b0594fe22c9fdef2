#include "app/AppLocation.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

AppLocation* AppLocation::Instance()
{
    static AppLocation* sInstance = new AppLocation();
    return sInstance;
}

namespace {

// The parent directory of `path`, made absolute against the current directory.
std::string ParentDirectory(const std::string& path)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
    if (error)
        absolute = path;
    std::string parent = absolute.parent_path().string();
    while (parent.size() > 1 && parent.back() == '/')
        parent.pop_back();
    return parent;
}

} // namespace

std::string AppLocation::ExecutableDirectory(const std::string& argv0, const std::string& selfLink)
{
    char buffer[PATH_MAX + 1];
    ssize_t length = readlink(selfLink.c_str(), buffer, PATH_MAX);
    if (length > 0) {
        buffer[length] = '\0';
        return ParentDirectory(buffer);
    }
    return ParentDirectory(argv0);
}

void AppLocation::SetExecutableCall(const std::string& argv0)
{
    fDirectory = ExecutableDirectory(argv0);
}

std::string AppLocation::Path() const
{
    return fDirectory;
}

std::string AppLocation::AbsolutePath(const std::string& relative) const
{
    return fDirectory + "/" + relative;
}

void AppLocation::SetPath(const std::string& directory)
{
    fDirectory = directory;
}
