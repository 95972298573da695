#include "ui/lyric_sheet_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QThread>
#include <QVBoxLayout>
#include <map>
#include <stdexcept>

#include "align/lyric_sheet.h"
#include "align/sung_syllables.h"
#include "encoding/text_encoding.h"
#include "lyrics/song_info.h"
#include "lyrics/sung_lines.h"
#include "ui/file_messages.h"
#include "ui/named.h"
#include "ui/refusals.h"

namespace verselane::ui {

LyricSheetDialog::LyricSheetDialog(const Song& song, const SongFacts& facts, QWidget* parent)
    : QDialog(parent), song_(song), facts_(facts), lines_(align::NoteLines(song)) {
    setObjectName(QStringLiteral("LyricSheetDialog"));
    setWindowTitle(tr("Words from a Lyric Sheet"));
    sheet_ = Named(new QPlainTextEdit(this), "Sheet");
    sheet_->setPlaceholderText(
        tr("Paste the words here: one sung line a line, a blank line between paragraphs.\n"
           "Marks for control: - between syllables, _ holds a note, * skips one, "
           "~ joins words on one note, | goes to the next bar, \\ makes a mark plain.\n"
           "Section labels such as [Chorus], chord lines and credits are not sung; x2 and a "
           "second [Chorus] are sung out."));
    open_ = Named(new QPushButton(tr("&Open..."), this), "OpenSheet");
    connect(open_, &QPushButton::clicked, this, &LyricSheetDialog::openSheet);

    language_ = Named(new QComboBox(this), "SheetLanguage");
    language_->addItem(tr("Automatic"), QString());
    for (const auto& [code, name] : {std::pair{"en", "English"},
                                     {"de", "German"},
                                     {"fr", "French"},
                                     {"es", "Spanish"},
                                     {"it", "Italian"},
                                     {"pt", "Portuguese"},
                                     {"nl", "Dutch"}}) {
        language_->addItem(tr(name), QString::fromLatin1(code));
    }
    melody_ = Named(new QComboBox(this), "Melody");
    melody_->addItem(tr("Automatic"), -1);
    for (const align::NoteLine& line : lines_) {
        if (melody_->findData(line.Track) >= 0) continue;
        melody_->addItem(tr("Track %1: %2 (%3 notes)")
                             .arg(line.Track)
                             .arg(QString::fromStdString(Printable(line.Name)))
                             .arg(line.Notes.size()),
                         line.Track);
    }
    align_ = Named(new QPushButton(tr("&Align"), this), "Align");
    connect(align_, &QPushButton::clicked, this, &LyricSheetDialog::Align);
    outcome_ = Named(new QLabel(this), "AlignOutcome");
    outcome_->setWordWrap(true);
    doubtful_ = Named(new QListWidget(this), "Doubtful");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = Named(buttons->button(QDialogButtonBox::Ok), "SheetOk");
    ok_->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* choices = new QFormLayout;
    choices->addRow(tr("&Language:"), language_);
    choices->addRow(tr("&Melody:"), melody_);
    auto* row = new QHBoxLayout;
    row->addLayout(choices, 1);
    row->addWidget(open_);
    row->addWidget(align_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sheet_, 3);
    layout->addLayout(row);
    layout->addWidget(outcome_);
    layout->addWidget(new QLabel(tr("Doubtful syllables:"), this));
    layout->addWidget(doubtful_, 1);
    layout->addWidget(buttons);
    resize(640, 560);
}

void LyricSheetDialog::openSheet() {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open a Lyric Sheet"), {},
                                                      tr("Text files (*.txt);;All files (*)"));
    if (!path.isEmpty()) OpenSheet(path);
}

bool LyricSheetDialog::OpenSheet(const QString& path) {
    const QString name = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        outcome_->setText(tr("%1 cannot be read: %2.").arg(name, file.errorString()));
        return false;
    }
    // Read one byte beyond the longest sheet, so that a device or a pipe
    // without end is refused as surely as a file that is too long.
    const auto longest = static_cast<qint64>(align::kLongestSheetBytes);
    const QByteArray bytes = file.read(longest + 1);
    if (file.error() != QFileDevice::NoError) {
        outcome_->setText(tr("%1 cannot be read: %2.").arg(name, file.errorString()));
        return false;
    }
    if (bytes.size() > longest) {
        outcome_->setText(tr("%1 is longer than %2 MB, more than any song's words: "
                             "it is not opened as a lyric sheet.")
                              .arg(name)
                              .arg(longest >> 20));
        return false;
    }
    const std::string_view raw(bytes.constData(), static_cast<size_t>(bytes.size()));
    // A sheet saved by an older editor is read in its code page rather than
    // shown with replacement marks.
    const std::optional<std::string> unicode = Utf16TextAsUtf8(raw);
    // A song or a picture chosen by mistake: NUL bytes, which no text holds.
    if (!unicode && raw.find('\0') != std::string_view::npos) {
        outcome_->setText(
            tr("%1 is not a text file: it is not opened as a lyric sheet.").arg(name));
        return false;
    }
    const std::string encoding = unicode ? std::string() : DetectEncoding({raw});
    QString note;
    QString text;
    if (unicode) {
        text = QString::fromStdString(*unicode);
    } else if (encoding == "UTF-8") {
        text = QString::fromUtf8(bytes);
    } else {
        text = QString::fromStdString(TextDecoder(encoding).ToUtf8(raw));
        note = tr("%1 is not UTF-8 text; it was read as %2.")
                   .arg(name, QString::fromStdString(EncodingLabel(encoding)));
    }
    // In place of what the box held, as an edit: Undo brings that back.
    QTextCursor cursor(sheet_->document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    cursor.endEditBlock();
    outcome_->setText(note);
    return true;
}

