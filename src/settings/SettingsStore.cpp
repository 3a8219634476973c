#include "settings/SettingsStore.h"

#include <algorithm>

#include "settings/DiskFile.h"
#include "settings/SettingsCodec.h"
#include "settings/MemoryFile.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box {

namespace {

constexpr std::size_t npos = Text::npos;
constexpr int kMaxInsertTries = 11;

bool FollowsLineEnd(const Text& text, std::size_t pos) {
    return pos >= 2 && text[pos - 2] == '\r' && text[pos - 1] == '\n';
}

}  // namespace

// A key line found in memoryText: where the key starts, and the value's
// bytes [valueStart, valueEnd). All 0-based.
struct SettingsStore::Span {
    std::size_t keyStart;
    std::size_t valueStart;
    std::size_t valueEnd;
};

// Marks the store busy while the edit at the front of the queue is applied,
// and takes that edit off the queue however it ends: a handler that throws
// out of the event pump must not leave every later edit waiting for ever.
class SettingsStore::RunningEdit {
public:
    explicit RunningEdit(SettingsStore& store) : store_(store) { store_.busy_ = true; }
    ~RunningEdit() {
        if (!store_.queue_.empty()) store_.queue_.pop_front();
        store_.busy_ = false;
    }
    RunningEdit(const RunningEdit&) = delete;
    RunningEdit& operator=(const RunningEdit&) = delete;

private:
    SettingsStore& store_;
};

SettingsStore::SettingsStore(EventPump& pump, Dialogs& dialogs) : pump_(pump), dialogs_(dialogs) {}

SettingsStore::~SettingsStore() {
    close();
}

std::unique_ptr<SettingsStore> SettingsStore::copy() const {
    auto other = std::make_unique<SettingsStore>(pump_, dialogs_);
    other->memoryText_ = memoryText_;
    // Two stores editing one INI file in place, each from its own memory
    // copy, would garble it: the copy's changes stay in memory.
    if (file_) other->file_ = std::make_unique<MemoryFile>(file_->readAll().value_or(memoryText_));
    other->loadedPath_ = loadedPath_;
    other->loadedFile_ = loadedFile_;
    // The edit that is running belongs to this store; the copy drains its
    // queue at its own next edit.
    other->busy_ = false;
    other->queue_ = queue_;
    other->path_ = path_;
    other->pathFile_ = pathFile_;
    other->section_ = section_;
    other->mode_ = mode_;
    other->registryPrefix_ = registryPrefix_;
    other->registryFile_ = registryFile_;
    return other;
}

bool SettingsStore::hasFile() const {
    return file_ != nullptr;
}

void SettingsStore::close() {
    file_.reset();
    boundFile_.clear();
    fileStale_ = false;
    memoryText_.clear();
}

bool SettingsStore::open(const Text& path, int mode) {
    return openAs(path, FsPath(path), mode);
}

bool SettingsStore::openFile(const std::filesystem::path& file, int mode) {
    return openAs(FromFsPath(file), file, mode);
}

bool SettingsStore::openAs(const Text& path, const std::filesystem::path& file, int mode) {
    path_ = path;
    pathFile_ = file;
    mode_ = mode;
    if (mode == kRegistryMode) {
        close();
        return true;
    }
    return bindPath(path, file, mode == kMemoryMode);
}

bool SettingsStore::openPath(const Text& path, bool inMemory) {
    return bindPath(path, FsPath(path), inMemory);
}

bool SettingsStore::bindPath(const Text& path, const std::filesystem::path& file, bool inMemory) {
    close();
    loadedPath_ = path;
    loadedFile_ = file;
    if (file.empty()) {
        if (!inMemory) return false;
        file_ = std::make_unique<MemoryFile>();
        return true;
    }
    return bindFile(file, inMemory);
}

bool SettingsStore::bindFile(const std::filesystem::path& file, bool inMemory) {
    lockConflict_ = false;
    if (inMemory) {
        memoryText_ = ReadFileBytes(file).value_or(Text());
        file_ = std::make_unique<MemoryFile>(memoryText_);
        return true;
    }
    auto disk = DiskFile::Open(file, &lockConflict_);
    if (disk) {
        // Read through the locked descriptor so nobody can change the file
        // between loading and locking.
        if (auto text = disk->readAll()) {
            memoryText_ = std::move(*text);
            file_ = std::move(disk);
            boundFile_ = file;
            return true;
        }
        disk.reset();
    }
    memoryText_ = ReadFileBytes(file).value_or(Text());
    return false;
}

