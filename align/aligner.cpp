#include "align/aligner.h"

#include "align/align_error.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

namespace verselane::align {

namespace {

constexpr float kNever = std::numeric_limits<float>::infinity();
constexpr size_t kMostCells = 60'000'000;

// What the notes say about themselves, computed once.
struct NoteFacts {
    double RestBefore = 0;   // beats of silence before the note (0 when legato)
    double LongRest = 0;     // how much that silence is a break: 0 to 4 beats, 1 from 8
    double RestAfter = 0;    // beats of silence after it until the next note
    double Beats = 0;        // its length in beats
    double BeatsBefore = 0;  // from the start of the note before to this one, in beats
    bool Legato = false;     // starts while the note before still sounds
    bool SamePitch = false;
    bool Step = false;   // one or two semitones from the note before
    bool Short = false;  // an ornament: short and soon followed
    bool OnBeat = false;
    // The time it sounds (to the next note at most) over the median of the
    // times from note to note around it.
    double Sounds = 1;
    bool StrongBeat = false;  // a bar's first beat, or the middle of a bar of 4, 6, ... beats
    int64_t Bar = 0;
    int InBar = 0;  // the sixteenth of its bar it starts in (capped)
};

constexpr int kSixteenthsInBar = 64;
// The share of a melody's notes within a 24th of a beat of a sixteenth
// that makes it a song on a grid, its notes a few ticks off it.
constexpr double kNearGridShare = 0.7;
// The fewest syllables of a surely placed line that others reading alike
// follow: a word or two read alike all over a song.
constexpr size_t kLeastEchoed = 7;
// Notes compared at most in learning from pins or sure lines: a sheet of
// thousands of pins or lines on a melody of one note repeated would
// otherwise take minutes.
constexpr size_t kMostCompared = 20'000'000;

// Whether `tick` lies within `slack` ticks of a multiple of `every`.
bool NearMultiple(int64_t tick, int32_t every, int32_t slack) {
    const int64_t length = std::max(1, every);
    const int64_t r = (tick % length + length) % length;
    return std::min(r, length - r) <= slack;
}

std::vector<NoteFacts> FactsOf(const std::vector<MelodyNote>& notes, const AlignOptions& options) {
    const double beat = std::max(1, options.Division);
    std::vector<Metre> metres = options.Metres;
    if (metres.empty() || metres.front().Tick > 0)
        metres.insert(metres.begin(), {0, options.Division * 4});
    std::vector<NoteFacts> facts(notes.size());
    // Songs played in by hand and quantized loosely, or nudged for feel,
    // start many notes a few ticks off the grid. Where most of the
    // melody's notes lie within a 24th of a beat of a sixteenth, a note that
    // near a beat counts as on it; where they lie anywhere (a song played
    // with no grid at all), only the exact tick does.
    const int32_t near = options.Division / 24;
    const auto near_grid = std::ranges::count_if(notes, [&](const MelodyNote& n) {
        return NearMultiple(n.Tick, options.Division / 4, near);
    });
    const int32_t slack =
        static_cast<double>(near_grid) >= kNearGridShare * static_cast<double>(notes.size()) ? near
                                                                                             : 0;
    int32_t sounding_until = std::numeric_limits<int32_t>::min();
    size_t metre = 0;
    int64_t bars_before = 0;  // whole bars before the current metre starts
    for (size_t m = 0; m < notes.size(); ++m) {
        const MelodyNote& n = notes[m];
        NoteFacts& f = facts[m];
        while (metre + 1 < metres.size() && metres[metre + 1].Tick <= n.Tick) {
            const int32_t length = std::max(1, metres[metre].BarTicks);
            // In 64 bits: a metre that starts near the last tick, after long
            // bars, would overflow the sum.
            bars_before +=
                (int64_t{metres[metre + 1].Tick} - metres[metre].Tick + length - 1) / length;
            ++metre;
        }
        const int32_t bar_ticks = std::max(1, metres[metre].BarTicks);
        const int32_t into = n.Tick - metres[metre].Tick;
        f.Bar = bars_before + into / bar_ticks;
        f.InBar = static_cast<int>(
            std::min<int64_t>(kSixteenthsInBar - 1,
                              int64_t{into % bar_ticks} * 4 / std::max(1, int{options.Division})));
        f.OnBeat = NearMultiple(into % bar_ticks, options.Division, slack);
        const int32_t beats_in_bar = bar_ticks / std::max(1, options.Division);
        const int32_t strong_every =
            beats_in_bar >= 4 && beats_in_bar % 2 == 0 ? bar_ticks / 2 : bar_ticks;
        f.StrongBeat = NearMultiple(into % bar_ticks, strong_every, slack);
        if (m > 0) {
            f.RestBefore = sounding_until == std::numeric_limits<int32_t>::min()
                               ? 0
                               : std::max(0.0, (n.Tick - sounding_until) / beat);
            f.Legato = notes[m - 1].End > n.Tick;
            f.SamePitch = notes[m - 1].Pitch == n.Pitch;
            f.Step = std::abs(int{notes[m - 1].Pitch} - int{n.Pitch}) <= 2 && !f.SamePitch;
            f.BeatsBefore = (n.Tick - notes[m - 1].Tick) / beat;
        } else {
            f.RestBefore = std::max(4.0, n.Tick / beat);  // the song's start is a long silence
        }
        f.LongRest = std::clamp((f.RestBefore - 4) / 4, 0.0, 1.0);
        const int32_t next = m + 1 < notes.size() ? notes[m + 1].Tick : n.End;
        f.Short = (n.End - n.Tick) < beat / 4 && next - n.Tick < beat / 3;
        sounding_until = std::max(sounding_until, n.End);
        f.Beats = (n.End - n.Tick) / beat;
        f.RestAfter =
            m + 1 < notes.size() ? std::max(0.0, (notes[m + 1].Tick - n.End) / beat) : 4.0;
    }
    // Each note's time sounding against the median time to the next note of
    // the three notes on each side.
    std::vector<double> spans(notes.size());
    for (size_t m = 0; m < notes.size(); ++m)
        spans[m] = m + 1 < notes.size() ? notes[m + 1].Tick - notes[m].Tick
                                        : std::max(1, notes[m].End - notes[m].Tick);
    std::vector<double> around;
    for (size_t m = 0; m < notes.size(); ++m) {
        around.clear();
        for (size_t k = m >= 3 ? m - 3 : 0; k < std::min(notes.size(), m + 4); ++k)
            if (k != m) around.push_back(spans[k]);
        if (around.empty()) continue;
        std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
        facts[m].Sounds = std::min<double>(spans[m], std::max(1, notes[m].End - notes[m].Tick)) /
                          std::max(1.0, around[around.size() / 2]);
    }
    return facts;
}

class SegmentAligner {
  public:
    SegmentAligner(const std::vector<MelodyNote>& notes,
                   const std::vector<SyllableShape>& syllables, const AlignOptions& options)
        : notes_(notes),
          syllables_(syllables),
          w_(options.Weights),
          stop_(options.Stop),
          facts_(FactsOf(notes, options)),
          division_(options.Division) {
        // A melody with hardly more notes than the sheet has syllables is
        // sung a syllable a note: a step there is no sign of a melisma.
        const double spare =
            syllables_.empty()
                ? 1.0
                : static_cast<double>(notes_.size()) / static_cast<double>(syllables_.size()) - 1.0;
        step_share_ =
            w_.MelismaStepSpare > 0 ? std::clamp(spare / w_.MelismaStepSpare, 0.0, 1.0) : 1.0;
        PriceSkips();
    }

