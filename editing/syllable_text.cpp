#include "editing/syllable_text.h"

#include <algorithm>

namespace verselane::editing {

bool IsGap(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\0' || c == '\t';
}

TextParts PartsOf(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && (IsGap(text[begin]) || text[begin] == '\\' || text[begin] == '/'))
        ++begin;
    size_t end = text.size();
    while (end > begin && IsGap(text[end - 1])) --end;
    return {std::string(text.substr(0, begin)), std::string(text.substr(begin, end - begin)),
            std::string(text.substr(end))};
}

std::string Joined(const TextParts& p) {
    return p.Before + p.Core + p.After;
}

std::string TrimGaps(std::string s) {
    while (!s.empty() && IsGap(s.back())) s.pop_back();
    return s;
}

void Breaks::Read(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == ' ' || c == '\t') Word = true;
        if (c == '\r' || c == '\n') {
            Word = Line = true;
            ++LineEnds;
            if (c == '\n') Paragraph = true;
        }
        if (c == '/' || c == '\\') {
            Word = Line = true;
            if (c == '\\') Paragraph = true;
        }
    }
}

bool HoldsSyllable(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return !IsGap(c) && c != '\\' && c != '/'; });
}

std::vector<TimedSyllable> ReadSyllables(const Song& song, const StreamSpec& s) {
    std::vector<TimedSyllable> out;
    if (s.Track < 0) return out;
    const Track& track = song.At(s.Track);
    Breaks pending;
    pending.Word = pending.Line = pending.Paragraph = true;
    out.reserve(static_cast<size_t>(track.Size()) / 8);
    for (int32_t i = 0; const Event& e : track) {
        const int32_t index = i++;
        if (!InStream(track, e, s)) continue;
        const std::string_view body = track.Body(e);
        const TextParts parts = PartsOf(body);
        if (parts.Core.empty()) {
            pending.Read(body);
            continue;
        }
        pending.Read(parts.Before);
        TimedSyllable syllable;
        syllable.Text = parts.Core;
        syllable.Tick = e.Tick;
        syllable.WordStart = pending.Word;
        syllable.LineStart = pending.Line;
        syllable.ParagraphStart = pending.Paragraph || pending.LineEnds >= 2;
        syllable.Track = s.Track;
        syllable.Event = index;
        out.push_back(std::move(syllable));
        pending = Breaks();
        pending.Read(parts.After);
    }
    return out;
}

void RemoveStream(Song& song, const StreamSpec& s) {
    Track& track = song.At(s.Track);
    Track kept;
    kept.Name = track.Name;
    kept.Instrument = track.Instrument;
    kept.Reserve(track.Size(), track.PoolBytes());
    for (const Event& e : track)
        if (!InStream(track, e, s)) kept.Append(e, track.Body(e));
    track = std::move(kept);
}

void CheckText(const std::string& text, bool karaoke) {
    if (text.empty() || PartsOf(text).Core != text) throw EditError(EditProblem::NothingToSing);
    if (text.find_first_of("\r\n") != std::string::npos)
        throw EditError(EditProblem::LineEndInText);
    if (karaoke && text.starts_with("@")) throw EditError(EditProblem::TagInKaraoke);
}

}  // namespace verselane::editing
