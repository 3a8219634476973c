#include "app/SearchModel.h"

#include "support/PinyinInitials.h"
#include "support/TextSearch.h"

namespace box {

namespace {

// One character of a GBK text: its bytes, ASCII letters in lower case.
struct Char {
    unsigned char first = 0;
    unsigned char second = 0;  // 0 for a single-byte character
    bool operator==(const Char&) const = default;
};

Char CharAt(std::string_view text, std::size_t pos, std::size_t length) {
    const auto first = static_cast<unsigned char>(text[pos]);
    if (length == 2) return {first, static_cast<unsigned char>(text[pos + 1])};
    if (first >= 'A' && first <= 'Z') return {static_cast<unsigned char>(first - 'A' + 'a'), 0};
    return {first, 0};
}

std::size_t CharCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += GbkCharLength(text, pos)) ++count;
    return count;
}

// Whether the query's characters match the text's from byte start on: a
// letter of the query also matches a hanzi whose pinyin starts with it.
bool InitialsMatchAt(std::string_view query, std::string_view text, std::size_t start) {
    std::size_t q = 0;
    std::size_t t = start;
    while (q < query.size()) {
        if (t >= text.size()) return false;
        const std::size_t qLength = GbkCharLength(query, q);
        const std::size_t tLength = GbkCharLength(text, t);
        const Char queryChar = CharAt(query, q, qLength);
        Char textChar = CharAt(text, t, tLength);
        if (queryChar.second == 0 && queryChar.first >= 'a' && queryChar.first <= 'z' &&
            tLength == 2) {
            if (const char initial = PinyinInitial(textChar.first, textChar.second)) {
                textChar = {static_cast<unsigned char>(initial), 0};
            }
        }
        if (!(queryChar == textChar)) return false;
        q += qLength;
        t += tLength;
    }
    return true;
}

}  // namespace

bool MatchInitials(std::string_view query, std::string_view text) {
    if (query.empty()) return false;
    const std::size_t q = CharCount(query);
    const std::size_t t = CharCount(text);
    if (q > t) return false;
    // Starts 0 .. t - q, by characters.
    std::size_t start = 0;
    for (std::size_t k = 0; k <= t - q; ++k) {
        if (InitialsMatchAt(query, text, start)) return true;
        start += GbkCharLength(text, start);
    }
    return false;
}

bool HasWildcard(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size(); pos += GbkCharLength(text, pos)) {
        if (GbkCharLength(text, pos) != 1) continue;
        const char c = text[pos];
        if (c == '*' || c == '?' || c == '|') return true;
    }
    return false;
}

Text WithoutBlanks(std::string_view caption) {
    // No trail byte of a double-byte character is a blank, so bytes will do.
    Text out;
    out.reserve(caption.size());
    for (char c : caption) {
        if (c != ' ') out += c;
    }
    return out;
}

SearchModel::SearchModel(ProgramList& list, EventPump& pump, std::function<void(int row)> runHit)
    : list_(list), pump_(pump), runHit_(std::move(runHit)), boxText_(Placeholder()) {}

const Text& SearchModel::Placeholder() {
    static const Text placeholder = "即输即搜(首拼通配).."_gbk;
    return placeholder;
}

void SearchModel::TextChanged(const Text& text) {
    boxText_ = text;
    StartSearch();
}

bool SearchModel::KeyDown(int key) {
    const int count = static_cast<int>(hits_.size());
    switch (key) {
        case kKeyEnter:
        case kKeySpace:
            if (visible_) {
                RunSelectedHit();
            } else {
                StartSearch();
            }
            return true;
        case kKeyUp:
            if (count > 0) {
                selected_ = selected_ <= 0 ? count - 1 : selected_ - 1;
                Changed();
            }
            return true;
        case kKeyDown:
            if (count > 0) {
                selected_ = selected_ < 0 || selected_ >= count - 1 ? 0 : selected_ + 1;
                Changed();
            }
            return true;
        default:
            return false;
    }
}

