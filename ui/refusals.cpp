#include "ui/refusals.h"

#include <QCoreApplication>

#include "align/lyric_sheet.h"

namespace verselane::ui {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("Refusals", text);
}

}  // namespace

QString DescribeDoubt(align::Doubt reason) {
    switch (reason) {
        case align::Doubt::CloseCall:
            return Tr("close call");
        case align::Doubt::NoNoteLeft:
            return Tr("no note left");
        case align::Doubt::OffNote:
            return Tr("off note");
        case align::Doubt::None:
            break;
    }
    return {};
}

QString DescribeAlignFault(const align::AlignFault& fault) {
    using align::AlignProblem;
    switch (fault.Problem) {
        case AlignProblem::SheetNotUtf8:
            return Tr("the sheet is not UTF-8 text");
        case AlignProblem::SheetNotText:
            return Tr("the sheet is not text (it holds bytes no text file holds)");
        case AlignProblem::SheetTooLong:
            return (fault.Text.empty()
                        ? Tr("the sheet is longer than %1 MB, more than any song's words")
                        : Tr("the sheet, its repeats sung out, is longer than %1 MB, more than "
                             "any song's words"))
                .arg(align::kLongestSheetBytes >> 20);
        case AlignProblem::SheetEmpty:
            return Tr("the sheet holds no words");
        case AlignProblem::UnknownLanguage:
            return Tr("the language %1 is not one the aligner knows")
                .arg(QString::fromStdString(fault.Text));
        case AlignProblem::SilentTrack:
            return Tr("track %1 plays no notes; choose another melody").arg(fault.Track);
        case AlignProblem::PinOutside:
            return Tr("syllable %1 is not among the syllables 1 to %2")
                .arg(fault.Syllable)
                .arg(fault.Count);
        case AlignProblem::NegativeTick:
            return Tr("syllable %1 is pinned before the song's start").arg(fault.Syllable);
        case AlignProblem::PinnedTwice:
            return Tr("syllable %1 is pinned twice").arg(fault.Syllable);
        case AlignProblem::PinsBackInTime:
            return Tr("syllable %1 is pinned before syllable %2, which comes earlier")
                .arg(fault.Syllable)
                .arg(fault.Earlier);
        case AlignProblem::TooLong:
            return Tr("%1 syllables on %2 notes are too many to align in one go; align the "
                      "song in parts")
                .arg(fault.Count)
                .arg(fault.Notes);
    }
    return Tr("the aligner refused it");
}

QString DescribeEditFault(const editing::EditFault& fault) {
    using editing::EditProblem;
    switch (fault.Problem) {
        case EditProblem::NoSuchTrack:
        case EditProblem::NoSuchEvent:
        case EditProblem::NoSuchSyllable:
            return Tr("the words have changed meanwhile");
        case EditProblem::NothingToSing:
            return Tr("a syllable needs something to sing, without spaces around it");
        case EditProblem::LineEndInText:
            return Tr("a syllable cannot hold a line end; Enter starts a line");
        case EditProblem::TagInKaraoke:
            return Tr("a karaoke syllable cannot start with @, which marks a tag");
        case EditProblem::NoWordsStream:
            return Tr("the song holds no lyric events or karaoke text");
        case EditProblem::NoSungWords:
            return Tr("the song holds no sung words");
        case EditProblem::NoNoteAfter:
            return Tr("no note of the melody comes after it");
        case EditProblem::NoNoteBefore:
            return Tr("no note of the melody comes before it");
        case EditProblem::SyllableMissing:
            return Tr("there is no syllable %1; the song has %2")
                .arg(fault.Syllable)
                .arg(fault.Count);
        case EditProblem::BeforeSongStart:
            return Tr("a syllable cannot go before the song's start");
        case EditProblem::BeforeSyllableAhead:
            return Tr("syllable %1 would go before the syllable ahead of it").arg(fault.Syllable);
        case EditProblem::PinNegativeTick:
            return Tr("syllable %1 would go before the song's start").arg(fault.Syllable);
        case EditProblem::PinnedTwice:
            return Tr("syllable %1 is pinned twice").arg(fault.Syllable);
        case EditProblem::PinsBackInTime:
            return Tr("syllable %1 would go before syllable %2")
                .arg(fault.Syllable)
                .arg(fault.Other);
        case EditProblem::PinPastLine:
            return fault.After
                       ? Tr("syllable %1 would go past the line after it").arg(fault.Syllable)
                       : Tr("syllable %1 would go past the line before it").arg(fault.Syllable);
        case EditProblem::AlignRefused:
            if (fault.Align) return DescribeAlignFault(*fault.Align);
            break;
        case EditProblem::TickOutsideSong:
            return Tr("that point is outside the song");
        case EditProblem::PassesSyllableBefore:
            return Tr("syllable %1 cannot pass the syllable before it").arg(fault.Syllable);
        case EditProblem::PassesSyllableAfter:
            return Tr("syllable %1 cannot pass the syllable after it").arg(fault.Syllable);
        case EditProblem::SelectionLeavesSong:
            return Tr("the chosen syllables would leave the song");
        case EditProblem::LastHasNoneAfter:
            return Tr("the last syllable has none after it");
        case EditProblem::NoPins:
            return Tr("no syllable is pinned");
        case EditProblem::SplitLeavesEmptySide:
            return Tr("a split must leave text on both sides");
        case EditProblem::FirstStartsLine:
            return Tr("the first syllable always starts a line");
        case EditProblem::OnlySyllable:
            return Tr("the only syllable cannot go");
        case EditProblem::NoSyllableToInsertBefore:
            return Tr("there is no syllable %1 to insert before").arg(fault.Syllable);
        case EditProblem::NewBeforeSyllableAhead:
            return Tr("the new syllable cannot go before the syllable ahead of it");
        case EditProblem::NewAfterSyllableBehind:
            return Tr("the new syllable cannot go after the syllable behind it");
    }
    return Tr("the edit cannot be made");
}

}  // namespace verselane::ui
