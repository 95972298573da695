// Arbitrary bytes as a lyric sheet through the whole of `align`: read the
// sheet, split its words for singing, choose the melody of a small song,
// align, put the words into the song, write it and read it back.
//
// The first byte picks the language and whether the sheet's syllables are
// taken as written; two more bytes, when the sheet is long enough, pin a
// syllable to a tick. Any crash, sanitizer report, hang or memory blow-up is
// a finding; so is an alignment that puts the syllables out of sheet order,
// a stanza's number placed apart from the word after it, a refusal
// without a message, or a written song that does not read back with one
// lyric event per syllable.
#include <cstdint>
#include <string>
#include <string_view>

#include "align/align_error.h"
#include "align/song_words.h"
#include "fuzz/fuzz_support.h"

using namespace verselane;

namespace {

using fuzz::Check;

// A format 0 song of 48 notes: eighths and quarters, a rest every eighth note.
std::string SmallSong() {
    std::string track;
    auto delta = [&track](uint32_t ticks) {
        std::string bytes(1, static_cast<char>(ticks & 0x7F));
        while (ticks >>= 7) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (ticks & 0x7F)));
        track += bytes;
    };
    for (int n = 0; n < 48; ++n) {
        const uint32_t length = n % 3 == 0 ? 96 : 48;
        delta(n % 8 == 0 ? 96 : 0);
        track += {'\x90', static_cast<char>(60 + n % 7), '\x64'};
        delta(length);
        track += {'\x80', static_cast<char>(60 + n % 7), '\x00'};
    }
    track += {'\x00', '\xFF', '\x2F', '\x00'};
    std::string file("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14);
    file += "MTrk";
    const auto size = static_cast<uint32_t>(track.size());
    for (int shift = 24; shift >= 0; shift -= 8) file += static_cast<char>(size >> shift);
    return file + track;
}

int LyricEvents(const Song& song) {
    int count = 0;
    for (const Track& track : song.Tracks)
        for (const Event& e : track)
            if (e.IsMeta() && e.MetaType() == kMetaLyric) ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const std::string song_bytes = SmallSong();
    Song song;
    SongFacts facts;
    Check(ReadSongBytes(song, facts, song_bytes).Result == ReadResult::Complete,
          "the made song does not read");

    static const char* const languages[] = {"en", "de", "fr", "es", "it", "pt", "nl", ""};
    align::SheetRequest request;
    request.Language = languages[data[0] & 7];
    request.AsWritten = (data[0] & 8) != 0;
    std::string_view sheet(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((data[0] & 16) && sheet.size() >= 2) {
        const auto syllable = static_cast<uint8_t>(sheet[0]) % 16 + 1u;
        const int32_t tick = static_cast<uint8_t>(sheet[1]) * 24;
        request.Pins.push_back({syllable, tick});
        sheet.remove_prefix(2);
    }
    request.SheetUtf8 = std::string(sheet);

    align::SheetAlignment aligned;
    try {
        aligned = align::AlignSheet(song, request);
    } catch (const align::AlignError& e) {
        Check(*e.what() != '\0', "a refusal without a message");
        return 0;
    }
    const auto& placed = aligned.Placement.Syllables;
    Check(placed.size() == aligned.Sheet.Syllables.size(), "not one place per syllable");
    for (size_t s = 1; s < placed.size(); ++s)
        Check(placed[s].Tick >= placed[s - 1].Tick, "syllables out of sheet order");
    for (size_t s = 0; s + 1 < placed.size(); ++s)
        if (aligned.Sheet.Syllables[s].VerseNumber && !placed[s].Pinned)
            Check(placed[s].Tick == placed[s + 1].Tick, "a stanza's number apart from its word");

    const std::vector<std::string> texts = align::LyricTexts(aligned.Sheet);
    align::PutWords(song, facts, texts, aligned.Placement, align::WordsOutput::Both, {}, false);
    Song back;
    Check(fuzz::ReadsBack(fuzz::EncodeOrDie(song, "writing"), back),
          "the written song does not read back");
    Check(LyricEvents(back) >= static_cast<int>(texts.size()), "syllables lost in writing");
    return 0;
}
