#include "align/song_words.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <tuple>

#include "align/align_error.h"
#include "align/sung_syllables.h"
#include "lyrics/song_info.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "model/errors.h"

namespace verselane::align {

namespace {

bool Visible(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) > ' ' && c != '\\' && c != '/';
    });
}

// Whether a track holds nothing but its name, "@" lines and its end: a
// track made for words that holds none.
bool HoldsNoWords(const Track& track) {
    for (const Event& e : track) {
        if (!e.IsMeta()) return false;
        if (e.MetaType() == kMetaTrackName || e.MetaType() == kMetaEndOfTrack) continue;
        if (e.MetaType() == kMetaText && track.Body(e).starts_with("@")) continue;
        return false;
    }
    return true;
}

bool NamedForWords(std::string_view name) {
    return name.find("ords") != std::string_view::npos ||
           name.find("rics") != std::string_view::npos ||
           name.find("yric") != std::string_view::npos || name == "Soft Karaoke";
}

// Keeps the events of `track` for which `keep` says so.
template <typename Keep>
void FilterEvents(Track& track, Keep keep) {
    Track kept;
    kept.Name = track.Name;
    kept.Instrument = track.Instrument;
    kept.Reserve(track.Size(), track.PoolBytes());
    for (const Event& e : track)
        if (keep(e)) kept.Append(e, track.Body(e));
    track = std::move(kept);
}

// A syllable's text without the marks and spaces around it: "/love " and
// "~love" hold the same syllable.
std::string_view SyllableCore(std::string_view text) {
    auto mark = [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '\\' || c == '~' ||
               c == '-';
    };
    while (!text.empty() && mark(text.front())) text.remove_prefix(1);
    while (!text.empty() && mark(text.back())) text.remove_suffix(1);
    return text;
}

// Drops the old words: every lyric event, the karaoke text and its "@K"
// lines, and the text events that copy a lyric of their track at its tick
// (sequencers write each syllable twice, as a lyric and as text; left
// behind, the copies would read as the song's karaoke words).
void RemoveWords(Song& song, SongFacts& facts) {
    const int16_t karaoke =
        facts.HasKaraokeText ? ChooseSourceTrack(song, ConversionDirection::KaraokeToLyrics) : -1;
    for (int16_t t = 0; t < song.TrackCount(); ++t) {
        const Track& track = song.Tracks[static_cast<size_t>(t)];
        std::set<std::pair<int32_t, std::string_view>> lyrics;
        for (const Event& e : track)
            if (e.IsLyric()) lyrics.emplace(e.Tick, SyllableCore(track.Body(e)));
        auto copies_lyric = [&](const Event& e) {
            const std::string_view core = SyllableCore(track.Body(e));
            return !core.empty() && lyrics.contains({e.Tick, core});
        };
        FilterEvents(song.Tracks[static_cast<size_t>(t)], [&](const Event& e) {
            if (!e.IsMeta()) return true;
            if (e.MetaType() == kMetaLyric) return false;
            if (e.MetaType() == kMetaText &&
                (t == karaoke || track.Body(e).starts_with("@K") || copies_lyric(e)))
                return false;
            return true;
        });
    }
    facts.HasLyrics = false;
    facts.HasKaraokeText = false;
    facts.LyricText.clear();
    facts.KaraokeText.clear();
}

}  // namespace

LyricSheet SungSyllables(const LyricSheet& Sheet, const SyllableSplitter& Splitter) {
    LyricSheet out;
    out.NotSungAsWritten = Sheet.NotSungAsWritten;
    const auto& in = Sheet.Syllables;
    for (size_t i = 0; i < in.size(); ++i) {
        const bool whole_word = in[i].WordStart && Sheet.WordEnd(i);
        if (!whole_word || in[i].Marked) {
            out.Syllables.push_back(in[i]);
            continue;
        }
        const std::vector<std::string> pieces = Splitter.Split(in[i].Text);
        // The word's marks without its text: copying the whole word for each
        // of its pieces took time that grew with the square of a long word.
        SheetSyllable shape = in[i];
        shape.Text.clear();
        for (size_t p = 0; p < pieces.size(); ++p) {
            SheetSyllable s = shape;
            s.Text = pieces[p];
            if (p > 0) {
                s.SplitByRule = true;
                s.WordStart = s.LineStart = s.ParagraphStart = s.NewBar = false;
                s.SkipsBefore = 0;
            }
            if (p + 1 < pieces.size()) s.Holds = 0;
            out.Syllables.push_back(std::move(s));
        }
    }
    return out;
}