void SettingsStore::reload() {
    if (loadedFile_.empty()) return;
    if (auto text = ReadFileBytes(loadedFile_)) memoryText_ = std::move(*text);
}

bool SettingsStore::saveAs(const Text& path) {
    const std::filesystem::path fsTarget = path.empty() ? loadedFile_ : FsPath(path);
    if (fsTarget.empty()) return false;
    // Our own open file is rewritten through its descriptor; replacing it by
    // a new file would leave the descriptor (and its lock) on a deleted one.
    if (file_ && file_->isFile(fsTarget)) {
        fileStale_ = !file_->rewrite(memoryText_);
        return !fileStale_;
    }
    // A file that another store keeps open may be read but not written.
    if (DiskFile::IsLockedByOther(fsTarget)) return false;
    return WriteFileBytes(fsTarget, memoryText_);
}

void SettingsStore::appendText(const Text& text, bool keepExisting) {
    followFileOnDisk();
    if (!keepExisting) eraseBytes(0, memoryText_.size());
    insertBytes(memoryText_.size(), text);
}

// ---- edits ------------------------------------------------------------

// Before an edit: another program may have replaced the file at the path
// (the descriptor now points at a deleted file), deleted it, or rewritten it
// in place. The file at the path wins: it is opened again (a deleted one is
// created empty, as at start-up) or read again, and the edit applies to that
// text. True when memoryText changed, so positions found before are void.
bool SettingsStore::followFileOnDisk() {
    if (!file_) return false;
    switch (file_->outsideChange(boundFile_, memoryText_)) {
        case BackingFile::OutsideChange::kNone:
            return false;
        case BackingFile::OutsideChange::kRewritten: {
            // After a failed step of our own the file differs anyway; the
            // next step rewrites it from memory.
            if (fileStale_) return false;
            auto text = file_->readAll();
            if (!text) return false;
            memoryText_ = std::move(*text);
            return true;
        }
        case BackingFile::OutsideChange::kDetached: {
            const std::filesystem::path file = boundFile_;
            file_.reset();
            boundFile_.clear();
            fileStale_ = false;
            // Locked by someone else by now: read it and keep changes in
            // memory, as open does.
            bindFile(file, false);
            return true;
        }
    }
    return false;
}

void SettingsStore::syncFile(bool stepSucceeded) {
    if (!file_) return;
    if (!stepSucceeded) fileStale_ = true;
    if (fileStale_) fileStale_ = !file_->rewrite(memoryText_);
}

void SettingsStore::insertBytes(std::size_t pos, std::string_view bytes) {
    memoryText_.insert(pos, bytes);
    if (file_) syncFile(fileStale_ || file_->insert(pos, bytes));
}

void SettingsStore::eraseBytes(std::size_t pos, std::size_t count) {
    memoryText_.erase(pos, count);
    if (file_) syncFile(fileStale_ || file_->erase(pos, count));
}

void SettingsStore::replaceBytes(std::size_t pos, std::size_t count, std::string_view bytes) {
    // A value written again as it stands changes nothing: the file already
    // equals the memory copy, unless an earlier step failed.
    if (!fileStale_ && std::string_view(memoryText_).substr(pos, count) == bytes) return;
    memoryText_.replace(pos, count, bytes);
    if (file_) syncFile(fileStale_ || file_->replace(pos, count, bytes));
}

int SettingsStore::enqueue(QueuedEdit edit) {
    queue_.push_back(std::move(edit));
    if (busy_) return kEditQueued;
    return processQueue();
}

int SettingsStore::apply(const QueuedEdit& e) {
    auto arg = [&](std::size_t i) -> const Text& {
        static const Text empty;
        return i < e.args.size() ? e.args[i] : empty;
    };
    switch (e.kind) {
        case QueuedEdit::kWriteKey:
            return writeKeyNow(arg(0), arg(1), arg(2));
        case QueuedEdit::kDelete:
            return deleteNow(arg(0), arg(1));
        case QueuedEdit::kRenameSection:
            return renameSectionNow(arg(0), arg(1));
        case QueuedEdit::kRenameKey:
            return renameKeyNow(arg(0), arg(1), arg(2));
        case QueuedEdit::kWriteKeys:
            return writeKeysNow(e.args);
        default:
            return kEditFailed;
    }
}

int SettingsStore::processQueue() {
    if (queue_.empty()) return kEditFailed;
    // Called again from an event handler while an edit runs: the running
    // call drains the queue when it is done.
    if (busy_) return kEditQueued;
    int first = kEditFailed;
    bool isFirst = true;
    // A loop rather than recursion: handlers may queue any number of edits.
    while (!queue_.empty()) {
        int result = kEditFailed;
        {
            RunningEdit running(*this);
            const QueuedEdit edit = queue_.front();
            result = apply(edit);
        }
        if (isFirst) first = result;
        isFirst = false;
    }
    return first;
}

