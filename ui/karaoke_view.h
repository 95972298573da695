// KaraokeView: the words of a song the way a karaoke screen shows them while
// it plays: the line being sung and the next one in large type, the
// syllables already sung in another colour, the colour sweeping through the
// syllable being sung. A new paragraph clears the screen; before the first
// words the song's title lines ("@T") are shown. A line too wide for the view
// breaks at word gaps onto further rows, as players do, so the type stays
// large (never below 24 points unless the view is too small to hold it).
//
// The view keeps no clock: whoever plays the song tells it the time with
// ShowAt, from the same clock that makes the sound.
#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lyrics/sung_lines.h"

namespace verselane::ui {

// A doubtful syllable to mark: the tick it starts on, which of the syllables
// starting on that tick it is (0 the first), and why it is in doubt.
struct MarkedDoubt {
    int32_t Tick = 0;
    int Order = 0;
    QString Reason;
};

// A marked syllable on screen: its text, why it is in doubt, and its box.
struct DoubtOnScreen {
    QString Text;
    QString Reason;
    QRectF Box;
};

class KaraokeView : public QWidget {
    Q_OBJECT

  public:
    explicit KaraokeView(QWidget* parent = nullptr);

    // The words to show, with `decode` turning their bytes into text (the
    // encoding chosen in the main window). Starts at time 0.
    void SetWords(const std::vector<SungLine>& lines, const std::vector<std::string>& titles,
                  const std::function<QString(std::string_view)>& decode);
    void Clear();
    // The syllables to mark as doubtful (an orange underline, the reason as
    // the tooltip); they hold until the next SetWords or SetDoubts.
    void SetDoubts(const std::vector<MarkedDoubt>& doubts);
    // Shows the song as it stands at `seconds`.
    void ShowAt(double seconds);

    // What is on screen now.
    QString CurrentLine() const;
    QString NextLine() const;
    QString SungText() const;  // the lit part of the current line, the syllable being sung included
    QString Syllable() const;  // the syllable being sung (spaces trimmed)
    double Sweep() const { return sweep_; }  // how much of it is lit, 0 to 1
    QStringList Titles() const;              // the title lines, when they are shown
    // The rows on screen at the view's present size (the current line's,
    // then the next line's; from the row being sung on when they do not all
    // fit), and the size of their type in points.
    QStringList Rows() const;
    double TypePoints() const;
    // The doubtful syllables on screen now, and the tooltip at `point`
    // ("" where no doubtful syllable is).
    std::vector<DoubtOnScreen> DoubtsOnScreen() const;
    QString DoubtAt(QPointF point) const;

    QSize sizeHint() const override { return {560, 200}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    struct Row {
        int Line = 0;          // in lines_
        int From = 0, To = 0;  // the characters of the line's Text on this row
    };
    struct Layout {
        int Pixels = 0;               // the type's size
        double Spacing = 0;           // from one row to the next
        std::vector<Row> Rows;        // of the current line, then of the next one
        size_t First = 0, Shown = 0;  // the rows on screen
    };
    // How the current and the next line are set at the view's present size:
    // the largest type, down to 24 points, at which their rows fit.
    Layout LayOut() const;
    int SmallestPixels() const;
    // The top of the first row on screen.
    double FirstRowTop(const Layout& layout) const;
    void MarkDoubts();

    struct Line {
        double Seconds = 0;
        bool NewParagraph = false;
        std::vector<double> Starts;   // each syllable's time
        std::vector<int> Ends;        // where each syllable ends in Text
        std::vector<int32_t> Ticks;   // each syllable's tick
        std::vector<QString> Doubts;  // why each syllable is doubtful ("" when sure)
        QString Text;                 // the syllables one after the other
    };
    QString LineText(int line) const;
    int LitLength() const;  // characters of the current line's text that are lit, in full

    std::vector<Line> lines_;
    std::vector<MarkedDoubt> doubts_;
    QStringList titles_;
    bool show_titles_ = false;
    int current_ = -1;
    int next_ = -1;
    int sung_ = 0;  // syllables of the current line reached, the one being sung included
    double sweep_ = 0;
};

}  // namespace verselane::ui