namespace {

// Whether a word of one syllable, by what it reads (its letters and digits,
// lower-cased), is one its language seldom stresses: an article, a
// preposition, a pronoun, a conjunction, a form of "be". In the timed
// English songs such words open a note on the beat 20 % of the time against
// 31 % for other words of one syllable, and carry on over a note after
// their own a third as often. Spanish, which stresses its syllables more
// evenly, sings them as any other word; languages not listed have no weak
// words.
bool IsWeakWord(std::string_view reading, std::string_view language) {
    static const std::set<std::string, std::less<>> english = {
        "a",   "an", "and",  "are", "as",    "at", "be",  "but", "by",   "for", "from", "he", "her",
        "his", "i",  "if",   "in",  "is",    "it", "its", "me",  "my",   "of",  "on",   "or", "our",
        "she", "so", "that", "the", "their", "to", "was", "we",  "with", "you", "your"};
    static const std::set<std::string, std::less<>> german = {
        "am",  "an",  "auf",  "aus",  "bei",  "bin",  "bist", "dass", "dein", "dem", "den",
        "der", "des", "dich", "die",  "dir",  "du",   "ein",  "er",   "es",   "ich", "ihr",
        "im",  "in",  "ist",  "mein", "mich", "mir",  "mit",  "sein", "sich", "sie", "sind",
        "so",  "und", "vom",  "von",  "war",  "wenn", "wie",  "wir",  "zu",   "zum", "zur"};
    const std::set<std::string, std::less<>>* words = language == "en"   ? &english
                                                      : language == "de" ? &german
                                                                         : nullptr;
    return words != nullptr && words->contains(reading);
}

// Whether the syllable's spelling draws its vowel out over several notes,
// as singers' sheets spell a held vowel: a letter three times in a row
// ("sooo", "yeaaah", "ohhh"); two vowels written twice running ("youou",
// "yeaeah"); or, in English, Spanish, French and Portuguese, whose words
// hardly ever double them, "aa", "ii" or "uu" ("gaame", "fiight").
bool IsDrawnOut(std::string_view text, std::string_view language) {
    auto low = [&](size_t i) { return std::tolower(static_cast<unsigned char>(text[i])); };
    auto vowel = [](int c) { return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u'; };
    const bool stretched =
        language == "en" || language == "es" || language == "fr" || language == "pt";
    for (size_t i = 1; i < text.size(); ++i) {
        const int c = low(i);
        if (i >= 2 && std::isalpha(static_cast<unsigned char>(text[i])) && c == low(i - 1) &&
            c == low(i - 2))
            return true;
        if (i >= 3 && vowel(c) && vowel(low(i - 1)) && c != low(i - 1) && c == low(i - 2) &&
            low(i - 1) == low(i - 3))
            return true;
        if (stretched && (c == 'a' || c == 'i' || c == 'u') && c == low(i - 1)) return true;
    }
    return false;
}

// A word the sheet leaves whole, unmarked, that the splitter may find
// several sung syllables in (words the sheet's marks hold or join are left
// as marked).
bool LeftWhole(const LyricSheet& sheet, size_t i) {
    const SheetSyllable& s = sheet.Syllables[i];
    return s.WordStart && sheet.WordEnd(i) && !s.Marked && s.Holds == 0 &&
           s.Text.find(' ') == std::string::npos;
}

}  // namespace

bool WrittenWordByWord(const LyricSheet& Sheet, const SyllableSplitter& Splitter) {
    if (!Sheet.SplitsFewWords()) return false;
    size_t split = 0, whole = 0;
    for (size_t i = 0; i < Sheet.Syllables.size(); ++i) {
        if (Sheet.Syllables[i].WordStart && !Sheet.WordEnd(i))
            ++split;
        else if (LeftWhole(Sheet, i) && Splitter.Split(Sheet.Syllables[i].Text).size() > 1)
            ++whole;
    }
    return split * 4 <= whole;
}

std::vector<SyllableShape> ShapesOf(const LyricSheet& Sheet, std::string_view Language,
                                    const SyllableSplitter* Splitter) {
    std::vector<SyllableShape> shapes;
    shapes.reserve(Sheet.Syllables.size());
    for (size_t i = 0; i < Sheet.Syllables.size(); ++i) {
        const SheetSyllable& s = Sheet.Syllables[i];
        shapes.push_back({s.WordStart, s.LineStart, s.ParagraphStart, s.NewBar, s.Holds,
                          s.SkipsBefore, s.SplitByRule});
        shapes.back().Drawn = IsDrawnOut(s.Text, Language);
        // In a sheet written word by word, words of several syllables carry
        // on over the notes of their other syllables.
        if (Splitter && LeftWhole(Sheet, i))
            shapes.back().SungMore =
                std::max(0, static_cast<int>(Splitter->Split(s.Text).size()) - 1);
        if (i == 0 || !s.WordStart || s.LineStart) continue;
        // A comma, a full stop, a question or exclamation mark ends a
        // phrase, where a singer takes breath (quotes after it aside).
        std::string_view before = Sheet.Syllables[i - 1].Text;
        while (!before.empty() &&
               std::string_view(" \"'").find(before.back()) != std::string_view::npos)
            before.remove_suffix(1);
        shapes.back().PhraseStart = !before.empty() && std::string_view(",;:.!?").find(
                                                           before.back()) != std::string_view::npos;
    }
    // What each syllable reads (letters and digits, case aside), numbered:
    // lines reading alike syllable for syllable are a chorus sung again. A
    // word of one syllable that reads as a weak word is one.
    std::map<std::string, int> readings;
    for (size_t i = 0; i < Sheet.Syllables.size(); ++i) {
        std::string reads;
        for (const char c : Sheet.Syllables[i].Text)
            if (std::isalnum(static_cast<unsigned char>(c)) ||
                static_cast<unsigned char>(c) >= 0x80)
                reads += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        shapes[i].Weak =
            Sheet.Syllables[i].WordStart && Sheet.WordEnd(i) && IsWeakWord(reads, Language);
        shapes[i].Reads =
            readings.emplace(std::move(reads), static_cast<int>(readings.size())).first->second;
    }
    // Each word's stressed syllable, where its language tells. Words sung on
    // one note ("what~a") are left alone.
    for (size_t i = 0; i < Sheet.Syllables.size();) {
        size_t end = i + 1;
        while (!Sheet.WordEnd(end - 1)) ++end;
        std::vector<std::string> word;
        for (size_t k = i; k < end; ++k) word.push_back(Sheet.Syllables[k].Text);
        const bool joined = std::any_of(word.begin(), word.end(), [](const std::string& t) {
            return t.find(' ') != std::string::npos;
        });
        if (!joined && word.size() > 1) {
            const int stressed = StressedSyllable(Language, word);
            if (stressed >= 0) shapes[i + static_cast<size_t>(stressed)].Stressed = true;
        }
        i = end;
    }
    return shapes;
}

std::pair<std::string, LanguageSource> SongLanguage(const Song& song, std::string_view Utf8Words) {
    if (std::string code = LanguageCode(SongKaraokeInfo(song).Language); !code.empty())
        return {code, LanguageSource::SongKaraokeLine};
    return {GuessLanguage(Utf8Words), LanguageSource::GuessedFromWords};
}

namespace {

// The words the sheet sings, a space between words and a line end between
// lines: without its marks, labels, chords and tags, each word whole.
std::string SungWords(const LyricSheet& sheet) {
    std::string words;
    for (const SheetSyllable& s : sheet.Syllables) {
        if (s.WordStart && !words.empty()) words += s.LineStart ? '\n' : ' ';
        words += s.Text;
    }
    return words;
}

// A sheet's stanza numbers set aside while the aligner places its other
// syllables: a number is shown with the word after it, on that word's
// note, unless it is pinned.
class NumbersAside {
  public:
    // Sets aside the numbers of `sheet` not pinned, and renumbers `pins`
    // (indexes into the sheet) as the syllables the aligner places count.
    NumbersAside(const LyricSheet& sheet, std::vector<Pin>& pins)
        : aside_(sheet.Syllables.size(), false) {
        const size_t count = sheet.Syllables.size();
        for (size_t i = 0; i + 1 < count; ++i) aside_[i] = sheet.Syllables[i].VerseNumber;
        for (const Pin& pin : pins) aside_[pin.Syllable] = false;
        for (size_t i = 0; i < count; ++i)
            if (!aside_[i]) sung_.push_back(i);
        if (!Any()) return;
        without_.NotSungAsWritten = sheet.NotSungAsWritten;
        // The word after a number opens the line, paragraph and bar it opened.
        std::optional<SheetSyllable> number;
        for (size_t i = 0; i < count; ++i) {
            const SheetSyllable& y = sheet.Syllables[i];
            if (aside_[i]) {
                number = y;
                continue;
            }
            SheetSyllable& after = without_.Syllables.emplace_back(y);
            if (!number) continue;
            after.LineStart = after.LineStart || number->LineStart;
            after.ParagraphStart = after.ParagraphStart || number->ParagraphStart;
            after.NewBar = after.NewBar || number->NewBar;
            after.SkipsBefore += number->SkipsBefore;
            number.reset();
        }
        for (Pin& pin : pins)
            pin.Syllable = static_cast<size_t>(
                std::lower_bound(sung_.begin(), sung_.end(), pin.Syllable) - sung_.begin());
    }