int SettingsStore::writeKey(Text section, Text key, Text value, bool immediate) {
    if (!immediate) {
        return enqueue(
            {QueuedEdit::kWriteKey, {std::move(section), std::move(key), std::move(value)}});
    }
    return writeKeyNow(std::move(section), std::move(key), std::move(value));
}

// Its own copies of section, key and value: every pass lets events run
// (the first one only as firstPass says).
int SettingsStore::writeKeyNow(Text section, Text key, Text value, BeforePass firstPass) {
    int headerAppends = 0;
    int keyInserts = 0;
    BeforePass before = firstPass;
    for (;;) {
        auto start = findSection(section, before);
        before = BeforePass::kPumpAndFollowDisk;
        if (!start) {
            Text header = "[" + section + "]";
            if (!memoryText_.empty()) header.insert(0, "\r\n");
            insertBytes(memoryText_.size(), header);
            if (++headerAppends >= kMaxInsertTries) {
                reportWriteFailure();
                return kEditFailed;
            }
            continue;
        }
        std::size_t headerEnd = *start + section.size() + 1;
        auto span = findKey(headerEnd, key);
        if (!span) {
            // An event handler that keeps removing the key could otherwise
            // keep this loop going for ever.
            if (keyInserts++ >= kMaxInsertTries) {
                reportWriteFailure();
                return kEditFailed;
            }
            insertBytes(headerEnd + 1, "\r\n" + key + "=");
            continue;
        }
        replaceBytes(span->valueStart, span->valueEnd - span->valueStart, value);
        return kEditDone;
    }
}

// One pass of events and of catching up with the disk before the first key;
// the later keys are written without, as the rest of the same edit.
int SettingsStore::writeKeysNow(const std::vector<Text>& args) {
    if (args.empty()) return kEditFailed;
    int result = kEditDone;
    BeforePass before = BeforePass::kPumpAndFollowDisk;
    for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
        if (writeKeyNow(args[0], args[i], args[i + 1], before) != kEditDone) result = kEditFailed;
        before = BeforePass::kNothing;
    }
    return result;
}

void SettingsStore::reportWriteFailure() {
    static const Text warning = "配置模块出现意外，可能导致无法正常保存！详情请咨询汀芷。"_gbk;
    AskUser(dialogs_, warning, kMbIconWarning);
    ShowPlainMessage(dialogs_, memoryText_);
}

int SettingsStore::deleteEntry(const Text& section, const Text& key, bool immediate) {
    if (!immediate) return enqueue({QueuedEdit::kDelete, {section, key}});
    return deleteNow(section, key);
}

int SettingsStore::deleteNow(const Text& section, const Text& key) {
    followFileOnDisk();
    auto start = findSection(section, BeforePass::kNothing);
    if (!start) return kNoSuchSection;
    std::size_t end = sectionEnd(*start);
    if (key.empty()) {
        eraseBytes(*start, end - *start);
        return kEditDone;
    }
    std::size_t line = memoryText_.find("\r\n" + key + "=", *start);
    if (line == npos || line + 2 >= end) return kNoSuchKey;
    std::size_t next = memoryText_.find("\r\n", line + 2);
    if (next == npos) next = memoryText_.size();
    eraseBytes(line, next - line);
    return kEditDone;
}

int SettingsStore::renameSection(const Text& oldName, const Text& newName, bool immediate) {
    if (!immediate) return enqueue({QueuedEdit::kRenameSection, {oldName, newName}});
    return renameSectionNow(oldName, newName);
}

int SettingsStore::renameSectionNow(const Text& oldName, const Text& newName) {
    followFileOnDisk();
    auto start = findSection(oldName, BeforePass::kNothing);
    if (!start) return kNoSuchSection;
    replaceBytes(*start + 1, oldName.size(), newName);
    return kEditDone;
}

int SettingsStore::renameKey(const Text& section, const Text& oldKey, const Text& newKey,
                             bool immediate) {
    if (!immediate) return enqueue({QueuedEdit::kRenameKey, {section, oldKey, newKey}});
    return renameKeyNow(section, oldKey, newKey);
}

int SettingsStore::renameKeyNow(const Text& section, const Text& oldKey, const Text& newKey) {
    followFileOnDisk();
    auto start = findSection(section, BeforePass::kNothing);
    if (!start) return kNoSuchSection;
    auto span = findKey(*start + section.size() + 1, oldKey);
    if (!span) return kNoSuchKey;
    replaceBytes(span->keyStart, oldKey.size(), newKey);
    return kEditDone;
}

