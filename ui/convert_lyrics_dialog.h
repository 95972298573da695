// ConvertLyricsDialog, the "Convert Lyrics" dialog: the track to take the words from, the
// direction of the conversion, and whether karaoke text stays beside new
// lyrics. The conversion driver fills it, shows it and reads it back.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string_view>

#include "driver/convert_lyrics.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace verselane::ui {

class ConvertLyricsDialog : public QDialog, public ConversionDialog {
    Q_OBJECT

  public:
    explicit ConvertLyricsDialog(QWidget* owner = nullptr);

    // How the driver's track names (bytes) are shown in the lists.
    void SetNameDecoder(std::function<QString(std::string_view)> decode);

    void ClearTracks() override;
    void AddTrack(const std::string& Name) override;
    void SelectTrack(int Index) override;
    void ClearTracks2() override;
    void AddTrack2(const std::string& Name) override;
    int Tracks2Count() const override;
    void SelectTrack2(int Index) override;
    void SetKaraokeToLyricsEnabled(bool Enabled) override;
    void SetLyricsToTextEnabled(bool Enabled) override;
    bool KeepKaraoke() const override;
    void ShowModal() override;
    void Unload() override;

    // The button handlers.
    void Command1_Click();
    void Command2_Click();
    void Cancel_Click();

    // The controls, under their own names.
    QComboBox* Tracks;
    QLabel* Label1;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Cancel;
    // The insertion choice: kept for the driver, never shown (no conversion
    // uses it), so it takes no part in the tab order either.
    QFrame* Frame1;
    QComboBox* Tracks2;
    std::array<QLabel*, 2> Label2;
    QCheckBox* KeepKar;

  public slots:
    // Esc and the title bar's close box act as "C&ancel".
    void reject() override;

  private:
    void StoreChoice(int16_t choice);

    std::function<QString(std::string_view)> decode_;
};

}  // namespace verselane::ui