    bool Any() const { return sung_.size() != aside_.size(); }

    // The sheet the aligner places: `sheet` itself where nothing is aside.
    const LyricSheet& Aligned(const LyricSheet& sheet) const { return Any() ? without_ : sheet; }

    // A refusal of pins going back in time or pinned twice, its syllables
    // numbered as the whole sheet counts them.
    AlignFault InSheet(AlignFault fault) const {
        auto in_sheet = [this](int64_t k) {
            return k >= 1 && static_cast<size_t>(k) <= sung_.size()
                       ? static_cast<int64_t>(sung_[static_cast<size_t>(k - 1)] + 1)
                       : k;
        };
        fault.Syllable = in_sheet(fault.Syllable);
        fault.Earlier = in_sheet(fault.Earlier);
        return fault;
    }

    // The placement and shapes of the syllables placed, made the whole
    // sheet's: each number where the word after it is, with that word's
    // shape, but never pinned or in doubt on its own; the first syllable
    // on no note, or the number before it.
    void PutBack(Alignment& placement, std::vector<SyllableShape>& shapes) const {
        if (!Any()) return;
        const size_t count = aside_.size();
        std::vector<PlacedSyllable> placed(count);
        std::vector<SyllableShape> all(count);
        for (size_t k = 0; k < sung_.size(); ++k) {
            placed[sung_[k]] = placement.Syllables[k];
            all[sung_[k]] = shapes[k];
        }
        for (size_t i = count; i-- > 0;) {
            if (!aside_[i]) continue;
            all[i] = all[i + 1];
            placed[i] = placed[i + 1];
            placed[i].Pinned = false;
            if (placed[i].Reason == Doubt::CloseCall) {
                placed[i].Reason = Doubt::None;
                placed[i].Confidence = 1;
            }
        }
        placement.Syllables = std::move(placed);
        shapes = std::move(all);
        if (int& first = placement.FirstWithoutNote; first >= 0) {
            size_t i = sung_[static_cast<size_t>(first)];
            if (i > 0 && aside_[i - 1]) --i;
            first = static_cast<int>(i);
        }
    }

