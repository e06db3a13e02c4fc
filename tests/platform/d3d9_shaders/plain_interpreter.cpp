// The plain interpreter (plain_interpreter.h).
#include "plain_interpreter.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace shadertest {
namespace {

using Vec = std::array<float, 4>;

struct State {
    const float (*c)[4] = nullptr;
    PlainVertex* v = nullptr;
    Vec r[12]{};
    int a0[4]{};
    int ints[16][4]{};
    float defs[256][4]{};
    bool defined[256]{};
};

uint32_t RegType(uint32_t t) {
    return ((t >> 28) & 7u) | (((t >> 11) & 3u) << 3);
}

Vec Read(State& s, const uint32_t* p, int* used, int rowOffset = 0) {
    uint32_t t = p[0];
    uint32_t type = RegType(t);
    int index = static_cast<int>(t & 0x7FF) + rowOffset;
    *used = 1;
    Vec raw{};
    if (type == 0) {
        raw = s.r[index];
    } else if (type == 1) {
        raw = s.v->inputs[index];
    } else if (type == 2) {
        if (t & (1u << 13)) {
            uint32_t a = p[1];
            *used = 2;
            index += s.a0[(a >> 16) & 3];
        }
        if (index >= 0 && index < 256) {
            const float* src = s.defined[index] ? s.defs[index] : s.c[index];
            for (int i = 0; i < 4; ++i)
                raw[i] = src[i];
        }
    }
    Vec out;
    for (int i = 0; i < 4; ++i)
        out[i] = raw[(t >> (16 + 2 * i)) & 3];
    uint32_t mod = (t >> 24) & 15;
    for (float& f : out) {
        if (mod == 1)
            f = -f;
        else if (mod == 11)
            f = std::fabs(f);
        else if (mod == 12)
            f = -std::fabs(f);
    }
    return out;
}

void Write(State& s, uint32_t t, const Vec& value) {
    uint32_t type = RegType(t);
    uint32_t index = t & 0x7FF;
    uint32_t mask = (t >> 16) & 15;
    bool sat = ((t >> 20) & 1) != 0;
    Vec* dst = nullptr;
    if (type == 0)
        dst = &s.r[index];
    else if (type == 4 && index == 0)
        dst = &s.v->pos;
    else if (type == 5)
        dst = &s.v->colour[index];
    else if (type == 6)
        dst = &s.v->tex[index];
    if (dst == nullptr)
        return;
    for (int i = 0; i < 4; ++i) {
        if (!(mask & (1u << i)))
            continue;
        float f = value[i];
        if (sat)
            f = f > 0.0f ? (f < 1.0f ? f : 1.0f) : 0.0f;
        (*dst)[i] = f;
    }
}

float Dot(const Vec& a, const Vec& b, int n) {
    float sum = a[0] * b[0];
    for (int i = 1; i < n; ++i)
        sum = sum + a[i] * b[i];
    return sum;
}

Vec All(float f) {
    return {f, f, f, f};
}

}  // namespace

