// The fields of one data-table line, taken in order as a scanf would take
// them: each conversion skips blanks first, and the first one that fails ends
// the line, leaving its target and every later one as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace table_fields {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Names are cut at a width; numbers saturate at the int32 range instead of
// overflowing (the tables' range checks then refuse them).
class FieldScanner {
  public:
    explicit FieldScanner(const char* text) : at_(text) {}

    FieldScanner& Int(int32_t* out) {
        if (ok_ && ScanInt(out)) {
            ++count_;
        } else {
            ok_ = false;
        }
        return *this;
    }
    FieldScanner& Real(double* out) {
        if (ok_ && ScanReal(out)) {
            ++count_;
        } else {
            ok_ = false;
        }
        return *this;
    }
    // At most size - 1 characters are kept; the rest of the word is passed over.
    FieldScanner& Word(char* out, size_t size) {
        if (ok_ && ScanWord(out, size)) {
            ++count_;
        } else {
            ok_ = false;
        }
        return *this;
    }
    int count() const { return count_; }

  private:
    void SkipBlanks() {
        while (IsBlank(*at_)) {
            ++at_;
        }
    }
    // Saturates at the int32 range instead of overflowing; such values are
    // refused by the range checks that follow.
    bool ScanInt(int32_t* out) {
        SkipBlanks();
        const char* p = at_;
        bool negative = false;
        if (*p == '+' || *p == '-') {
            negative = *p == '-';
            ++p;
        }
        if (*p < '0' || *p > '9') {
            return false;
        }
        int64_t value = 0;
        for (; *p >= '0' && *p <= '9'; ++p) {
            if (value <= INT32_MAX) {
                value = value * 10 + (*p - '0');
            }
        }
        if (negative) {
            value = -value;
        }
        value = value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : value;
        *out = static_cast<int32_t>(value);
        at_ = p;
        return true;
    }
    bool ScanReal(double* out) {
        SkipBlanks();
        char* end = nullptr;
        double value = std::strtod(at_, &end);
        if (end == at_) {
            return false;
        }
        *out = value;
        at_ = end;
        return true;
    }
    bool ScanWord(char* out, size_t size) {
        SkipBlanks();
        if (*at_ == '\0') {
            return false;
        }
        size_t n = 0;
        for (; *at_ != '\0' && !IsBlank(*at_); ++at_) {
            if (n + 1 < size) {
                out[n++] = *at_;
            }
        }
        out[n] = '\0';
        return true;
    }

    const char* at_;
    int count_ = 0;
    bool ok_ = true;
};

}  // namespace table_fields