QString LyricSheetDialog::SheetText() const {
    return sheet_->toPlainText();
}

void LyricSheetDialog::SetSheetText(const QString& text) {
    sheet_->setPlainText(text);
}

LyricSheetDialog::~LyricSheetDialog() {
    StopAligning();
}

void LyricSheetDialog::reject() {
    StopAligning();
    QDialog::reject();
}

void LyricSheetDialog::StopAligning() {
    if (!worker_) return;
    stop_->store(true);
    worker_->wait();  // within a row of the alignment's table
    delete worker_;
    worker_ = nullptr;
    ++run_;  // what the stopped thread still posts is no longer awaited
    ShowAligning(false);
    outcome_->setText(tr("Aligning stopped."));
}

void LyricSheetDialog::Align() {
    if (worker_) {  // the button reads Stop
        stop_->store(true);
        align_->setEnabled(false);
        return;
    }
    result_.reset();
    ok_->setEnabled(false);
    doubtful_->clear();
    doubts_.clear();
    align::SheetRequest request;
    request.SheetUtf8 = sheet_->toPlainText().toStdString();
    request.Language = language_->currentData().toString().toStdString();
    request.MelodyTrack = melody_->currentData().toInt();
    stop_ = std::make_shared<std::atomic<bool>>(false);
    request.Stop = stop_.get();
    // The thread aligns its own copies, and keeps the stop flag alive.
    auto outcome = std::make_shared<Outcome>();
    worker_ = QThread::create([song = song_, request, stop = stop_, outcome] {
        try {
            outcome->Aligned = align::AlignSheet(song, request);
        } catch (...) {
            outcome->Error = std::current_exception();
        }
    });
    connect(worker_, &QThread::finished, this, [this, outcome, run = ++run_] {
        if (run != run_ || !worker_) return;  // stopped and waited for already
        worker_->wait();
        worker_->deleteLater();
        worker_ = nullptr;
        ShowAligning(false);
        Finish(*outcome);
    });
    ShowAligning(true);
    worker_->start();
}

void LyricSheetDialog::ShowAligning(bool aligning) {
    align_->setText(aligning ? tr("&Stop") : tr("&Align"));
    align_->setEnabled(true);
    sheet_->setReadOnly(aligning);
    open_->setEnabled(!aligning);
    language_->setEnabled(!aligning);
    melody_->setEnabled(!aligning);
    if (aligning) {
        setCursor(Qt::BusyCursor);
        outcome_->setText(tr("Aligning..."));
    } else {
        unsetCursor();
    }
}

