#include "ui/check_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

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

CheckPanel::CheckPanel(MidiFile* song, QWidget* parent) : QWidget(parent), song_(song) {
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
    connect(repair_, &QPushButton::clicked, this, [this] {
        if (RepairFinding(list_->currentRow())) emit Repaired();
    });
    Check();
}

void CheckPanel::Check() {
    findings_.clear();
    list_->clear();
    if (song_ != nullptr && RealTrackCount(*song_) > 0) findings_ = CheckSong(*song_);
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
        const QString line =
            tr("%1 (%2): %3%4").arg(level, players, where, QString::fromStdString(f.Text));
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
    if (song_ == nullptr || RealTrackCount(*song_) == 0) return {};
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
    const QString first = QString::fromStdString(problems.front()->Text);
    if (problems.size() == 1) return tr("1 problem: %1").arg(first);
    return tr("%1 problems: %2 ...").arg(problems.size()).arg(first);
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
    return changed;
}

void CheckPanel::UpdateRepairButton() {
    const int row = list_->currentRow();
    repair_->setEnabled(row >= 0 && row < static_cast<int>(findings_.size()) &&
                        findings_[static_cast<size_t>(row)].Fix != Repair::None);
}

}  // namespace verselane::ui
