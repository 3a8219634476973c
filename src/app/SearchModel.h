#pragma once
// Search-as-you-type: the search box of the header and the drop-down list of
// its hits, as plain state with the behaviour of their events. The Qt window
// renders the state, forwards the events and drives the hit timer with the
// period it reads here.
//
// A query matches a program's caption as a substring (ASCII case ignored), as
// a wildcard pattern when it holds "*", "?" or "|", or else by the pinyin
// initials of consecutive characters ("rjhz" finds "软件盒子").

#include <functional>
#include <string>
#include <vector>

#include "app/ProgramRow.h"
#include "support/EventPump.h"
#include "support/RegexObject.h"
#include "support/Text.h"

namespace box {

struct SearchHit {
    Text caption;   // the row's name caption without its blanks
    int image = 0;  // index into images(): row - 1
    int row = 0;    // the row's index when the search ran
};

class SearchModel {
public:
    static constexpr unsigned kPlaceholderColor = 0x808080;
    static constexpr unsigned kTypedColor = 0xFF0090;
    static constexpr int kHitDelayMs = 500;

    // Keys the search box handles itself.
    enum Key { kKeyEnter = 13, kKeySpace = 32, kKeyUp = 0x26, kKeyDown = 0x28 };

    // runHit runs the program of a row, as a click on its name does.
    SearchModel(ProgramList& list, EventPump& pump, std::function<void(int row)> runHit);

    static const Text& Placeholder();

    // The box's events. Content changed: the text typed, or set by the
    // window, which the box now holds.
    void TextChanged(const Text& text);
    // Returns whether the key was taken; taken keys never reach the box.
    bool KeyDown(int key);
    void BoxPressed();
    void FocusGained();
    void FocusLost();
    // The hit list's events: a left button press on hit index (-1: beside
    // the hits) and the hit timer's tick.
    void HitPressed(int index);
    void HitTimerTick();
    // The user moved the selection in the list with the mouse or the keys
    // of the list itself.
    void SelectHit(int index);

    void Hide();
    // A new search for the box's text; a search still running stops at its
    // next hit.
    void StartSearch();
    void RunSelectedHit();
    // Takes every row's icon, in list order, as the hit list's pictures. The
    // list's order changes with every sort, so a sort calls this.
    void BuildSearchImages();

    // Whether text, a caption without blanks, matches the last query.
    bool MatchCaption(std::string_view text) const;
    // Sets the query as a search does, without running one.
    void SetQuery(const Text& query);

    const Text& boxText() const { return boxText_; }
    bool placeholderStyle() const { return placeholderStyle_; }
    unsigned textColor() const { return placeholderStyle_ ? kPlaceholderColor : kTypedColor; }
    const Text& searchQuery() const { return searchQuery_; }
    bool wildcardMode() const { return wildcardMode_; }
    bool visible() const { return visible_; }
    const std::vector<SearchHit>& hits() const { return hits_; }
    int selected() const { return selected_; }  // -1: none
    bool resultClicked() const { return resultClicked_; }
    int hitTimerPeriod() const { return hitTimerPeriod_; }  // 0: stopped
    // BMP bytes of each row's icon when the list was last taken; "" for the
    // picture of a program not downloaded.
    const std::vector<std::string>& images() const { return images_; }
    int searchesStarted() const { return static_cast<int>(searchTokens_.size()); }
    // Searches that have not reached their end, a newer one running inside
    // an older one's events. The view may hold back painting the hits
    // meanwhile.
    int searchesRunning() const { return searchesRunning_; }
    // Counted up whenever the hits are cleared or the pictures retaken, so
    // the view can add the hits that came since it last looked.
    unsigned hitsGeneration() const { return hitsGeneration_; }
    unsigned imagesGeneration() const { return imagesGeneration_; }

    // Called after every change of the state above.
    std::function<void()> onChanged;
    // Puts the keyboard focus into the search box.
    std::function<void()> focusSearchBox;

private:
    void RunSearch(std::size_t token);
    void Changed() const {
        if (onChanged) onChanged();
    }

    ProgramList& list_;
    EventPump& pump_;
    std::function<void(int)> runHit_;

    Text boxText_;
    bool placeholderStyle_ = true;
    Text searchQuery_;
    bool wildcardMode_ = false;
    // execute keeps the matches of its last run, which no caller reads.
    mutable RegexObject pattern_;
    // One per search started: 0 running, 1 superseded.
    std::vector<int> searchTokens_;
    bool resultClicked_ = false;
    bool visible_ = false;
    std::vector<SearchHit> hits_;
    int selected_ = -1;
    int hitTimerPeriod_ = 0;
    std::vector<std::string> images_;
    unsigned hitsGeneration_ = 0;
    int searchesRunning_ = 0;
    unsigned imagesGeneration_ = 0;
};

// Whether query is the pinyin initials (or the letters themselves) of
// consecutive characters of text; a GBK double-byte character is one
// character.
bool MatchInitials(std::string_view query, std::string_view text);

// Whether text holds "*", "?" or "|" outside its double-byte characters.
bool HasWildcard(std::string_view text);

// The caption without its blanks.
Text WithoutBlanks(std::string_view caption);

}  // namespace box
