// A tiny .x writer for the tests: the same calls write a text file or a
// binary token stream (4- or 8-byte floats), so one recipe gives a model in
// every form the reader takes. Binary integers go out as one list per call.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace tessel_test {

enum class XForm { kText, kBinary, kBinary64 };

class XWriter {
  public:
    explicit XWriter(XForm form) : form_(form) {
        const char* format = form == XForm::kText ? "txt " : "bin ";
        const char* floats = form == XForm::kBinary64 ? "0064" : "0032";
        Raw(std::string("xof 0303") + format + floats);
        if (form == XForm::kText) {
            Raw("\n");
        }
    }

    bool text() const { return form_ == XForm::kText; }

    XWriter& Begin(const std::string& templateName, const std::string& name = "") {
        if (text()) {
            Raw(templateName + (name.empty() ? "" : " " + name) + " {\n");
            return *this;
        }
        Name(templateName);
        if (!name.empty()) {
            Name(name);
        }
        Kind(10);
        return *this;
    }
    XWriter& End() {
        if (text()) {
            Raw("}\n");
        } else {
            Kind(11);
        }
        return *this;
    }
    XWriter& Reference(const std::string& name, bool blanks = false) {
        if (text()) {
            Raw(blanks ? "{ " + name + " }\n" : "{" + name + "}\n");
        } else {
            Kind(10);
            Name(name);
            Kind(11);
        }
        return *this;
    }
    XWriter& Ints(const std::vector<int32_t>& values) {
        if (text()) {
            for (int32_t v : values) {
                Raw(std::to_string(v) + ";");
            }
            Raw("\n");
            return *this;
        }
        Kind(6);
        U32(static_cast<uint32_t>(values.size()));
        for (int32_t v : values) {
            U32(static_cast<uint32_t>(v));
        }
        return *this;
    }
    XWriter& Floats(const std::vector<double>& values) {
        if (text()) {
            char number[64];
            for (double v : values) {
                std::snprintf(number, sizeof number, "%.9g,", v);
                Raw(number);
            }
            Raw(";\n");
            return *this;
        }
        Kind(7);
        U32(static_cast<uint32_t>(values.size()));
        for (double v : values) {
            if (form_ == XForm::kBinary64) {
                Bytes(&v, 8);
            } else {
                const float narrow = static_cast<float>(v);
                Bytes(&narrow, 4);
            }
        }
        return *this;
    }
    // An array of float groups (vectors, coordinates) as other tools write
    // it in text: "x;y;z;," and the last "x;y;z;;". Binary: one float list.
    XWriter& Vectors(const std::vector<double>& values, size_t group) {
        if (!text()) {
            return Floats(values);
        }
        char number[64];
        for (size_t i = 0; i < values.size(); ++i) {
            std::snprintf(number, sizeof number, "%.9g;", values[i]);
            Raw(number);
            if ((i + 1) % group == 0) {
                Raw(i + 1 == values.size() ? ";\n" : ",\n");
            }
        }
        return *this;
    }
    // A face count and faces: "3;0,1,2;," and the last "3;0,1,2;;".
    // Binary: one integer list.
    XWriter& Faces(const std::vector<std::vector<int32_t>>& faces) {
        std::vector<int32_t> words = {static_cast<int32_t>(faces.size())};
        if (!text()) {
            for (const std::vector<int32_t>& face : faces) {
                words.push_back(static_cast<int32_t>(face.size()));
                words.insert(words.end(), face.begin(), face.end());
            }
            return Ints(words);
        }
        Raw(std::to_string(faces.size()) + ";\n");
        for (size_t f = 0; f < faces.size(); ++f) {
            Raw(std::to_string(faces[f].size()) + ";");
            for (size_t k = 0; k < faces[f].size(); ++k) {
                Raw(std::to_string(faces[f][k]) + (k + 1 == faces[f].size() ? ";" : ","));
            }
            Raw(f + 1 == faces.size() ? ";\n" : ",\n");
        }
        return *this;
    }
    XWriter& String(const std::string& value) {
        if (text()) {
            Raw("\"" + value + "\";\n");
            return *this;
        }
        Kind(2);
        U32(static_cast<uint32_t>(value.size()));
        Raw(value);
        return Kind(20);  // its terminator, a semicolon token
    }
    // Text only: anything, as written.
    XWriter& Raw(const std::string& text) {
        data_.insert(data_.end(), text.begin(), text.end());
        return *this;
    }
    // Binary only: a bare token kind, or a 32-bit word.
    XWriter& Kind(uint16_t kind) { return Bytes(&kind, 2); }
    XWriter& U32(uint32_t value) { return Bytes(&value, 4); }
    XWriter& Name(const std::string& name) {
        Kind(1);
        U32(static_cast<uint32_t>(name.size()));
        return Raw(name);
    }

    const std::vector<uint8_t>& data() const { return data_; }

  private:
    XWriter& Bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
        return *this;
    }

    XForm form_;
    std::vector<uint8_t> data_;
};

}  // namespace tessel_test