    // Places syllables [s0, s1) on notes [n0, n1): note index or -1 for
    // each, and the confidence of each. `bar_before` is the bar of what
    // comes before the segment; with `after_pinned_note` the syllable before
    // it is pinned on note n0 - 1, whose time the first may share.
    void Align(size_t s0, size_t s1, size_t n0, size_t n1, int64_t bar_before, bool pin_after,
               bool after_pinned_note, std::vector<PlacedSyllable>& out) {
        const size_t k = s1 - s0, n = n1 - n0;
        if (k == 0) return;
        width_ = n + 1;
        pinned_next_ = pin_after ? s1 : std::numeric_limits<size_t>::max();
        // A pinned syllable sung with more syllables than written carries
        // them on over the notes right after its own.
        held_after_pin_ = after_pinned_note ? SungMore(s0 - 1) : 0;
        // Nine bytes a cell: a sheet and a melody whose table would pass
        // about half a gigabyte are refused rather than left to exhaust memory.
        if ((k + 1) > kMostCells / width_)
            throw AlignError(AlignFault(AlignProblem::TooLong)
                                 .WithCount(static_cast<int64_t>(k))
                                 .WithNotes(static_cast<int64_t>(n)));
        // A few more syllables than notes are sung between notes; a sheet
        // much longer than the melody runs out of notes instead.
        share_any_ = k * 20 <= n * 21 + 20;
        forward_.assign((k + 1) * width_, kNever);
        backward_.assign((k + 1) * width_, kNever);
        choice_.assign((k + 1) * width_, 0);
        auto at = [this](size_t i, size_t j) { return Cell(i, j); };
        forward_[0] = 0;
        for (size_t i = 0; i <= k; ++i) {
            StopWhenAsked();
            for (size_t j = 0; j <= n; ++j) {
                const float v = forward_[at(i, j)];
                if (v == kNever) continue;
                if (j < n) Relax(at(i, j + 1), v + Gap(s0, i, n0, j), 1);
                if (i < k) {
                    const size_t jj = j + 1 + Forced(s0 + i);
                    if (jj <= n && BarAllows(s0 + i, n0, j, bar_before)) {
                        const float placed = v + Place(s0 + i, n0 + j);
                        Relax(at(i + 1, jj), placed, 2);
                        if (const size_t more = SungMore(s0 + i); more > 0 && jj + more <= n)
                            Relax(at(i + 1, jj + more), placed + Held(s0 + i, n0 + jj, more), 5);
                    }
                    Relax(at(i + 1, j), v + NoNoteCost(s0 + i), 3);
                    if (const float c = Share(s0, i, n0, j, after_pinned_note); c != kNever)
                        Relax(at(i + 1, j), v + c, 4);
                }
            }
        }
        backward_[at(k, n)] = 0;
        for (size_t i = k + 1; i-- > 0;) {
            StopWhenAsked();
            for (size_t j = n + 1; j-- > 0;) {
                float best = backward_[at(i, j)];
                if (j < n) best = std::min(best, backward_[at(i, j + 1)] + Gap(s0, i, n0, j));
                if (i < k) {
                    const size_t jj = j + 1 + Forced(s0 + i);
                    if (jj <= n && BarAllows(s0 + i, n0, j, bar_before))
                        best = std::min(best, Placed(s0, i, n0, j, jj, n));
                    best = std::min(best, backward_[at(i + 1, j)] + NoNoteCost(s0 + i));
                    best = std::min(
                        best, backward_[at(i + 1, j)] + Share(s0, i, n0, j, after_pinned_note));
                }
                backward_[at(i, j)] = best;
            }
        }
        // The path back from the end.
        std::vector<int> note_of(k, -1);
        std::vector<bool> shares(k, false);
        size_t i = k, j = n;
        while (i > 0 || j > 0) {
            const uint8_t c = choice_[at(i, j)];
            if (c == 1) {
                --j;
            } else if (c == 2) {
                --i;
                j -= 1 + Forced(s0 + i);
                note_of[i] = static_cast<int>(n0 + j);
            } else if (c == 5) {
                --i;
                j -= 1 + Forced(s0 + i) + SungMore(s0 + i);
                note_of[i] = static_cast<int>(n0 + j);
            } else if (c == 3) {
                --i;
            } else if (c == 4) {
                --i;
                shares[i] = true;
            } else {
                break;  // unreachable start: nothing more to follow
            }
        }
        // How much worse the best path with the syllable elsewhere would be.
        const float total = forward_[at(k, n)];
        cost_ += total;
        std::vector<float> second(k, kNever);
        for (size_t a = 0; a < k; ++a) {
            StopWhenAsked();
            for (size_t b = 0; b < n; ++b) {
                if (static_cast<int>(n0 + b) == note_of[a]) continue;
                const float v = forward_[at(a, b)];
                if (v == kNever) continue;
                const size_t jj = b + 1 + Forced(s0 + a);
                if (jj > n || !BarAllows(s0 + a, n0, b, bar_before)) continue;
                second[a] = std::min(second[a], v + Placed(s0, a, n0, b, jj, n));
            }
        }
        for (size_t a = 0; a < k; ++a) {
            PlacedSyllable& p = out[s0 + a];
            if (shares[a]) {
                // On the note of the syllable before, which the path placed first.
                const PlacedSyllable& before = out[s0 + a - 1];
                p.Note = before.Note;
                p.Tick = before.Tick;
                p.SharesNote = true;
                p.Confidence = before.Confidence / 2;
                p.Reason = p.Note >= 0 ? Doubt::CloseCall : Doubt::NoNoteLeft;
                continue;
            }
            p.Note = note_of[a];
            if (p.Note < 0) {
                p.Confidence = 0;
                p.Reason = Doubt::NoNoteLeft;
                continue;
            }
            p.Tick = notes_[static_cast<size_t>(p.Note)].Tick;
            const double margin = second[a] == kNever ? 1e9 : std::max(0.0f, second[a] - total);
            p.Confidence = 1.0 - std::exp(-margin / std::max(1e-6, w_.ConfidenceScale));
            p.Reason = p.Confidence < 0.5 ? Doubt::CloseCall : Doubt::None;
        }
    }

