// ConvertLyricsDialog, the "Convert Lyrics" dialog: the track to take the
// words from (each entry with its number, name and what it holds), the
// direction of the conversion, whether karaoke text stays beside new lyrics
// and whether lyric events stay beside new karaoke text. The conversion driver fills it, shows it
// and reads it back.
#pragma once

#include <QDialog>
#include <QList>
#include <functional>
#include <string_view>

#include "driver/convert_lyrics.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace verselane::ui {

// What a track holds, as its entry in the track list says it:
// "219 lyric events", "496 karaoke text events", "no words".
QString MaterialText(const TrackMaterial& Material);

class ConvertLyricsDialog : public QDialog, public ConversionDialog {
    Q_OBJECT

  public:
    explicit ConvertLyricsDialog(QWidget* owner = nullptr);

    // How the driver's track names (bytes) are shown in the lists.
    void SetNameDecoder(std::function<QString(std::string_view)> decode);

    void ClearTracks() override;
    void AddTrack(int16_t Number, const std::string& Name, const TrackMaterial& Material) override;
    void SelectTrack(int Index) override;
    void ClearInsertionPoints() override;
    void AddInsertionPoint(const std::string& Name) override;
    int InsertionPointCount() const override;
    void SelectInsertionPoint(int Index) override;
    bool KeepKaraoke() const override;
    bool KeepLyrics() const override;
    void ShowModal() override;
    void Unload() override;

  public slots:
    // Esc and the title bar's close box act as "C&ancel".
    void reject() override;

  private slots:
    void convertKaraokeToLyrics();
    void convertLyricsToText();
    void cancel();
    void followSelectedTrack();

  private:
    void createWidgets();
    void layOut();
    void storeChoice(ConversionChoice choice);

    std::function<QString(std::string_view)> decode_;
    QList<TrackMaterial> materials_;  // of the entries of Tracks

    QComboBox* tracks_;
    QLabel* reason_;  // why a direction is off for the selected track
    QPushButton* karaoke_to_lyrics_;
    QPushButton* lyrics_to_text_;
    QPushButton* cancel_;
    // The insertion choice: kept for the driver, never shown (no conversion
    // uses it), so it takes no part in the tab order either.
    QFrame* insertion_;
    QComboBox* tracks2_;
    QCheckBox* keep_karaoke_;
    QCheckBox* keep_lyrics_;  // lyrics to text: the lyric events stay
};

}  // namespace verselane::ui
