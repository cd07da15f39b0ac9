#include "platform/qt/qt_settings.h"

#include <QSettings>
#include <QVariant>

#include "platform/files.h"
#include "platform/xdg_dirs.h"

namespace platform::qt {

namespace {

QString KeyOf(std::string_view group, std::string_view name) {
  QString key = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  if (group.empty()) return key;
  return QString::fromUtf8(group.data(), static_cast<qsizetype>(group.size())) + "/" + key;
}

}  // namespace

std::string DefaultSettingsPath() {
  return platform::XdgBaseDir("XDG_CONFIG_HOME", ".config") + "/OVRIN/OVRIN.ini";
}

IniSettings::IniSettings(const std::string& path) : path_(path) {
  // Something at the path that is no regular file (a FIFO would block the
  // read) is left alone: every value takes its default and nothing is written.
  if (platform::PathMissing(path) || platform::FileExists(path))
    settings_ = std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat);
}

IniSettings::~IniSettings() = default;

bool IniSettings::Exists(std::string_view group, std::string_view name) {
  if (!settings_) return false;
  return settings_->contains(KeyOf(group, name));
}

std::optional<int64_t> IniSettings::ReadInt(std::string_view group, std::string_view name) {
  if (!settings_) return std::nullopt;
  const QVariant v = settings_->value(KeyOf(group, name));
  // An INI file gives every plain value as text; only a whole decimal number
  // counts, anything else (a byte array, a list, "12abc") is unreadable.
  if (v.typeId() != QMetaType::QString) {
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) return v.toLongLong();
    return std::nullopt;
  }
  bool ok = false;
  const qlonglong n = v.toString().trimmed().toLongLong(&ok, 10);
  if (!ok) return std::nullopt;
  return n;
}

std::optional<std::string> IniSettings::ReadString(std::string_view group, std::string_view name) {
  if (!settings_) return std::nullopt;
  const QVariant v = settings_->value(KeyOf(group, name));
  // An unquoted text with commas ("pentagon.rom,1") comes back as a list.
  if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(',').toStdString();
  if (v.typeId() != QMetaType::QString) return std::nullopt;
  return v.toString().toStdString();
}

std::optional<std::vector<uint8_t>> IniSettings::ReadBytes(std::string_view group, std::string_view name) {
  if (!settings_) return std::nullopt;
  const QVariant v = settings_->value(KeyOf(group, name));
  if (v.typeId() != QMetaType::QByteArray) return std::nullopt;
  const QByteArray b = v.toByteArray();
  return std::vector<uint8_t>(b.begin(), b.end());
}

void IniSettings::WriteInt(std::string_view group, std::string_view name, int64_t value) {
  if (!settings_) return;
  settings_->setValue(KeyOf(group, name), QVariant::fromValue<qlonglong>(value));
}

void IniSettings::WriteString(std::string_view group, std::string_view name, std::string_view value) {
  if (!settings_) return;
  settings_->setValue(KeyOf(group, name),
                      QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
}

void IniSettings::WriteBytes(std::string_view group, std::string_view name,
                             const std::vector<uint8_t>& value) {
  if (!settings_) return;
  settings_->setValue(KeyOf(group, name),
                      QByteArray(reinterpret_cast<const char*>(value.data()),
                                 static_cast<qsizetype>(value.size())));
}

bool IniSettings::Flush() {
  if (!settings_) return false;
  settings_->sync();
  // A format error comes from reading a damaged file, which the sync has
  // just replaced with good contents; only an access error is a failed write.
  return settings_->status() != QSettings::AccessError;
}

}  // namespace platform::qt
