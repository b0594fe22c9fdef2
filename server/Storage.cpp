#include "server/Storage.h"

#include "server/PostgresStorage.h"
#include "server/ServerConfig.h"
#include "server/SqliteStorage.h"

namespace tolvar::server {

bool Storage::RecordGame(FinishedGame& game)
{
    std::vector<FinishedGame> games{game};
    if (!RecordGames(games))
        return false;
    game = games.front();
    return true;
}

std::unique_ptr<Storage> OpenStorage(const ServerConfig& config, std::string* error)
{
    if (!config.postgres.empty())
        return PostgresStorage::Open(config.postgres, error);
    return SqliteStorage::Open(config.databasePath, error);
}

} // namespace tolvar::server
