// ConvertSongsDialog, "Convert Songs": many songs converted at once with the
// direction and options chosen once, one song after another by the workflow
// both programs share (the same output names and no-overwrite rules), with a
// progress bar, a table of results (file, outcome, message) and a Cancel
// that stops after the current song. The outcomes are counted as the command
// line counts them: written (those from damaged songs apart), without words,
// failed.
#pragma once

#include <QDialog>
#include <QStringList>
#include <atomic>
#include <vector>

#include "workflow/batch.h"

class QCheckBox;
class QThread;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace verselane::ui {

// The MIDI files among `paths`: files as they are, folders by the MIDI
// files directly inside them (.mid, .midi, .kar, .rmi), sorted by name.
QStringList SongsIn(const QStringList& paths);

class ConvertSongsDialog : public QDialog {
    Q_OBJECT

  public:
    ConvertSongsDialog(const QStringList& songs, QWidget* owner = nullptr);
    ~ConvertSongsDialog() override;

    // True while a song is being converted.
    bool Running() const { return running_; }

  public slots:
    // Esc and the close box: before the start and after the end they close
    // the dialog; while songs convert they stop after the current song.
    void reject() override;

  private slots:
    void start();

  private:
    void createWidgets();
    // Only the options of the chosen direction are offered.
    void updateOptions();
    void browseOutputFolder();
    void addResult(const workflow::Job& job, const workflow::JobResult& result);
    void finish();

    QStringList songs_;
    workflow::ConversionRequest request_;
    std::vector<workflow::Job> jobs_;
    size_t done_ = 0;
    bool running_ = false;
    std::atomic<bool> stopping_{false};  // read by the batch's thread
    QThread* worker_ = nullptr;          // the batch's thread while it runs
    int written_ = 0, salvaged_ = 0, without_words_ = 0, failed_ = 0, converted_before_ = 0;

    QRadioButton* to_karaoke_;
    QRadioButton* to_lyrics_;
    QLineEdit* language_;
    QCheckBox* keep_lyrics_;
    QCheckBox* keep_karaoke_;
    QLineEdit* out_dir_;
    QPushButton* browse_;
    QCheckBox* replace_;
    QCheckBox* salvage_;
    QProgressBar* progress_;
    QTableWidget* results_;
    QLabel* summary_;
    QPushButton* start_;
    QPushButton* cancel_;
};

}  // namespace verselane::ui
