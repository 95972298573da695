#include "ui/check_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "encoding/encoding_detection.h"
#include "encoding/song_recoding.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"

namespace verselane::ui {

namespace {

bool Has(const std::vector<Finding>& findings, FindingId id) {
    for (const Finding& f : findings) {
        if (f.Id == id) return true;
    }
    return false;
}

}  // namespace

CheckPanel::CheckPanel(Song* song, QWidget* parent) : QWidget(parent), song_(song) {
    setObjectName(QStringLiteral("CheckPanel"));
    verdict_ = new QLabel(this);
    verdict_->setObjectName(QStringLiteral("CheckVerdict"));
    verdict_->setWordWrap(true);
    verdict_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("CheckFindings"));
    list_->setToolTip(tr("What players will not show or show wrong, and which players"));
    list_->setMaximumHeight(96);
    repair_ = new QPushButton(tr("&Repair"), this);
    repair_->setObjectName(QStringLiteral("CheckRepair"));
    repair_->setToolTip(tr("Makes the repair of the chosen finding; the words stay the same"));
    repair_->setEnabled(false);

    auto* row = new QHBoxLayout;
    row->addWidget(list_, 1);
    row->addWidget(repair_, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(verdict_);
    layout->addLayout(row);

    connect(list_, &QListWidget::currentRowChanged, this, [this] { UpdateRepairButton(); });
    connect(repair_, &QPushButton::clicked, this, [this] { RepairFinding(list_->currentRow()); });
    Check();
}

void CheckPanel::Check() {
    findings_.clear();
    list_->clear();
    if (song_ != nullptr && song_->TrackCount() > 0)
        findings_ = CheckSong(*song_, Utf8TestFor(*song_));
    for (const Finding& f : findings_) {
        const QString level = f.Level == Severity::WillNotShow  ? tr("will not show")
                              : f.Level == Severity::ShowsWrong ? tr("shows wrong")
                                                                : tr("advice");
        const QString players = f.Family == PlayerFamily::SoftKaraoke    ? tr("karaoke players")
                                : f.Family == PlayerFamily::LyricReaders ? tr("keyboards")
                                                                         : tr("all players");
        QString where;
        if (f.Track >= 0 && f.Event >= 0) {
            const double seconds = TempoMap(*song_, static_cast<int16_t>(f.Track)).Seconds(f.Time);
            where = tr("track %1 at %2: ")
                        .arg(f.Track)
                        .arg(QString::fromStdString(FormatTimestamp(seconds)));
        } else if (f.Track >= 0) {
            where = tr("track %1: ").arg(f.Track);
        }
        const QString line = tr("%1 (%2): %3%4").arg(level, players, where, Describe(f));
        list_->addItem(line);
        list_->item(list_->count() - 1)->setToolTip(line);  // the whole line, when cut
    }
    verdict_->setText(kept_ > 0 ? Verdict() + tr(" (%1 texts could not be converted)").arg(kept_)
                                : Verdict());
    kept_ = 0;
    list_->setVisible(!findings_.empty());
    repair_->setVisible(!findings_.empty());
    // The first finding that can be repaired is chosen, so that Repair is
    // ready for it; else the first one.
    if (!findings_.empty()) {
        const auto repairable =
            std::find_if(findings_.begin(), findings_.end(),
                         [](const Finding& f) { return f.Fix != Repair::None; });
        list_->setCurrentRow(
            repairable == findings_.end() ? 0 : static_cast<int>(repairable - findings_.begin()));
    }
    UpdateRepairButton();
}

QString CheckPanel::Verdict() const {
    if (song_ == nullptr || song_->TrackCount() == 0) return {};
    std::vector<const Finding*> problems;
    for (const Finding& f : findings_) {
        if (f.Level >= Severity::ShowsWrong) problems.push_back(&f);
    }
    if (problems.empty()) {
        const bool karaoke_only = Has(findings_, FindingId::KaraokeTextOnly);
        const bool lyrics_only = Has(findings_, FindingId::LyricsOnly);
        if (karaoke_only) return tr("Will show in karaoke players; keyboards show no words");
        if (lyrics_only)
            return tr(
                "Will show in keyboards and most players; players of Soft "
                "Karaoke text only show no words");
        if (PreferredLineSource(*song_)) return tr("Will show in karaoke players and keyboards");
        return tr("No words to show");
    }
    const QString first = Describe(*problems.front());
    if (problems.size() == 1) return tr("1 problem: %1").arg(first);
    return tr("%1 problems: %2 ...").arg(problems.size()).arg(first);
}

QString CheckPanel::Describe(const Finding& found) {
    const int first = found.Numbers[0], second = found.Numbers[1];
    switch (found.Id) {
        case FindingId::LyricsOnly:
            return tr(
                "The words are lyric events only; players that read only Soft Karaoke text "
                "show none (to-karaoke adds it).");
        case FindingId::NotFormat1:
            return tr("The song is format %1; Soft Karaoke players read format 1 only.").arg(first);
        case FindingId::NoKaraokeHeader:
            return tr("No \"@K\" line marks the song as Soft Karaoke.");
        case FindingId::LateKaraokeHeader:
            return tr("The \"@K\" line lies in track %1; players look for it in the first two "
                      "tracks only.")
                .arg(found.Track);
        case FindingId::EmptyKaraokeHeader:
            return tr("A \"@K\" line but no karaoke text behind it.");
        case FindingId::NoWordsTrack:
            return tr("The karaoke text lies in track %1, which is not named \"Words\".")
                .arg(found.Track);
        case FindingId::MarkInsideText:
            return tr(
                "A \"\\\" or \"/\" inside a text event is shown as a character, not a break.");
        case FindingId::LongParagraph:
            return tr("A paragraph of %1 lines; the screen shows %2.").arg(first).arg(second);
        case FindingId::LongLine:
            return tr("A line of %1 characters; the screen shows %2.").arg(first).arg(second);
        case FindingId::KaraokeTextOnly:
            return tr(
                "The words are Soft Karaoke text only; keyboards and players that read lyric "
                "events show none (to-lyrics adds them).");
        case FindingId::SplitWords:
            return tr(
                "Every syllable ends in a space, so lyric readers split the words (\"Twin kle\").");
        case FindingId::MergedWords:
            return tr("No lyric holds a space, so lyric readers run the words together.");
        case FindingId::NoLineEnds:
            return tr("No lyric ends a line, so lyric readers show the song as one endless line.");
        case FindingId::LateLineEnd:
            return tr(
                "A line end in its own event comes after the first syllable of the next line, "
                "which lyric readers then show at the end of the old line.");
        case FindingId::NulBytes:
            return tr("%n word text(s) hold NUL bytes, which end the text for many players.",
                      nullptr, first);
        case FindingId::DuplicateWords:
            return tr(
                "The same words are both lyric events and karaoke text; players that read both "
                "show them twice.");
        case FindingId::SeveralWordTracks:
            return tr("Words lie in %1 tracks; players show them mixed or only those of one track.")
                .arg(first);
        case FindingId::MixedEncodings:
            return tr("%1 text(s) are UTF-8 and %2 in another encoding; no player shows both "
                      "right.")
                .arg(first)
                .arg(second);
        case FindingId::LegacyEncoding:
            return tr(
                "The texts are in a legacy code page, not UTF-8; players that expect UTF-8 show "
                "other characters.");
        case FindingId::Utf8Encoding:
            return tr(
                "The texts are UTF-8; older players and keyboards show each accented letter as "
                "two or three others.");
        case FindingId::TimeBackwards:
            return tr("A syllable is timed before the one ahead of it.");
        case FindingId::AfterLastNote:
            return tr(
                "%n syllable(s) come after the last note; players stop before they are "
                "shown.",
                nullptr, first);
    }
    return QString::fromUtf8(FindingIdText(found.Id));
}

bool CheckPanel::RepairFinding(int index) {
    if (song_ == nullptr || index < 0 || index >= static_cast<int>(findings_.size())) {
        return false;
    }
    const Finding finding = findings_[static_cast<size_t>(index)];
    emit Repairing();
    bool changed = false;
    if (finding.Fix == Repair::OneEncoding) {
        // UTF-8 songs go into the common Western code page, all others into UTF-8.
        const std::string target = finding.Id == FindingId::Utf8Encoding ? "WINDOWS-1252" : "UTF-8";
        const RecodeOutcome recoded = RecodeSongTexts(*song_, target);
        changed = recoded.Changed > 0;
        kept_ = recoded.Kept;
    } else {
        changed = ApplyRepair(*song_, finding.Fix, keep_);
    }
    Check();
    if (changed)
        emit Repaired();
    else
        emit RepairChangedNothing();
    return changed;
}

void CheckPanel::UpdateRepairButton() {
    const int row = list_->currentRow();
    repair_->setEnabled(row >= 0 && row < static_cast<int>(findings_.size()) &&
                        findings_[static_cast<size_t>(row)].Fix != Repair::None);
}

}  // namespace verselane::ui
