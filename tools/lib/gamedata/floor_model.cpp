// The stage floor: one tile of the scrolling floor as an MQO text model (a
// 600 x 300 plate of six quads, both sides, with two raised rails) and its
// texture. The game lays copies of the tile 300 units apart along z.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/lib/gamedata/gamedata_internal.h"

namespace tessel::gamedata {

namespace {

struct Mesh {
    std::vector<float> vertices;  // x, y, z
    std::string faces;
    int faceCount = 0;

    int Vertex(float x, float y, float z) {
        vertices.insert(vertices.end(), {x, y, z});
        return static_cast<int>(vertices.size() / 3 - 1);
    }
    // A quad given by its corners in order, with its texture corners; both
    // windings, so the plate shows from either side whatever culling is on.
    void Quad(int a, int b, int c, int d, float u0, float v0, float u1, float v1) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "\t\t4 V(%d %d %d %d) M(0) UV(%.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f)\r\n",
                      a, b, c, d, u0, v0, u1, v0, u1, v1, u0, v1);
        faces += line;
        std::snprintf(line, sizeof line,
                      "\t\t4 V(%d %d %d %d) M(0) UV(%.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f)\r\n",
                      d, c, b, a, u0, v1, u1, v1, u1, v0, u0, v0);
        faces += line;
        faceCount += 2;
    }
};

}  // namespace

std::string FloorModelText() {
    Mesh mesh;
    // The plate: x -300..300 in six columns, z -150..150.
    for (int i = 0; i < 6; ++i) {
        const float x0 = -300.0f + 100.0f * i;
        const float x1 = x0 + 100.0f;
        const int a = mesh.Vertex(x0, 0, 150);
        const int b = mesh.Vertex(x1, 0, 150);
        const int c = mesh.Vertex(x1, 0, -150);
        const int d = mesh.Vertex(x0, 0, -150);
        mesh.Quad(a, b, c, d, 0.0f, 0.0f, 1.0f, 0.5f);
    }
    // Two rails along the edges: a top and an inner face each.
    for (float side : {-1.0f, 1.0f}) {
        const float outer = 300.0f * side;
        const float inner = 270.0f * side;
        const int a = mesh.Vertex(inner, 40, 150);
        const int b = mesh.Vertex(outer, 40, 150);
        const int c = mesh.Vertex(outer, 40, -150);
        const int d = mesh.Vertex(inner, 40, -150);
        mesh.Quad(a, b, c, d, 0.0f, 0.5f, 0.25f, 1.0f);
        const int e = mesh.Vertex(inner, 0, 150);
        const int f = mesh.Vertex(inner, 0, -150);
        mesh.Quad(e, a, d, f, 0.25f, 0.5f, 0.5f, 1.0f);
    }
    std::string text =
        "Metasequoia Document\r\n"
        "Format Text Ver 1.0\r\n"
        "\r\n"
        "Scene {\r\n"
        "\tpos 0.0000 0.0000 1500.0000\r\n"
        "\tlookat 0.0000 0.0000 0.0000\r\n"
        "\tamb 0.250 0.250 0.250\r\n"
        "}\r\n"
        "Material 1 {\r\n"
        "\t\"yuka\" col(1.000 1.000 1.000 1.000) dif(0.800) amb(0.600) emi(0.400) spc(0.100) "
        "power(5.00) tex(\"yuka.png\")\r\n"
        "}\r\n"
        "Object \"floor\" {\r\n"
        "\tdepth 0\r\n"
        "\tfolding 0\r\n"
        "\tvisible 15\r\n"
        "\tlocking 0\r\n"
        "\tshading 1\r\n"
        "\tfacet 59.5\r\n";
    char line[160];
    std::snprintf(line, sizeof line, "\tvertex %zu {\r\n", mesh.vertices.size() / 3);
    text += line;
    for (size_t i = 0; i < mesh.vertices.size(); i += 3) {
        std::snprintf(line, sizeof line, "\t\t%.4f %.4f %.4f\r\n", mesh.vertices[i],
                      mesh.vertices[i + 1], mesh.vertices[i + 2]);
        text += line;
    }
    std::snprintf(line, sizeof line, "\t}\r\n\tface %d {\r\n", mesh.faceCount);
    text += line;
    text += mesh.faces;
    text += "\t}\r\n}\r\nEof\r\n";
    return text;
}

namespace {

// The texture: the top half a plate of glowing tiles, the bottom half the rail.
Canvas FloorTexture() {
    Canvas canvas(256, 256);
    canvas.VerticalGradient(0, 0, 256, 128, Rgba{0.16f, 0.06f, 0.24f, 1},
                            Rgba{0.1f, 0.03f, 0.17f, 1});
    for (int i = 0; i <= 4; ++i) {
        const float p = i * 64.0f;
        canvas.FillRect(p - 1.5f, 0, p + 1.5f, 128, WithAlpha(kCyan, 0.55f));
        if (i <= 2) {
            canvas.FillRect(0, p - 1.5f, 256, p + 1.5f, WithAlpha(kCyan, 0.55f));
        }
    }
    for (int x = 0; x < 4; ++x) {
        for (int y = 0; y < 2; ++y) {
            const float cx = x * 64 + 32.0f;
            const float cy = y * 64 + 32.0f;
            canvas.Ring(cx, cy, 18, 1.5f, WithAlpha(kPink, 0.45f), true);
            canvas.Glow(cx, cy, 28, WithAlpha(kPink, 0.15f));
        }
    }
    canvas.VerticalGradient(0, 128, 256, 256, Rgba{0.35f, 0.3f, 0.5f, 1},
                            Rgba{0.12f, 0.1f, 0.2f, 1});
    for (int x = 0; x < 256; x += 32) {
        canvas.FillRect(x + 2.0f, 136, x + 30.0f, 248, Rgba{0.22f, 0.18f, 0.34f, 1});
        canvas.FillRect(x + 2.0f, 190, x + 30.0f, 194, WithAlpha(kCyan, 0.8f));
    }
    return canvas;
}

}  // namespace

void MakeFloorModel(Output& out) {
    const std::string text = FloorModelText();
    SaveBytes(out, "image/model/stage_1/yuka.mqo", text.data(), text.size());
    SavePicture(out, "image/model/stage_1/yuka.png", FloorTexture());
}

}  // namespace tessel::gamedata