  private:
    std::vector<bool> aside_;   // per syllable of the sheet
    std::vector<size_t> sung_;  // the sheet's syllables the aligner places, in order
    LyricSheet without_;        // those syllables, when any number is aside
};
}  // namespace

SheetAlignment AlignSheet(const Song& song, const SheetRequest& Request) {
    SheetAlignment result;
    const LyricSheet written = ParseLyricSheet(Request.SheetUtf8);
    // The language is guessed, and the dictionary readied, from the words
    // as sung, not from the sheet's marks and the lines it leaves out.
    const std::string words = SungWords(written);
    if (!Request.Language.empty()) {
        result.Language = LanguageCode(Request.Language);
        if (result.Language.empty())
            throw AlignError(AlignFault(AlignProblem::UnknownLanguage).WithText(Request.Language));
        result.LanguageFrom = LanguageSource::Given;
    } else {
        std::tie(result.Language, result.LanguageFrom) = SongLanguage(song, words);
    }
    // As written, the splitter only counts the syllables of the words of a
    // sheet written word by word; other sheets as written need no
    // dictionary, and a missing one goes unreported.
    std::optional<SyllableSplitter> splitter;
    if (!Request.AsWritten || written.SplitsFewWords()) {
        splitter.emplace(result.Language);
        splitter->Prepare(words);
    }
    const bool word_by_word =
        Request.AsWritten && splitter && WrittenWordByWord(written, *splitter);
    if (!Request.AsWritten) result.DictionaryMissingFrom = splitter->MissingFrom();
    result.Sheet = Request.AsWritten ? written : SungSyllables(written, *splitter);
    const size_t count = result.Sheet.Syllables.size();

    std::vector<Pin> pins;
    for (const auto& [index, tick] : Request.Pins) {
        const auto syllable = static_cast<int64_t>(index);
        if (index < 1 || index > count) {
            throw AlignError(AlignFault(AlignProblem::PinOutside)
                                 .WithSyllable(syllable)
                                 .WithCount(static_cast<int64_t>(count)));
        }
        if (tick < 0)
            throw AlignError(AlignFault(AlignProblem::NegativeTick).WithSyllable(syllable));
        pins.push_back({index - 1, tick});
    }
    const NumbersAside numbers(result.Sheet, pins);
    const LyricSheet& aligned = numbers.Aligned(result.Sheet);

    result.Lines = NoteLines(song);
    result.Melody = ChooseMelody(result.Lines, aligned.Syllables.size(),
                                 TicksPerBeat(song.Division), Request.MelodyTrack);
    if (Request.MelodyTrack >= 0 && result.Melody.Line < 0)
        throw AlignError(AlignFault(AlignProblem::SilentTrack).WithTrack(Request.MelodyTrack));

    result.Shapes = ShapesOf(aligned, result.Language, word_by_word ? &*splitter : nullptr);
    AlignOptions options;
    options.Division = TicksPerBeat(song.Division);
    options.Metres = MetresOf(song);
    options.Weights = Request.Weights;
    options.Stop = Request.Stop;
    static const std::vector<MelodyNote> kNoNotes;
    const std::vector<MelodyNote>& notes =
        result.Melody.Line >= 0 ? result.Lines[static_cast<size_t>(result.Melody.Line)].Notes
                                : kNoNotes;
    try {
        result.Placement = AlignSyllables(notes, result.Shapes, pins, options);
    } catch (const AlignError& e) {
        if (!numbers.Any()) throw;
        throw AlignError(numbers.InSheet(e.Fault()));
    }
    numbers.PutBack(result.Placement, result.Shapes);
    if (result.Placement.FirstWithoutNote >= 0) {
        const auto first = static_cast<size_t>(result.Placement.FirstWithoutNote);
        result.RanOut = NotesRanOut{first + 1, result.Sheet.Syllables[first].Line};
        // Run out before a pin, not at the song's end: the pin left no note
        // before it for the syllables between.
        const auto& placed = result.Placement.Syllables;
        for (size_t k = first + 1; k < placed.size(); ++k) {
            if (!placed[k].Pinned) continue;
            if (placed[k - 1].Note < 0) result.RanOut->BeforePin = k + 1;
            break;
        }
    }
    return result;
}

std::vector<std::string> LyricTexts(const LyricSheet& Sheet) {
    std::vector<std::string> texts;
    const auto& s = Sheet.Syllables;
    for (size_t i = 0; i < s.size(); ++i) {
        std::string text = s[i].Text;
        // A "/" or a backslash opening a lyric or karaoke text is read as a line's
        // end. Inside a word it goes to the syllable before ("and/" "or");
        // elsewhere a space in front keeps it a character of the word.
        if (text.starts_with('/') || text.starts_with('\\')) {
            const size_t marks = text.find_first_not_of("/\\");
            if (i > 0 && !s[i].WordStart && marks != std::string::npos) {
                texts.back() += text.substr(0, marks);
                text.erase(0, marks);
            } else {
                text.insert(0, " ");
            }
        }
        if (i + 1 < s.size()) {
            if (s[i + 1].ParagraphStart) {
                text += "\n\r";
            } else if (s[i + 1].LineStart) {
                text += "\r";
            } else if (s[i + 1].WordStart) {
                text += " ";
            }
        }
        texts.push_back(std::move(text));
    }
    return texts;
}

std::string KaraokeLanguageName(const std::string& Code) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"en", "ENGL"}, {"de", "GERM"}, {"fr", "FREN"}, {"es", "SPAN"},
        {"it", "ITAL"}, {"pt", "PORT"}, {"nl", "DUTC"},
    };
    for (const auto& [code, name] : kNames)
        if (Code == code) return name;
    return "ENGL";
}

