#pragma once
// The user's settings file, "tolvar/user-settings" below the user settings
// directory: the last user name and the chosen board and piece skins.
//
// One instance for the whole run, created on first use and never destroyed.
// Any thread may call it (see FileXMLReader); the first Instance() call
// blocks while the file is read and, when the file had to be replaced or
// could not be read, until the user has dismissed the alert saying so.

#include "xml/FileXMLReader.h"

class UserSettings : public FileXMLReader
{
public:
    static UserSettings* Instance();

    // Forgets the instance without writing it, so that the next Instance()
    // reads the file afresh and alerts again; for tests, which run many
    // sessions in one process. No other thread may use the settings meanwhile.
    static void ResetForTests();

private:
    UserSettings();
    ~UserSettings() override = default;
};
