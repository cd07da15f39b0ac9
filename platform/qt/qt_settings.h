// Settings in an INI file through QSettings: the top-level values in the
// file's general section, groups as [Group] sections.
#pragma once

#include <memory>
#include <string>

#include "platform/settings.h"

class QSettings;

namespace platform::qt {

// $XDG_CONFIG_HOME/OVRIN/OVRIN.ini, XDG_CONFIG_HOME defaulting to ~/.config
// (also when relative, which the base directory rules make invalid).
std::string DefaultSettingsPath();

class IniSettings final : public SettingsStore {
 public:
  explicit IniSettings(const std::string& path);
  ~IniSettings() override;

  bool Exists(std::string_view group, std::string_view name) override;
  std::optional<int64_t> ReadInt(std::string_view group, std::string_view name) override;
  std::optional<std::string> ReadString(std::string_view group, std::string_view name) override;
  std::optional<std::vector<uint8_t>> ReadBytes(std::string_view group, std::string_view name) override;
  void WriteInt(std::string_view group, std::string_view name, int64_t value) override;
  void WriteString(std::string_view group, std::string_view name, std::string_view value) override;
  void WriteBytes(std::string_view group, std::string_view name, const std::vector<uint8_t>& value) override;
  bool Flush() override;
  std::string Location() const override { return path_; }

 private:
  std::string path_;
  std::unique_ptr<QSettings> settings_;
};

}  // namespace platform::qt
