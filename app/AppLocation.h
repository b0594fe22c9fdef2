#pragma once
// Resolves the program's resource paths below the directory that holds the
// running executable. Written once at start-up, before other threads exist,
// and only read afterwards.

#include <string>

class AppLocation
{
public:
    static AppLocation* Instance();

    // Records the executable's directory. `argv0` is the path the program was
    // started by; the running executable's real path (/proc/self/exe) is
    // preferred, since a program started through PATH has a bare name there.
    void SetExecutableCall(const std::string& argv0);

    // The directory, absolute, without a trailing "/"; empty before SetExecutableCall.
    std::string Path() const;

    // Path() + "/" + relative, exactly: no normalisation and no check.
    std::string AbsolutePath(const std::string& relative) const;

    // Sets the directory directly (tests, and installed layouts).
    void SetPath(const std::string& directory);

    // The directory SetExecutableCall records: the parent of what `selfLink`
    // points to, or, when it cannot be read, the parent of `argv0` made
    // absolute against the current directory.
    static std::string ExecutableDirectory(const std::string& argv0,
                                           const std::string& selfLink = "/proc/self/exe");

private:
    AppLocation() = default;
    std::string fDirectory;
};
