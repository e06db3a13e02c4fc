// Writes the seed corpus of every fuzz target: small valid files of each
// layout the loaders take, made by the test fixtures' recipes and by our own
// writers and packers. Run once after a loader learns a new layout, and keep
// what it writes under tests/fuzz/corpus/.
//
//   fuzz_make_seeds CORPUS_ROOT
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "foundation/files/archive.h"
#include "foundation/files/files_test_support.h"
#include "images/image_samples.h"
#include "images/image_test_support.h"
#include "images/image_writer.h"
#include "models/core/model_system.h"
#include "models/loading/model_loading.h"
#include "models/pmd/pmd_rig.h"
#include "models/read/read_model_conversion.h"
#include "models/tsm/tsm_fixture.h"
#include "models/xfile/x_sample_models.h"
#include "platform/d3d9/shaders/shader_builder.h"
#include "platform/kernel/files.h"
#include "sound/decoder_test_support.h"
#include "support/audio_oracles.h"
#include "support/media_clips.h"
#include "tools/archive_test_support.h"
#include "tools/lib/archive_pack.h"
#include "tools/lib/gamedata/gamedata_internal.h"
#include "tools/lib/gamedata/synth.h"
#include "tools/lib/lz_compress.h"
#include "tools/lib/pmd_character.h"
#include "tools/lib/sample_data.h"
#include "tools/lib/theora_clip.h"
#include "tools/lib/tsm_writer.h"
#include "tools/shadergen/shader_generator.h"

namespace {

using tessel_test::Bytes;

std::string corpusRoot;
int written = 0;

void Put(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::string dir = corpusRoot + "/" + target;
    mkdir(dir.c_str(), 0755);
    FILE* file = std::fopen((dir + "/" + name).c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name.c_str());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    ++written;
}

Bytes FromString(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// An image seed goes to its loader's target and to the chain's, named
// "<format>_<layout>" in both.
void PutImage(const std::string& format, const std::string& layout, const Bytes& bytes) {
    Put("image_" + format, format + "_" + layout, bytes);
    Put("image_chain", format + "_" + layout, bytes);
}

// "bmp 16 fields, high bits" goes to image_bmp as bmp_16_fields_high_bits.
void SharedImageSeeds() {
    for (const tessel_test::ImageSample& sample : tessel_test::SmallImageSamples()) {
        const std::string name = sample.name;
        std::string layout;
        for (char c : name.substr(name.find(' ') + 1)) {
            const bool word = std::isalnum(static_cast<unsigned char>(c)) != 0;
            if (word || (!layout.empty() && layout.back() != '_')) {
                layout += word ? c : '_';
            }
        }
        PutImage(name.substr(0, name.find(' ')), layout, sample.file);
    }
}

// Layouts the shared samples leave out.
void MoreImageSeeds() {
    using namespace tessel_test;
    BmpRecipe fields32;
    fields32.width = 2;
    fields32.height = 1;
    fields32.bits = 32;
    fields32.compression = 3;
    fields32.headerSize = 108;
    fields32.table = {0xFF0000, 0xFF00, 0xFF};
    fields32.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    PutImage("bmp", "fields32_v4_header", MakeBmp(fields32));

    TgaRecipe true32;
    true32.width = 2;
    true32.height = 2;
    true32.pixelBits = 32;
    true32.descriptor = 0x28;
    true32.id = {'i', 'd'};
    true32.data = SmallRgb(2, 2, 4);
    PutImage("tga", "true32_with_id", MakeTga(true32));
    TgaRecipe grey;
    grey.type = 3;
    grey.width = 3;
    grey.height = 1;
    grey.pixelBits = 8;
    grey.descriptor = 0;
    grey.data = {10, 128, 250};
    PutImage("tga", "grey", MakeTga(grey));

    DdsRecipe dxt1;
    dxt1.width = 5;
    dxt1.height = 3;
    dxt1.pixelFlags = 4;
    dxt1.fourCc = FourCcOf("DXT1");
    dxt1.data = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x1B, 0x4E, 0x93,
                 0xFF, 0xFF, 0x00, 0x00, 0x55, 0xAA, 0x55, 0xAA};
    PutImage("dds", "dxt1_partial_blocks", MakeDds(dxt1));
    DdsRecipe code;
    code.width = 2;
    code.height = 2;
    code.flags |= 0x8;
    code.pitch = 12;
    code.pixelFlags = 4;
    code.fourCc = 20;  // 24-bit by format code
    code.data = SmallRgb(4, 2, 3);
    PutImage("dds", "format_code_pitch", MakeDds(code));

    Bytes bgra = {'B', 'G', 'R', 'A'};
    PutLe32(&bgra, 0x08080808);
    PutLe32(&bgra, 3);
    PutLe32(&bgra, 2);
    const Bytes pixels = SmallRgb(3, 2, 4);
    bgra.insert(bgra.end(), pixels.begin(), pixels.end());
    PutImage("bgra", "channels8", bgra);

    PngRecipe grey16;
    grey16.width = 2;
    grey16.height = 2;
    grey16.bitDepth = 16;
    grey16.colorType = PNG_COLOR_TYPE_GRAY;
    grey16.greyTransparency = true;
    grey16.rows = {0, 0, 0x12, 0x34, 0xAB, 0xCD, 0xFF, 0xFF};
    PutImage("png", "grey16_trns", MakePng(grey16));
    PngRecipe greyAlpha;
    greyAlpha.width = 2;
    greyAlpha.height = 1;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    greyAlpha.rows = {10, 200, 240, 30};
    PutImage("png", "grey_alpha", MakePng(greyAlpha));
}

// The library's own writers, over one small picture with alpha.
void WrittenImageSeeds() {
    tessel::BASEIMAGE image = {};
    if (tessel::CreateArgbImageBuffer(5, 3, &image) != 0) {
        return;
    }
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const uint32_t c = tessel_test::TestColour(x, y);
            tessel::WriteImagePixel(&image, x, y, c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF, x * 50);
        }
    }
    const std::string scratch = corpusRoot + "/written.tmp";
    const std::string windows = platform::WindowsPathFromLinux(scratch);
    struct Writer {
        const char* format;
        int (*write)(const char* path, tessel::BASEIMAGE* image);
    };
    const Writer writers[] = {
        {"bmp", [](const char* p, tessel::BASEIMAGE* i) { return tessel::SaveImageAsBmp(p, i); }},
        {"png",
         [](const char* p, tessel::BASEIMAGE* i) { return tessel::SaveImageAsPng(p, i, 6); }},
        {"jpeg",
         [](const char* p, tessel::BASEIMAGE* i) { return tessel::SaveImageAsJpeg(p, i, 80); }},
    };
    for (const Writer& writer : writers) {
        if (writer.write(windows.c_str(), &image) == 0) {
            const std::string bytes = tessel_test::ReadWholeFile(scratch);
            PutImage(writer.format, "written", FromString(bytes));
        }
        std::remove(scratch.c_str());
    }
    tessel::ReleaseImageBuffer(&image);
}

