#pragma once
// Turns the chunks received from the server into handled replies: cuts
// them into lines (keeping an unfinished line for the next chunk), splits
// each line and dispatches it to its reply handler, in arrival order.
//
// HandleChunk() runs on one thread at a time (the speaker's loop thread) and
// blocks until every line of the chunk is handled, window work included
// (the handlers run it on the GUI thread in one call once the chunk is
// done, in the order of the lines). Clear() may be called from any thread,
// a handler's included. Holds a reference to the handlers, which must
// outlive it.

#include "net/LineCutter.h"

#include <functional>
#include <mutex>
#include <string_view>

class ReplyHandlers;

class CommandHandler
{
public:
    explicit CommandHandler(ReplyHandlers& handlers);

    // Handles every line that `chunk` completes. `stillCurrent`, when given,
    // is asked before each line; once it returns false the rest of the chunk
    // is dropped (the connection it came from has been reset meanwhile).
    // With `flush` false the window work of the lines waits for a later
    // chunk's, or for the caller's ReplyHandlers::Flush().
    void HandleChunk(std::string_view chunk, const std::function<bool()>& stillCurrent = {},
                     bool flush = true);

    // Drops the unfinished line kept from earlier chunks.
    void Clear();

private:
    ReplyHandlers& fHandlers;
    std::mutex fCutterLock;
    LineCutter fCutter;
};
