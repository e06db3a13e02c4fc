// The two music tracks. Each is an intro that ends exactly at the track's loop
// point, then an eight-bar section the player loops back into: the tempo is
// chosen so that the intro is a whole number of bars. Chords, bass, arpeggio,
// a lead line and drums are rendered into stereo floats and encoded as Ogg
// Vorbis.
#include <algorithm>

#include "tools/lib/gamedata/gamedata_internal.h"
#include "tools/lib/gamedata/synth.h"

namespace tessel::gamedata {

namespace {

constexpr int kRate = 44100;

struct Song {
    const char* file;
    double loopSeconds;  // where the loop section starts
    int introBars;
    int loopBars;
    int progression[8][3];  // MIDI notes of the chord of each bar (cycled)
    uint32_t seed;
};

struct Mixdown {
    std::vector<float> left, right;
    void Add(size_t at, float value, float pan) {  // pan -1 left .. 1 right
        if (at >= left.size()) {
            return;
        }
        left[at] += value * (1.0f - pan) * 0.5f;
        right[at] += value * (1.0f + pan) * 0.5f;
    }
};

enum class Voice { Pad, Bass, Arp, Lead, Kick, Snare, Hat };

void RenderNote(Mixdown& mix, Voice voice, double start, double length, int note, float volume,
                Dice& dice) {
    const auto first = static_cast<size_t>(start * kRate);
    const auto count = static_cast<size_t>(length * kRate);
    const double hz = MidiToHz(note);
    LowPass filter(voice == Voice::Bass ? 600 : voice == Voice::Pad ? 1800 : 5000, kRate);
    LowPass hatBody(6000, kRate);
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        float value = 0.0f;
        float pan = 0.0f;
        switch (voice) {
            case Voice::Pad:
                value =
                    filter((SawWave(hz * t) + SawWave(hz * 1.004 * t) + SawWave(hz * 0.996 * t)) /
                           3.0f) *
                    Envelope(t, 0.4, 8.0, length);
                pan = static_cast<float>(0.4 * std::sin(t * 0.7 + note));
                break;
            case Voice::Bass:
                value = filter(SawWave(hz * t)) * Envelope(t, 0.005, 0.35, length);
                break;
            case Voice::Arp:
                value = SquareWave(hz * t, 0.3) * Envelope(t, 0.002, 0.08, length);
                pan = (note % 2 == 0) ? -0.5f : 0.5f;
                break;
            case Voice::Lead: {
                const double vibrato = t > 0.15 ? 0.006 * std::sin(kTwoPi * 5.5 * t) : 0.0;
                value = filter(SquareWave(hz * (1.0 + vibrato) * t, 0.4) * 0.6f +
                               TriangleWave(hz * 2.0 * t) * 0.4f) *
                        Envelope(t, 0.01, 0.9, length);
                pan = 0.15f;
                break;
            }
            case Voice::Kick: {
                const double sweep = 45.0 * t + (150.0 - 45.0) * (1.0 - std::exp(-t * 30)) / 30.0;
                value = SineWave(sweep) * Envelope(t, 0.001, 0.12, length);
                break;
            }
            case Voice::Snare:
                value = (0.7f * filter(Noise(dice)) + 0.3f * SineWave(185 * t)) *
                        Envelope(t, 0.001, 0.07, length);
                break;
            case Voice::Hat: {
                const float n = Noise(dice);
                value = (n - hatBody(n)) * Envelope(t, 0.001, 0.02, length);
                pan = 0.3f;
                break;
            }
        }
        mix.Add(first + i, value * volume, pan);
    }
}

Mixdown RenderSong(const Song& song) {
    const double bar = song.loopSeconds / song.introBars;
    const double beat = bar / 4.0;
    const int bars = song.introBars + song.loopBars;
    Mixdown mix;
    const auto total = static_cast<size_t>((bar * bars + 0.05) * kRate);
    mix.left.assign(total, 0.0f);
    mix.right.assign(total, 0.0f);
    Dice dice(song.seed);
    // A lead line of chord tones and passing steps, fixed per song.
    int melody[32];
    for (int& step : melody) {
        step = static_cast<int>(dice.Range(0, 6));
    }
    for (int b = 0; b < bars; ++b) {
        const int* chord = song.progression[b % 8];
        const double at = b * bar;
        const bool inLoop = b >= song.introBars;
        const int intro = inLoop ? 99 : b;
        // The last bar's notes end at the track's end, so the loop joins cleanly.
        RenderNote(mix, Voice::Pad, at, bar, chord[0], 0.10f, dice);
        RenderNote(mix, Voice::Pad, at, bar, chord[1], 0.08f, dice);
        RenderNote(mix, Voice::Pad, at, bar, chord[2], 0.08f, dice);
        for (int s = 0; s < 16; ++s) {
            const int tone = chord[s % 3] + 12 + (s / 3 % 2) * 12;
            RenderNote(mix, Voice::Arp, at + s * beat / 4, beat / 4, tone,
                       intro < 2 ? 0.03f : 0.06f, dice);
        }
        if (intro >= song.introBars / 4) {
            for (int e = 0; e < 8; ++e) {
                const int tone = chord[0] - 12 + (e % 4 == 3 ? 7 : 0);
                RenderNote(mix, Voice::Bass, at + e * beat / 2, beat / 2, tone, 0.22f, dice);
            }
        }
        if (intro >= song.introBars / 2) {
            for (int k = 0; k < 4; ++k) {
                RenderNote(mix, Voice::Kick, at + k * beat, beat, 0, k % 2 == 0 ? 0.7f : 0.45f,
                           dice);
                if (k % 2 == 1) {
                    RenderNote(mix, Voice::Snare, at + k * beat, beat * 0.9, 0, 0.35f, dice);
                }
            }
            for (int h = 0; h < 8; ++h) {
                RenderNote(mix, Voice::Hat, at + h * beat / 2, beat / 2, 0,
                           h % 2 == 0 ? 0.12f : 0.2f, dice);
            }
        }
        if (inLoop || intro >= song.introBars * 3 / 4) {
            for (int n = 0; n < 4; ++n) {
                const int step = melody[(b * 4 + n) % 32];
                const int scale[6] = {chord[0],     chord[1],     chord[2],
                                      chord[0] + 2, chord[1] + 2, chord[0] + 12};
                const double length = n == 3 && b % 2 == 1 ? beat * 1.0 : beat * 0.95;
                RenderNote(mix, Voice::Lead, at + n * beat, length, scale[step] + 12,
                           inLoop ? 0.16f : 0.1f, dice);
            }
        }
    }
    // A gentle limiter keeps the sum in range.
    for (size_t i = 0; i < total; ++i) {
        mix.left[i] = std::tanh(mix.left[i] * 2.0f) * 0.9f;
        mix.right[i] = std::tanh(mix.right[i] * 2.0f) * 0.9f;
    }
    return mix;
}

}  // namespace