void ArchiveSeeds() {
    tessel_test::FileTree tree;
    tree["a.txt"] = tessel_test::RepeatingBytes(300);
    tree["d\\b.bin"] = tessel_test::NoiseBytes(40, 1);
    tree["d\\e\\c.txt"] = "";
    tree["データ\\表.csv"] = "a,b\r\n1,2\r\n";
    struct Variant {
        const char* name;
        uint16_t version;
        bool compress;
        bool secondKey;
    };
    const Variant variants[] = {
        {"v4_packed", 4, true, false},    {"v4_stored", 4, false, false},
        {"v2_packed", 2, true, false},    {"v0", 0, false, false},
        {"v4_second_key", 4, true, true},
    };
    for (const Variant& v : variants) {
        tessel::ArchivePackOptions options;
        options.version = v.version;
        options.compress = v.compress;
        options.secondKey = v.secondKey;
        const Bytes bytes = tessel_test::BuildArchive(tree, options);
        for (const char* target : {"archive_memory", "archive_streamed", "archive_whole"}) {
            Put(target, v.name, bytes);
        }
    }
}

void LzSeeds() {
    struct Source {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Source sources[] = {
        {"text", tessel::MakeSampleText(600, 3)},
        {"image", tessel::MakeSampleImage(12, 8, 5)},
        {"noise", tessel::MakeRandomBytes(64, 9)},
        {"runs", std::vector<uint8_t>(300, 0xAB)},
        {"empty", {}},
    };
    for (const Source& source : sources) {
        for (int level : {1, 9}) {
            Bytes block;
            if (tessel::LzCompress(source.bytes.data(), source.bytes.size(), &block, level) == 0) {
                Put("lz_block", std::string(source.name) + "_level" + std::to_string(level), block);
            }
        }
    }
}

void CodePageSeeds() {
    // Byte 0 picks the code page (index into the target's table), byte 1 the
    // flags; the rest is text.
    struct Seed {
        const char* name;
        uint8_t page;
        uint8_t flags;
        std::string text;
    };
    const Seed seeds[] = {
        {"cp932", 2, 0, "表示\x81\x40ソ能ｱ abc"},
        {"cp932_strict_terminated", 2, 5, "データ\x81"},
        {"cp936", 3, 8, "\xC4\xE3\xBA\xC3 x"},
        {"cp949", 4, 2, "\xC7\xD1\xB1\xB9"},
        {"cp950", 5, 0, "\xA4\xA4\xA4\xE5"},
        {"utf8", 6, 1, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"utf16_surrogates", 7, 8, std::string("\x3D\xD8\x00\xDE\x00\xD8\x41\x00", 8)},
        {"cp1252", 7, 0, "na\xEFve"},
        {"unknown_page", 8, 0, "x"},
    };
    for (const Seed& seed : seeds) {
        Bytes bytes = {seed.page, seed.flags};
        bytes.insert(bytes.end(), seed.text.begin(), seed.text.end());
        Put("codepage", seed.name, bytes);
    }
}

// Two image files in one input for the model texture merge: switches, the
// colour file's length, the colour file, the alpha file.
void ModelTextureSeeds() {
    using namespace tessel_test;
    PngRecipe picture;
    picture.width = 3;
    picture.height = 5;
    for (int i = 0; i < 3 * 5; ++i) {
        picture.rows.insert(picture.rows.end(), {static_cast<uint8_t>(i * 17), 0x40, 0x80});
    }
    const Bytes colour = MakePng(picture);
    BmpRecipe mask;
    mask.width = 2;
    mask.height = 2;
    mask.pixels = {0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0, 0,
                   0x80, 0x80, 0x80, 0x40, 0x40, 0x40, 0, 0};
    const Bytes alpha = MakeBmp(mask);
    const struct {
        const char* name;
        uint8_t switches;
        bool withColour;
    } layouts[] = {
        {"colour_only", 0, true},
        {"normal_map_turned", 3, true},
        {"colour_and_alpha", 4, true},
        {"alpha_only", 4, false},
    };
    for (const auto& layout : layouts) {
        const size_t colourSize = layout.withColour ? colour.size() : 0;
        Bytes input = {layout.switches, static_cast<uint8_t>(colourSize),
                       static_cast<uint8_t>(colourSize >> 8)};
        if (layout.withColour) {
            input.insert(input.end(), colour.begin(), colour.end());
        }
        if ((layout.switches & 4) != 0) {
            input.insert(input.end(), alpha.begin(), alpha.end());
        }
        Put("model_texture_images", layout.name, input);
    }
}

void ConfigSeeds() {
    Put("config_word", "empty", {});
    Put("config_word", "short", {2});
    Put("config_word", "window_960", {1, 0, 0, 0x0A});
    Put("config_word", "full_1280_16bit", {2, 1, 1, 0x0F});
    Put("config_word", "long", {0, 2, 0, 0xF3, 0x55});
}

// Read models for the preparation: a square with keys to split and thin, a
// cube of quads with a hard smoothing angle, and a face naming no position.
void ReadModelPreparationSeeds() {
    auto keySet = [](Bytes* out, uint8_t kind, uint8_t target, bool table,
                     const std::vector<int8_t>& values, const std::vector<int8_t>& times) {
        const int floats = kind == 2                ? 12
                           : kind == 3              ? 9
                           : kind == 1              ? 3
                           : kind == 0 || kind == 7 ? 4
                                                    : 1;
        out->insert(out->end(), {kind, target, static_cast<uint8_t>(table ? 1 : 0),
                                 static_cast<uint8_t>(values.size() / floats)});
        out->insert(out->end(), values.begin(), values.end());
        if (table) {
            out->insert(out->end(), times.begin(), times.end());
        }
    };
    Bytes square = {0, 0, 4, 0, 0, 0, 16, 0, 0, 16, 16, 0, 0, 16, 0, 1, 4, 0, 1, 2, 3, 2};
    keySet(&square, 1, 10, true, {0, 8, 1, 3, 8, -2, 1, 8, 7, 8, 8, 0}, {0, 4, 12, 16});
    keySet(&square, 2, 15, true,
           {8, 0, 0, 0, 8, 0, 0, 0, 8, 1, 2, 3, 0, 8, 0, -8, 0, 0, 0, 0, 8, 4, 5, 6}, {0, 8});
    Put("read_model_preparation", "square_with_keys", square);
    Bytes cube = {0, 64, 8};
    for (int i = 0; i < 8; ++i) {
        cube.insert(cube.end(),
                    {static_cast<uint8_t>(i & 1 ? 16 : -16), static_cast<uint8_t>(i & 2 ? 16 : -16),
                     static_cast<uint8_t>(i & 4 ? 16 : -16)});
    }
    cube.push_back(6);
    for (const auto& quad : {std::vector<uint8_t>{0, 4, 6, 2},
                             {1, 3, 7, 5},
                             {0, 1, 5, 4},
                             {2, 6, 7, 3},
                             {0, 2, 3, 1},
                             {4, 5, 7, 6}}) {
        cube.push_back(4);
        cube.insert(cube.end(), quad.begin(), quad.end());
    }
    cube.push_back(0);
    Put("read_model_preparation", "cube_hard_edges", cube);
    Put("read_model_preparation", "face_without_position",
        {1, 0, 3, 0, 0, 0, 16, 0, 0, 0, 16, 0, 1, 3, 0, 1, 0xFF, 0});
}

// Read models for the conversion: a skinned quad of two materials with a
// shape, a pentagon without normals converted with its own smoothing, and a
// face naming a position that does not exist.
void ReadModelConversionSeeds() {
    Put("read_model_conversion", "skinned_quad",
        {0, 4, 0, 0, 0, 16, 0,  0, 0,  16, 0,  16, 16, 0, 2,  2, 3,  0, 1, 2, 0, 3, 2, 1,
         3, 1, 2, 0, 3, 0,  64, 1, 32, 2,  64, 1,  2,  1, 32, 3, 64, 1, 1, 2, 8, 0, 0});
    Put("read_model_conversion", "pentagon_own_smoothing",
        {10, 5, 0, 0, 0, 16, 0, 0, 20, 12, 0, 8, 24, 0, 0, 12, 0, 0, 1, 5, 0, 1, 2, 3, 4, 0, 0, 0});
    Put("read_model_conversion", "face_without_position",
        {0, 3, 0, 0, 0, 16, 0, 0, 0, 16, 0, 0, 1, 3, 0, 1, 7, 0, 0, 0});
}

// Sound files of every layout the decoder chain takes, a fraction of a second each.
// .x bodies behind the header each target puts in front: the full model,
// a small grid, and text with comments, references, skipped objects and a
// double-byte name; binary bodies lead with the float-size byte.
void XModelSeeds() {
    using tessel_test::XForm;
    auto body = [](const std::vector<uint8_t>& file) {
        return Bytes(file.begin() + 16, file.end());
    };
    Put("model_x_text", "full_model", body(tessel_test::FullModel(XForm::kText)));
    Put("model_x_text", "grid", body(tessel_test::GridModel(XForm::kText, 32)));
    Put("model_x_text", "skips_and_references",
        FromString("template Mesh { <3D82AB44-62DA-11cf-AB39-0020AF71E433> DWORD n; }\n"
                   "// a comment { \n# another }\nUnknown { { Inner } \"}\" }\n"
                   "Material Red { 1;0;0;1;; 5; 0;0;0;; 0;0;0;; TextureFilename { \"r.png\"; } }\n"
                   "Frame \x83\x7D\x83\x7B { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                   "MeshMaterialList { 1; 1; 0;; { Red } } } }\n"));
    for (XForm form : {XForm::kBinary, XForm::kBinary64}) {
        const std::string size = form == XForm::kBinary ? "32" : "64";
        Bytes full = {static_cast<uint8_t>(form == XForm::kBinary ? 0 : 1)};
        Bytes model = body(tessel_test::FullModel(form));
        full.insert(full.end(), model.begin(), model.end());
        Put("model_x_binary", "full_model_" + size, full);
        Bytes grid = {full[0]};
        Bytes gridBody = body(tessel_test::GridModel(form, 32));
        grid.insert(grid.end(), gridBody.begin(), gridBody.end());
        Put("model_x_binary", "grid_" + size, grid);
    }
}

void SoundSeeds() {
    using sound_test::PcmFormat;
    using sound_test::PutChunk;
    const std::vector<int16_t> mono = audio_oracles::MakeSignal(1500, 1, 8000);
    const std::vector<int16_t> stereo = audio_oracles::MakeSignal(1500, 2, 22050);
    struct Coded {
        const char* name;
        const std::vector<int16_t>* samples;
        int channels;
        int rate;
        int subformat;
    };
    const Coded coded[] = {
        {"pcm16_stereo", &stereo, 2, 22050, SF_FORMAT_PCM_16},
        {"pcm8_mono", &mono, 1, 8000, SF_FORMAT_PCM_U8},
        {"ima_mono", &mono, 1, 8000, SF_FORMAT_IMA_ADPCM},
        {"ima_stereo", &stereo, 2, 22050, SF_FORMAT_IMA_ADPCM},
        {"msadpcm_stereo", &stereo, 2, 22050, SF_FORMAT_MS_ADPCM},
        {"msadpcm_mono", &mono, 1, 8000, SF_FORMAT_MS_ADPCM},
        {"mulaw_mono", &mono, 1, 8000, SF_FORMAT_ULAW},
        {"alaw_stereo", &stereo, 2, 22050, SF_FORMAT_ALAW},
    };
    for (const Coded& c : coded) {
        Put("sound_wav", c.name,
            audio_oracles::WriteWav(*c.samples, c.channels, c.rate, c.subformat));
    }
    // The stream seeds: a choice byte (load mode, loop point, play type,
    // buffers), then the file.
    struct Played {
        const char* name;
        uint8_t choice;
        const Coded* file;
    };
    const Played played[] = {
        {"whole_once", 0x00, &coded[0]},
        {"streamed_looping_at_a_point", 0x07, &coded[1]},
        {"whole_made_a_stream_by_its_loop_point", 0x26, &coded[0]},
        {"streamed_adpcm_from_the_top", 0x09, &coded[2]},
    };
    for (const Played& p : played) {
        Bytes bytes = {p.choice};
        const Bytes wav = audio_oracles::WriteWav(*p.file->samples, p.file->channels, p.file->rate,
                                                  p.file->subformat);
        bytes.insert(bytes.end(), wav.begin(), wav.end());
        Put("sound_stream", p.name, bytes);
    }
    const Bytes data = sound_test::CountingBytes(301);
    Bytes chunks;
    PutChunk(&chunks, "bext", {1, 2, 3});
    PutChunk(&chunks, "fmt ", PcmFormat(1, 8000, 0, 1, false));
    PutChunk(&chunks, "junk", {9});
    PutChunk(&chunks, "data", data);
    Put("sound_wav", "bext_short_fmt_odd_chunks", sound_test::Riff(chunks));

    const Bytes frames =
        audio_oracles::EncodeMp3(audio_oracles::MakeSignal(6000, 1, 22050), 1, 22050, 32);
    Bytes tagged = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 20};
    tagged.resize(tagged.size() + 20, 'x');
    const uint8_t footer[10] = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 0, 20};
    tagged.insert(tagged.end(), footer, footer + 10);
    tagged.insert(tagged.end(), frames.begin(), frames.end());
    Bytes tag(128, ' ');
    tag[0] = 'T';
    tag[1] = 'A';
    tag[2] = 'G';
    tagged.insert(tagged.end(), tag.begin(), tag.end());
    Put("sound_mp3", "mpeg2_mono_id3v24_footer_tag", tagged);
    Put("sound_mp3", "mpeg1_stereo",
        audio_oracles::EncodeMp3(audio_oracles::MakeSignal(5000, 2, 44100), 2, 44100, 128));
    Bytes layer2;  // MPEG-2 layer II frame headers with silent bodies
    for (int i = 0; i < 3; ++i) {
        const uint8_t header[4] = {0xFF, 0xF5, 0x86, 0x00};
        layer2.insert(layer2.end(), header, header + 4);
        layer2.resize(layer2.size() + 381, 0);
    }
    Put("sound_mp3", "mpeg2_layer2_frames", layer2);
    // The conversion graph: frames behind a broken header, which only its
    // decoder gets past, and frames without audio.
    Bytes behindJunk = {0xFF, 0xF9, 0x90, 0x00, 0, 0, 0, 0};
    behindJunk.insert(behindJunk.end(), frames.begin(), frames.end());
    Put("sound_mp3_graph", "frames_behind_broken_header", behindJunk);
    Put("sound_mp3_graph", "mpeg2_layer2_frames", layer2);

    std::vector<float> left(4000);
    std::vector<float> right(4000);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = 0.5f * tessel::gamedata::SineWave(i * 440.0 / 22050);
        right[i] = 0.3f * tessel::gamedata::SineWave(i * 660.0 / 22050);
    }
    Put("sound_ogg", "stereo_22050", tessel::gamedata::EncodeOggVorbis(left, right, 22050, 0.0f));
}

