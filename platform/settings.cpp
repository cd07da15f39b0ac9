#include "platform/settings.h"

namespace platform {

std::string MemorySettings::Key(std::string_view group, std::string_view name) {
  std::string key(group);
  key += '/';
  key += name;
  return key;
}

void MemorySettings::Set(std::string_view group, std::string_view name, Value value) {
  values_[Key(group, name)] = std::move(value);
}

const MemorySettings::Value* MemorySettings::Get(std::string_view group, std::string_view name) const {
  auto it = values_.find(Key(group, name));
  return it == values_.end() ? nullptr : &it->second;
}

bool MemorySettings::Exists(std::string_view group, std::string_view name) {
  return Get(group, name) != nullptr;
}

std::optional<int64_t> MemorySettings::ReadInt(std::string_view group, std::string_view name) {
  const Value* v = Get(group, name);
  if (!v || !std::holds_alternative<int64_t>(*v)) return std::nullopt;
  return std::get<int64_t>(*v);
}

std::optional<std::string> MemorySettings::ReadString(std::string_view group, std::string_view name) {
  const Value* v = Get(group, name);
  if (!v || !std::holds_alternative<std::string>(*v)) return std::nullopt;
  return std::get<std::string>(*v);
}

std::optional<std::vector<uint8_t>> MemorySettings::ReadBytes(std::string_view group,
                                                              std::string_view name) {
  const Value* v = Get(group, name);
  if (!v || !std::holds_alternative<std::vector<uint8_t>>(*v)) return std::nullopt;
  return std::get<std::vector<uint8_t>>(*v);
}

void MemorySettings::WriteInt(std::string_view group, std::string_view name, int64_t value) {
  if (!fail_writes_) Set(group, name, value);
}

void MemorySettings::WriteString(std::string_view group, std::string_view name, std::string_view value) {
  if (!fail_writes_) Set(group, name, std::string(value));
}

void MemorySettings::WriteBytes(std::string_view group, std::string_view name,
                                const std::vector<uint8_t>& value) {
  if (!fail_writes_) Set(group, name, value);
}

}  // namespace platform
