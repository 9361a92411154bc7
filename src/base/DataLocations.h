#pragma once

#include <string>

namespace zorvex {

// Where the program keeps its files. A program whose own directory the user
// may write to (the build tree, a portable copy) keeps everything there and
// opens data.db by its bare name in the start directory. An installed program
// (its directory not writable, e.g. /usr/bin) keeps data.db in the user's data
// directory and reads doc/ from <prefix>/share/zorvex/doc. Protocol files live
// in protocols/ beside the database they belong to (ProtocolDirectoryOf), so
// two databases never share them.

// What the choice depends on, as read from the system. Empty strings stand for
// unset variables.
struct TLocationInputs {
    std::string programDirectory;
    bool programDirectoryWritable = true;
    std::string home;          // HOME (not on Windows)
    std::string xdgDataHome;   // XDG_DATA_HOME (not on Windows)
    std::string localAppData;  // LOCALAPPDATA (Windows only)
    std::string appData;       // APPDATA, used when LOCALAPPDATA is unset (Windows only)
};

struct TDataLocations {
    bool installed = false;
    std::string dataDirectory;  // the user's data directory; empty unless installed
    std::string databaseFile;   // "data.db" unless installed, else an absolute path
    // Where every database kept its protocol files before they moved beside
    // their database: protocols/ beside the program, or in the user's data
    // directory when installed. Files of an existing installation are still
    // read from here.
    std::string formerProtocolDirectory;
    std::string documentDirectory;
    std::string fileDialogDirectory;
};

// The layout for `inputs`. Raises Exception when the installed layout is in
// force and the user's data directory cannot be found (HOME unset, ...).
TDataLocations ResolveDataLocations(const TLocationInputs& inputs);

// The layout of the running program, found once from its directory and the
// environment; a failure is raised again on the next call.
const TDataLocations& DataLocations();

// protocols/ in the directory of `databaseFile`: where that database's
// protocol files (<id>.zorvexpro) are kept.
std::string ProtocolDirectoryOf(const std::string& databaseFile);
inline constexpr const char* kProtocolFileExtension = ".zorvexpro";

// downloads/ in the directory of `databaseFile`: the raw memory images
// (*.bin) of that database's downloads.
std::string ImageDirectoryOf(const std::string& databaseFile);
inline constexpr const char* kImageFileExtension = ".bin";

// Creates `directory` and its missing parents, private to the user (0700).
// An existing directory is left as it is; a file in the way is an Exception.
void CreateDataDirectory(const std::string& directory);

// Creates the user's data directory of DataLocations() when the installed
// layout is in force (once per run); nothing otherwise.
void EnsureDataDirectory();

}  // namespace zorvex