// Small clips of every layout the movie decoder reads: pages of one frame or
// several, a Vorbis stream beside, the three chroma layouts, a clip cut
// inside a frame, and a clip with repeated (empty) frames.
void MovieSeeds() {
    struct Clip {
        const char* name;
        int frames;
        tessel::ClipChroma chroma;
        bool pagePerFrame;
        bool withVorbis;
    };
    const Clip clips[] = {
        {"numbered_420", 6, tessel::ClipChroma::k420, true, false},
        {"shared_pages", 9, tessel::ClipChroma::k420, false, false},
        {"with_vorbis", 5, tessel::ClipChroma::k420, true, true},
        {"chroma_422", 4, tessel::ClipChroma::k422, true, false},
        {"chroma_444", 4, tessel::ClipChroma::k444, false, false},
    };
    for (const Clip& c : clips) {
        tessel::TheoraClipOptions recipe;
        recipe.width = 32;
        recipe.height = 32;
        recipe.frames = c.frames;
        recipe.keyFrameInterval = 4;
        recipe.quality = 20;
        recipe.chroma = c.chroma;
        recipe.pagePerFrame = c.pagePerFrame;
        recipe.withVorbis = c.withVorbis;
        const std::vector<uint8_t> clip =
            tessel::EncodeTheoraClip(recipe, tessel::FrameNumberPainter());
        Put("movie_theora", c.name, clip);
        if (std::string(c.name) == "numbered_420" || std::string(c.name) == "with_vorbis") {
            Put("movie_open", c.name, clip);
        }
        if (c.pagePerFrame && !c.withVorbis && c.chroma == tessel::ClipChroma::k420) {
            Put("movie_theora", "cut_in_a_frame",
                Bytes(clip.begin(), clip.begin() + static_cast<long>(clip.size() * 3 / 4)));
        }
    }
    tessel::TheoraClipOptions repeats;
    repeats.width = 32;
    repeats.height = 32;
    repeats.frames = 6;
    repeats.keyFrameInterval = 4;
    repeats.quality = 20;
    repeats.repeated = {1, 4};
    Put("movie_theora", "repeated_frames",
        tessel::EncodeTheoraClip(repeats, tessel::FrameNumberPainter()));
}