void SearchModel::BoxPressed() {
    if (!visible_) StartSearch();
}

void SearchModel::FocusGained() {
    placeholderStyle_ = false;
    if (boxText_ == Placeholder()) {
        // The box's content changes, and with it a search starts, as typing
        // would start one.
        TextChanged({});
        return;
    }
    Changed();
}

void SearchModel::FocusLost() {
    if (boxText_.empty() || boxText_ == Placeholder()) {
        placeholderStyle_ = true;
        TextChanged(Placeholder());
    }
    // A click on a hit takes the focus too; that hit still has to run.
    if (!resultClicked_) Hide();
}

void SearchModel::HitPressed(int index) {
    if (index >= 0 && index < static_cast<int>(hits_.size())) selected_ = index;
    resultClicked_ = true;
    hitTimerPeriod_ = kHitDelayMs;
    Changed();
}

void SearchModel::HitTimerTick() {
    hitTimerPeriod_ = 0;
    RunSelectedHit();
}

void SearchModel::SelectHit(int index) {
    if (index < 0 || index >= static_cast<int>(hits_.size()) || index == selected_) return;
    selected_ = index;
    Changed();
}

void SearchModel::Hide() {
    if (!visible_) return;
    visible_ = false;
    Changed();
}

void SearchModel::StartSearch() {
    if (!searchTokens_.empty()) searchTokens_.back() = 1;
    searchTokens_.push_back(0);
    RunSearch(searchTokens_.size() - 1);
}

void SearchModel::SetQuery(const Text& query) {
    searchQuery_ = query;
    wildcardMode_ = HasWildcard(searchQuery_);
    if (wildcardMode_) pattern_.compile(RegexObject::wildcardToPattern(searchQuery_));
}

void SearchModel::RunSearch(std::size_t token) {
    if (boxText_.empty() || boxText_ == Placeholder()) {
        searchQuery_ = boxText_;
        // The text itself may have changed here (the placeholder comes and
        // goes), so the view hears of it even when the list was hidden.
        visible_ = false;
        Changed();
        return;
    }
    SetQuery(boxText_);
    hits_.clear();
    selected_ = -1;
    ++hitsGeneration_;
    ++searchesRunning_;
    Changed();
    bool superseded = false;
    // The list is read afresh at every row: the events let through below may
    // sort it or start a newer search.
    for (int i = 1; i <= list_.size(); ++i) {
        const Text text = WithoutBlanks(list_.at(i).nameControl.caption);
        if (MatchCaption(text)) {
            if (searchTokens_[token] == 1) {
                superseded = true;
                break;
            }
            hits_.push_back({text, i - 1, i});
            Changed();
        }
        pump_.ProcessPendingEvents();
    }
    --searchesRunning_;
    if (!superseded) {
        if (hits_.empty()) {
            visible_ = false;
        } else {
            selected_ = 0;
            visible_ = true;
        }
    }
    Changed();
}

bool SearchModel::MatchCaption(std::string_view text) const {
    if (FindText(text, searchQuery_) > 0) return true;
    if (wildcardMode_) return pattern_.execute(text) > 0;
    return MatchInitials(searchQuery_, text);
}

void SearchModel::RunSelectedHit() {
    if (selected_ >= 0 && selected_ < static_cast<int>(hits_.size())) {
        const int row = hits_[static_cast<std::size_t>(selected_)].row;
        if (runHit_) runHit_(row);
    }
    Hide();
    resultClicked_ = false;
    if (focusSearchBox) focusSearchBox();
}

void SearchModel::BuildSearchImages() {
    images_.clear();
    images_.reserve(static_cast<std::size_t>(list_.size()));
    for (int i = 1; i <= list_.size(); ++i) images_.push_back(list_.at(i).iconControl.iconBmp);
    ++imagesGeneration_;
    Changed();
}

}  // namespace box
