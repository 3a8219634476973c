#pragma once
// The INI-style key/value store in which the box keeps its settings and with
// which it parses the catalog.
//
// The whole text is held in memory (GBK bytes, CR LF line ends) and every read
// answers from that copy. Every change is made to the memory copy and, in the
// same step, in place to the backing file (the INI file itself, or an
// in-memory file), so the file always equals the memory copy.
//
// Positions are 1-based byte positions in the memory copy. Edits requested
// while another edit runs (from an event handler re-entered through the event
// pump) are queued and applied afterwards, in order. Operations that let
// events run take their texts by value: a handler may change the caller's
// texts, or the current section, while the operation is under way.
//
// In file mode another program may change the INI file behind the store's
// back (an editor that saves by renaming a new file over it, or that ignores
// the lock). Every edit first catches up with the file at the path, so it
// never lands on a deleted file or at offsets of text that is gone.

#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/DateTime.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"
#include "support/Text.h"

namespace box {

class BackingFile;

class SettingsStore {
public:
    enum Mode : int { kFileMode = 0, kMemoryMode = 1, kRegistryMode = 2 };

    // Results of the editing operations.
    enum EditResult : int {
        kEditFailed = -1,  // writeKey gave up; or processQueue on an empty queue
        kEditDone = 0,
        kNoSuchSection = 1,
        kNoSuchKey = 2,
        kEditQueued = 3,  // applied later, behind the edit that is running
    };

    struct QueuedEdit {
        enum Kind : int {
            kWriteKey = 0,
            kDelete = 1,
            kRenameSection = 2,
            kRenameKey = 3,
            kWriteKeys = 4,  // args: the section, then key and value by turns
        };
        int kind = kWriteKey;
        std::vector<Text> args;
    };

    SettingsStore(EventPump& pump, Dialogs& dialogs);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // A deep copy of the store, queue included. The copy never shares the
    // INI file with the original: its changes stay in its own memory file.
    std::unique_ptr<SettingsStore> copy() const;

    // Binding to a file. open: mode 0 file, 1 memory, 2 registry. Returns
    // false when the file could not be opened for writing (memoryText still
    // holds what could be read).
    bool open(const Text& path, int mode = kFileMode);
    // The same on an exact file-system path: a folder whose name holds
    // characters that GBK lacks is still found. getPath() and loadedPath()
    // then give its GBK text, for the eye only.
    bool openFile(const std::filesystem::path& file, int mode = kFileMode);
    bool openPath(const Text& path, bool inMemory = false);
    void close();
    void reload();
    bool saveAs(const Text& path = {});

    // Raw key/value access.
    int processQueue();
    int writeKey(Text section, Text key, Text value, bool immediate = false);
    Text readKey(Text section, Text key, Text def = {}, bool emptyIsDefault = false);
    long long findHeader(long long from, long long to);
    int deleteEntry(const Text& section, const Text& key = {}, bool immediate = false);
    int renameSection(const Text& oldName, const Text& newName, bool immediate = false);
    int renameKey(const Text& section, const Text& oldKey, const Text& newKey,
                  bool immediate = false);

    // Listings; every one empties out first and returns out.size().
    int listSections(std::vector<Text>& out, Text mustContain = {}, Text mustNotContain = {});
    int listKeys(std::vector<Text>& out, Text keyMustContain = {}, Text keyMustNotContain = {},
                 Text sectionRestriction = {}, Text sectionMustContain = {},
                 Text sectionMustNotContain = {});
    int listSectionsWithKey(Text key, std::vector<Text>& out);
    int listKeysWithValue(Text value, std::vector<Text>& out, Text section = {});

    Text getText() const { return memoryText_; }
    void appendText(const Text& text, bool keepExisting = false);