bool SongHasWords(const Song& song, const SongFacts& facts) {
    for (const Track& track : song.Tracks)
        for (const Event& e : track)
            if (e.IsLyric() && Visible(track.Body(e))) return true;
    if (!facts.HasKaraokeText) return false;
    const int16_t track = ChooseSourceTrack(song, ConversionDirection::KaraokeToLyrics);
    return track >= 0 && !SungLines(song, track, LineSource::Karaoke).empty();
}

void PutWords(Song& song, SongFacts& facts, const std::vector<std::string>& Texts,
              const Alignment& Placement, WordsOutput Output, const KaraokeInfo& Info,
              bool Replace) {
    if (Replace) RemoveWords(song, facts);
    // Tracks made for words that hold none: one named for lyrics takes the
    // lyric events; for karaoke text the empty ones go, and the converter
    // makes the pair anew.
    int16_t target = -1;
    for (int16_t t = static_cast<int16_t>(song.TrackCount() - 1); t > 0; --t) {
        const std::string& name = song.Tracks[static_cast<size_t>(t)].Name;
        if (!NamedForWords(name) || !HoldsNoWords(song.Tracks[static_cast<size_t>(t)])) continue;
        const bool lyric_name = name.find("ords") == std::string::npos && name != "Soft Karaoke";
        if (Output != WordsOutput::Lyrics && !lyric_name) {
            song.Tracks.erase(song.Tracks.begin() + t);
            if (target > t) --target;
        } else if (target < 0) {
            target = t;
        }
    }
    struct Placed {
        Event Record;
        std::string Body;
    };
    std::vector<Placed> events;
    int32_t end = 0;
    if (target >= 0) {
        const Track& track = song.Tracks[static_cast<size_t>(target)];
        for (const Event& e : track) {
            if (e.IsEndOfTrack()) {
                end = std::max(end, e.Tick);
                continue;
            }
            events.push_back({e, std::string(track.Body(e))});
        }
    } else {
        if (song.TrackCount() == INT16_MAX) Raise(ErrorKind::Overflow, "more than 32767 tracks");
        target = song.TrackCount();
        Track lyrics;
        lyrics.Name = "Lyrics";
        song.Tracks.push_back(std::move(lyrics));
        events.push_back({Event::Meta(0, kMetaTrackName), "Lyrics"});
    }
    for (size_t i = 0; i < Texts.size() && i < Placement.Syllables.size(); ++i) {
        events.push_back({Event::Meta(Placement.Syllables[i].Tick, kMetaLyric), Texts[i]});
        end = std::max(end, Placement.Syllables[i].Tick);
    }
    std::stable_sort(events.begin(), events.end(), [](const Placed& a, const Placed& b) {
        return a.Record.Tick < b.Record.Tick;
    });
    events.push_back({Event::Meta(end, kMetaEndOfTrack), ""});
    Track& track = song.Tracks[static_cast<size_t>(target)];
    track.Clear();
    track.Reserve(static_cast<int32_t>(events.size()));
    for (const Placed& e : events) track.Append(e.Record, e.Body);
    facts.HasLyrics = true;
    if (Output == WordsOutput::Lyrics) return;
    int16_t source = target;
    LyricsToKaraoke(song, source, Info);
    facts.HasKaraokeText = true;
    if (Output == WordsOutput::Karaoke) song.Tracks.erase(song.Tracks.begin() + source);
}

}  // namespace verselane::align
