#pragma once
// Connects the game windows, dialogs and sounds to the rest of the program.
// Call once on the GUI thread at start-up, after the QApplication exists
// and before the protocol speaker starts.

// Fills in the game hooks (played and watched game windows, the game-aborted
// sound, the game creation dialog), installs the Qt sound output and
// registers the sound event "Tolvar Game Started" with its bundled WAV file.
void InstallGameHooks();
