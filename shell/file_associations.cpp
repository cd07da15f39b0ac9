#include "shell/file_associations.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/xdg_dirs.h"
#include "shell/settings.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kDesktopFileName = "ovrin.desktop";
constexpr const char* kProgramIconName = "ovrin";
constexpr const char* kOwnTypePrefix = "application/x-ovrin-";

// The program's icon (group 0) and the four file-group icons: a dark tile
// with the machine's rainbow corner and a short label.
struct TIconGroup {
  const char* Name;
  const char* Context;  // the icon theme's folder for it
  const char* Label;
  const char* Tile;
};
constexpr std::array<TIconGroup, 5> kIconGroups = {{
    {"ovrin", "apps", "ZX", "#202020"},
    {"ovrin-disk", "mimetypes", "DISK", "#203060"},
    {"ovrin-z80", "mimetypes", "Z80", "#306020"},
    {"ovrin-snapshot", "mimetypes", "SNA", "#602030"},
    {"ovrin-tape", "mimetypes", "TAPE", "#504010"},
}};

std::string IconSvg(const TIconGroup& icon) {
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" viewBox=\"0 0 48 48\">\n"
      "  <rect x=\"2\" y=\"2\" width=\"44\" height=\"44\" rx=\"6\" fill=\"";
  svg += icon.Tile;
  svg += "\"/>\n";
  const char* stripes[] = {"#F00000", "#F0F000", "#00F000", "#00F0F0"};
  for (int i = 0; i < 4; ++i) {
    const int x = 26 + i * 5;
    svg += "  <polygon points=\"" + std::to_string(x) + ",46 " + std::to_string(x + 5) + ",46 46," +
           std::to_string(x - 20 + 5) + " 46," + std::to_string(x - 20) + "\" fill=\"" + stripes[i] + "\"/>\n";
  }
  svg += "  <text x=\"6\" y=\"22\" font-family=\"sans-serif\" font-weight=\"bold\" font-size=\"";
  svg += std::string(icon.Label).size() > 3 ? "11" : "15";
  svg += "\" fill=\"#FFFFFF\">";
  svg += icon.Label;
  svg += "</text>\n</svg>\n";
  return svg;
}

std::string IconPath(const std::string& dataHome, const TIconGroup& icon) {
  return dataHome + "/icons/hicolor/scalable/" + icon.Context + "/" + icon.Name + ".svg";
}

std::string XmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string MimePackage(const std::vector<const TAssociationRow*>& rows) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const TAssociationRow* row : rows) {
    xml += "  <mime-type type=\"" + AssociationMimeType(*row) + "\">\n";
    xml += "    <comment>" + XmlEscaped(row->Description) + "</comment>\n";
    xml += "    <icon name=\"" + std::string(kIconGroups[size_t(row->IconGroup)].Name) + "\"/>\n";
    xml += "    <glob pattern=\"*." + std::string(row->Extension) + "\"/>\n";
    xml += "  </mime-type>\n";
  }
  xml += "</mime-info>\n";
  return xml;
}

std::string DesktopFile(const std::vector<std::string>& mimeTypes, const std::string& programPath) {
  std::string types;
  for (const std::string& type : mimeTypes) types += type + ";";
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=OVRIN\n"
         "Comment=ZX Spectrum emulator\n"
         "Exec=" + DesktopExecValue(programPath) + "\n"
         "Icon=" + kProgramIconName + "\n"
         "Terminal=false\n"
         "Categories=Game;Emulator;\n"
         "MimeType=" + types + "\n";
}