void MakeMusic(Output& out) {
    // Endless: A minor, F, C, G; 16 bars of intro up to 32.972 s.
    const Song endless{"sound/bgm/01.ogg",
                       32.972,
                       16,
                       8,
                       {{57, 60, 64},
                        {53, 57, 60},
                        {48, 52, 55},
                        {55, 59, 62},
                        {57, 60, 64},
                        {53, 57, 60},
                        {50, 53, 57},
                        {52, 56, 59}},
                       21};
    // 2minutes: faster, D minor with a lift; 12 bars of intro up to 19.818 s.
    const Song twoMinutes{"sound/bgm/02.ogg",
                          19.818,
                          12,
                          8,
                          {{50, 53, 57},
                           {46, 50, 53},
                           {48, 52, 55},
                           {45, 49, 52},
                           {50, 53, 57},
                           {43, 46, 50},
                           {45, 48, 52},
                           {45, 49, 52}},
                          22};
    for (const Song* song : {&endless, &twoMinutes}) {
        const Mixdown mix = RenderSong(*song);
        const std::vector<uint8_t> ogg = EncodeOggVorbis(mix.left, mix.right, kRate, 0.2f);
        if (ogg.empty()) {
            ++out.failures;
            continue;
        }
        SaveBytes(out, song->file, ogg.data(), ogg.size());
    }
}

}  // namespace tessel::gamedata
