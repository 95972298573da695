// The alignment of a sheet's syllables to the notes of a melody: the best
// assignment over the whole song by dynamic programming, around the
// syllables the user has pinned. A pure function of its inputs: no files,
// no song, no output.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "align/align_error.h"

namespace verselane::align {

// One note of the melody line (one at a time: chords keep their top note).
struct MelodyNote {
    int32_t Tick = 0;  // start
    int32_t End = 0;   // release (at least Tick)
    uint8_t Pitch = 0;
};

// What the aligner needs to know of a syllable.
struct SyllableShape {
    bool WordStart = true;
    bool LineStart = false;
    bool ParagraphStart = false;
    bool NewBar = false;  // goes into a later bar than the note before it
    int Holds = 0;        // at least this many more notes before the next syllable
    int SkipsBefore = 0;  // at least this many notes without words before it
    // A syllable split off by rule, not by the sheet: where the notes say
    // the word has fewer syllables, it may share the note before.
    bool MayShareNote = false;
    bool PhraseStart = false;  // opens a word after one ending in punctuation, inside a line
    bool Drawn = false;        // spelt with a held vowel ("sooo", "youou're", "gaame")
    bool Stressed = false;     // the syllable its language stresses in a word of several
    bool Weak = false;         // a word of one syllable the language seldom stresses ("the", "of")
    // Sung syllables the text holds beyond the one written: "after" in a sheet
    // written word by word. The notes after it carry it on at less cost, one
    // note for each.
    int SungMore = 0;
    // Syllables that read alike (letters and digits, case aside) share a
    // number; -1: unknown. Lines reading alike syllable for syllable are a
    // chorus sung again.
    int Reads = -1;
};

// A syllable the user has placed: index from 0 into the syllables.
struct Pin {
    size_t Syllable = 0;
    int32_t Tick = 0;
};

// A change of metre: from Tick on, bars of BarTicks ticks.
struct Metre {
    int32_t Tick = 0;
    int32_t BarTicks = 0;
};

// The costs the alignment weighs (tuned on real songs).
struct AlignWeights {
    double LineStartWithoutRest = 2.4;  // a line opens on a note right after another
    double LineEndWithoutRest = 1.0;    // a line ends on a short note with no rest after it
    double LineEndTied = 0.5;         // less of that when a long note of the same pitch holds it on
    double LineStartRest = 1.6;       // bonus for a rest before a line's first note, per bar
    double LineStartAfterLong = 2.0;  // bonus for a line opening after a long note (no rest)
    double LineStartUsual = 0.5;      // bonus for a line opening where in the bar the song's lines
                                      // open most (a first alignment tells; 0: align once)
    double LongRestInParagraph = 2.0;  // a syllable opening no paragraph after 4 to 8 beats of rest
    double PhraseRest = 2.0;           // bonus for a rest before a phrase inside a line, to 2 beats
    double RestInsideLine = 0.0;       // a syllable inside a line after a rest, per beat
    double Fill = 0.075;         // a note without a syllable at a line's end or before the first
    double FillLong = 0.1;       // more for a long note left at a line's end, per beat (to 2)
    double FillOrnament = 0.1;   // more for a short note running on into the next there
    double FillAfterLast = 0.5;  // the share of that a note after the sheet's last syllable costs
    double Melisma = 1.1;        // a note that carries on the syllable before, inside a line
    double MelismaLegato = 0.0;  // less when it overlaps the note before (slurred)
    double MelismaShort = 0.6;   // less for a short (ornament) note
    double MelismaDrawn = 2.0;   // less after a syllable whose vowel is drawn out ("sooo")
    double MelismaSung = 3.0;    // less on a note a syllable of several sung ones carries
    double MelismaStep = 0.4;    // less for a step (one or two semitones) from the note before
    double MelismaStepSpare = 0.2;  // ... in full where the melody has this share more notes than
                                    // syllables, less where fewer are left to carry any on
    double MelismaRepeat = 0.8;     // more for the same pitch again (a new syllable is sung)
    double MelismaLong = 1.4;       // more for a note of a beat or longer (a new syllable is sung)
    double MelismaOnBeat = 0.8;     // more for a note on the beat
    double MelismaAfterRest = 1.5;  // more after a rest, per beat
    double MelismaAfterLong = 0.3;  // less for a short note after a long one, leading onto a beat
    double PlaceLegato = 0.6;       // a syllable on a note slurred from the one before
    double OffBeat = 0.1;           // a syllable off the beat
    double WordStartOffBeat = 0.2;  // a word off the beat
    double WeakOffBeat = 0.1;       // ... in place of that, a weak word ("the", "of", "und")
    double Stressed = 0.6;          // bonus for a word's stressed syllable on a strong beat
    double BeforePin = 0.075;   // a note between a stretch's last syllable and the pinned one after
    double ShareNote = 1.2;     // a split-off syllable sung on the note before
    double ShareAnyNote = 9.0;  // a syllable inside a word sung on the note before (between notes)
    double ShareLong = 4.0;     // less on a note twice as long as those around it (in part from 1)
    double NoNote = 1000.0;     // a syllable without a note (the notes ran out)
    double PinEcho = 6.0;       // bonus for a syllable of a later line that reads as a pinned
                                // one reads on the note the pin gives it, the melody repeating
    double PinEchoTune = 3.0;   // the same for a line of as many syllables on the same tune
    double LineEcho = 1.0;      // bonus for a syllable of a line that reads as one placed
                                // surely does, on the note that line puts it on
    double LineEchoSure = 0.5;  // how sure that line must be (its least sure syllable)
    double ConfidenceScale = 1.2;  // margin of cost that makes a syllable sure
};

struct AlignOptions {
    int32_t Division = 480;     // ticks per quarter note
    std::vector<Metre> Metres;  // empty: 4/4 throughout
    AlignWeights Weights;
    // Set from another thread, it stops the alignment within a row of its
    // table: AlignStopped is raised.
    const std::atomic<bool>* Stop = nullptr;
};

// Why a syllable is in doubt.
enum class Doubt : uint8_t {
    None,
    CloseCall,   // another note would serve nearly as well
    NoNoteLeft,  // the notes ran out: placed after the last one
    OffNote,     // pinned where no note starts
};

struct PlacedSyllable {
    int32_t Tick = 0;
    int Note = -1;            // index into the notes, -1 when on none
    bool SharesNote = false;  // sung on the note of the syllable before, part way through it
    double Confidence = 1.0;  // 0 (a guess) to 1 (sure)
    Doubt Reason = Doubt::None;
    bool Pinned = false;
};

struct Alignment {
    std::vector<PlacedSyllable> Syllables;  // one per syllable, in order
    int FirstWithoutNote = -1;              // the first syllable on no note, or -1
    double Cost = 0;  // what the placement cost; with no pins, the sum PriceAlignment gives
};

// Places every syllable. Pins are given in any order; a pinned syllable
// lands exactly on its tick. Raises AlignError for a pin outside
// the syllables or pins whose ticks go back along the syllables (equal ticks
// are allowed), and for a stretch between pins too long to align in memory
// (syllables times notes beyond 60 million); AlignStopped when the options'
// stop flag is set. With LineStartUsual the song
// is aligned twice: the second time knows where in the bar its lines open,
// and, with LineEcho and no pins, on which notes the lines placed surely
// the first time sing the words that read as they do elsewhere.
Alignment AlignSyllables(const std::vector<MelodyNote>& Notes,
                         const std::vector<SyllableShape>& Syllables, const std::vector<Pin>& Pins,
                         const AlignOptions& Options);

// What each syllable costs where `Placed` puts it (the Note, an index into
// Notes in order of time, and SharesNote of each), as AlignSyllables weighs
// it with no pins: the notes left out before the syllable and its own
// place; one more entry for the notes after the last. An alignment without
// pins costs no more than any other placement: this tells why it won.
// Raises std::invalid_argument unless there is a placement for each
// syllable, each on a note there is or on none.
std::vector<double> PriceAlignment(const std::vector<MelodyNote>& Notes,
                                   const std::vector<SyllableShape>& Syllables,
                                   const std::vector<PlacedSyllable>& Placed,
                                   const AlignOptions& Options);

}  // namespace verselane::align