// Media files for the media graph: MPEG audio, and clips of FFmpeg's
// encoders in two containers, with and without sound, and an Ogg Theora clip.
void MediaGraphSeeds() {
    std::vector<int16_t> signal = audio_oracles::MakeSignal(8000, 1, 22050);
    Put("media_graph", "mpeg_audio", audio_oracles::EncodeMp3(signal, 1, 22050, 32));
    struct ClipCase {
        const char* name;
        const char* container;
        bool sound;
    };
    const ClipCase clips[] = {
        {"mpeg4_avi", "avi", false},
        {"mpeg4_pcm_avi", "avi", true},
        {"mpeg4_pcm_matroska", "matroska", true},
    };
    for (const ClipCase& c : clips) {
        media_clips::ClipRecipe recipe;
        recipe.width = 16;
        recipe.height = 16;
        recipe.tops = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {200, 200, 200}};
        recipe.bottoms = {{30, 30, 200}, {200, 200, 200}, {200, 30, 30}, {30, 200, 30}};
        recipe.container = c.container;
        if (c.sound) {
            recipe.rate = 8000;
            recipe.channels = 1;
            recipe.pcm = audio_oracles::MakeSignal(3200, 1, 8000);
        }
        std::string scratch = corpusRoot + "/media_graph_scratch";
        if (!media_clips::WriteClip(scratch, recipe)) {
            std::fprintf(stderr, "cannot make the %s clip\n", c.name);
            continue;
        }
        FILE* file = std::fopen(scratch.c_str(), "rb");
        Bytes bytes;
        for (int ch; file != nullptr && (ch = std::fgetc(file)) != EOF;) {
            bytes.push_back(static_cast<uint8_t>(ch));
        }
        if (file != nullptr) {
            std::fclose(file);
        }
        std::remove(scratch.c_str());
        Put("media_graph", c.name, bytes);
        if (!c.sound || std::string(c.container) == "avi") {
            Put("movie_open", c.name, bytes);
        }
    }
    tessel::TheoraClipOptions theora;
    theora.width = 16;
    theora.height = 16;
    theora.frames = 4;
    theora.keyFrameInterval = 2;
    theora.quality = 20;
    theora.withVorbis = true;
    Put("media_graph", "ogg_theora_vorbis",
        tessel::EncodeTheoraClip(theora, tessel::FrameNumberPainter()));
}

}  // namespace

