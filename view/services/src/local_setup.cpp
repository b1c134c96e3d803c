// The start-up file, the built-in defaults and the settings store.
#include "orva/services/local_setup.h"

#include <QSettings>
#include <QString>
#include <QVariant>
#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

namespace orva::services {
namespace {

constexpr size_t kMaxLineBytes = 260;
// The file holds four short lines; nothing beyond this much is ever looked at.
constexpr std::streamsize kMaxStartupFileBytes = 16 * 1024;
// Linux paths may be longer than the 260 bytes a Windows path had.
constexpr int kMaxLocationBytes = 4095;

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

bool EqualsNoCase(const std::string& a, const char* b) {
  std::string lower;
  for (char c : a) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  std::string other;
  for (const char* p = b; *p; ++p) other.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*p))));
  return lower == other;
}

bool ReadWhole(const std::filesystem::path& file, std::string& contents) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return false;
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  contents.assign(static_cast<size_t>(kMaxStartupFileBytes), '\0');
  in.read(contents.data(), kMaxStartupFileBytes);
  contents.resize(static_cast<size_t>(in.gcount()));
  return true;
}

// Settings keys: each value in a subkey of its own name, the numbered ones
// below a group key, as the client has always stored them.
QString Key(const char* name) { return QStringLiteral("LocalSetup/%1/%1").arg(QLatin1String(name)); }
QString NumberedKey(const char* group, int n) {
  return QStringLiteral("LocalSetup/%1/%2/%2").arg(QLatin1String(group)).arg(n, 2, 10, QLatin1Char('0'));
}

// An integer value, or nothing when absent or not a whole number.
std::optional<long long> ReadInteger(const QSettings& settings, const QString& key) {
  const QVariant value = settings.value(key);
  if (!value.isValid()) return std::nullopt;
  bool ok = false;
  const long long number = value.toString().trimmed().toLongLong(&ok);
  if (!ok) return std::nullopt;
  return number;
}

int ReadChoice(const QSettings& settings, const char* name, int highest, int fallback) {
  const auto value = ReadInteger(settings, Key(name));
  if (!value || *value < 0 || *value > highest) return fallback;
  return static_cast<int>(*value);
}

}  // namespace

StartupFile ParseStartupFile(const std::string& contents) {
  StartupFile result;
  std::string* const targets[] = {&result.windowTitle, &result.folderName, &result.dateFormatText,
                                  &result.drawModeText};
  size_t pos = 0;
  // A byte-order mark written by some editors is not part of the title.
  if (contents.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
  for (std::string* target : targets) {
    if (pos >= contents.size()) break;
    size_t end = contents.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = contents.size();
    // Longer lines are cut; the rest of the line never spills into the next value.
    const std::string line = Trim(contents.substr(pos, std::min(end - pos, kMaxLineBytes)));
    if (!line.empty()) *target = line;
    pos = end;
    if (pos < contents.size() && contents[pos] == '\r') ++pos;
    if (pos < contents.size() && contents[pos] == '\n') ++pos;
  }
  return result;
}

StartupFile ReadStartupFile(const std::filesystem::path& workingDirectory, const std::filesystem::path& systemFile) {
  std::string contents;
  if (ReadWhole(workingDirectory / "ClientQ7.bin", contents) || ReadWhole(systemFile, contents))
    return ParseStartupFile(contents);
  return StartupFile{};
}

LocalSetup DefaultLocalSetup(const StartupFile& startup, const std::filesystem::path& home) {
  LocalSetup setup;
  setup.drawMode = EqualsNoCase(startup.drawModeText, "RGB") ? 1 : 0;
  if (EqualsNoCase(startup.dateFormatText, "MM-DD-YYYY"))
    setup.dateFormat = 1;
  else if (EqualsNoCase(startup.dateFormatText, "DD-MM-YYYY"))
    setup.dateFormat = 2;
  else
    setup.dateFormat = 0;
  // An absolute folder name in the start-up file is taken as it stands.
  setup.location = (home / startup.folderName).string();
  return setup;
}

LocalSetup LoadLocalSetup(const LocalSetup& defaults) {
  QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
  LocalSetup setup = defaults;
  setup.drawMode = ReadChoice(settings, "DrawMode", 1, defaults.drawMode);
  setup.dateFormat = ReadChoice(settings, "DateFormat", 2, defaults.dateFormat);
  setup.saveFormat = ReadChoice(settings, "SaveFormat", 2, defaults.saveFormat);

  const QVariant location = settings.value(Key("Location"));
  if (location.isValid()) {
    const QByteArray bytes = location.toString().toUtf8();
    if (!bytes.isEmpty() && bytes.size() <= kMaxLocationBytes && !bytes.contains('\0'))
      setup.location = bytes.toStdString();
  }
  for (int i = 0; i < 9; ++i) {
    const auto value = ReadInteger(settings, NumberedKey("Opacity", i + 1));
    if (value && *value >= 0 && *value <= 255) setup.opacity[static_cast<size_t>(i)] = static_cast<uint8_t>(*value);
  }
  for (int i = 0; i < 3; ++i) {
    const auto value = ReadInteger(settings, NumberedKey("AudioBuf", i + 1));
    if (value && *value >= 0 && *value <= 255)
      setup.audioBuf[static_cast<size_t>(i)] = static_cast<uint8_t>(std::min<long long>(*value, 15));
  }
  return setup;
}

void SaveLocalSetup(const LocalSetup& setup) {
  QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
  settings.setValue(Key("DrawMode"), setup.drawMode);
  settings.setValue(Key("DateFormat"), setup.dateFormat);
  settings.setValue(Key("SaveFormat"), setup.saveFormat);
  settings.setValue(Key("Location"), QString::fromStdString(setup.location));
  for (int i = 0; i < 9; ++i) settings.setValue(NumberedKey("Opacity", i + 1), int{setup.opacity[static_cast<size_t>(i)]});
  for (int i = 0; i < 3; ++i)
    settings.setValue(NumberedKey("AudioBuf", i + 1), int{std::min<uint8_t>(setup.audioBuf[static_cast<size_t>(i)], 15)});
  settings.sync();
}

}  // namespace orva::services
