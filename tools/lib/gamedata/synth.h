// The generator's sound kit: oscillators, envelopes and a one-pole filter
// over float samples, and the two file writers (PCM WAV, Ogg Vorbis).
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/lib/gamedata/canvas.h"

namespace tessel::gamedata {

constexpr double kTwoPi = 6.283185307179586;

// Waveforms of a phase in cycles (any real; its fraction counts).
inline float SineWave(double phase) {
    return static_cast<float>(std::sin(kTwoPi * phase));
}
inline float SquareWave(double phase, double duty = 0.5) {
    return phase - std::floor(phase) < duty ? 1.0f : -1.0f;
}
inline float SawWave(double phase) {
    return static_cast<float>(2.0 * (phase - std::floor(phase)) - 1.0);
}
inline float TriangleWave(double phase) {
    const double f = phase - std::floor(phase);
    return static_cast<float>(f < 0.5 ? 4.0 * f - 1.0 : 3.0 - 4.0 * f);
}

// A one-pole low-pass filter; `cutoff` in Hz.
class LowPass {
  public:
    LowPass(double cutoff, double rate) { SetCutoff(cutoff, rate); }
    void SetCutoff(double cutoff, double rate) {
        coefficient_ = static_cast<float>(1.0 - std::exp(-kTwoPi * cutoff / rate));
    }
    float operator()(float x) {
        state_ += coefficient_ * (x - state_);
        return state_;
    }

  private:
    float coefficient_ = 1.0f;
    float state_ = 0.0f;
};

// Attack then exponential decay, 0 after `length` seconds.
inline float Envelope(double t, double attack, double decay, double length) {
    if (t < 0.0 || t >= length) {
        return 0.0f;
    }
    const double rise = attack > 0.0 && t < attack ? t / attack : 1.0;
    const double tail = std::min(1.0, (length - t) / 0.01);  // no click at the end
    return static_cast<float>(rise * std::exp(-t / decay) * tail);
}

inline float MidiToHz(double note) {
    return static_cast<float>(440.0 * std::pow(2.0, (note - 69.0) / 12.0));
}

// White noise in -1..1 from a deterministic generator.
inline float Noise(Dice& dice) {
    return dice.Unit() * 2.0f - 1.0f;
}

// Mono 16-bit PCM WAV bytes of samples in -1..1 (clipped).
std::vector<uint8_t> EncodeWav(const std::vector<float>& samples, int rate);
// Stereo (interleaved left, right) Ogg Vorbis at a quality of -0.1..1; empty on failure.
std::vector<uint8_t> EncodeOggVorbis(const std::vector<float>& left,
                                     const std::vector<float>& right, int rate, float quality);

}  // namespace tessel::gamedata