// Shader streams from the assembler, behind the byte that chooses the kind.
void ShaderSeeds() {
    using namespace platform::shader;
    auto put = [](const std::string& name, bool pixel, const std::vector<uint32_t>& tokens) {
        Bytes bytes{static_cast<uint8_t>(pixel ? 1 : 0)};
        for (uint32_t t : tokens) {
            for (int i = 0; i < 4; ++i)
                bytes.push_back(static_cast<uint8_t>(t >> (8 * i)));
        }
        Put("d3d9_shader", name, bytes);
    };
    ShaderBuilder lit = ShaderBuilder::Vertex();
    lit.DclInput(kUsagePosition, 0, V(0)).DclInput(kUsageNormal, 0, V(1));
    lit.DclInput(kUsageTexCoord, 0, V(2));
    lit.Emit(kOpM4x4, OPos(), {V(0), C(0)});
    lit.Emit(kOpDp3, R(0).Mask("x"), {V(1), -C(4)});
    lit.Emit(kOpMax, R(0).Mask("x"), {R(0), C(5).Swz("x")});
    lit.Emit(kOpMul, OD(0).Sat(), {C(6), R(0).Swz("x")});
    lit.Emit(kOpDp4, R(1).Mask("z"), {V(0), C(2)});
    lit.Emit(kOpMad, OFog().Mask("x"), {R(1).Swz("z"), C(7).Swz("x"), C(7).Swz("y")});
    lit.Emit(kOpMov, OT(0).Mask("xy"), {V(2)});
    put("vertex_lit_fog", false, lit.Finish());

    ShaderBuilder skin = ShaderBuilder::Vertex();
    skin.Def(0, 0, 1, 0, 3).DefI(0, 2, 0, 1, 0).DefB(0, true);
    skin.DclInput(kUsagePosition, 0, V(0)).DclInput(kUsageBlendIndices, 0, V(1));
    skin.Emit(kOpMul, R(0), {V(1), C(0).Swz("w")});
    skin.Emit(kOpMova, A0().Mask("xy"), {R(0)});
    skin.Emit(kOpMov, R(1), {C(0).Swz("x")});
    skin.Emit(kOpLoop, {AL(), I(0)});
    skin.Emit(kOpAdd, R(1), {R(1), C(10).RelLoop()});
    skin.Emit(kOpEndLoop);
    skin.Emit(kOpIf, {B(0)});
    skin.Emit(kOpDp4, R(2).Mask("x"), {V(0), C(10).RelA0(0)});
    skin.Emit(kOpElse);
    skin.Emit(kOpCall, {Label(0)});
    skin.Emit(kOpEndIf);
    skin.Emit(kOpAdd, OPos(), {R(1), R(2)});
    skin.Emit(kOpRet);
    skin.Emit(kOpLabel, {Label(0)});
    skin.Emit(kOpRep, {I(0)});
    skin.Emit(kOpSinCos, R(2).Mask("xy"), {V(0).Swz("w"), C(1), C(2)});
    skin.Emit(kOpEndRep);
    skin.Emit(kOpRet);
    put("vertex_skin_flow", false, skin.Finish());

    // Loop constants far outside their documented ranges (once an overflow of aL).
    ShaderBuilder wide = ShaderBuilder::Vertex();
    wide.DefI(0, 300, 1000, 0x7FFFFFFF, 0);
    wide.Emit(kOpMov, R(0), {C(0)});
    wide.Emit(kOpLoop, {AL(), I(0)});
    wide.Emit(kOpAdd, R(0), {R(0), C(0).RelLoop()});
    wide.Emit(kOpEndLoop);
    wide.Emit(kOpMov, OPos(), {R(0)});
    put("vertex_loop_out_of_range", false, wide.Finish());

    ShaderBuilder modulate = ShaderBuilder::Pixel();
    modulate.DclPixelInput(T(0)).DclPixelInput(V(0)).DclSampler(0);
    modulate.Comment({0x0000FFFFu, 0x53484452u});
    modulate.Emit(kOpTex, R(0), {T(0), S(0)});
    modulate.Emit(kOpTexKill, R(0), {});
    modulate.Emit(kOpCmp, R(1), {R(0).Mod(kSrcBias), C(0), V(0)});
    modulate.Emit(kOpMul, OC(0), {R(0), R(1)});
    put("pixel_modulate", true, modulate.Finish());

    ShaderBuilder projected = ShaderBuilder::Pixel();
    projected.Def(3, 0.25f, 0.5f, 0.75f, 1.0f).DclPixelInput(T(1)).DclSampler(2);
    projected.Emit(kOpTex, R(0), {T(1), S(2)}, kTexProject);
    projected.Emit(kOpDp2Add, R(1), {R(0), C(3), C(3).Swz("w")});
    projected.Emit(kOpLrp, OC(0).Sat(), {R(1), R(0), C(3)});
    projected.Emit(kOpMov, ODepth().Mask("x"), {C(3).Swz("y")});
    put("pixel_projected_depth", true, projected.Finish());
}