    // Typed values in the current section.
    void selectSection(const Text& name);
    Bytes readBinary(const Text& key, const Bytes& def = {});
    bool writeBinary(const Text& key, const Bytes& bytes);
    bool writeText(const Text& key, const Text& text);
    Text readText(const Text& key, const Text& def = {});
    bool writeNumber(const Text& key, double value);
    // Numbers under several keys of the current section, each written as
    // writeNumber writes it and in the order given, as one edit: events run,
    // and the store catches up with the file on disk, once rather than once
    // per key. False when any of them was not written.
    bool writeNumbers(const std::vector<std::pair<Text, double>>& values);
    double readNumber(const Text& key, double def = 0);
    // readNumber of every key, in order, with one pass of events before
    // them all rather than one per key.
    std::vector<double> readNumbers(const std::vector<Text>& keys, double def = 0);
    bool writeBool(const Text& key, bool value);
    bool readBool(const Text& key, bool def = false);
    bool readBoolNotFalse(const Text& key, bool def = false);
    bool writeDateTime(const Text& key, const DateTime& value);
    DateTime readDateTime(const Text& key, const DateTime& def = {});

    Text getPath() const { return path_; }

    // Registry mode keeps its values in this INI file, which the box's
    // configuration names. Without one, registry writes fail and reads
    // find nothing.
    void setRegistryFile(std::filesystem::path file) { registryFile_ = std::move(file); }
    const std::filesystem::path& registryFile() const { return registryFile_; }

    // State, for callers and tests that need to look.
    int mode() const { return mode_; }
    bool busy() const { return busy_; }
    bool hasFile() const;
    Text section() const { return section_; }
    Text registryPrefix() const { return registryPrefix_; }
    Text loadedPath() const { return loadedPath_; }
    const std::deque<QueuedEdit>& queue() const { return queue_; }

private:
    struct Span;        // a found section or key, 0-based
    class RunningEdit;  // busy while one queued edit is applied

    // What a section search does before each of its passes.
    enum class BeforePass { kNothing, kPump, kPumpAndFollowDisk };

    int enqueue(QueuedEdit edit);
    int apply(const QueuedEdit& edit);
    int writeKeyNow(Text section, Text key, Text value,
                    BeforePass firstPass = BeforePass::kPumpAndFollowDisk);
    int writeKeysNow(const std::vector<Text>& args);
    int deleteNow(const Text& section, const Text& key);
    int renameSectionNow(const Text& oldName, const Text& newName);
    int renameKeyNow(const Text& section, const Text& oldKey, const Text& newKey);

    bool openAs(const Text& path, const std::filesystem::path& file, int mode);
    bool bindPath(const Text& path, const std::filesystem::path& file, bool inMemory);
    bool bindFile(const std::filesystem::path& file, bool inMemory);
    bool followFileOnDisk();
    std::optional<std::size_t> findSection(const Text& name, BeforePass before);
    std::optional<Span> findKey(std::size_t headerEnd, const Text& key);
    std::optional<Text> lookup(Text section, Text key);
    std::size_t findWholeHeader(std::size_t from, std::size_t to) const;
    std::size_t sectionEnd(std::size_t headerStart) const;

    void insertBytes(std::size_t pos, std::string_view bytes);
    void eraseBytes(std::size_t pos, std::size_t count);
    void replaceBytes(std::size_t pos, std::size_t count, std::string_view bytes);
    void syncFile(bool stepSucceeded);
    void reportWriteFailure();

    bool typedWrite(const Text& key, const Text& encoded);
    std::optional<Text> typedRead(const Text& key);
    std::optional<std::filesystem::path> binaryPath(const Text& key) const;

    EventPump& pump_;
    Dialogs& dialogs_;

    Text memoryText_;
    std::unique_ptr<BackingFile> file_;
    // The INI file that file_ was opened on, in file mode.
    std::filesystem::path boundFile_;
    // A file step failed (disk full, ...): the file no longer equals
    // memoryText and is rewritten whole at the next edit.
    bool fileStale_ = false;
    // The last failed open was refused because another store holds the file.
    bool lockConflict_ = false;
    Text loadedPath_;
    std::filesystem::path loadedFile_;  // loadedPath_ as the file system names it
    bool busy_ = false;
    std::deque<QueuedEdit> queue_;
    Text path_;
    std::filesystem::path pathFile_;  // path_ as the file system names it
    Text section_;
    int mode_ = kFileMode;
    Text registryPrefix_;
    std::filesystem::path registryFile_;
};

}  // namespace box