// ---- finding ------------------------------------------------------------

std::optional<std::size_t> SettingsStore::findSection(const Text& name, BeforePass before) {
    const Text header = "[" + name + "]";
    std::size_t from = 0;
    for (;;) {
        if (before != BeforePass::kNothing) pump_.ProcessPendingEvents();
        if (before == BeforePass::kPumpAndFollowDisk && followFileOnDisk()) from = 0;
        std::size_t p = memoryText_.find(header, from);
        if (p == npos) return std::nullopt;
        if (p == 0 || FollowsLineEnd(memoryText_, p)) return p;
        from = p + 1;
    }
}

std::optional<SettingsStore::Span> SettingsStore::findKey(std::size_t headerEnd, const Text& key) {
    std::size_t line = memoryText_.find("\r\n" + key + "=", headerEnd);
    if (line == npos) return std::nullopt;
    std::size_t keyStart = line + 2;
    if (findWholeHeader(headerEnd + 1, keyStart - 1) != npos) return std::nullopt;
    Span span{keyStart, keyStart + key.size() + 1, 0};
    std::size_t lineEnd = memoryText_.find("\r\n", span.valueStart);
    span.valueEnd = lineEnd == npos ? memoryText_.size() : lineEnd;
    return span;
}

// Its own copies of section and key: the search lets events run.
std::optional<Text> SettingsStore::lookup(Text section, Text key) {
    auto start = findSection(section, BeforePass::kPump);
    if (!start) return std::nullopt;
    auto span = findKey(*start + section.size() + 1, key);
    if (!span) return std::nullopt;
    return memoryText_.substr(span->valueStart, span->valueEnd - span->valueStart);
}

// The "[" of the first whole header line whose leading CR LF starts in
// [from, to), or npos. The "]" must not lie beyond to. 0-based.
std::size_t SettingsStore::findWholeHeader(std::size_t from, std::size_t to) const {
    const Text& t = memoryText_;
    // Only line ends that start before to count: no need to search further.
    const std::string_view head(t.data(), std::min(t.size(), to + 2));
    for (;;) {
        std::size_t lineEnd = head.find("\r\n[", from);
        if (lineEnd == npos || lineEnd >= to) return npos;
        std::size_t open = lineEnd + 2;
        std::size_t close = t.find("]\r\n", open);
        // The store never ends its text with a line end, so a header on the
        // last line is a whole line too.
        if (close == npos && t.back() == ']' && t.size() - 1 > open) close = t.size() - 1;
        if (close != npos && close > to) return npos;
        if (close != npos && t.find("\r\n", open) > close) return open;
        from = open;
    }
}

// End (exclusive) of the section whose header starts at headerStart: the
// next whole header line, or the end of the text.
std::size_t SettingsStore::sectionEnd(std::size_t headerStart) const {
    if (memoryText_.empty()) return 0;
    std::size_t next = findWholeHeader(headerStart, memoryText_.size() - 1);
    return next == npos ? memoryText_.size() : next;
}

long long SettingsStore::findHeader(long long from, long long to) {
    if (memoryText_.empty() || to <= 1) return -1;
    std::size_t from0 = from <= 1 ? 0 : static_cast<std::size_t>(from - 1);
    std::size_t to0 = static_cast<std::size_t>(to - 1);
    std::size_t found = findWholeHeader(from0, to0);
    return found == npos ? -1 : static_cast<long long>(found) + 1;
}

std::vector<double> SettingsStore::readNumbers(const std::vector<Text>& keys, double def) {
    std::vector<double> values;
    values.reserve(keys.size());
    if (mode_ == kRegistryMode) {
        for (const Text& key : keys) values.push_back(readNumber(key, def));
        return values;
    }
    // Copies: the pass of events may select another section or change keys.
    const Text section = section_;
    const std::vector<Text> names = keys;
    const auto start = findSection(section, BeforePass::kPump);
    for (const Text& key : names) {
        const auto span = start ? findKey(*start + section.size() + 1, key) : std::nullopt;
        values.push_back(span ? ParseNumberValue(memoryText_.substr(
                                    span->valueStart, span->valueEnd - span->valueStart))
                              : def);
    }
    return values;
}

Text SettingsStore::readKey(Text section, Text key, Text def, bool emptyIsDefault) {
    auto value = lookup(std::move(section), std::move(key));
    if (!value || (value->empty() && emptyIsDefault)) return def;
    return *value;
}

}  // namespace box