// MQO files: the game's floor, and small ones reaching materials, depths,
// dropped faces, colours and mirrors.
// Packs of the built-in shader pack's form with a few of the generator's shaders: the size
// table, then the blobs, LZ-packed into the archive's one file, the archive LZ-packed again.
Bytes ShaderPackOf(const std::vector<std::pair<int, std::vector<uint32_t>>>& shaders,
                   const char* fileName, int extraClaim) {
    const size_t table = (16384 + 6912) * 6 * 2;
    Bytes data(table, 0);
    for (const auto& [slot, tokens] : shaders) {
        const size_t bytes = tokens.size() * 4 + static_cast<size_t>(extraClaim);
        data[2 * slot] = static_cast<uint8_t>(bytes & 0xFF);
        data[2 * slot + 1] = static_cast<uint8_t>(bytes >> 8);
    }
    for (const auto& [slot, tokens] : shaders) {
        const auto* p = reinterpret_cast<const uint8_t*>(tokens.data());
        data.insert(data.end(), p, p + tokens.size() * 4);
    }
    Bytes packed;
    tessel::LzCompress(data.data(), data.size(), &packed);
    tessel::ArchiveBuilder archive;
    archive.AddFile(fileName, packed.data(), packed.size());
    tessel::ArchivePackOptions options;
    options.compress = false;
    Bytes image;
    archive.Build(options, &image);
    Bytes pack;
    tessel::LzCompress(image.data(), image.size(), &pack);
    return pack;
}