    // Where in the bar the song's lines open, learnt from an alignment of
    // the whole song already made: each line's first syllable counts at the
    // sixteenth of the bar its note starts on, by its confidence (a line
    // start in doubt says little). A line then opens at less cost on a note
    // at a place where many open, in full at the likeliest place. Songs of
    // fewer than 8 lines, or none sure, teach nothing: false; so does an
    // alignment whose notes ran out (a sheet longer than its melody), and
    // nothing is learnt where LineStartUsual is 0.
    bool LearnLineStarts(const std::vector<PlacedSyllable>& placed) {
        usual_start_.clear();
        if (!(w_.LineStartUsual > 0) || std::ranges::any_of(placed, [](const PlacedSyllable& p) {
                return !p.Pinned && p.Note < 0;
            }))
            return false;
        std::vector<double> weight(kSixteenthsInBar, 0.0);
        size_t lines = 0;
        for (size_t s = 0; s < placed.size(); ++s) {
            if (!syllables_[s].LineStart || placed[s].Note < 0 || placed[s].SharesNote) continue;
            const NoteFacts& f = facts_[static_cast<size_t>(placed[s].Note)];
            weight[static_cast<size_t>(f.InBar)] += placed[s].Confidence;
            ++lines;
        }
        const double most = *std::max_element(weight.begin(), weight.end());
        if (lines < 8 || !(most > 0)) return false;
        usual_start_.resize(facts_.size());
        for (size_t m = 0; m < facts_.size(); ++m)
            usual_start_[m] =
                static_cast<float>(weight[static_cast<size_t>(facts_[m].InBar)] / most);
        return true;
    }

    // Where the user pins a syllable of a line, later lines sung to the
    // same notes take theirs: a syllable there opens the note that lies as
    // far into its line as the pin's note lies into the pinned one (each
    // line from its first syllable's note in `placed`), where the melody
    // repeats note for note (the same onsets and intervals) up to that
    // note. A line that reads alike (a chorus) earns PinEcho; another of
    // as many syllables (a verse to the same tune) PinEchoTune, and only
    // where the whole line's melody repeats. Earlier lines are left as
    // they are, the user having been past them. A pin counts from the note
    // it sings (`pin_notes`: within a 64th of its tick, as a tapped pin
    // is). A pin on a line's first syllable moves the starts of later lines
    // instead: each opens on the note nearest to where it was placed (at
    // most kEchoReach notes away) from which the melody repeats the pinned
    // line's. False when no pin says anything of another line.
    bool LearnFromPins(const std::vector<PlacedSyllable>& placed,
                       const std::vector<int>& pin_notes) {
        echo_.clear();
        const std::vector<std::pair<size_t, size_t>> lines = Lines();
        std::vector<size_t> line_of(syllables_.size(), 0);
        for (size_t l = 0; l < lines.size(); ++l)
            std::fill_n(line_of.begin() + static_cast<std::ptrdiff_t>(lines[l].first),
                        lines[l].second, l);
        size_t budget = kMostCompared;
        // How far from its placed start a later line's start is looked
        // for: a line start's pin moves it; a pin inside a line takes it
        // where it was placed.
        constexpr int kEchoReach = 16;
        for (size_t s = 0; s < syllables_.size(); ++s) {
            const auto [first, count] = lines[line_of[s]];
            const int pinned_on = pin_notes[s];
            if (!placed[s].Pinned || pinned_on < 0) continue;
            const int start = first == s             ? pinned_on
                              : placed[first].Pinned ? pin_notes[first]
                                                     : placed[first].Note;
            // A pin inside a line on its first syllable's note says nothing more.
            if (start < 0 || pinned_on < start || (first != s && pinned_on == start)) continue;
            const auto into = static_cast<size_t>(pinned_on - start);
            // At least the line's first note and the one after it.
            const auto through_last =
                static_cast<size_t>(std::max(1, placed[first + count - 1].Note - start));
            const int reach = first == s ? kEchoReach : 0;
            for (size_t l = line_of[s] + 1; l < lines.size(); ++l) {
                const auto [other, other_count] = lines[l];
                const size_t twin = other + (s - first);
                const int placed_at = placed[other].Note;
                if (other_count != count || placed[twin].Pinned || placed_at < 0) continue;
                const bool alike = ReadAlike(first, other, count);
                const double bonus = alike ? w_.PinEcho : w_.PinEchoTune;
                if (bonus <= 0) continue;
                // A line that reads alike repeats the melody to the pin (a
                // line start: to its last syllable's note); another to the
                // note after its last syllable's.
                const size_t compared =
                    alike ? (into > 0 ? into : through_last) : std::max(into, through_last + 1);
                const int nearest = NearestRepeat(static_cast<size_t>(start), placed_at, reach,
                                                  start + 1, compared, budget);
                if (nearest < 0) continue;
                if (echo_.empty()) echo_.assign(syllables_.size(), {-1, 0.0f});
                echo_[twin] = {nearest + static_cast<int>(into), static_cast<float>(bonus)};
            }
        }
        return !echo_.empty();
    }

