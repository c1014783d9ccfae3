#include "platform/qt/qsettings_registry.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

#include "platform/default_paths.h"

namespace trimwell {
namespace {

QString groupOf(const std::string& path) { return QString::fromStdString(path).replace('\\', '/'); }

QString valueKey(const std::string& path, const std::string& name) {
  return groupOf(path) + "/" + (name.empty() ? QStringLiteral("Default") : QString::fromStdString(name));
}

}  // namespace

QSettingsRegistry::QSettingsRegistry(const std::string& iniFile) {
  std::error_code ec;
  const auto status = std::filesystem::status(iniFile, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    problem_ = iniFile + " is not a regular file";
    return;
  }
  // Made its owner's before QSettings first writes it (from the event loop, on its
  // own time): it writes through a file renamed into place, which keeps the mode.
  if (!std::filesystem::exists(status)) {
    std::string ignored;
    makePrivateFile(iniFile, ignored);
  }
  settings_ = std::make_unique<QSettings>(QString::fromStdString(iniFile), QSettings::IniFormat);
  if (!settings_->isWritable()) problem_ = iniFile + " cannot be written";
}

QSettingsRegistry::~QSettingsRegistry() { flush(); }

std::string QSettingsRegistry::defaultFolder() {
  return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Korvane").toStdString();
}

bool QSettingsRegistry::writable() const { return settings_ && settings_->isWritable(); }

bool QSettingsRegistry::createKey(const std::string& path) {
  if (!writable()) return false;
  created_.insert(groupOf(path).toStdString());
  return true;
}

// A key exists when it was created here or the store holds a value or key under it.
bool QSettingsRegistry::openKey(const std::string& path) {
  if (!settings_) return false;
  const QString group = groupOf(path);
  if (created_.count(group.toStdString()) != 0) return true;
  const int slash = group.lastIndexOf('/');
  settings_->beginGroup(slash < 0 ? QString() : group.left(slash));
  const bool found = settings_->childGroups().contains(group.mid(slash + 1));
  settings_->endGroup();
  return found;
}

bool QSettingsRegistry::setDword(const std::string& path, const std::string& name, std::uint32_t value) {
  if (!openKey(path) || !writable()) return false;
  settings_->setValue(valueKey(path, name), static_cast<qulonglong>(value));
  return true;
}

bool QSettingsRegistry::setString(const std::string& path, const std::string& name, const std::u16string& value) {
  if (!openKey(path) || !writable()) return false;
  settings_->setValue(valueKey(path, name), QString::fromStdU16String(value));
  return true;
}

bool QSettingsRegistry::queryDword(const std::string& path, const std::string& name, std::uint32_t& value) {
  if (!settings_) return false;
  const QVariant stored = settings_->value(valueKey(path, name));
  if (!stored.isValid()) return false;
  bool ok = false;
  const qulonglong number = stored.toULongLong(&ok);
  if (!ok) return false;
  value = static_cast<std::uint32_t>(number);
  return true;
}

bool QSettingsRegistry::queryString(const std::string& path, const std::string& name, std::u16string& value) {
  if (!settings_) return false;
  const QVariant stored = settings_->value(valueKey(path, name));
  if (!stored.isValid()) return false;
  value = stored.toString().toStdU16String();
  return true;
}

// The settings may name the lab's store and its login: once written, the file is
// its owner's alone, whatever the umask made it.
void QSettingsRegistry::flush() {
  if (!settings_) return;
  settings_->sync();
  const std::string file = settings_->fileName().toStdString();
  std::error_code error;
  if (std::filesystem::is_regular_file(file, error)) {
    std::string ignored;
    makePrivateFile(file, ignored);
  }
}

}  // namespace trimwell
