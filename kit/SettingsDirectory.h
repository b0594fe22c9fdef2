#pragma once
// Where per-user files live: the XDG base directories.

#include <string>

namespace kit {

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
// No trailing "/". The directory may not exist yet.
std::string UserSettingsDirectory();

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share.
std::string UserDataDirectory();

// Creates `path` and every missing parent with `mode`; true when it exists afterwards.
bool CreateDirectories(const std::string& path, unsigned mode = 0755);

} // namespace kit