    // Words that read alike are sung to the same notes each time (a
    // chorus, a refrain inside a verse). Where the first alignment (of a
    // sheet without pins) placed a line of kLeastEchoed syllables or more
    // surely (its least sure syllable at LineEchoSure or more), every
    // other run of syllables in the sheet that reads as that line does
    // finds, near where it was placed, the note from which the melody
    // repeats the sure line's notes (onsets and intervals, through its last
    // syllable's note), and each of its syllables earns LineEcho, times the
    // sure line's sureness, on the note as far into it as in the sure line.
    // False when nothing echoes.
    bool LearnFromSureLines(const std::vector<PlacedSyllable>& placed) {
        recur_.clear();
        // A sheet whose notes ran out teaches nothing of its lines.
        if (!(w_.LineEcho > 0) ||
            std::ranges::any_of(placed, [](const PlacedSyllable& p) { return p.Note < 0; }))
            return false;
        const std::vector<std::pair<size_t, size_t>> lines = Lines();
        size_t budget = kMostCompared;
        std::map<int, std::vector<size_t>> reading;  // where each reading stands
        for (size_t s = 0; s < syllables_.size(); ++s)
            if (syllables_[s].Reads >= 0) reading[syllables_[s].Reads].push_back(s);
        constexpr int kReach = 16;
        for (const auto& [first, count] : lines) {
            if (count < kLeastEchoed || syllables_[first].Reads < 0) continue;
            double sure = 1;
            for (size_t s = first; s < first + count && sure > 0; ++s)
                sure = placed[s].SharesNote ? 0.0 : std::min(sure, placed[s].Confidence);
            if (sure < w_.LineEchoSure || sure <= 0) continue;
            const auto start = static_cast<size_t>(placed[first].Note);
            const auto span = static_cast<size_t>(placed[first + count - 1].Note) - start;
            const float bonus = static_cast<float>(w_.LineEcho * sure);
            for (const size_t q : reading[syllables_[first].Reads]) {
                if (q + count > syllables_.size() || (q + count > first && q < first + count))
                    continue;
                if (count > budget) break;
                budget -= count;
                const int placed_at = placed[q].Note;
                if (!ReadAlike(first, q, count) || placed_at < 0) continue;
                const int nearest = NearestRepeat(start, placed_at, kReach, 0, span, budget);
                if (nearest < 0) continue;
                if (recur_.empty()) recur_.assign(syllables_.size(), {-1, 0.0f});
                for (size_t i = 0; i < count; ++i) {
                    auto& r = recur_[q + i];
                    if (r.second >= bonus) continue;
                    r = {nearest + placed[first + i].Note - static_cast<int>(start), bonus};
                }
            }
        }
        return !recur_.empty();
    }

    const std::vector<NoteFacts>& Facts() const { return facts_; }
    // What the stretches aligned so far cost; Restart sets it to 0.
    double Cost() const { return cost_; }
    void Restart() { cost_ = 0; }

    // What each syllable of the whole song costs where `placed` puts it (its
    // Note and SharesNote): the notes left out before it and its own place,
    // as the table prices them. One more entry: the notes after the last.
    std::vector<double> Price(const std::vector<PlacedSyllable>& placed) const {
        std::vector<double> cost(syllables_.size() + 1, 0.0);
        size_t next_note = 0;  // the first note no syllable has taken yet
        size_t held = 0;       // notes after the syllable before that carry it on
        for (size_t s = 0; s <= syllables_.size(); ++s) {
            const bool end = s == syllables_.size();
            const int note = end ? static_cast<int>(notes_.size()) : placed[s].Note;
            if (!end && placed[s].SharesNote) {
                const float c = Share(0, s, 0, next_note, false);
                cost[s] = c == kNever ? NoNoteCost(s) : c;
                continue;
            }
            if (note < 0) {
                cost[s] = NoNoteCost(s);
                continue;
            }
            for (size_t m = next_note; m < static_cast<size_t>(note) && m < notes_.size(); ++m) {
                float c = Skip(s, m);
                if (held > 0) {
                    c = std::min(c, Carried(m));
                    --held;
                }
                cost[s] += c;
            }
            if (end) break;
            const auto m = static_cast<size_t>(note);
            cost[s] += Place(s, m);
            next_note = std::max(next_note, m + 1 + Forced(s));
            held = SungMore(s);
        }
        return cost;
    }

  private:
    void StopWhenAsked() const {
        if (stop_ && stop_->load(std::memory_order_relaxed)) throw AlignStopped();
    }

    // Each line of the sheet: its first syllable and its count.
    std::vector<std::pair<size_t, size_t>> Lines() const {
        std::vector<std::pair<size_t, size_t>> lines;
        for (size_t s = 0; s < syllables_.size(); ++s) {
            if (s == 0 || syllables_[s].LineStart) lines.push_back({s, 0});
            ++lines.back().second;
        }
        return lines;
    }

