// Where the player keeps its own files: the settings file's directory and the
// per-user data directory. Each call decides afresh and may create the
// directory and an empty probe file to claim a place. Every result ends with
// a separator so that a file name can be appended; pass the joined path
// through ToSystemPath (platform/file_system.h) before it reaches the system,
// since the last resort ".\" keeps its backslash.
#pragma once

#include <string>

// "./" when "MRVClient.cfg" is in the current directory, else the
// program-files or application-data place that has or can take the file,
// else ".\".
std::string SettingsDirectory();
// SettingsDirectory() followed by "MRVClient.cfg".
std::string DefaultSettingsPath();
// The program-files or application-data place that has or can take
// "MRVStartup.mvk", else ".\".
std::string UserDataDirectory();

// The two candidate places, with "/" separators and a trailing "/":
// $ProgramFiles/Ombrica/Player/ (/opt when unset) and
// $APPDATA/Ombrica/Player/ ($XDG_DATA_HOME, else ~/.local/share, when unset).
// A variable set but empty puts the place at the root.
std::string ProgramFilesPlace();
std::string AppDataPlace();