void ShaderPackSeeds() {
    using tessel::shadergen::kVertexShaderCount;
    std::vector<uint32_t> lit, skinned, pixel;
    tessel::shadergen::BuildVertexShader(29088, &lit);
    tessel::shadergen::BuildVertexShader(32774, &skinned);
    tessel::shadergen::BuildPixelShader(2454, &pixel);
    const std::vector<std::pair<int, std::vector<uint32_t>>> shaders = {
        {29088, lit}, {32774, skinned}, {kVertexShaderCount + 2454, pixel}};
    const char* name = tessel::shadergen::kShaderPackFileName;
    Put("shader_pack", "three_shaders", ShaderPackOf(shaders, name, 0));
    Put("shader_pack", "sizes_past_the_data", ShaderPackOf(shaders, name, 64));
    Put("shader_pack", "another_file", ShaderPackOf(shaders, "Other.bin", 0));
    Put("shader_pack", "no_shaders", ShaderPackOf({}, name, 0));
}

void MqoSeeds() {
    auto put = [](const std::string& name, const std::string& text) {
        Put("model_mqo", name, Bytes(text.begin(), text.end()));
    };
    put("floor.mqo", tessel::gamedata::FloorModelText());
    const std::string head = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n";
    put("materials_faces.mqo",
        head +
            "Material 2 {\r\n\t\"a\" dif(0.5) col(0.2 0.4 0.6 0.8) emi(0.25) power(5.00)\r\n"
            "\t\"b\" col(1 1 1 0) amb(0.5) spc(0.25)\r\n}\r\n"
            "Object \"top\" {\r\n\tdepth 0\r\n\tvisible 15\r\n\tfacet 59.5\r\n"
            "\tvertex 4 {\r\n\t\t0 0 0\r\n\t\t10 0 0\r\n\t\t10 0 10\r\n\t\t0 0 10\r\n\t}\r\n"
            "\tface 4 {\r\n\t\t4 V(0 1 2 3) M(0) UV(0 0 1 0 1 1 0 1)\r\n"
            "\t\t3 V(0 1 2) M(1) COL(4294967295 255 65280)\r\n\t\t2 V(0 1)\r\n"
            "\t\t3 V(0 2 3) M(7)\r\n\t}\r\n}\r\n"
            "Object \"child\" {\r\n\tdepth 1\r\n\tvertex 3 {\r\n\t\t0 1 0\r\n\t\t1 1 0\r\n"
            "\t\t1 1 1\r\n\t}\r\n\tface 1 {\r\n\t\t3 V(0 1 2)\r\n\t}\r\n}\r\nEof\r\n");
    put("mirror.mqo",
        head +
            "Object \"m\" {\r\n\tdepth 0\r\n\tmirror 1\r\n\tmirror_axis 7\r\n"
            "\tvertex 3 {\r\n\t\t0 1 2\r\n\t\t4 0 6\r\n\t\t7 8 0\r\n\t}\r\n"
            "\tface 2 {\r\n\t\t3 V(0 1 2) UV(0 0 1 0 1 1)\r\n\t\t4 V(0 1 2 1)\r\n\t}\r\n}\r\n"
            "Eof\r\n");
}

// PMD files from our writer: the walker, and variants without morphs, with
// only the base morph, without English names or toon names, with a bone
// before its parent and a material without faces.
void PmdSeeds() {
    auto put = [](const std::string& name, const tessel::PmdModelDesc& model) {
        Put("model_pmd", name, tessel::WritePmd(model));
    };
    const tessel::PmdModelDesc walker = tessel::WalkerModel();
    put("walker.pmd", walker);
    tessel::PmdModelDesc plain = walker;
    plain.morphs.clear();
    plain.morphDisplay.clear();
    put("no_morphs.pmd", plain);
    plain.morphs = {walker.morphs[0]};
    plain.writeEnglishFlag = false;
    put("base_morph_only_ends_early.pmd", plain);
    tessel::PmdModelDesc reordered = walker;
    reordered.englishFlag = 0;
    reordered.writeToonTable = false;
    std::swap(reordered.bones[0], reordered.bones[1]);
    for (tessel::PmdBoneDesc& bone : reordered.bones) {
        if (bone.parent <= 1) {
            bone.parent = static_cast<uint16_t>(1 - bone.parent);
        }
    }
    reordered.bones[1].parent = 0xFFFF;
    reordered.materials.push_back(reordered.materials[0]);
    reordered.materials.back().indexCount = 0;
    reordered.materials.back().texture = "skin.bmp";
    put("parent_after_child_no_toons.pmd", reordered);
}