    // The note nearest to `around` (at most `reach` notes away, none before
    // `lowest`, never `source` itself) from which the melody repeats the
    // one from `source` for `span` notes more, the earlier of two as near;
    // -1 for none.
    int NearestRepeat(size_t source, int around, int reach, int lowest, size_t span,
                      size_t& budget) const {
        const int last = static_cast<int>(notes_.size()) - 1;
        auto repeats_from = [&](int c) {
            return c >= lowest && c <= last && c != static_cast<int>(source) &&
                   Repeats(source, static_cast<size_t>(c), span, budget);
        };
        if (repeats_from(around)) return around;
        for (int d = 1; d <= reach; ++d) {
            if (repeats_from(around - d)) return around - d;
            if (repeats_from(around + d)) return around + d;
        }
        return -1;
    }

    // Whether the `count` syllables from `a` read as those from `b` do.
    bool ReadAlike(size_t a, size_t b, size_t count) const {
        for (size_t i = 0; i < count; ++i)
            if (syllables_[a + i].Reads < 0 || syllables_[a + i].Reads != syllables_[b + i].Reads)
                return false;
        return true;
    }

    // Whether the melody from note `b` repeats the one from note `a` for
    // `d` notes more: the same onsets (to a 64th) and intervals. Each
    // comparison spends `budget`; none is made once it is spent.
    bool Repeats(size_t a, size_t b, size_t d, size_t& budget) const {
        if (a + d >= notes_.size() || b + d >= notes_.size() || d > budget) return false;
        budget -= d;
        const int32_t slack = std::max<int32_t>(1, division_ / 16);
        for (size_t t = 1; t <= d; ++t) {
            const int32_t da = notes_[a + t].Tick - notes_[a].Tick;
            const int32_t db = notes_[b + t].Tick - notes_[b].Tick;
            if (std::abs(da - db) > slack || int{notes_[a + t].Pitch} - notes_[a].Pitch !=
                                                 int{notes_[b + t].Pitch} - notes_[b].Pitch)
                return false;
        }
        return true;
    }

    void Relax(size_t cell, float value, uint8_t how) {
        if (value < forward_[cell]) {
            forward_[cell] = value;
            choice_[cell] = how;
        }
    }

    // The stretch's syllable `i` (the song's `s0 + i`) on its note `j`, with
    // the best path from there on: on from note `jj`, or as many notes later
    // as the syllable has unwritten sung syllables to carry.
    float Placed(size_t s0, size_t i, size_t n0, size_t j, size_t jj, size_t n) const {
        const size_t s = s0 + i;
        const float placed = Place(s, n0 + j);
        float best = placed + backward_[Cell(i + 1, jj)];
        if (const size_t more = SungMore(s); more > 0 && jj + more <= n)
            best =
                std::min(best, placed + Held(s, n0 + jj, more) + backward_[Cell(i + 1, jj + more)]);
        return best;
    }
    size_t Cell(size_t i, size_t j) const { return i * width_ + j; }

    size_t SungMore(size_t s) const {
        return static_cast<size_t>(std::clamp(syllables_[s].SungMore, 0, 3));
    }
    // The `more` notes from `m` carrying syllable `s` on: a melisma the
    // syllable's unwritten sung syllables make likely.
    float Held(size_t s, size_t m, size_t more) const {
        float c = 0;
        for (size_t k = 0; k < more; ++k) c += std::min(Carried(m + k), Skip(s + 1, m + k));
        return c;
    }
    // Note `m` carrying on a syllable that holds unwritten sung syllables:
    // it either carries the vowel on (a melisma made cheaper) or opens the
    // next of those syllables, priced as a syllable inside a word there.
    float Carried(size_t m) const {
        const NoteFacts& f = facts_[m];
        const double opens = (f.OnBeat ? 0.0 : w_.OffBeat) + (f.Legato ? w_.PlaceLegato : 0.0);
        return std::min(static_cast<float>(opens),
                        std::max(0.05f, melisma_[m] - static_cast<float>(w_.MelismaSung)));
    }

    // The stretch's note `j` left to no syllable of its own before the
    // stretch's syllable `i`.
    float Gap(size_t s0, size_t i, size_t n0, size_t j) const {
        const float skip = Skip(s0 + i, n0 + j);
        return i == 0 && j < held_after_pin_ ? std::min(skip, Carried(n0 + j)) : skip;
    }

    bool CanShare(size_t s) const {
        return syllables_[s].MayShareNote || (share_any_ && !syllables_[s].WordStart);
    }
    // The price of the stretch's syllable `i` (the song's `s0 + i`), after
    // `j` of its notes from `n0`, sung part way through the note the syllable
    // before opened, or kNever where it may not be: the first syllable only
    // on the note of a syllable pinned just before the stretch. Timed songs
    // do so on a note that lasts longer than those around it; with no note
    // taken yet, the syllable before is on none.
    float Share(size_t s0, size_t i, size_t n0, size_t j, bool after_pinned_note) const {
        const size_t s = s0 + i;
        if (!CanShare(s) || (i == 0 && !(after_pinned_note && j == 0))) return kNever;
        if (syllables_[s].MayShareNote) return static_cast<float>(w_.ShareNote);
        double c = w_.ShareAnyNote;
        // The note shared: the stretch's last one taken, or the pinned one.
        if (j > 0 || i == 0) {
            const NoteFacts& shared = facts_[n0 + j - 1];
            c -= w_.ShareLong * std::clamp(shared.Sounds - 1, 0.0, 1.0);
        }
        return static_cast<float>(std::max(0.05, c));
    }

    bool LineEnd(size_t s) const {
        return s + 1 >= syllables_.size() || syllables_[s + 1].LineStart;
    }

