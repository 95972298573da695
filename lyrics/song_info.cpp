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

KaraokeInfo SongKaraokeInfo(const Song& song) {
    KaraokeInfo info;
    bool language = false;
    bool title = false;
    for (const Track& track : song.Tracks) {
        bool artist_due = false;  // the "@T" line after the title names the artist
        for (const Event& e : track) {
            if (!e.IsText()) continue;
            const std::string_view text = track.Body(e);
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
    if (!title && song.TrackCount() > 0 && !IsGenericTrackName(song.Tracks[0].Name)) {
        info.Title = std::string(TrimSpaces(song.Tracks[0].Name));
    }
    return info;
}

}  // namespace verselane
