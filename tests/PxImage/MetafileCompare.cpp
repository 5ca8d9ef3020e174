// Compares the pictures that the loader makes of real metafiles with an independent renderer's:
// libwmf's wmf2gd, run here, for Windows metafiles; for enhanced metafiles, the PNG that Inkscape
// rendered beside each file (tests/PxImage/metafiles/make-metafiles). Prints per file the share of
// pixels that agree and the record types the file uses, and fails when a file falls below its floor
// in floors.txt (unless METAFILE_FLOORS=off). Without wmf2gd the Windows metafiles are left out and
// the run reports a skip. Every file must also spend at most a third of the work that playing
// allows ("work%", of PxImageWMF::WorkBudget), so that a budget that stops real pictures is seen.
//
// A pixel agrees when its colour is within the tolerance of some pixel of the other picture in its
// 3x3 neighbourhood, both ways round: edges one pixel apart and anti-aliasing do not count, a missing
// or extra line does. "ink" counts only the pixels that are drawn (not background white) in at least
// one of the two, so an empty picture scores near 0 there however little its drawing covers.
//
// Usage: metafile_compare <metafiles folder> [<folder for ours|reference|mask pictures>]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "PxImage.h"
#include "PxImageWMF.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTolerance = 48;
constexpr double kMaxWorkShare = 100.0 / 3;  // percent of the budget
constexpr uint32_t kWhite = 0xFFFFFF;