// Motion files for the legged character of the motion tests: a short walk,
// curves per channel, keys all at frame 0, morphs known and unknown, and a
// bone name of 15 bytes.
void VmdSeeds() {
    using tessel_test::VmdCurve;
    using tessel_test::VmdWriter;
    Put("model_vmd", "walk.vmd", tessel_test::WalkMotion(40));
    const VmdCurve easeIn{100, 10, 120, 60};
    const VmdCurve easeOut{10, 90, 40, 127};
    Put("model_vmd", "curves.vmd",
        VmdWriter()
            .BoneCurves("upperBody", 0, {0, 0, 0}, {0, 0, 0, 1}, {easeIn, easeOut, {}, easeIn})
            .BoneCurves("upperBody", 12, {1, 2, 3}, {0.0f, 0.6f, 0.0f, 0.8f},
                        {easeOut, {}, easeIn, {}})
            .Bone("upperBody", 20, {0, 0, 0}, {0.0f, -0.6f, 0.0f, 0.8f})
            .Bone("leftFootIK", 6, {0.0f, 1.0f, 2.0f})
            .Bytes());
    Put("model_vmd", "frame_zero.vmd",
        VmdWriter()
            .Bone("centre", 0, {0.0f, -1.0f, 0.0f})
            .Bone("leftFootIK", 0, {0.0f, 0.5f, -1.0f})
            .Bone("leftFootIK", 0, {0.0f, 0.5f, 1.0f})
            .Bytes());
    Put("model_vmd", "morphs.vmd",
        VmdWriter()
            .Morph("blink", 0, 0.0f)
            .Morph("blink", 8, 1.0f)
            .Morph("smile", 4, 0.5f)
            .Morph("wink", 2, 1.0f)
            .Bone("fifteen_bytes_x", 3, {1, 0, 0})
            .Bytes());
}

// TSM files from our writer: a small MQO model, and the
// skinned model with shapes and an animation, each in several packings.
void PutTsm(const std::string& name, const tessel::ModelBase* base,
            const tessel::TsmWriteOptions& options) {
    std::vector<uint8_t> file;
    if (base == nullptr || tessel::WriteTsmModel(base, options, &file) != 0) {
        std::fprintf(stderr, "no TSM seed %s\n", name.c_str());
        return;
    }
    // A seed the reader refuses would only reach its first checks.
    const tessel::ModelLoadParams params = {
        file.data(), static_cast<int32_t>(file.size()), name.c_str(), "seed", "/seeds", nullptr};
    const int read = tessel::ParseTsmModel(&params);
    if (read < 0) {
        std::fprintf(stderr, "TSM seed %s does not read back\n", name.c_str());
        return;
    }
    tessel::ReleaseModelBase(read);
    Put("model_tsm", name, Bytes(file.begin(), file.end()));
}

void TsmSeeds() {
    tessel::g_models.initialised = 1;
    const std::string plate = tessel_test::kPlateMqo;
    const tessel::ModelLoadParams params = {
        plate.c_str(), static_cast<int32_t>(plate.size()), "plate.mqo", "plate", "/seeds", nullptr};
    const int plateBase = tessel::LoadMqoModel(&params);
    const tessel::ModelBase* plateRecord = tessel::GetModelBase(plateBase);
    PutTsm("plate.tsm", plateRecord, {});
    tessel::TsmWriteOptions narrow;
    narrow.frameFlags = 1 | tessel::kTsmPackedPositions | tessel::kTsmNoWeights;
    narrow.meshFlags = 2 | tessel::kTsmMeshSharedColours | tessel::kTsmMeshPackedTexCoords;
    narrow.listFlags = 1;
    PutTsm("plate_narrow.tsm", plateRecord, narrow);
    tessel::ReleaseModelBase(plateBase);

    tessel_test::ConversionModel m;
    tessel_test::FillSkinnedModel(m, 1.0f);
    const int base = tessel::ConvertReadModel(&m.model, "/seeds", nullptr);
    const tessel::ModelBase* skinned = tessel::GetModelBase(base);
    PutTsm("skinned.tsm", skinned, {});
    tessel::TsmWriteOptions keys;
    keys.frameFlags = 2;
    keys.keyFlags =
        tessel::kTsmKeyCountByte | tessel::kTsmKeyTimesQuantised | tessel::kTsmKeyValuesPacked;
    keys.timeQuantiser[1] = 0x95;
    keys.valueQuantiser[0] = 0x41;
    keys.valueQuantiser[1] = 0x95;
    PutTsm("skinned_quantised.tsm", skinned, keys);
    tessel::TsmWriteOptions angles;
    angles.frameFlags = 3 | tessel::kTsmPackedPositions;
    angles.keyFlags =
        tessel::kTsmKeyCount16 | tessel::kTsmKeyValuesPacked | tessel::kTsmKeyAngleSigned;
    angles.recomputeNormals = true;
    PutTsm("skinned_angles.tsm", skinned, angles);
    tessel::ReleaseModelBase(base);
    tessel::g_models.initialised = 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds CORPUS_ROOT\n");
        return 2;
    }
    corpusRoot = argv[1];
    mkdir(corpusRoot.c_str(), 0755);
    SharedImageSeeds();
    MoreImageSeeds();
    WrittenImageSeeds();
    ArchiveSeeds();
    LzSeeds();
    CodePageSeeds();
    ConfigSeeds();
    ModelTextureSeeds();
    ReadModelPreparationSeeds();
    XModelSeeds();
    ReadModelConversionSeeds();
    SoundSeeds();
    MovieSeeds();
    ShaderSeeds();
    MediaGraphSeeds();
    MqoSeeds();
    PmdSeeds();
    VmdSeeds();
    TsmSeeds();
    ShaderPackSeeds();
    std::printf("%d seeds written under %s\n", written, corpusRoot.c_str());
    return 0;
}
