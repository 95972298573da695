#include "playback/render.h"

#include <fluidsynth.h>

#include <cmath>
#include <limits>
#include <vector>

#include "model/errors.h"
#include "playback/synth.h"
#include "writer/output_file.h"

namespace verselane {

namespace {

constexpr int kBlock = 64;  // frames per step: events land at most 1.5 ms late
constexpr double kRate = 44100;
constexpr int kChannels = 2;
constexpr int kBytesPerFrame = kChannels * 2;
constexpr uint64_t kHeaderBytes = 44;
constexpr int kBlocksPerWrite = 4096;  // 1 MiB of samples per write

void PutLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The canonical 44-byte header of 16-bit PCM with `data_bytes` of samples.
std::string WavHeader(uint32_t data_bytes) {
    std::string h = "RIFF";
    PutLe(h, 36 + uint64_t{data_bytes}, 4);
    h += "WAVEfmt ";
    PutLe(h, 16, 4);
    PutLe(h, 1, 2);  // PCM
    PutLe(h, kChannels, 2);
    PutLe(h, static_cast<uint64_t>(kRate), 4);
    PutLe(h, static_cast<uint64_t>(kRate) * kBytesPerFrame, 4);
    PutLe(h, kBytesPerFrame, 2);
    PutLe(h, 16, 2);
    h += "data";
    PutLe(h, data_bytes, 4);
    return h;
}

}  // namespace

RenderSize RenderSizeOf(const PlaybackSchedule& Schedule) {
    RenderSize size;
    // Blocks up to and including the one that holds the last event, then
    // the tail in whole blocks. Lengths past what a WAV file can hold are
    // clamped before the conversion to integers, which they would overflow.
    const double song_frames = std::min(Schedule.Length * kRate, 1e15);
    const int64_t song_blocks = static_cast<int64_t>(std::floor(song_frames / kBlock)) + 1;
    const int64_t tail_blocks = static_cast<int64_t>(std::ceil(kReleaseTail * kRate / kBlock));
    size.Frames = (song_blocks + tail_blocks) * kBlock;
    size.Seconds = size.Frames / kRate;
    size.Bytes = kHeaderBytes + static_cast<uint64_t>(size.Frames) * kBytesPerFrame;
    size.FitsWav = size.Bytes - 8 <= std::numeric_limits<uint32_t>::max();
    return size;
}

RenderReport RenderToWav(const PlaybackSchedule& Schedule, const std::string& SoundFont,
                         const std::string& OutPath) {
    RenderReport report;
    const RenderSize size = RenderSizeOf(Schedule);
    if (!size.FitsWav) {
        report.Error = "Could not write " + OutPath + ": the song's " +
                       std::to_string(static_cast<int64_t>(size.Seconds)) +
                       " seconds exceed what a WAV file can hold (4 GiB)";
        return report;
    }
    std::unique_ptr<Synth> synth = Synth::Create(SoundFont, kRate, {}, &report.Error);
    if (!synth) return report;
    try {
        OutputFile out(OutPath, ExistingFile::Replace);
        out.Write(WavHeader(static_cast<uint32_t>(size.Bytes - kHeaderBytes)));
        ScheduleCursor cursor{&Schedule};
        std::vector<int16_t> samples(static_cast<size_t>(kBlock) * kChannels * kBlocksPerWrite);
        size_t filled = 0;  // samples waiting in `samples`
        auto flush = [&] {
            out.Write({reinterpret_cast<const char*>(samples.data()), filled * sizeof(int16_t)});
            filled = 0;
        };
        while (cursor.Sample < size.Frames) {
            cursor.Due(*synth);
            if (report.FirstSound < 0 && synth->ActiveVoices() > 0) {
                report.FirstSound = cursor.Sample / kRate;
            }
            int16_t* at = samples.data() + filled;
            // Interleaved left and right, as WAV stores them (little-endian,
            // as this machine's int16_t).
            fluid_synth_write_s16(synth->Handle(), kBlock, at, 0, kChannels, at, 1, kChannels);
            filled += kBlock * kChannels;
            if (filled == samples.size()) flush();
            cursor.Sample += kBlock;
        }
        flush();
        out.Commit();
        report.Seconds = cursor.Sample / kRate;
        report.MaxLate = cursor.MaxLate;
    } catch (const WriteError& e) {
        report.WriteFailed = e.Failure();
    }
    return report;
}

}  // namespace verselane
