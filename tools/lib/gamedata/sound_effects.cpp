// The 22 sound effects, each a short recipe of oscillators, sweeps and noise,
// written as 16-bit mono PCM WAVs at 22050 Hz.
#include <functional>

#include "tools/lib/gamedata/gamedata_internal.h"
#include "tools/lib/gamedata/synth.h"

namespace tessel::gamedata {

namespace {

constexpr int kRate = 22050;

// Renders `seconds` of a voice given the time in seconds and a running phase
// the voice advances itself.
std::vector<float> Render(double seconds, const std::function<float(double t)>& voice) {
    std::vector<float> samples(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = voice(static_cast<double>(i) / kRate);
    }
    return samples;
}

// A tone whose frequency glides exponentially from f0 to f1 over `length`.
struct Glide {
    double f0, f1, length;
    double phase = 0.0;
    double Step(double t) {
        const double k = std::min(1.0, t / length);
        phase += f0 * std::pow(f1 / f0, k) / kRate;
        return phase;
    }
};

std::vector<float> Blip(double f0, double f1, double length, int wave, float volume) {
    Glide glide{f0, f1, length};
    return Render(length, [&](double t) {
        const double p = glide.Step(t);
        const float w = wave == 0 ? SineWave(p) : wave == 1 ? SquareWave(p) : TriangleWave(p);
        return volume * w * Envelope(t, 0.003, length * 0.6, length);
    });
}

// Notes one after another (MIDI numbers), each `step` seconds, ringing out.
std::vector<float> Arpeggio(std::initializer_list<int> notes, double step, double ring, int wave,
                            float volume) {
    const std::vector<int> list(notes);
    const double length = step * static_cast<double>(list.size()) + ring;
    return Render(length, [&](double t) {
        float sum = 0.0f;
        for (size_t i = 0; i < list.size(); ++i) {
            const double start = step * static_cast<double>(i);
            const double local = t - start;
            if (local < 0.0) {
                continue;
            }
            const double p = MidiToHz(list[i]) * local;
            const float w = wave == 0 ? SineWave(p) : SquareWave(p, 0.25);
            sum += w * Envelope(local, 0.002, ring * 0.5, ring + step);
        }
        return volume * sum;
    });
}

std::vector<float> NoiseBurst(double length, double cutoff, double decay, float volume,
                              uint32_t seed) {
    Dice dice(seed);
    LowPass filter(cutoff, kRate);
    return Render(length, [&](double t) {
        return volume * filter(Noise(dice)) * Envelope(t, 0.001, decay, length);
    });
}

void Mix(std::vector<float>& into, const std::vector<float>& other, float gain = 1.0f) {
    if (into.size() < other.size()) {
        into.resize(other.size(), 0.0f);
    }
    for (size_t i = 0; i < other.size(); ++i) {
        into[i] += gain * other[i];
    }
}

std::vector<float> Bomb() {
    std::vector<float> out = NoiseBurst(1.4, 900, 0.45, 0.6f, 4);
    Glide glide{140, 35, 1.0};
    Mix(out, Render(1.2, [&](double t) {
            return 0.5f * SineWave(glide.Step(t)) * Envelope(t, 0.005, 0.4, 1.2);
        }));
    return out;
}

std::vector<float> Death() {
    std::vector<float> out = Blip(900, 70, 0.8, 1, 0.35f);
    Mix(out, NoiseBurst(0.8, 2500, 0.25, 0.5f, 8));
    return out;
}

std::vector<float> Kill() {
    std::vector<float> out = NoiseBurst(0.3, 3000, 0.08, 0.45f, 9);
    Mix(out, Blip(300, 60, 0.2, 0, 0.4f));
    return out;
}

std::vector<float> Laser() {
    Glide glide{300, 1400, 0.6};
    return Render(0.7, [&](double t) {
        const double p = glide.Step(t) + 0.02 * std::sin(kTwoPi * 30 * t);
        return 0.3f * (SawWave(p) + 0.5f * SquareWave(p * 0.5)) * Envelope(t, 0.02, 0.4, 0.7);
    });
}

std::vector<float> MetalRing() {
    return Render(0.2, [](double t) {
        const double modulator = std::sin(kTwoPi * 1730 * t) * 2.5 * std::exp(-t * 20);
        return 0.45f * static_cast<float>(std::sin(kTwoPi * 1240 * t + modulator)) *
               Envelope(t, 0.001, 0.06, 0.2);
    });
}

std::vector<float> Pluck() {
    return Render(0.25, [](double t) {
        const float body = SawWave(520 * t) * static_cast<float>(std::exp(-t * 25));
        return 0.4f * (body + 0.6f * SineWave(260 * t)) * Envelope(t, 0.001, 0.07, 0.25);
    });
}

// A cat's call: a buzzy tone through two moving resonances, pitch rising then falling.
std::vector<float> Cat() {
    double phase = 0.0;
    LowPass low(900, kRate);
    LowPass high(2400, kRate);
    return Render(0.7, [&](double t) {
        const double shape = std::sin(3.14159265 * std::min(1.0, t / 0.7));
        const double pitch = 420 + 380 * shape - 120 * t;
        phase += pitch / kRate;
        low.SetCutoff(700 + 1500 * shape, kRate);
        high.SetCutoff(1800 + 1800 * shape, kRate);
        const float source = SawWave(phase);
        const float voiced = 0.7f * low(source) + 0.3f * (high(source) - low(source) * 0.5f);
        return 0.8f * voiced * Envelope(t, 0.05, 0.5, 0.7);
    });
}

}  // namespace

void MakeSoundEffects(Output& out) {
    struct Effect {
        const char* name;
        std::function<std::vector<float>()> make;
    };
    const Effect effects[] = {
        {"select", [] { return Blip(880, 1320, 0.06, 1, 0.25f); }},
        {"cancel", [] { return Blip(660, 300, 0.14, 2, 0.45f); }},
        {"check",
         [] {
             return Arpeggio({84, 91}, 0.05, 0.25, 0, 0.35f);
         }},
        {"pshot", [] { return NoiseBurst(0.05, 5000, 0.015, 0.25f, 1); }},
        {"bomb", Bomb},
        {"item",
         [] {
             return Arpeggio({88, 93, 96}, 0.03, 0.08, 0, 0.3f);
         }},
        {"extend",
         [] {
             return Arpeggio({72, 76, 79, 84, 88}, 0.07, 0.3, 1, 0.18f);
         }},
        {"graze", [] { return NoiseBurst(0.06, 9000, 0.02, 0.35f, 2); }},
        {"death", Death},
        {"kill", Kill},
        {"eshot_a", [] { return Blip(1300, 600, 0.08, 0, 0.3f); }},
        {"eshot_b", [] { return Blip(900, 380, 0.1, 2, 0.35f); }},
        {"eshot_c",
         [] {
             return Arpeggio({81, 76}, 0.04, 0.06, 1, 0.15f);
         }},
        {"eshot_k", MetalRing},
        {"eshot_f", [] { return NoiseBurst(0.18, 700, 0.06, 0.6f, 3); }},
        {"eshot_p", Pluck},
        {"laser", Laser},
        {"hit", [] { return NoiseBurst(0.06, 6000, 0.015, 0.4f, 5); }},
        {"hit2", [] { return Blip(220, 90, 0.09, 0, 0.6f); }},
        {"timer", [] { return Blip(1000, 1000, 0.1, 1, 0.22f); }},
        {"level",
         [] {
             return Arpeggio({67, 71, 74, 79, 83, 86}, 0.06, 0.4, 1, 0.14f);
         }},
        {"cat", Cat},
    };
    for (const Effect& effect : effects) {
        const std::vector<uint8_t> wav = EncodeWav(effect.make(), kRate);
        SaveBytes(out, std::string("sound/se/") + effect.name + ".wav", wav.data(), wav.size());
    }
}

}  // namespace tessel::gamedata