    size_t Forced(size_t s) const {
        const size_t holds = static_cast<size_t>(std::max(0, syllables_[s].Holds));
        const size_t skips = s + 1 < syllables_.size()
                                 ? static_cast<size_t>(std::max(0, syllables_[s + 1].SkipsBefore))
                                 : 0;
        return holds + skips;
    }

    bool BarAllows(size_t s, size_t n0, size_t j, int64_t bar_before) const {
        if (!syllables_[s].NewBar) return true;
        const int64_t before = j == 0 ? bar_before : facts_[n0 + j - 1].Bar;
        return facts_[n0 + j].Bar > before;
    }

    // Note `m` without a syllable of its own, before the syllable `next`.
    float Skip(size_t next, size_t m) const {
        if (next == 0) return static_cast<float>(w_.Fill);
        if (next >= syllables_.size()) return fill_[m] * static_cast<float>(w_.FillAfterLast);
        if (LineEnd(next - 1)) return fill_[m];
        if (next == pinned_next_) return static_cast<float>(w_.BeforePin);
        if (syllables_[next - 1].Drawn)
            return std::max(0.05f, melisma_[m] - static_cast<float>(w_.MelismaDrawn));
        return melisma_[m];
    }

    // What a note costs left over at a line's end (a fill), and carrying
    // on the syllable before inside a line (a melisma): facts of the note
    // alone, so worked out once per note.
    void PriceSkips() {
        fill_.resize(facts_.size());
        melisma_.resize(facts_.size());
        for (size_t m = 0; m < facts_.size(); ++m) {
            const NoteFacts& f = facts_[m];
            double fill = w_.Fill;
            if (f.Beats >= 1) fill += w_.FillLong * std::min(f.Beats, 2.0);
            if (f.Short && f.RestAfter < 0.25) fill += w_.FillOrnament;
            fill_[m] = static_cast<float>(fill);
            double c = w_.Melisma;
            if (f.Legato) c -= w_.MelismaLegato;
            if (f.Short) c -= w_.MelismaShort;
            if (f.SamePitch) c += w_.MelismaRepeat;
            // A syllable is carried on by step (a run, a slide) more often
            // than a new one is sung there.
            if (f.Step) c -= w_.MelismaStep * step_share_;
            // Timed songs sing a new syllable on a long note or a note on the
            // beat far more often than they carry the one before onto it.
            if (f.Beats >= 1) c += w_.MelismaLong;
            if (f.OnBeat) c += w_.MelismaOnBeat;
            c += w_.MelismaAfterRest * std::min(f.RestBefore, 2.0);
            // A short note between a long one and a beat (a turn-off after a
            // held note) belongs to the held note's syllable.
            if (m > 0 && m + 1 < facts_.size() && f.Beats <= 0.5 && f.RestBefore < 0.25 &&
                f.RestAfter < 0.25 && facts_[m - 1].Beats >= 4 * f.Beats && facts_[m + 1].OnBeat)
                c -= w_.MelismaAfterLong;
            melisma_[m] = static_cast<float>(std::max(0.05, c));
        }
    }

    float Place(size_t s, size_t m) const {
        const NoteFacts& f = facts_[m];
        const SyllableShape& y = syllables_[s];
        double c = 0;
        // A rest of a bar or two in the melody is an instrumental break, which
        // the sheet's blank lines mark: a syllable that opens no paragraph
        // rarely comes after one.
        if (!y.ParagraphStart) c += w_.LongRestInParagraph * f.LongRest;
        // A phrase that punctuation opens inside a line follows a breath.
        if (y.PhraseStart) c -= w_.PhraseRest * std::min(f.RestBefore, 2.0) / 2;
        if (y.LineStart) {
            if (f.RestBefore < 0.25) {
                c += w_.LineStartWithoutRest;
                // A note before longer than a beat ends a phrase: full at two beats.
                c -= w_.LineStartAfterLong * std::clamp(f.BeatsBefore - 1, 0.0, 1.0);
            }
            c -= w_.LineStartRest * std::min(f.RestBefore, 4.0) / 4.0;
            if (!usual_start_.empty()) c -= w_.LineStartUsual * usual_start_[m];
        } else if (!y.LineStart) {
            c += w_.RestInsideLine * std::min(f.RestBefore, 2.0);
        }
        // Words of one syllable that the language seldom stresses ("the",
        // "of", "und") fall off the beat as freely as a syllable inside a word.
        if (!f.OnBeat)
            c += !y.WordStart ? w_.OffBeat : y.Weak ? w_.WeakOffBeat : w_.WordStartOffBeat;
        // Songs set stressed syllables on strong beats and weak ones between.
        if (f.StrongBeat && y.Stressed) c -= w_.Stressed;
        if (f.Legato) c += w_.PlaceLegato;
        if (!echo_.empty() && echo_[s].first == static_cast<int>(m)) c -= echo_[s].second;
        if (!recur_.empty() && recur_[s].first == static_cast<int>(m)) c -= recur_[s].second;
        if (LineEnd(s) && f.RestAfter < 0.25 && f.Beats < 1) {
            c += w_.LineEndWithoutRest;
            // A short note running into a long one of the same pitch: the
            // line's last syllable is sung on through both (a tie or an
            // anticipation), so the long note ends the line.
            if (m + 1 < facts_.size() && facts_[m + 1].SamePitch && facts_[m + 1].Beats >= 1)
                c -= w_.LineEndTied;
        }
        return static_cast<float>(c);
    }

    float NoNoteCost(size_t s) const {
        // Later syllables go without a note first: the notes run out at the end.
        return static_cast<float>(w_.NoNote + 5.0 * static_cast<double>(syllables_.size() - s));
    }

