#pragma once
#include <string>
#include <string_view>

// Where the complex keeps its settings in the current user's registry; shared by the settings
// store and the database chooser.
namespace nurv::reglayout {

inline constexpr std::string_view kNurvKey = "\\SOFTWARE\\NURVSQL";
inline constexpr std::string_view kUsersKey = "\\SOFTWARE\\NURVSQL\\Users";
inline constexpr std::string_view kDataBaseCaptionsKey = "\\SOFTWARE\\NURVSQL\\DataBaseCaptions";
inline constexpr std::string_view kDataBaseNamesKey = "\\SOFTWARE\\NURVSQL\\DataBaseNames";
inline constexpr std::string_view kServerNamesKey = "\\SOFTWARE\\NURVSQL\\ServerNames";

// Single values of kNurvKey.
inline constexpr std::string_view kRegion = "Region";
inline constexpr std::string_view kRegion2 = "Region2";
inline constexpr std::string_view kPathProgram = "PathProgram";
inline constexpr std::string_view kPathUpdate = "PathUpdate";
inline constexpr std::string_view kPathHelp = "PathHelp";
inline constexpr std::string_view kPathShablon = "PathShablon";
inline constexpr std::string_view kPathReport = "PathReport";
inline constexpr std::string_view kShowWordProces = "ShowWordProces";
inline constexpr std::string_view kThemeXP = "ThemeXP";
inline constexpr std::string_view kRefreshRepl = "RefreshRepl";
inline constexpr std::string_view kLastUser = "LastUser";

// Numbered values of the connection list: prefix followed by the number in decimal.
inline constexpr std::string_view kDataBaseCaptionPrefix = "DataBaseCaption";
inline constexpr std::string_view kDataBaseNamePrefix = "DataBaseName";
inline constexpr std::string_view kServerNamePrefix = "ServerName";
inline constexpr std::string_view kUserPrefix = "User";

// Connections are numbered 1..kMaxConnections; kIniConnection is the one nurv.ini fills.
inline constexpr int kMaxConnections = 200;
inline constexpr int kIniConnection = 51;

inline std::string NumberedValueName(std::string_view prefix, int number) {
  return std::string(prefix) + std::to_string(number);
}

}  // namespace nurv::reglayout