void LyricSheetDialog::Finish(const Outcome& outcome) {
    try {
        if (outcome.Error) std::rethrow_exception(outcome.Error);
        const align::SheetAlignment& aligned = *outcome.Aligned;
        Song song = song_;
        SongFacts facts = facts_;
        // The words go into the song in its own encoding when it has words,
        // as the align command writes them; else as UTF-8.
        const bool had_words = align::SongHasWords(song_, facts_);
        // Words the song's encoding cannot hold make all of them UTF-8.
        bool kept = false;
        const std::vector<std::string> texts =
            SungWordsIn(align::LyricTexts(aligned.Sheet),
                        had_words ? SongDecoder(song_).Encoding() : std::string(), kept);
        KaraokeInfo info = SongKaraokeInfo(song);
        info.Language = align::KaraokeLanguageName(aligned.Language);
        align::PutWords(song, facts, texts, aligned.Placement, align::WordsOutput::Both, info,
                        had_words);
        result_ = std::move(song);
        result_facts_ = std::move(facts);
        const TempoMap tempo(*result_);
        const auto& placed = aligned.Placement.Syllables;
        std::map<int32_t, int> on_tick;  // syllables so far on each tick
        for (size_t i = 0; i < placed.size(); ++i) {
            const int order = on_tick[placed[i].Tick]++;
            if (placed[i].Pinned || placed[i].Reason == align::Doubt::None) continue;
            doubts_.push_back({placed[i].Tick, order, DescribeDoubt(placed[i].Reason)});
            doubtful_->addItem(
                tr("%1  \"%2\" (syllable %3, line %4): %5")
                    .arg(QString::fromStdString(FormatTimestamp(tempo.Seconds(placed[i].Tick))))
                    .arg(QString::fromStdString(aligned.Sheet.Syllables[i].Text))
                    .arg(i + 1)
                    .arg(aligned.Sheet.Syllables[i].Line)
                    .arg(DescribeDoubt(placed[i].Reason)));
        }
        QString text = tr("%1 syllables placed, %2 doubtful. Language: %3 (%4).")
                           .arg(placed.size())
                           .arg(doubtful_->count())
                           .arg(QString::fromStdString(aligned.Language),
                                aligned.LanguageFrom == align::LanguageSource::Given ? tr("given")
                                : aligned.LanguageFrom == align::LanguageSource::SongKaraokeLine
                                    ? tr("the song's @L line")
                                    : tr("guessed from the words"));
        if (aligned.Melody.Line >= 0) {
            const align::NoteLine& line = lines_[static_cast<size_t>(aligned.Melody.Line)];
            text += QLatin1Char(' ') + tr("Melody: track %1 (%2).")
                                           .arg(line.Track)
                                           .arg(MelodyReason(line, aligned.Melody));
        }
        if (!aligned.Sheet.NotSungAsWritten.empty())
            text += QLatin1Char(' ') + LayoutSummary(aligned.Sheet.NotSungAsWritten);
        if (aligned.RanOut) {
            text += QLatin1Char(' ') +
                    tr("The melody has too few notes: they run out at syllable %1, line %2 of "
                       "the sheet.")
                        .arg(aligned.RanOut->Syllable)
                        .arg(aligned.RanOut->Line);
        }
        outcome_->setText(text);
        ok_->setEnabled(true);
    } catch (const align::AlignStopped&) {
        outcome_->setText(tr("Aligning stopped."));
    } catch (const align::AlignError& e) {
        outcome_->setText(
            tr("The sheet cannot be aligned: %1.").arg(DescribeAlignFault(e.Fault())));
    } catch (...) {
        outcome_->setText(tr("The sheet cannot be aligned: %1.").arg(ErrorReason(CurrentError())));
    }
}

QString LyricSheetDialog::MelodyReason(const align::NoteLine& line,
                                       const align::MelodyChoice& choice) const {
    QStringList reasons;
    if (choice.Named)
        reasons << tr("named \"%1\"").arg(QString::fromStdString(Printable(line.Name)));
    if (choice.OneNoteAtATime) reasons << tr("one note at a time");
    if (choice.InVoiceRange) reasons << tr("in the range of a voice");
    reasons << tr("%1 notes for %2 syllables").arg(choice.Notes).arg(choice.Syllables);
    if (choice.PartOfSong) reasons << tr("a sheet shorter than the song");
    return reasons.join(tr(", "));
}

// The lines of the sheet left out of the words or sung again, in a sentence
// each, so that a user who pasted a sheet from the web sees what became of
// its labels, chords and repeats.
QString LyricSheetDialog::LayoutSummary(const std::vector<align::SheetLineNote>& notes) const {
    QStringList labels, chords, credits, tablature, again;
    for (const align::SheetLineNote& note : notes) {
        switch (note.What) {
            case align::SheetLineNote::Kind::Label:
                labels << QString::number(note.Line);
                break;
            case align::SheetLineNote::Kind::Chords:
                chords << QString::number(note.Line);
                break;
            case align::SheetLineNote::Kind::Credit:
                credits << QString::number(note.Line);
                break;
            case align::SheetLineNote::Kind::Tablature:
                tablature << QString::number(note.Line);
                break;
            case align::SheetLineNote::Kind::SungAgain: {
                QString lines = note.From == note.To
                                    ? tr("line %1").arg(note.From)
                                    : tr("lines %1 to %2").arg(note.From).arg(note.To);
                lines = tr("%1 at line %2").arg(lines).arg(note.Line);
                if (note.Times > 1) lines += tr(", %1 times").arg(note.Times);
                again << lines;
                break;
            }
        }
    }
    QStringList sentences;
    auto left_out = [&](const QStringList& lines, const QString& one, const QString& many) {
        if (!lines.isEmpty())
            sentences << (lines.size() == 1 ? one : many).arg(lines.join(tr(", ")));
    };
    left_out(labels, tr("Section label left out: line %1."),
             tr("Section labels left out: lines %1."));
    left_out(chords, tr("Chord names left out: line %1."), tr("Chord names left out: lines %1."));
    left_out(credits, tr("Credit left out: line %1."), tr("Credits left out: lines %1."));
    left_out(tablature, tr("Guitar tablature left out: line %1."),
             tr("Guitar tablature left out: lines %1."));
    if (!again.isEmpty()) sentences << tr("Sung again: %1.").arg(again.join(tr("; ")));
    return sentences.join(QLatin1Char(' '));
}

QStringList LyricSheetDialog::Doubtful() const {
    QStringList lines;
    for (int i = 0; i < doubtful_->count(); ++i) lines << doubtful_->item(i)->text();
    return lines;
}

}  // namespace verselane::ui
