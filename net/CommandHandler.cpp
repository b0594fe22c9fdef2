#include "net/CommandHandler.h"

#include "net/ReplyHandlers.h"
#include "net/ServerLine.h"

#include <string>
#include <vector>

CommandHandler::CommandHandler(ReplyHandlers& handlers) : fHandlers(handlers) {}

void CommandHandler::HandleChunk(std::string_view chunk, const std::function<bool()>& stillCurrent,
                                 bool flush)
{
    std::vector<std::string> lines;
    {
        // The lines are cut first and handled after the lock is released,
        // because a handler may reset the speaker, which clears the cutter.
        // Checked under the lock: a chunk of a connection that has been
        // dropped must not leave its unfinished line for the next one.
        std::lock_guard<std::mutex> lock(fCutterLock);
        if (stillCurrent && !stillCurrent())
            return;
        fCutter.Feed(chunk, lines);
    }
    for (const std::string& line : lines) {
        if (stillCurrent && !stillCurrent())
            break;
        fHandlers.Dispatch(ServerLine::from_string(line));
    }
    if (flush)
        fHandlers.Flush();
}

void CommandHandler::Clear()
{
    std::lock_guard<std::mutex> lock(fCutterLock);
    fCutter.Clear();
}