    const std::vector<MelodyNote>& notes_;
    const std::vector<SyllableShape>& syllables_;
    const AlignWeights& w_;
    const std::atomic<bool>* stop_;
    std::vector<NoteFacts> facts_;
    std::vector<float> fill_, melisma_;  // per note: PriceSkips
    std::vector<float> usual_start_;     // per note: LearnLineStarts (empty: not yet)
    // Per syllable: the note a pin's echo puts it on, and the bonus there
    // (LearnFromPins; empty: none).
    std::vector<std::pair<int, float>> echo_;
    // Per syllable: the note a surely placed line that reads alike puts it
    // on, and the bonus there (LearnFromSureLines; empty: none).
    std::vector<std::pair<int, float>> recur_;
    int32_t division_ = 480;
    std::vector<float> forward_, backward_;
    std::vector<uint8_t> choice_;
    bool share_any_ = false;
    double step_share_ = 1;      // how much of MelismaStep the song's spare notes allow
    size_t width_ = 0;           // the table's row: the stretch's notes and one
    size_t pinned_next_ = 0;     // the pinned syllable that ends the stretch, if one does
    size_t held_after_pin_ = 0;  // notes the pinned syllable before the stretch carries on
    double cost_ = 0;            // of the stretches aligned since the last Restart
};

}  // namespace

Alignment AlignSyllables(const std::vector<MelodyNote>& Notes,
                         const std::vector<SyllableShape>& Syllables, const std::vector<Pin>& Pins,
                         const AlignOptions& Options) {
    Alignment result;
    const size_t count = Syllables.size();
    result.Syllables.resize(count);
    std::vector<Pin> pins = Pins;
    std::sort(pins.begin(), pins.end(),
              [](const Pin& a, const Pin& b) { return a.Syllable < b.Syllable; });
    for (size_t p = 0; p < pins.size(); ++p) {
        const auto syllable = static_cast<int64_t>(pins[p].Syllable + 1);
        if (pins[p].Syllable >= count) {
            throw AlignError(AlignFault(AlignProblem::PinOutside)
                                 .WithSyllable(syllable)
                                 .WithCount(static_cast<int64_t>(count)));
        }
        if (p > 0 && pins[p].Syllable == pins[p - 1].Syllable && pins[p].Tick != pins[p - 1].Tick)
            throw AlignError(AlignFault(AlignProblem::PinnedTwice).WithSyllable(syllable));
        if (p > 0 && pins[p].Tick < pins[p - 1].Tick) {
            throw AlignError(AlignFault(AlignProblem::PinsBackInTime)
                                 .WithSyllable(syllable)
                                 .WithTick(pins[p].Tick)
                                 .WithEarlier(static_cast<int64_t>(pins[p - 1].Syllable + 1))
                                 .WithEarlierTick(pins[p - 1].Tick));
        }
    }
    // The notes in order of time.
    std::vector<MelodyNote> notes = Notes;
    std::stable_sort(notes.begin(), notes.end(),
                     [](const MelodyNote& a, const MelodyNote& b) { return a.Tick < b.Tick; });
    SegmentAligner aligner(notes, Syllables, Options);
    auto first_after = [&](int32_t tick) {
        return static_cast<size_t>(
            std::upper_bound(notes.begin(), notes.end(), tick,
                             [](int32_t t, const MelodyNote& n) { return t < n.Tick; }) -
            notes.begin());
    };
    auto first_from = [&](int32_t tick) {
        return static_cast<size_t>(
            std::lower_bound(notes.begin(), notes.end(), tick,
                             [](const MelodyNote& n, int32_t t) { return n.Tick < t; }) -
            notes.begin());
    };
    // The note a pin sings: the one starting at its tick, or the nearest
    // within a 64th note (a syllable tapped or timed a little off its note
    // still takes it, and the next syllable does not); none: the size.
    const int32_t snap = std::max(0, Options.Division / 16);
    auto sung_note = [&](int32_t tick) {
        const size_t on = first_from(tick);
        size_t best = notes.size();
        int64_t best_distance = int64_t(snap) + 1;
        for (size_t m : {on, on - 1}) {  // on - 1 wraps past the end when on is 0
            if (m >= notes.size()) continue;
            const int64_t distance = std::abs(int64_t(notes[m].Tick) - tick);
            if (distance < best_distance) {
                best = m;
                best_distance = distance;
            }
        }
        return best;
    };
    const std::vector<NoteFacts>& facts = aligner.Facts();
    // The note each pinned syllable sings: the one at its tick, or the one
    // within a 64th of it; -1 for none.
    std::vector<int> pin_notes(count, -1);
    auto align_all = [&] {
        aligner.Restart();
        size_t s0 = 0, n0 = 0;
        int64_t bar_before = -1;
        for (size_t p = 0; p <= pins.size(); ++p) {
            const bool last = p == pins.size();
            if (!last && p > 0 && pins[p].Syllable == pins[p - 1].Syllable) continue;
            const size_t s1 = last ? count : pins[p].Syllable;
            const size_t sung = last ? notes.size() : sung_note(pins[p].Tick);
            const size_t n1 = last                  ? notes.size()
                              : sung < notes.size() ? std::max(n0, sung)
                                                    : std::max(n0, first_from(pins[p].Tick));
            const bool after_pinned_note =
                s0 > 0 && result.Syllables[s0 - 1].Pinned && n0 > 0 &&
                result.Syllables[s0 - 1].Note == static_cast<int>(n0 - 1);
            if (s1 > s0)
                aligner.Align(s0, s1, n0, n1, bar_before, !last, after_pinned_note,
                              result.Syllables);
            if (last) break;
            pin_notes[s1] = sung < notes.size() ? static_cast<int>(sung) : -1;
            PlacedSyllable& pinned = result.Syllables[s1];
            pinned.Tick = pins[p].Tick;
            pinned.Pinned = true;
            pinned.Confidence = 1;
            const size_t on = first_from(pins[p].Tick);
            const bool on_note = on < notes.size() && notes[on].Tick == pins[p].Tick;
            pinned.Note = on_note ? static_cast<int>(on) : -1;
            pinned.Reason = on_note ? Doubt::None : Doubt::OffNote;
            s0 = s1 + 1;
            n0 = std::max(n0, sung < notes.size() ? std::max(sung + 1, first_after(pins[p].Tick))
                                                  : first_after(pins[p].Tick));
            bar_before = on_note ? facts[on].Bar : (on > 0 ? facts[on - 1].Bar : -1);
        }
    };
    // Twice: the first alignment tells where in the bar the song's lines
    // open, and where the pins put syllables of lines sung again, which the
    // second prefers. Not where the notes ran out, nor for pins where the
    // sheet has twice as many syllables as its melody has notes: such a
    // sheet teaches nothing of its lines, and at the largest sizes a second
    // pass would double seconds of work.
    align_all();
    const bool learnt_starts = aligner.LearnLineStarts(result.Syllables);
    // What surely placed lines teach the lines reading alike holds until
    // the user pins: then the pins teach (measured: echoes of sure lines
    // beside pins cost more pins than they save).
    const bool learnt_sure = pins.empty() && aligner.LearnFromSureLines(result.Syllables);
    const bool learnt_pins = !pins.empty() && count <= 2 * notes.size() &&
                             aligner.LearnFromPins(result.Syllables, pin_notes);
    if (learnt_starts || learnt_pins || learnt_sure) {
        std::vector<PlacedSyllable> before;
        if (learnt_sure) before = result.Syllables;
        result.Syllables.assign(count, PlacedSyllable{});
        align_all();
        // Echoes make the syllables they place, and those around them, look
        // sure, right or wrong: each keeps the doubt the alignment without
        // them had.
        for (size_t s = 0; s < before.size(); ++s) {
            PlacedSyllable& p = result.Syllables[s];
            if (p.Note < 0 || p.SharesNote) continue;
            p.Confidence = std::min(p.Confidence, before[s].Confidence);
            if (p.Confidence < 0.5 && p.Reason == Doubt::None) p.Reason = Doubt::CloseCall;
        }
    }
    result.Cost = aligner.Cost();
    // Syllables on no note go after the syllable before, a step apart, and
    // never past the next one that has its time.
    const int32_t step = std::max(1, Options.Division / 2);
    for (size_t s = 0; s < count; ++s) {
        const PlacedSyllable& p = result.Syllables[s];
        // A syllable sharing the note of one on no note goes with it.
        if (p.Pinned || p.Note >= 0) continue;
        if (result.FirstWithoutNote < 0) result.FirstWithoutNote = static_cast<int>(s);
        size_t e = s, steps = 0;
        while (e < count && !result.Syllables[e].Pinned && result.Syllables[e].Note < 0) {
            if (!result.Syllables[e].SharesNote) ++steps;
            ++e;
        }
        const int32_t from = s > 0 ? result.Syllables[s - 1].Tick : 0;
        const int64_t until =
            e < count ? result.Syllables[e].Tick : std::numeric_limits<int32_t>::max();
        const int64_t room = std::max<int64_t>(0, until - from);
        const int64_t gap = std::min<int64_t>(step, room / static_cast<int64_t>(steps + 1));
        int64_t k = 0;
        for (size_t q = s; q < e; ++q) {
            if (!result.Syllables[q].SharesNote || q == s) ++k;
            result.Syllables[q].Tick = static_cast<int32_t>(from + gap * k);
            result.Syllables[q].Confidence = 0;
            result.Syllables[q].Reason = Doubt::NoNoteLeft;
        }
        s = e - 1;
    }
    // Syllables sharing a note divide its time evenly with the syllable that
    // opened it (up to the next note's start, or its end before a rest). Never
    // past the syllable after them, which may be pinned before that note or
    // placed on no note.
    for (size_t s = 1; s < count; ++s) {
        if (!result.Syllables[s].SharesNote) continue;
        size_t e = s;
        while (e < count && result.Syllables[e].SharesNote) ++e;
        const PlacedSyllable& opener = result.Syllables[s - 1];
        const int note = opener.Note;
        int64_t span = 0;
        if (note >= 0) {
            const auto at = static_cast<size_t>(note);
            int32_t until = at + 1 < notes.size() ? notes[at + 1].Tick : notes[at].End;
            // Before a rest, within the time the note sounds: a syllable
            // shown in the silence after it would be sung to nothing.
            if (facts[at].RestAfter >= 0.25) until = std::max(opener.Tick, notes[at].End);
            if (e < count) until = std::min(until, result.Syllables[e].Tick);
            span = std::max<int64_t>(0, until - opener.Tick);
        }
        const auto parts = static_cast<int64_t>(e - s + 1);
        for (size_t q = s; q < e; ++q)
            result.Syllables[q].Tick =
                static_cast<int32_t>(opener.Tick + span * static_cast<int64_t>(q - s + 1) / parts);
        s = e - 1;
    }
    return result;
}

std::vector<double> PriceAlignment(const std::vector<MelodyNote>& Notes,
                                   const std::vector<SyllableShape>& Syllables,
                                   const std::vector<PlacedSyllable>& Placed,
                                   const AlignOptions& Options) {
    if (Placed.size() != Syllables.size())
        throw std::invalid_argument("PriceAlignment: a placement for each syllable");
    for (const PlacedSyllable& p : Placed)
        if (p.Note >= static_cast<int>(Notes.size()))
            throw std::invalid_argument("PriceAlignment: a placement on a note there is not");
    std::vector<MelodyNote> notes = Notes;
    std::stable_sort(notes.begin(), notes.end(),
                     [](const MelodyNote& a, const MelodyNote& b) { return a.Tick < b.Tick; });
    SegmentAligner aligner(notes, Syllables, Options);
    // Where the lines open and what sure lines teach, learnt as
    // AlignSyllables learns it.
    if (!Syllables.empty()) {
        std::vector<PlacedSyllable> first(Syllables.size());
        aligner.Align(0, Syllables.size(), 0, notes.size(), -1, false, false, first);
        aligner.LearnLineStarts(first);
        aligner.LearnFromSureLines(first);
    }
    return aligner.Price(Placed);
}

}  // namespace verselane::align
