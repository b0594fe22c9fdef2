#pragma once
// Connects the lobby to the rest of the program: fills Hooks().lobby and
// Hooks().newLoginWindow, and binds the lobby's SpeakerLink to TolvarSpeak.
// Call once on the GUI thread at start-up, before the speaker runs.

void InstallLobbyHooks();
