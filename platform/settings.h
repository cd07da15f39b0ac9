// Where the program keeps its settings: named values in a top-level key and
// in groups below it ("Timing"). The program's backend is an INI file; tests
// use the in-memory one. A value that is present but cannot be read as the
// asked type reads as missing, so every reader falls back to its default.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // group "" is the top level.
  virtual bool Exists(std::string_view group, std::string_view name) = 0;
  virtual std::optional<int64_t> ReadInt(std::string_view group, std::string_view name) = 0;
  virtual std::optional<std::string> ReadString(std::string_view group, std::string_view name) = 0;
  virtual std::optional<std::vector<uint8_t>> ReadBytes(std::string_view group,
                                                        std::string_view name) = 0;
  virtual void WriteInt(std::string_view group, std::string_view name, int64_t value) = 0;
  virtual void WriteString(std::string_view group, std::string_view name, std::string_view value) = 0;
  virtual void WriteBytes(std::string_view group, std::string_view name,
                          const std::vector<uint8_t>& value) = 0;
  // Puts the writes on disk. False when they could not be stored.
  virtual bool Flush() = 0;
  // Where the values live, for messages.
  virtual std::string Location() const = 0;

  // Booleans are integers 0 and 1; any non-zero integer reads as true.
  std::optional<bool> ReadBool(std::string_view group, std::string_view name) {
    auto v = ReadInt(group, name);
    if (!v) return std::nullopt;
    return *v != 0;
  }
  void WriteBool(std::string_view group, std::string_view name, bool value) {
    WriteInt(group, name, value ? 1 : 0);
  }
};

// Values kept in memory, for tests. Values can be stored with a type other
// than the one asked for, and writes can be made to fail.
class MemorySettings final : public SettingsStore {
 public:
  using Value = std::variant<int64_t, std::string, std::vector<uint8_t>>;

  bool Exists(std::string_view group, std::string_view name) override;
  std::optional<int64_t> ReadInt(std::string_view group, std::string_view name) override;
  std::optional<std::string> ReadString(std::string_view group, std::string_view name) override;
  std::optional<std::vector<uint8_t>> ReadBytes(std::string_view group, std::string_view name) override;
  void WriteInt(std::string_view group, std::string_view name, int64_t value) override;
  void WriteString(std::string_view group, std::string_view name, std::string_view value) override;
  void WriteBytes(std::string_view group, std::string_view name, const std::vector<uint8_t>& value) override;
  bool Flush() override { return !fail_writes_; }
  std::string Location() const override { return "memory"; }

  void Set(std::string_view group, std::string_view name, Value value);
  const Value* Get(std::string_view group, std::string_view name) const;
  void set_fail_writes(bool fail) { fail_writes_ = fail; }
  size_t size() const { return values_.size(); }

 private:
  static std::string Key(std::string_view group, std::string_view name);
  std::map<std::string, Value> values_;
  bool fail_writes_ = false;
};

}  // namespace platform
