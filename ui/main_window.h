// MainWindow, the main window: it owns the song and offers Read File,
// Convert Lyrics and Write File, used in that order, with a status line and
// a preview of the song's words under the buttons; the menus add recent
// files, the conversion of many songs at once, help and the version.
//
// The window is built in steps (actions, central widget, menus, settings),
// so that a new view or panel finds its place in one of them: the actions,
// menus and toolbar are in main_window_actions.cpp, the layout in
// main_window_layout.cpp. Under the words and the player, the timing editor
// shows the syllables on the melody's notes; its edits go onto the window's
// undo stack, whose clean state counts as "written".
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <string>

#include "check/song_check.h"
#include "driver/convert_lyrics.h"
#include "editing/timed_words.h"
#include "model/song.h"
#include "model/song_facts.h"
#include "ui/karaoke_view.h"
#include "ui/prompts.h"
#include "workflow/output_names.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QUndoStack;
class QVBoxLayout;

namespace verselane::ui {

class CheckPanel;
class ConvertLyricsDialog;
class KaraokeInformationDialog;
class PlaybackPanel;
class TimingEditor;

// "Midi Verselane" and the version: "Midi Verselane v.1.0.0".
QString VersionedTitle(const QString& caption, int major, int minor, int revision);

// The name the save dialog proposes, as the command line names its output
// of the same kind: NAME.kar after lyrics became karaoke text (or
// NAME.aligned.kar for a .kar song given words from a lyric sheet),
// NAME.lyrics.mid after karaoke text became lyrics, NAME.fixed.EXT for a
// repaired song, NAME.retimed.EXT for one only edited in the timing editor;
// in `folder` (the last one written to) or else beside the input; never the
// input itself.
QString ProposedSaveName(const QString& input, workflow::OutputKind kind,
                         const QString& folder = {});

class MainWindow : public QMainWindow, public ConversionHost {
    Q_OBJECT

  public:
    // Without `prompts` the platform's file dialogs and message boxes are used.
    explicit MainWindow(std::unique_ptr<Prompts> prompts = nullptr);
    ~MainWindow() override;

    // The song in the window, as read and changed since.
    const Song& CurrentSong() const { return song_; }

    // Reads a file into the song, as Read File does once a name is chosen (a
    // folder is offered for conversion as a whole).
    void Open(const QString& path);
    // Converts many songs (files, or the songs in folders) in one go.
    void ConvertSongs(const QStringList& paths);
    // Reading shows its progress bar once it has taken this long.
    void SetProgressDelay(int milliseconds) { progress_delay_ = milliseconds; }

    void Refuse(const ConversionRefusal& Refusal) override;
    void SetWaitCursor(bool Waiting) override;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private slots:
    void readFile();
    void convertLyrics();
    bool writeFile();
    void convertFolder();
    void convertFiles();
    void showHelp();
    void showAbout();
    // Tap Latency: the seconds taps are taken back by, set in milliseconds.
    void setTapLatency();
    void showWords();
    void wordsFromSheet();
    // An edit, undo or redo in the timing editor changed the song.
    void songEdited(const Song& song);

  private:
    std::vector<MarkedDoubt> ShownDoubts() const;
    void createActions();
    void createEditorActions();
    void createMenus();
    void createCentralWidget();
    void createCommandRows(QWidget* central, QVBoxLayout* layout);
    QWidget* createWordsPanel(QWidget* parent);
    void createWorkstation(QWidget* central);
    void connectPanels();
    void createDialogs();
    void restoreSettings();
    // Offers what the song allows: Convert Lyrics while it has words to
    // convert and was not converted, Write File once it was changed; none
    // while busy.
    void updateCommands();
    // Keeps the window's minimum size one at which every control is usable:
    // wrapped lines (the status, the verdict) take their height at the
    // narrowest width, and the words, the player and the editor keep theirs.
    void updateMinimumSize();
    // Whether the song in the window may go: true when it holds no unsaved
    // change, or the user saved it or chose to discard it.
    bool maySetSongAside();
    // What a change of the whole song (a conversion, a repair, words from a
    // lyric sheet) replaces, and what its undo and redo put back.
    struct SongState {
        Song Content;
        SongFacts Facts;
        ConversionChoice Converted = ConversionChoice::None;
        int16_t ConvertedTrack = -1;
        workflow::OutputKind Output = workflow::OutputKind::Retimed;
        std::vector<MarkedDoubt> SheetDoubts;
        bool Changed = false, Unsaved = false, HasWords = false;
        PlayerFamily Keep = PlayerFamily::LyricReaders;
    };
    std::shared_ptr<const SongState> songState() const;
    void restoreSongState(const SongState& state);
    // The song in the window after a change of the whole song: checked for
    // the `keep` players, played and shown.
    void showSong(PlayerFamily keep);
    // A change of the whole song made from `before`, now the window's: onto
    // the undo stack, above the timing editor's edits before it.
    void pushSongChange(const QString& name, std::shared_ptr<const SongState> before);
    // Whether any track of the song holds words to convert, either way.
    bool HasWordsToConvert() const;
    // Reads `path` into the window, without asking about unsaved work.
    void read(const QString& path);
    void remember(const QString& path);
    void fillRecentMenu();
    void showReadResult(const QString& name, const QString& problem, bool partial);
    QString summary(bool partial) const;
    std::string shownEncoding() const;
    void fillEncodings();

