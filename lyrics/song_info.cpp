#include "lyrics/song_info.h"

#include <cctype>
#include <string>

#include "lyrics/text_rules.h"
#include "lyrics/track_choice.h"

namespace verselane {

bool IsGenericTrackName(std::string_view Name) {
    std::string word;
    for (char c : TrimSpaces(Name)) {
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (word.empty()) return true;
    // A number behind the word ("Track 1", "Sequence #2") says nothing more;
    // a number alone ("1999") may well be the title.
    while (!word.empty() && (std::isdigit(static_cast<unsigned char>(word.back())) ||
                             word.back() == ' ' || word.back() == '#' || word.back() == '-')) {
        word.pop_back();
    }
    static constexpr std::string_view kGeneric[] = {
        "track",           "untitled", "sequence", "tempo", "tempo track", "conductor",
        "conductor track", "song",     "title",    "midi",  "new song",
    };
    for (std::string_view generic : kGeneric) {
        if (word == generic) return true;
    }
    return false;
}

KaraokeInfo SongKaraokeInfo(const MidiFile& Song) {
    KaraokeInfo info;
    bool language = false;
    bool title = false;
    for (int16_t t = 0; t < RealTrackCount(Song); ++t) {
        bool artist_due = false;  // the "@T" line after the title names the artist
        for (const MidiEvent& e : Song.Events(t)) {
            if (!e.IsText()) continue;
            const std::string_view text = e.Data.view();
            if (!language && text.starts_with("@L")) {
                info.Language = std::string(TrimSpaces(text.substr(2)));
                language = true;
            } else if (text.starts_with("@T") && (!title || artist_due)) {
                (title ? info.Artist : info.Title) = std::string(TrimSpaces(text.substr(2)));
                artist_due = !title;
                title = true;
            }
        }
    }
    if (!title && RealTrackCount(Song) > 0 && !IsGenericTrackName(Song.TrackName.at(0))) {
        info.Title = std::string(TrimSpaces(Song.TrackName.at(0)));
    }
    return info;
}

}  // namespace verselane
