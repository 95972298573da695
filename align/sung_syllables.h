// Words into sung syllables: the hyphenation dictionaries of libhyphen give
// the places where a word may break, and rules of singing put the count
// right (typesetting keeps "sing" and "ing" together; a singer does not).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace verselane::align {

// The languages with hyphenation dictionaries, by ISO 639-1 code: en, de,
// fr, es, it, pt, nl. The code of a language named by the user ("en",
// "English", "ENGL", "de_DE", "Deutsch", ...), or the empty string.
std::string LanguageCode(std::string_view Name);

// The language of some words, guessed from their most common short words;
// "en" when nothing speaks for another.
std::string GuessLanguage(std::string_view Utf8Words);

// Which of a word's sung syllables its language stresses (from 0), or -1
// where the rules cannot say (a word of one syllable: 0): the first in English, German and Dutch
// unless the word opens with a prefix that takes no stress ("a-", "be-", "re-", "ge-", "ver-",
// ...); in Spanish, Italian and Portuguese the one with an accent mark, else the next-to-last (the
// last after a consonant other than n or s in Spanish and after l, r or z in Portuguese); in French
// the last unless it is a mute "e". Punctuation and case do not count.
int StressedSyllable(std::string_view Language, const std::vector<std::string>& Syllables);

// Splits words of one language into sung syllables.
class SyllableSplitter {
  public:
    // Loads the language's dictionary from `DictionaryFolder` (by default
    // /usr/share/hyphen, or the folder VERSELANE_HYPHEN_DIR names). Without
    // one, MissingFrom() says where it was looked for and the rules alone
    // split the words.
    explicit SyllableSplitter(const std::string& Language, std::string DictionaryFolder = {});
    ~SyllableSplitter();
    SyllableSplitter(const SyllableSplitter&) = delete;
    SyllableSplitter& operator=(const SyllableSplitter&) = delete;

    const std::string& Language() const { return language_; }
    // Empty when the dictionary was loaded, else the folder that lacks it.
    const std::string& MissingFrom() const { return missing_from_; }

    // Readies the dictionary for the words of a text (separated by white
    // space) in one go: only the patterns those words can meet are loaded,
    // which takes milliseconds where the whole German dictionary takes
    // seconds. Words met later without it are added one by one (slower,
    // the same syllables).
    void Prepare(std::string_view Utf8Text);

    // The syllables of one word as sung, in order; joined they give the word
    // back unchanged (punctuation stays with the syllable it touches). Words
    // joined by spaces to be sung as one share a syllable where they meet. Not
    // to be called from two threads at once: it may load patterns.
    std::vector<std::string> Split(std::string_view Utf8Word) const;

  private:
    struct Dictionary;
    std::string language_;
    std::string missing_from_;
    std::unique_ptr<Dictionary> dictionary_;
};

}  // namespace verselane::align