std::string ReadText(const std::string& path) {
  auto bytes = platform::ReadWholeFile(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(separator, pos);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// The MimeType list of an earlier .desktop file of the program.
std::vector<std::string> DesktopMimeTypes(const std::string& desktop) {
  std::vector<std::string> types;
  for (std::string line : Split(desktop, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("MimeType=", 0) != 0) continue;
    for (const std::string& type : Split(line.substr(9), ';')) AddOnce(types, type);
  }
  return types;
}

// Runs a tool with its arguments (no shell), its output discarded. Missing
// tools are skipped: the files alone are enough for most desktops.
void RunTool(const char* tool, const std::string& argument) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string name = tool, arg = argument;
  char* argv[] = {name.data(), arg.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, tool, &actions, nullptr, argv, environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace

TAssociationTicks DefaultAssociationTicks() {
  TAssociationTicks ticks;
  ticks.fill(true);
  ticks[kDisabledAssociationRow] = false;
  return ticks;
}

std::vector<std::string> ExistingMimeTypes(const std::string& extension, const TXdgDirs& dirs) {
  const std::string glob = "*." + extension;
  std::vector<std::string> roots = {dirs.DataHome};
  roots.insert(roots.end(), dirs.DataDirs.begin(), dirs.DataDirs.end());
  std::vector<std::string> types;
  for (const std::string& root : roots) {
    // globs2 lines: weight:type:pattern, then optional flags.
    for (const std::string& line : Split(ReadText(root + "/mime/globs2"), '\n')) {
      if (line.empty() || line[0] == '#') continue;
      const std::vector<std::string> fields = Split(line, ':');
      if (fields.size() < 3 || !SameIgnoringCase(fields[2], glob)) continue;
      if (fields[1].rfind(kOwnTypePrefix, 0) == 0) continue;
      AddOnce(types, fields[1]);
    }
  }
  return types;
}

TXdgDirs CurrentXdgDirs() {
  TXdgDirs dirs{platform::XdgBaseDir("XDG_DATA_HOME", ".local/share"),
                platform::XdgBaseDir("XDG_CONFIG_HOME", ".config"), {}};
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  for (const std::string& dir : Split(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share", ':'))
    if (!dir.empty() && dir[0] == '/') AddOnce(dirs.DataDirs, dir);
  return dirs;
}

std::string AssociationMimeType(const TAssociationRow& row) {
  return std::string(kOwnTypePrefix) + row.Extension;
}

std::string DesktopExecValue(const std::string& programPath) {
  // Inside the quotes ", `, $ and \ take a backslash; then the whole value
  // is a desktop string, whose own escapes come on top; % is the field
  // code character and is doubled.
  std::string quoted = "\"";
  for (char c : programPath) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += "\"";
  std::string value;
  for (char c : quoted) {
    switch (c) {
      case '\\': value += "\\\\"; break;
      case '\n': value += "\\n"; break;
      case '\t': value += "\\t"; break;
      case '\r': value += "\\r"; break;
      default: value += c;
    }
  }
  return value + " %f";
}

std::string MergeMimeApps(const std::string& existing,
                          const std::vector<std::pair<std::string, std::string>>& defaults) {
  const std::string kGroup = "[Default Applications]";
  std::set<std::string> pending;
  for (const auto& d : defaults) pending.insert(d.first);
  std::string out;
  bool inGroup = false, seenGroup = false;
  const auto flushPending = [&] {
    for (const auto& d : defaults)
      if (pending.erase(d.first)) out += d.first + "=" + d.second + "\n";
  };
  size_t pos = 0;
  while (pos < existing.size()) {
    size_t end = existing.find('\n', pos);
    if (end == std::string::npos) end = existing.size();
    const std::string line = existing.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line[0] == '[') {
      if (inGroup) flushPending();
      inGroup = line == kGroup;
      seenGroup = seenGroup || inGroup;
      out += line + "\n";
      continue;
    }
    if (inGroup) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) {
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        auto d = std::find_if(defaults.begin(), defaults.end(), [&](const auto& p) { return p.first == key; });
        if (d != defaults.end()) {
          if (pending.erase(key)) out += d->first + "=" + d->second + "\n";
          continue;
        }
      }
    }
    out += line + "\n";
  }
  if (inGroup) flushPending();
  if (!seenGroup && !pending.empty()) {
    if (!out.empty() && (out.size() < 2 || out.compare(out.size() - 2, 2, "\n\n") != 0)) out += "\n";
    out += kGroup + "\n";
    flushPending();
  }
  return out;
}

TAssociationPlan PlanAssociations(const TAssociationTicks& ticks, const std::string& programPath,
                                  const TXdgDirs& dirs) {
  TAssociationPlan plan;
  std::vector<const TAssociationRow*> rows;
  for (size_t i = 0; i < kAssociationRows.size(); ++i) {
    if (!ticks[i]) continue;
    rows.push_back(&kAssociationRows[i]);
    if (!plan.Report.empty()) plan.Report += ",";
    plan.Report += kAssociationRows[i].ReportName;
  }
  if (rows.empty()) return plan;

  plan.MimeDirectory = dirs.DataHome + "/mime";
  plan.ApplicationsDirectory = dirs.DataHome + "/applications";
  const std::string packagePath = plan.MimeDirectory + "/packages/ovrin.xml";
  const std::string desktopPath = plan.ApplicationsDirectory + "/" + kDesktopFileName;

  // The package keeps the rows registered before beside the ticked ones.
  const std::string oldPackage = ReadText(packagePath);
  std::vector<const TAssociationRow*> packageRows;
  for (size_t i = 0; i < kAssociationRows.size(); ++i) {
    const bool before = oldPackage.find("type=\"" + AssociationMimeType(kAssociationRows[i]) + "\"") != std::string::npos;
    if (ticks[i] || before) packageRows.push_back(&kAssociationRows[i]);
  }

  // Each ticked extension is handled under its own type and under every type
  // the desktop already knows it by; the defaults are written for those.
  std::vector<std::string> types = DesktopMimeTypes(ReadText(desktopPath));
  for (const TAssociationRow* row : packageRows) AddOnce(types, AssociationMimeType(*row));
  std::vector<std::pair<std::string, std::string>> defaults;
  for (const TAssociationRow* row : rows) {
    std::vector<std::string> handled = {AssociationMimeType(*row)};
    for (const std::string& type : ExistingMimeTypes(row->Extension, dirs)) AddOnce(handled, type);
    for (const std::string& type : handled) {
      AddOnce(types, type);
      defaults.emplace_back(type, kDesktopFileName);
    }
  }

  std::vector<bool> groups(kIconGroups.size(), false);
  groups[0] = true;
  for (const TAssociationRow* row : packageRows) groups[size_t(row->IconGroup)] = true;
  for (size_t g = 0; g < kIconGroups.size(); ++g)
    if (groups[g]) plan.Files.push_back({IconPath(dirs.DataHome, kIconGroups[g]), IconSvg(kIconGroups[g])});
  plan.Files.push_back({packagePath, MimePackage(packageRows)});
  plan.Files.push_back({desktopPath, DesktopFile(types, programPath)});

  const std::string mimeApps = dirs.ConfigHome + "/mimeapps.list";
  plan.Files.push_back({mimeApps, MergeMimeApps(ReadText(mimeApps), defaults)});
  return plan;
}

std::string WriteAssociationPlan(const TAssociationPlan& plan) {
  for (const TPlannedFile& file : plan.Files) {
    std::error_code ec;
    fs::create_directories(fs::path(file.Path).parent_path(), ec);
    if (ec || !platform::WriteFileAtomic(file.Path, file.Content.data(), file.Content.size())) return file.Path;
  }
  if (!plan.Files.empty()) {
    RunTool("update-mime-database", plan.MimeDirectory);
    RunTool("update-desktop-database", plan.ApplicationsDirectory);
  }
  return {};
}

std::string ProgramPath() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("ovrin") : exe.string();
}

bool RegisterAssociations(const TAssociationTicks& ticks, const std::string& programPath, const TXdgDirs& dirs,
                          const std::function<void()>& closeWindow) {
  const TAssociationPlan plan = PlanAssociations(ticks, programPath, dirs);
  const std::string failed = WriteAssociationPlan(plan);
  if (!failed.empty()) {
    platform::ShowMessage(kApplicationTitle, "File associations write failed!\n" + failed, platform::MsgButtons::Ok,
                          platform::MsgIcon::Error);
    return false;
  }
  if (closeWindow) closeWindow();
  if (!plan.Report.empty())
    platform::ShowMessage(kApplicationTitle, "Extensions " + plan.Report + "\nsuccessfully registered!");
  return true;
}