struct Raster {
    int w = 0, h = 0;
    std::vector<uint32_t> px;  // 0xRRGGBB, top row first
    uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

int Channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

bool Near(uint32_t a, uint32_t b) {
    for (int s : {0, 8, 16})
        if (std::abs(Channel(a, s) - Channel(b, s)) > kTolerance) return false;
    return true;
}

// The picture's colours top row first, any alpha laid over white.
Raster FromImage(const PxImage& img) {
    Raster r{static_cast<int>(img.GetWidth()), static_cast<int>(img.GetHeight()), {}};
    r.px.resize(static_cast<size_t>(r.w) * r.h);
    for (int y = 0; y < r.h; ++y)
        for (int x = 0; x < r.w; ++x) {
            const RGBQUAD q = img.GetPixelColor(x, r.h - 1 - y, true);
            const int a = img.AlphaIsValid() ? q.rgbReserved : 255;
            auto over = [a](int v) { return static_cast<uint32_t>((v * a + 255 * (255 - a) + 127) / 255); };
            r.px[static_cast<size_t>(y) * r.w + x] = over(q.rgbRed) << 16 | over(q.rgbGreen) << 8 | over(q.rgbBlue);
        }
    return r;
}

// Area average onto another size.
Raster Resample(const Raster& s, int w, int h) {
    Raster r{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    for (int y = 0; y < h; ++y) {
        const int y0 = y * s.h / h, y1 = std::max(y0 + 1, (y + 1) * s.h / h);
        for (int x = 0; x < w; ++x) {
            const int x0 = x * s.w / w, x1 = std::max(x0 + 1, (x + 1) * s.w / w);
            long sum[3] = {0, 0, 0}, n = 0;
            for (int v = y0; v < y1; ++v)
                for (int u = x0; u < x1; ++u, ++n)
                    for (int c = 0; c < 3; ++c) sum[c] += Channel(s.At(u, v), 16 - 8 * c);
            r.px[static_cast<size_t>(y) * w + x] =
                static_cast<uint32_t>(sum[0] / n << 16 | sum[1] / n << 8 | sum[2] / n);
        }
    }
    return r;
}

bool MatchesAround(const Raster& r, int x, int y, uint32_t c) {
    for (int v = std::max(0, y - 1); v <= std::min(r.h - 1, y + 1); ++v)
        for (int u = std::max(0, x - 1); u <= std::min(r.w - 1, x + 1); ++u)
            if (Near(r.At(u, v), c)) return true;
    return false;
}

struct Score {
    double all = 0, ink = 0;
};

// Pictures of the same size; mask marks the drawn pixels that disagree.
Score Compare(const Raster& ours, const Raster& ref, Raster& mask) {
    mask = Raster{ours.w, ours.h, std::vector<uint32_t>(ours.px.size(), kWhite)};
    long agree = 0, ink = 0, inkAgree = 0;
    for (int y = 0; y < ours.h; ++y)
        for (int x = 0; x < ours.w; ++x) {
            const uint32_t a = ours.At(x, y), b = ref.At(x, y);
            const bool ok = MatchesAround(ref, x, y, a) && MatchesAround(ours, x, y, b);
            const bool drawn = !Near(a, kWhite) || !Near(b, kWhite);
            agree += ok;
            ink += drawn;
            inkAgree += ok && drawn;
            if (drawn) mask.px[static_cast<size_t>(y) * ours.w + x] = ok ? 0xC0C0C0 : 0xFF0000;
        }
    const double all = static_cast<double>(ours.px.size());
    return {100.0 * agree / std::max(all, 1.0), ink ? 100.0 * inkAgree / ink : 100.0};
}

// Record names, Windows metafile functions in hex and enhanced metafile types in decimal.
const char* const kWmfNames =
    "0000 EOF 001E SaveDC 0035 RealizePalette 00F7 CreatePalette 0102 SetBkMode 0103 SetMapMode 0104 SetROP2 "
    "0106 SetPolyFillMode 0107 SetStretchBltMode 0108 SetTextCharExtra 0127 RestoreDC 012C SelectClipRgn "
    "012D SelectObject 012E SetTextAlign 0142 DIBCreatePatternBrush 01F0 DeleteObject 01F9 CreatePatternBrush "
    "0201 SetBkColor 0209 SetTextColor 020B SetWindowOrg 020C SetWindowExt 020D SetViewportOrg "
    "020E SetViewportExt 020F OffsetWindowOrg 0211 OffsetViewportOrg 0213 LineTo 0214 MoveTo "
    "0231 SetMapperFlags 0234 SelectPalette 02FA CreatePenIndirect 02FB CreateFontIndirect "
    "02FC CreateBrushIndirect 0324 Polygon 0325 Polyline 0415 ExcludeClipRect 0416 IntersectClipRect "
    "0418 Ellipse 041B Rectangle 041F SetPixel 0521 TextOut 0538 PolyPolygon 061C RoundRect 061D PatBlt "
    "0626 Escape 06FF CreateRegion 0817 Arc 081A Pie 0830 Chord 0922 BitBlt 0940 DIBBitBlt 0A32 ExtTextOut "
    "0B23 StretchBlt 0B41 DIBStretchBlt 0D33 SetDIBitsToDevice 0F43 StretchDIB";
const char* const kEmfNames =
    "1 Header 2 PolyBezier 3 Polygon 4 Polyline 5 PolyBezierTo 6 PolylineTo 7 PolyPolyline 8 PolyPolygon "
    "9 SetWindowExtEx 10 SetWindowOrgEx 11 SetViewportExtEx 12 SetViewportOrgEx 13 SetBrushOrgEx 14 EOF "
    "15 SetPixelV 16 SetMapperFlags 17 SetMapMode 18 SetBkMode 19 SetPolyFillMode 20 SetROP2 "
    "21 SetStretchBltMode 22 SetTextAlign 24 SetTextColor 25 SetBkColor 27 MoveToEx 29 ExcludeClipRect "
    "30 IntersectClipRect 33 SaveDC 34 RestoreDC 35 SetWorldTransform 36 ModifyWorldTransform 37 SelectObject "
    "38 CreatePen 39 CreateBrushIndirect 40 DeleteObject 41 AngleArc 42 Ellipse 43 Rectangle 44 RoundRect "
    "45 Arc 46 Chord 47 Pie 48 SelectPalette 49 CreatePalette 52 RealizePalette 54 LineTo 55 ArcTo "
    "57 SetArcDirection 58 SetMiterLimit 59 BeginPath 60 EndPath 61 CloseFigure 62 FillPath "
    "63 StrokeAndFillPath 64 StrokePath 67 SelectClipPath 70 GdiComment 71 FillRgn 75 ExtSelectClipRgn "
    "76 BitBlt 77 StretchBlt 78 MaskBlt 80 SetDIBitsToDevice 81 StretchDIBits 82 ExtCreateFontIndirectW "
    "83 ExtTextOutA 84 ExtTextOutW 85 PolyBezier16 86 Polygon16 87 Polyline16 88 PolyBezierTo16 "
    "89 PolylineTo16 90 PolyPolyline16 91 PolyPolygon16 94 CreateDIBPatternBrushPt 95 ExtCreatePen "
    "96 PolyTextOutA 97 PolyTextOutW 98 SetICMMode 114 AlphaBlend 116 TransparentBlt 118 GradientFill";

std::string RecordName(bool emf, unsigned type) {
    static std::map<unsigned, std::string> names[2];
    if (names[0].empty())
        for (int e = 0; e < 2; ++e) {
            std::istringstream in(e ? kEmfNames : kWmfNames);
            std::string code, name;
            while (in >> code >> name) names[e][static_cast<unsigned>(std::stoul(code, nullptr, e ? 10 : 16))] = name;
        }
    const auto it = names[emf].find(type);
    char hex[16];
    std::snprintf(hex, sizeof(hex), emf ? "emr%u" : "0x%04X", type);
    return it != names[emf].end() ? it->second : hex;
}

// How many records of each type the file holds.
std::map<std::string, int> Census(const std::vector<uint8_t>& b, bool emf) {
    auto u32 = [&](size_t o) {
        return o + 4 <= b.size() ? b[o] | b[o + 1] << 8 | b[o + 2] << 16 | b[o + 3] << 24 : 0u;
    };
    std::map<std::string, int> count;
    size_t at = emf ? 0 : 22 + 2 * (u32(22) >> 16);  // past the placeable and the metafile header
    while (at + 8 <= b.size()) {
        const size_t size = emf ? u32(at + 4) : 2 * size_t{u32(at)};
        const unsigned type = emf ? u32(at) : u32(at + 4) & 0xFFFF;
        ++count[RecordName(emf, type)];
        if (size < (emf ? 8u : 6u) || (emf ? type == 14 : type == 0)) break;
        at += size;
    }
    return count;
}

// libwmf maps the extent of what a metafile draws onto its picture, the loader the metafile's
// window: white pixels at the window's corners, drawn last, make the two the same for a drawing that
// stays inside its window.
std::vector<uint8_t> WithWindowCorners(std::vector<uint8_t> b) {
    auto u16 = [&](size_t o) { return o + 2 <= b.size() ? b[o] | b[o + 1] << 8 : 0; };
    int org[2] = {0, 0}, ext[2] = {0, 0};
    size_t at = 22 + 2 * size_t(u16(24)), size = 0;
    for (; at + 6 <= b.size() && u16(at + 4) != 0 && (size = 2 * (u16(at) | u16(at + 2) << 16)) >= 6; at += size) {
        int* v = u16(at + 4) == 0x020B ? org : u16(at + 4) == 0x020C ? ext : nullptr;
        if (v) v[0] = static_cast<int16_t>(u16(at + 8)), v[1] = static_cast<int16_t>(u16(at + 6));
    }
    std::vector<uint8_t> pixels;
    for (int corner = 0; corner < 2; ++corner)
        for (int word : {7, 0, 0x041F, 0xFFFF, 0x00FF, org[1] + corner * ext[1], org[0] + corner * ext[0]})
            pixels.push_back(static_cast<uint8_t>(word)), pixels.push_back(static_cast<uint8_t>(word >> 8));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(std::min(at, b.size())), pixels.begin(), pixels.end());
    const uint32_t words = (b[28] | b[29] << 8 | b[30] << 16 | uint32_t{b[31]} << 24) + 14;
    for (int i = 0; i < 4; ++i) b[28 + i] = static_cast<uint8_t>(words >> 8 * i);
    return b;
}

void WritePpm(const fs::path& file, const std::vector<const Raster*>& side) {
    int w = 0, h = 0;
    for (const Raster* r : side) w += r->w, h = std::max(h, r->h);
    std::ofstream out(file, std::ios::binary);
    out << "P6\n" << w << ' ' << h << "\n255\n";
    for (int y = 0; y < h; ++y)
        for (const Raster* r : side)
            for (int x = 0; x < r->w; ++x) {
                const uint32_t c = y < r->h ? r->At(x, y) : kWhite;
                out.put(static_cast<char>(c >> 16)).put(static_cast<char>(c >> 8)).put(static_cast<char>(c));
            }
}

std::string OnPath(const std::string& name) {
    std::istringstream dirs(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    return "";
}

// Loads a picture; for a metafile, `work` is the share of the budget its playing spent.
bool LoadPicture(const fs::path& file, Raster& out, std::string& error, double* work = nullptr) {
    PxImage img;
    if (!img.Load(file.c_str(), 0)) {
        error = img.GetLastError();
        return false;
    }
    if (work)
        *work = 100.0 * static_cast<double>(PxImageWMF::LastWork()) /
                static_cast<double>(PxImageWMF::WorkBudget(static_cast<int32_t>(img.GetWidth()),
                                                           static_cast<int32_t>(img.GetHeight())));
    out = FromImage(img);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <metafiles folder> [<folder for pictures>]\n", argv[0]);
        return 2;
    }
    const fs::path dir = argv[1];
    const fs::path tmp = fs::temp_directory_path() / ("metafile_compare_" + std::to_string(getpid()) + ".png");
    const fs::path tmpWmf = fs::path(tmp).replace_extension(".wmf");
    const std::string wmf2gd = OnPath("wmf2gd");
    const bool enforce = !std::getenv("METAFILE_FLOORS") || std::string(std::getenv("METAFILE_FLOORS")) != "off";
    std::map<std::string, double> floors;
    std::ifstream floorFile(dir / "floors.txt");
    for (std::string line; std::getline(floorFile, line);) {
        std::istringstream in(line);
        std::string name;
        double floor = 0;
        if (in >> name >> floor && name[0] != '#') floors[name] = floor;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string ext = entry.path().extension();
        if (ext == ".wmf" || ext == ".emf") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::map<std::string, double> listed = floors;  // those not found are missing files

    std::map<std::string, std::pair<int, int>> totals;  // record type: files, records
    int failures = 0, skipped = 0;
    std::printf("%-34s %11s %11s %7s %7s %6s %6s  %s\n", "file", "ours", "compared", "all%", "ink%", "floor", "work%",
                "records");
    for (const fs::path& file : files) {
        const std::string name = file.filename();
        floors.emplace(name, 0);  // a file without a floor is reported, not held
        listed.erase(name);
        const bool emf = file.extension() == ".emf";
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        std::vector<std::pair<int, std::string>> census;
        for (const auto& [type, n] : Census(bytes, emf)) {
            census.emplace_back(-n, type);
            ++totals[type].first, totals[type].second += n;
        }
        std::sort(census.begin(), census.end());
        std::string records;
        for (const auto& [n, type] : census) records += type + "x" + std::to_string(-n) + " ";

        Raster ours, ref;
        std::string error;
        double work = 0;
        if (!LoadPicture(file, ours, error, &work)) {
            std::printf("%-34s our decoder failed: %s\n", name.c_str(), error.c_str());
            ++failures;
            continue;
        }
        if (work > kMaxWorkShare) {
            std::printf("%-34s spent %.1f%% of the work playing may do\n", name.c_str(), work);
            ++failures;
        }
        if (!emf && wmf2gd.empty()) {
            ++skipped;
            continue;
        }
        const std::vector<uint8_t> cornered = emf ? bytes : WithWindowCorners(bytes);
        if (!emf)
            std::ofstream(tmpWmf, std::ios::binary)
                .write(reinterpret_cast<const char*>(cornered.data()), static_cast<std::streamsize>(cornered.size()));
        const std::string command = wmf2gd + " --maxwidth=" + std::to_string(ours.w) +
                                    " --maxheight=" + std::to_string(ours.h) + " --maxsize -o '" + tmp.string() +
                                    "' '" + tmpWmf.string() + "' >/dev/null 2>&1";
        const fs::path refFile = emf ? fs::path(file.string() + ".png") : tmp;
        if ((!emf && std::system(command.c_str()) != 0) || !LoadPicture(refFile, ref, error)) {
            std::printf("%-34s no reference picture: %s\n", name.c_str(), error.c_str());
            ++failures;
            continue;
        }
        const std::string oursSize = std::to_string(ours.w) + "x" + std::to_string(ours.h);
        if (ref.w != ours.w || ref.h != ours.h) ours = Resample(ours, ref.w, ref.h);
        Raster mask;
        const Score s = Compare(ours, ref, mask);
        const double floor = enforce ? floors[name] : 0;
        const bool below = s.ink < floor;
        failures += below;
        std::printf("%-34s %11s %11s %7.1f %7.1f %6.1f %6.2f%s %s\n", name.c_str(), oursSize.c_str(),
                    (std::to_string(ref.w) + "x" + std::to_string(ref.h)).c_str(), s.all, s.ink, floor, work,
                    below ? " BELOW" : "", records.c_str());
        if (argc > 2) WritePpm(fs::path(argv[2]) / (name + ".ppm"), {&ours, &ref, &mask});
    }
    for (const auto& [name, floor] : listed) std::printf("%-34s listed in floors.txt but missing\n", name.c_str());
    failures += static_cast<int>(listed.size());
    fs::remove(tmp);
    fs::remove(tmpWmf);
    std::printf("\nrecord types: files using them, records\n");
    std::vector<std::pair<std::pair<int, int>, std::string>> byUse;
    for (const auto& [type, use] : totals) byUse.push_back({{-use.first, -use.second}, type});
    std::sort(byUse.begin(), byUse.end());
    for (const auto& [use, type] : byUse) std::printf("  %-24s %4d %8d\n", type.c_str(), -use.first, -use.second);
    std::printf("\n%zu files, %d below their floor, not decoded or missing, %d left out (no wmf2gd)\n", files.size(),
                failures, skipped);
    if (failures) return 1;
    return skipped ? 77 : 0;
}
