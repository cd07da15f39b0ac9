// The file-association dialog without its widgets: the thirteen extensions
// and the plan that registers the ticked ones with the desktop the
// freedesktop way, all under the user's own data and config directories:
// - a shared-mime-info package with one type per extension (its glob, its
//   description and its icon),
// - one .desktop file for the program that lists those types,
// - the program as their default application in mimeapps.list,
// - the program's icon and the icons of the file groups.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

struct TAssociationRow {
  const char* Caption;      // the check box's text
  const char* Extension;    // without the dot
  const char* Description;  // the type's description
  int IconGroup;            // 1 disk images, 2 .Z80 snapshots, 3 other snapshots, 4 tapes
  const char* ReportName;
};

// In the order of registration (and of the report).
inline constexpr std::array<TAssociationRow, 13> kAssociationRows = {{
    {"TRD", "trd", "TRD Disk image TR-DOS (ZX Spectrum)", 1, "TRD"},
    {"SCL", "scl", "SCL Disk image TR-DOS (ZX Spectrum)", 1, "SCL"},
    {"FDI", "fdi", "FDI Disk image TR-DOS (Full Disk Image - ZX Spectrum)", 1, "FDI"},
    {"TD0", "td0", "Teledisk Disk image TR-DOS (ZX Spectrum)", 1, "TD0"},
    {"UDI - recomended", "udi", "UDI Disk image ZX Spectrum", 1, "UDI"},
    {"FDD", "fdd", "FDD Disk image ZX Spectrum", 1, "FDD"},
    {"TAP", "tap", "TAP Tape image ZX Spectrum", 4, "TAP"},
    {"TZX", "tzx", "TZX Tape image ZX Spectrum", 4, "TZX"},
    {"Z80", "z80", "Z80 Memory snapshot ZX Spectrum", 2, "Z80"},
    {"SNA", "sna", "SNA Memory snapshot ZX Spectrum", 3, "SNA"},
    {"SIT", "sit", "SIT Memory snapshot ZX Spectrum", 3, "SIT"},
    {"SP", "sp", "SP Memory snapshot ZX Spectrum", 3, "SP"},
    {"ZX", "zx", "ZX Memory snapshot ZX Spectrum (KGB)", 3, "ZX"},
}};
// The check boxes top to bottom, as rows of the table above.
inline constexpr std::array<int, 13> kAssociationBoxOrder = {0, 1, 2, 3, 4, 5, 8, 9, 6, 7, 10, 11, 12};
// The one row whose box starts unticked and disabled (TZX).
inline constexpr int kDisabledAssociationRow = 7;

using TAssociationTicks = std::array<bool, 13>;  // by row
TAssociationTicks DefaultAssociationTicks();

// The directories the files go under: $XDG_DATA_HOME and $XDG_CONFIG_HOME,
// or their defaults under $HOME when unset or not absolute; and the system's
// data directories, whose MIME databases are read but never written
// ($XDG_DATA_DIRS, or /usr/local/share and /usr/share when unset).
struct TXdgDirs {
  std::string DataHome;
  std::string ConfigHome;
  std::vector<std::string> DataDirs;
};
TXdgDirs CurrentXdgDirs();

struct TPlannedFile {
  std::string Path;
  std::string Content;
};

struct TAssociationPlan {
  std::vector<TPlannedFile> Files;  // written in this order
  std::string MimeDirectory;        // for update-mime-database
  std::string ApplicationsDirectory;  // for update-desktop-database
  std::string Report;               // "TRD,SCL,..."; empty when nothing is ticked
};

// The MIME type of a row, "application/x-ovrin-" and its extension.
std::string AssociationMimeType(const TAssociationRow& row);

// The types the shared MIME databases under the data directories (the
// user's first) already give files with this extension, other than this
// program's own; in the order found, each once. A double-click on such a
// file opens the default application of that type, so these types are
// registered for the program too.
std::vector<std::string> ExistingMimeTypes(const std::string& extension, const TXdgDirs& dirs);

// The Exec value of the .desktop file: the program path as one quoted
// argument (blanks, quotes and backslashes survive), then the file.
std::string DesktopExecValue(const std::string& programPath);

// Adds or replaces the defaults in the [Default Applications] group of a
// mimeapps.list text, keeping every other line.
std::string MergeMimeApps(const std::string& existing,
                          const std::vector<std::pair<std::string, std::string>>& defaults);

// What registering the ticked rows writes (nothing when none is ticked).
// Registering only adds: the rows and types registered before stay in the
// program's MIME package and .desktop file, and the other defaults of
// mimeapps.list stay.
TAssociationPlan PlanAssociations(const TAssociationTicks& ticks, const std::string& programPath,
                                  const TXdgDirs& dirs);

// Writes the plan's files (each through a temporary file and a rename,
// directories created), then runs update-mime-database and
// update-desktop-database where they are installed. Stops at the first
// file that cannot be written and returns its path; empty on success.
std::string WriteAssociationPlan(const TAssociationPlan& plan);

// The path of the running program.
std::string ProgramPath();

// "Next>>": registers the ticked rows for the program, closes the window
// and reports the registered extensions. When a file cannot be written
// that is reported instead, the window stays and false is returned.
bool RegisterAssociations(const TAssociationTicks& ticks, const std::string& programPath, const TXdgDirs& dirs,
                          const std::function<void()>& closeWindow = {});