    Song song_;
    SongFacts facts_;          // what the read of the song learnt
    bool has_song_ = false;    // a song was read (it may hold no tracks)
    PlaybackPanel* playback_;  // plays the song and shows its words in time
    std::unique_ptr<Prompts> prompts_;
    ConvertLyricsDialog* conversion_dialog_;
    KaraokeInformationDialog* information_dialog_;
    QString source_path_;
    ConversionChoice converted_ = ConversionChoice::None;  // the direction of the last conversion
    int16_t converted_track_ = -1;
    // The aligner's doubts after Words from a Lyric Sheet, shown until the
    // words are edited or another song is read.
    std::vector<MarkedDoubt> sheet_doubts_;
    // The text of the lyric sheet dialog when it last closed, OK or not:
    // a sheet pasted or typed is not lost with a Cancel, until another song
    // is read.
    QString sheet_text_;
    // What Write File writes, for the name it proposes: the song as read and
    // edited (retimed), repaired, converted, or given a lyric sheet's words.
    workflow::OutputKind output_ = workflow::OutputKind::Retimed;
    bool changed_ = false;    // converted or repaired since it was read: Write File offered
    bool unsaved_ = false;    // differs from what was last read or written
    bool broken_ = false;     // a conversion failed half way: it takes a new read
    bool has_words_ = false;  // some track holds words to convert, either way
    std::shared_ptr<const SongState> before_repair_;  // while the check panel repairs
    bool repair_lays_out_again_ = false;  // the repair stopped the player's layout of the song
    bool typed_as_utf8_ = false;          // a typed text did not fit the song's encoding
    CheckPanel* checks_;                  // the verdict and findings under the status line
    bool busy_ = false;
    bool cancel_read_ = false;
    int progress_delay_ = 500;
    std::string detected_encoding_ = "UTF-8";
    QStringList recent_files_;

    QAction* read_action_;
    QAction* convert_action_;
    QAction* write_action_;
    QAction* convert_folder_action_;
    QAction* convert_files_action_;
    QAction* quit_action_;
    QAction* play_action_;
    QAction* play_from_action_;
    QAction* stop_action_;
    QAction* help_action_;
    QAction* about_action_;
    QAction* undo_action_;
    QAction* redo_action_;
    QAction* zoom_in_action_;
    QAction* zoom_out_action_;
    QList<QAction*> editor_actions_;
    QAction* line_start_taps_action_;
    QList<QAction*> speed_actions_;  // full, three-quarter and half speed
    QAction* tap_latency_action_;
    QMenu* recent_menu_;

    QPushButton* read_button_;
    QPushButton* convert_button_;
    QPushButton* write_button_;
    QLabel* status_;
    QProgressBar* progress_;
    QPushButton* cancel_button_;
    QLabel* words_label_;
    QComboBox* encoding_;
    QPlainTextEdit* words_;
    QUndoStack* undo_;                                     // the timing editor's edits of this song
    editing::SaveAs save_as_ = editing::SaveAs::AsEdited;  // Write File as it is
    QMenu* write_as_menu_;
    TimingEditor* editor_;
    QWidget* words_panel_;    // the findings and the words
    QSplitter* upper_split_;  // the words beside the player
    QSplitter* main_split_;   // those above the editor
};

}  // namespace verselane::ui
