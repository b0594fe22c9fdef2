#pragma once
// The sound effects of a game: a move, a check, a checkmate, a draw, a
// game aborted by a player, and one's own clock running low. A process-wide singleton, created once
// on first use (thread-safe) and kept for the whole run.
//
// The sounds are loaded through the installed SoundOutput when the instance
// is created, so the output must be installed before the first Instance().
// Any thread may play; playing never blocks. Each play request carries its
// own "may be heard" flag, so a silent replay in one window never silences a
// move applied at the same moment in another.

#include <atomic>

class SoundSystem
{
public:
    static SoundSystem* Instance();

    // Loads the sounds again through the installed output and unmutes; for
    // tests, which change the sound files. No other thread may play meanwhile.
    static void ResetForTests();

    void PlayPieceMoved(bool sound = true);
    void PlayCheck(bool sound = true);
    void PlayCheckmate(bool sound = true);
    void PlayDraw(bool sound = true);
    void PlayGameAborted(bool sound = true);
    void PlayLowTime(bool sound = true);

    // Whether the user lets the game sounds be heard ("sounds" setting,
    // "off" silences them), and how loud ("sound-volume", 0..100); read
    // before every sound, so a change applies to the next one.
    static bool SoundsOn();
    static float Volume();

    // A process-wide mute kept for callers that still switch all sounds at
    // once; the board passes its per-move flag with each request instead.
    void EnableSound(bool enabled);
    bool IsEnabled() const;

private:
    SoundSystem();
    void _Load();
    void _Play(int handle, bool sound);

    int fCheckSound;
    int fCheckmateSound;
    int fDrawSound;
    int fPieceMovedSound;
    int fGameAbortedSound;
    int fLowTimeSound;
    std::atomic<bool> fEnabled{true};
};
