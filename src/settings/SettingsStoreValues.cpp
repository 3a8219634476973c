// Typed values of the current section, binary values in files of their own,
// and the registry mode.

#include "settings/SettingsCodec.h"
#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box {

namespace {

// Registry writes wait this long for another store that is writing the
// registry file at the same moment.
constexpr int kRegistryLockTries = 50;
constexpr int kRegistryLockWaitMs = 10;

// Registry key path without its last "\".
Text RegistrySection(const Text& prefix) {
    if (!prefix.empty() && prefix.back() == '\\') return prefix.substr(0, prefix.size() - 1);
    return prefix;
}

}  // namespace

void SettingsStore::selectSection(const Text& name) {
    static const Text root = "汀芷软件\\"_gbk;
    Text stem = FileNamePart(path_);
    std::size_t dot = stem.rfind('.');
    if (dot != Text::npos) stem.resize(dot);
    section_ = name;
    registryPrefix_ = root + stem + "\\" + name + "\\";
}

bool SettingsStore::typedWrite(const Text& key, const Text& encoded) {
    if (mode_ != kRegistryMode) return writeKey(section_, key, encoded) == kEditDone;

    std::filesystem::path file = registryFile();
    if (file.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    NullEventPump quiet;
    SettingsStore registry(quiet, dialogs_);
    for (int attempt = 0;; ++attempt) {
        if (registry.bindFile(file, false)) break;
        if (!registry.lockConflict_ || attempt + 1 >= kRegistryLockTries) return false;
        pump_.Sleep(kRegistryLockWaitMs);
    }
    return registry.writeKey(RegistrySection(registryPrefix_), key, encoded, true) == kEditDone;
}

std::optional<Text> SettingsStore::typedRead(const Text& key) {
    if (mode_ != kRegistryMode) return lookup(section_, key);

    NullEventPump quiet;
    SettingsStore registry(quiet, dialogs_);
    registry.bindFile(registryFile(), true);
    return registry.lookup(RegistrySection(registryPrefix_), key);
}

bool SettingsStore::writeText(const Text& key, const Text& text) {
    return typedWrite(key, EncodeTextValue(text));
}

Text SettingsStore::readText(const Text& key, const Text& def) {
    auto stored = typedRead(key);
    return stored ? DecodeTextValue(*stored) : def;
}

bool SettingsStore::writeNumber(const Text& key, double value) {
    return typedWrite(key, FormatNumberValue(value));
}

bool SettingsStore::writeNumbers(const std::vector<std::pair<Text, double>>& values) {
    if (mode_ == kRegistryMode) {
        bool all = true;
        for (const auto& [key, value] : values)
            all = typedWrite(key, FormatNumberValue(value)) && all;
        return all;
    }
    QueuedEdit edit{QueuedEdit::kWriteKeys, {section_}};
    edit.args.reserve(1 + 2 * values.size());
    for (const auto& [key, value] : values) {
        edit.args.push_back(key);
        edit.args.push_back(FormatNumberValue(value));
    }
    return enqueue(std::move(edit)) == kEditDone;
}

double SettingsStore::readNumber(const Text& key, double def) {
    auto stored = typedRead(key);
    return stored ? ParseNumberValue(*stored) : def;
}

bool SettingsStore::writeBool(const Text& key, bool value) {
    return typedWrite(key, FormatBoolValue(value));
}

bool SettingsStore::readBool(const Text& key, bool def) {
    auto stored = typedRead(key);
    return stored ? IsTrueValue(*stored) : def;
}

bool SettingsStore::readBoolNotFalse(const Text& key, bool def) {
    auto stored = typedRead(key);
    return stored ? !IsFalseValue(*stored) : def;
}

bool SettingsStore::writeDateTime(const Text& key, const DateTime& value) {
    return typedWrite(key, FormatDateTimeValue(value));
}

DateTime SettingsStore::readDateTime(const Text& key, const DateTime& def) {
    auto stored = typedRead(key);
    return stored ? ParseDateTimeValue(*stored) : def;
}

// ---- binary values --------------------------------------------------------

// folder of path + "\inibin\" + section + "-" + key + ".ibn". A path without
// a folder keeps its values in "inibin" of the current folder, beside the INI
// file itself, never at the file-system root. Section and key name a single
// file: a separator in them could reach outside "inibin".
std::optional<std::filesystem::path> SettingsStore::binaryPath(const Text& key) const {
    Text name = section_ + "-" + key + ".ibn";
    std::string onDisk = GbkToUtf8(name);
    if (onDisk.find_first_of(std::string("/\\\0", 3)) != std::string::npos) return std::nullopt;
    const std::filesystem::path inibin = FolderPart(path_).empty()
                                             ? std::filesystem::path("inibin")
                                             : JoinPath(pathFile_.parent_path(), Text("inibin"));
    return JoinPath(inibin, name);
}

bool SettingsStore::writeBinary(const Text& key, const Bytes& bytes) {
    auto file = binaryPath(key);
    if (!file) return false;
    std::error_code ec;
    std::filesystem::create_directory(file->parent_path(), ec);
    return WriteFileBytes(
        *file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Bytes SettingsStore::readBinary(const Text& key, const Bytes& def) {
    auto file = binaryPath(key);
    if (!file) return def;
    const std::optional<std::string> data = ReadFileBytes(*file);
    if (!data || data->empty()) return def;
    return Bytes(data->begin(), data->end());
}

}  // namespace box
