#include "gamesettings.h"

#include "privateprofile.h"
#include "settingsvalue.h"

GameSettings readGameSettings(const std::string &path, const std::string &section, const GameSettings &defaults)
{
    const platform::IniFile ini(path);
    auto read = [&](const char *key, const std::string &fallback) { return ini.get(section, key, fallback); };
    auto readInt = [&](const char *key, int fallback) {
        return platform::parseSettingInt(read(key, std::to_string(fallback)), fallback);
    };
    GameSettings settings;
    settings.top = readInt("Top", defaults.top);
    settings.left = readInt("Left", defaults.left);
    settings.width = readInt("Width", defaults.width);
    settings.height = readInt("Height", defaults.height);
    settings.sounds = read("Sounds", defaults.sounds ? "yes" : "no") != "no";
    settings.name = read("Name", defaults.name);
    settings.updateCheck = read("Update", defaults.updateCheck ? "true" : "false") != "false";
    return settings;
}

void writeGameSettings(const std::string &path, const std::string &section, const GameSettings &settings)
{
    platform::IniFile ini(path);
    auto write = [&](const char *key, const std::string &value) { ini.set(section, key, value); };
    write("Top", std::to_string(settings.top));
    write("Left", std::to_string(settings.left));
    write("Width", std::to_string(settings.width));
    write("Height", std::to_string(settings.height));
    write("Name", settings.name);
    write("Sounds", settings.sounds ? "yes" : "no");
    write("Update", settings.updateCheck ? "true" : "false");
    ini.save();
}