bool RunPlain(const std::vector<uint32_t>& tokens, const float (*constants)[4],
              PlainVertex* vertex) {
    State s;
    s.c = constants;
    s.v = vertex;
    struct Rep {
        size_t start;
        int remaining;
    };
    std::vector<Rep> reps;
    size_t i = 1;
    while (i < tokens.size() && tokens[i] != 0x0000FFFFu) {
        uint32_t t = tokens[i];
        uint32_t op = t & 0xFFFF;
        size_t length = (t >> 24) & 15;
        const uint32_t* p = &tokens[i + 1];
        size_t next = i + 1 + length;
        if (op == 0xFFFE) {
            i += 1 + ((t >> 16) & 0x7FFF);
            continue;
        }
        if (op == 31) {  // dcl
            i = next;
            continue;
        }
        if (op == 81) {  // def
            int reg = p[0] & 0x7FF;
            std::memcpy(s.defs[reg], p + 1, 16);
            s.defined[reg] = true;
            i = next;
            continue;
        }
        if (op == 48) {  // defi
            std::memcpy(s.ints[p[0] & 0x7FF], p + 1, 16);
            i = next;
            continue;
        }
        if (op == 38) {  // rep
            int count = s.ints[p[0] & 0x7FF][0];
            if (count <= 0)
                return false;  // the generator never makes one
            reps.push_back({next, count});
            i = next;
            continue;
        }
        if (op == 39) {  // endrep
            if (--reps.back().remaining > 0) {
                i = reps.back().start;
            } else {
                reps.pop_back();
                i = next;
            }
            continue;
        }
        uint32_t dst = p[0];
        int used = 0, offset = 1;
        Vec a{}, b{}, c{};
        auto src = [&](Vec* out) {
            *out = Read(s, p + offset, &used);
            offset += used;
        };
        Vec out{};
        switch (op) {
            case 1:  // mov
                src(&a);
                out = a;
                break;
            case 2:
                src(&a), src(&b);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] + b[k];
                break;
            case 3:
                src(&a), src(&b);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] - b[k];
                break;
            case 4:
                src(&a), src(&b), src(&c);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] * b[k] + c[k];
                break;
            case 5:
                src(&a), src(&b);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] * b[k];
                break;
            case 6: {  // rcp
                src(&a);
                float x = a[3];
                out = All(x == 1.0f ? 1.0f : (x == 0.0f ? INFINITY : 1.0f / x));
                break;
            }
            case 7: {  // rsq
                src(&a);
                float x = std::fabs(a[3]);
                out = All(x == 1.0f ? 1.0f : (x == 0.0f ? INFINITY : 1.0f / std::sqrt(x)));
                break;
            }
            case 8:
                src(&a), src(&b);
                out = All(Dot(a, b, 3));
                break;
            case 9:
                src(&a), src(&b);
                out = All(Dot(a, b, 4));
                break;
            case 10:
                src(&a), src(&b);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] < b[k] ? a[k] : b[k];
                break;
            case 11:
                src(&a), src(&b);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] >= b[k] ? a[k] : b[k];
                break;
            case 12:
                src(&a), src(&b);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] < b[k] ? 1.0f : 0.0f;
                break;
            case 13:
                src(&a), src(&b);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] >= b[k] ? 1.0f : 0.0f;
                break;
            case 14:
                src(&a);
                out = All(std::exp2(a[3]));
                break;
            case 15: {
                src(&a);
                float x = std::fabs(a[3]);
                out = All(x != 0.0f ? std::log2(x) : -FLT_MAX);
                break;
            }
            case 16: {  // lit
                src(&a);
                float power = a[3];
                if (power < -127.9961f)
                    power = -127.9961f;
                if (power > 127.9961f)
                    power = 127.9961f;
                out = {1.0f, 0.0f, 0.0f, 1.0f};
                if (a[0] > 0.0f) {
                    out[1] = a[0];
                    if (a[1] > 0.0f)
                        out[2] = std::pow(a[1], power);
                }
                break;
            }
            case 17:  // dst
                src(&a), src(&b);
                out = {1.0f, a[1] * b[1], a[2], b[3]};
                break;
            case 18:
                src(&a), src(&b), src(&c);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] * (b[k] - c[k]) + c[k];
                break;
            case 19:
                src(&a);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] - std::floor(a[k]);
                break;
            case 20:
            case 21:
            case 23: {  // m4x4, m4x3, m3x3
                int n = op == 23 ? 3 : 4, rows = op == 20 ? 4 : 3;
                src(&a);
                for (int r = 0; r < rows; ++r) {
                    Vec row = Read(s, p + offset, &used, r);
                    out[r] = Dot(a, row, n);
                }
                break;
            }
            case 32:
                src(&a), src(&b);
                out = All(std::pow(std::fabs(a[3]), b[3]));
                break;
            case 33:
                src(&a), src(&b);
                out = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                       a[0] * b[1] - a[1] * b[0], 0.0f};
                break;
            case 34:
                src(&a);
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] > 0.0f ? 1.0f : (a[k] < 0.0f ? -1.0f : 0.0f);
                break;
            case 35:
                src(&a);
                for (int k = 0; k < 4; ++k)
                    out[k] = std::fabs(a[k]);
                break;
            case 36: {
                src(&a);
                float d = Dot(a, a, 3);
                float f = d != 0.0f ? 1.0f / std::sqrt(d) : FLT_MAX;
                for (int k = 0; k < 4; ++k)
                    out[k] = a[k] * f;
                break;
            }
            case 37:  // sincos
                src(&a);
                out = {std::cos(a[3]), std::sin(a[3]), 0.0f, 0.0f};
                break;
            case 46: {  // mova
                src(&a);
                uint32_t mask = (dst >> 16) & 15;
                for (int k = 0; k < 4; ++k) {
                    if (!(mask & (1u << k)))
                        continue;
                    float v = std::floor(a[k] + 0.5f);
                    v = v > -65536.0f ? (v < 65536.0f ? v : 65536.0f) : -65536.0f;
                    s.a0[k] = static_cast<int>(v);
                }
                i = next;
                continue;
            }
            default:
                return false;
        }
        Write(s, dst, out);
        i = next;
    }
    return true;
}

}  // namespace shadertest
