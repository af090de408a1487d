// The favourites import: any file must import without crashing, and only ports of
// 9000-9999 may end up among the favourites.

#include "fuzzsupport.h"

#include "core/settingskeys.h"
#include "favorites/favoriteportsmanager.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = Fuzz::inputFile(data, size, "favorites.txt");
    openSettings().remove(QLatin1String(SettingsKeys::kFavoritePorts));
    FavoritePortsManager favorites;
    favorites.validateImportFile(path);
    const bool imported = favorites.importFromFile(path);
    Fuzz::require(imported == !favorites.favorites().isEmpty());
    for (const FavoritePort &favorite : favorites.favorites())
        Fuzz::require(FavoritePortsManager::isAllowedPort(favorite.port) && favorite.status >= 0
            && favorite.status <= 2);
    return 0;
}
