#include "align/melody.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "lyrics/track_choice.h"
#include "model/utf8.h"

namespace verselane::align {

namespace {

// Fewer syllables than this a beat of the song: the sheet is a part of it.
constexpr double kWholeSheetPerBeat = 0.3;

bool NameSuggestsMelody(std::string_view name) {
    const std::string n = AsciiLowered(name);
    for (const char* word :
         {"melod", "vocal", "voice", "voc", "lead", "solo", "sing", "vox", "karaoke", "guide",
          "soprano", "tune", "canto", "voz", "stimme", "melodie"}) {
        if (n.find(word) != std::string::npos) return true;
    }
    return n == "s";
}

}  // namespace

std::vector<NoteLine> NoteLines(const Song& song) {
    std::vector<NoteLine> lines;
    const int32_t together = std::max(1, TicksPerBeat(song.Division) / 24);
    const int16_t tracks = song.TrackCount();
    for (int16_t t = 0; t < tracks; ++t) {
        // Per channel: (start, pitch) of each note with its release.
        struct Sounding {
            int32_t Start;
            size_t Index;
        };
        std::map<int, std::vector<MelodyNote>> per_channel;
        std::map<int, Sounding> open;  // key: channel * 128 + pitch
        const Track& track = song.Tracks[static_cast<size_t>(t)];
        for (const Event& e : track) {
            if (!e.IsNoteOn() && !e.IsNoteOff()) continue;
            const int key = e.Channel * 128 + (e.Data1 & 0x7F);
            const bool on = e.IsNoteOn();
            if (auto it = open.find(key); it != open.end()) {
                per_channel[e.Channel][it->second.Index].End = std::max(e.Tick, it->second.Start);
                open.erase(it);
            }
            if (on) {
                auto& notes = per_channel[e.Channel];
                notes.push_back({e.Tick, e.Tick, static_cast<uint8_t>(e.Data1 & 0x7F)});
                open[key] = {e.Tick, notes.size() - 1};
            }
        }
        for (const auto& [key, sounding] : open) {
            auto& note = per_channel[key / 128][sounding.Index];
            // Sounding to the end: a beat long, never past the last tick.
            note.End = static_cast<int32_t>(std::min<int64_t>(
                INT32_MAX,
                std::max<int64_t>(note.End, int64_t{note.Tick} + TicksPerBeat(song.Division))));
        }
        for (auto& [channel, notes] : per_channel) {
            std::stable_sort(
                notes.begin(), notes.end(),
                [](const MelodyNote& a, const MelodyNote& b) { return a.Tick < b.Tick; });
            NoteLine line;
            line.Track = t;
            line.Channel = channel;
            line.Name = track.Name;
            // Notes sounding together: a tune doubled in octaves or thirds
            // throughout is still one line; changing numbers of notes, or
            // three and more at once, make chords.
            // A chord played in by hand starts its notes a few ticks apart:
            // a note starting within a 24th of a beat of the first, while
            // that one still sounds, is struck with it (a quick ornament
            // starts as the note before ends, and stays a note of its own).
            std::map<size_t, size_t> sizes;  // notes at one start -> how often
            for (size_t i = 0; i < notes.size();) {
                size_t j = i;
                MelodyNote top = notes[i];
                while (j < notes.size() &&
                       (notes[j].Tick == notes[i].Tick ||
                        (notes[j].Tick - notes[i].Tick < together &&
                         int64_t{notes[i].End} > int64_t{notes[j].Tick} + together))) {
                    if (notes[j].Pitch > top.Pitch) top = notes[j];
                    ++j;
                }
                ++sizes[j - i];
                top.Tick = notes[i].Tick;  // the chord sounds from its first note
                line.Notes.push_back(top);
                i = j;
            }
            size_t usual = 1, usual_count = 0, starts = line.Notes.size();
            for (const auto& [size, count] : sizes) {
                if (count > usual_count) {
                    usual = size;
                    usual_count = count;
                }
            }
            const size_t chords = usual >= 3 ? starts : starts - usual_count;
            line.Chords = starts ? static_cast<double>(chords) / starts : 0;
            std::vector<uint8_t> pitches;
            for (const MelodyNote& m : line.Notes) pitches.push_back(m.Pitch);
            std::nth_element(pitches.begin(), pitches.begin() + pitches.size() / 2, pitches.end());
            line.MedianPitch = pitches.empty() ? 0 : pitches[pitches.size() / 2];
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

namespace {

// The line that scores best. With `WholeSheet` the line's notes are weighed
// against the syllables: too few cannot carry them, many more are an
// accompaniment's. For a sheet that is a part of the song only too few
// count against a line, and more notes speak a little for it: of lines
// with notes enough, the song's tune is the busier one.
MelodyChoice BestLine(const std::vector<NoteLine>& Lines, size_t SyllableCount, int Track,
                      bool WholeSheet) {
    MelodyChoice choice;
    double best = -1e18;
    const double syllables = static_cast<double>(std::max<size_t>(SyllableCount, 1));
    for (size_t i = 0; i < Lines.size(); ++i) {
        const NoteLine& line = Lines[i];
        if (Track >= 0 && line.Track != Track) continue;
        if (line.Notes.empty()) continue;
        double score = 0;
        if (line.Channel == 9) score -= 100;  // drums carry no tune
        const bool named = NameSuggestsMelody(line.Name);
        if (named) score += 1.5;
        score -= 6 * line.Chords;
        const bool voice = line.MedianPitch >= 52 && line.MedianPitch <= 81;
        if (!voice) score -= line.MedianPitch < 48 ? 4 : 2;
        const double ratio = static_cast<double>(line.Notes.size()) / syllables;
        if (ratio < 0.9) score -= (0.9 - ratio) * 10;
        if (WholeSheet && ratio > 1.05) score -= (ratio - 1.05) * 2.5;
        if (!WholeSheet && ratio > 1) score += 0.25 * std::log2(ratio);
        if (score > best) {
            best = score;
            choice = {static_cast<int>(i), named,         line.Chords < 0.05, voice,
                      line.Notes.size(),   SyllableCount, !WholeSheet};
        }
    }
    return choice;
}

}  // namespace

MelodyChoice ChooseMelody(const std::vector<NoteLine>& Lines, size_t SyllableCount,
                          int32_t BeatTicks, int Track) {
    // A sheet of one verse, or a few lines to try, has far fewer syllables
    // than the song's melody has notes, and the lines nearest it in count are
    // sparse ones. Whole sheets put a syllable on every three beats of the
    // song or more (from a third of a syllable a beat in slow songs to two
    // in fast ones), and the line they choose has a note or a little more
    // for each syllable.
    int64_t first = INT64_MAX, last = 0;
    for (const NoteLine& line : Lines) {
        if (line.Channel == 9 || line.Notes.empty()) continue;
        first = std::min<int64_t>(first, line.Notes.front().Tick);
        for (const MelodyNote& note : line.Notes) last = std::max<int64_t>(last, note.End);
    }
    const double beats =
        first < last ? static_cast<double>(last - first) / std::max(1, BeatTicks) : 0.0;
    const double syllables = static_cast<double>(std::max<size_t>(SyllableCount, 1));
    if (syllables < kWholeSheetPerBeat * beats) return BestLine(Lines, SyllableCount, Track, false);
    const MelodyChoice whole = BestLine(Lines, SyllableCount, Track, true);
    const double ratio = static_cast<double>(whole.Notes) / syllables;
    if (whole.Line >= 0 && (ratio < 0.9 || ratio > 1.6)) {
        // Counted as a part, the line with the most tune wins; only a line
        // with room to spare says the sheet is shorter than the song.
        MelodyChoice part = BestLine(Lines, SyllableCount, Track, false);
        part.PartOfSong = ratio > 1.6;
        return part;
    }
    return whole;
}

std::vector<Metre> MetresOf(const Song& song) {
    std::vector<Metre> metres;
    for (const Track& track : song.Tracks) {
        for (const Event& e : track) {
            if (!e.IsMeta(kMetaTimeSignature)) continue;
            const std::string_view body = track.Body(e);
            if (body.size() < 2) continue;
            const int numerator = static_cast<uint8_t>(body[0]);
            const int power = static_cast<uint8_t>(body[1]);
            if (numerator == 0 || power > 6) continue;
            const int32_t bar =
                static_cast<int32_t>(int64_t{TicksPerBeat(song.Division)} * 4 * numerator >> power);
            if (bar > 0) metres.push_back({e.Tick, bar});
        }
    }
    std::stable_sort(metres.begin(), metres.end(),
                     [](const Metre& a, const Metre& b) { return a.Tick < b.Tick; });
    return metres;
}

}  // namespace verselane::align
