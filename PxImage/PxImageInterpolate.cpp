// Colours at fractional positions (nearest, bilinear and kernel resampling) and colours of
// positions beyond the edges.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "PxImage.h"

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

// Float positions far outside any image behave like any other outside position; keeping them
// within this range makes every conversion to a 32-bit integer defined (NaN counts as outside).
constexpr float kFarAway = 1.0e9f;

float Sanitize(float v) {
    if (std::isnan(v)) return -kFarAway;
    return std::clamp(v, -kFarAway, kFarAway);
}

// Truncation toward zero, one less for negative values: floor for every non-integral value.
int32_t CellOf(float v) {
    int32_t i = static_cast<int32_t>(v);
    return v < 0 ? i - 1 : i;
}

RGBQUAD DefaultReplacement() { return RGBQUAD{255, 255, 255, 0}; }

uint8_t ClampToByte(float v) {
    if (!(v > 0.0f)) return 0;
    if (v > 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

float KernelOf(uint8_t method, float x) {
    switch (method) {
        case PXIMAGE_IM_BSPLINE:
            return PxImage::FilterBSpline(x);
        case PXIMAGE_IM_CUBIC:
            return PxImage::FilterCubic(x);
        case PXIMAGE_IM_GENERAL_CUBIC:
            return PxImage::FilterGeneralCubic(x, -0.5f);
        case PXIMAGE_IM_BOX:
            return PxImage::FilterBox(x);
        case PXIMAGE_IM_HERMITE:
            return PxImage::FilterHermite(x);
        case PXIMAGE_IM_DAMPED_HERMITE:
            return PxImage::FilterDampedHermite(x);
        case PXIMAGE_IM_SINC:
            return PxImage::FilterSinc(x);
        case PXIMAGE_IM_BLACKMAN:
            return PxImage::FilterBlackman(x);
        case PXIMAGE_IM_BESSEL:
            return PxImage::FilterBessel(x);
        case PXIMAGE_IM_GAUSSIAN:
            return PxImage::FilterGaussian(x);
        case PXIMAGE_IM_QUADRATIC:
            return PxImage::FilterQuadratic(x);
        case PXIMAGE_IM_MITCHELL:
            return PxImage::FilterMitchell(x);
        case PXIMAGE_IM_CATMULL_ROM:
            return PxImage::FilterCatmullRom(x);
        default:
            return 0.0f;
    }
}

double Horner(const double* c, int32_t n, double u) {
    double v = c[n - 1];
    for (int32_t i = n - 2; i >= 0; i--) v = v * u + c[i];
    return v;
}

}  // namespace

void PxImage::FoldCoordinates(int32_t* x, int32_t* y, uint8_t ofMethod) const {
    const int64_t w = head.biWidth, h = head.biHeight;
    // An empty image has no position to fold onto.
    if (!x || !y || w <= 0 || h <= 0 || IsInside(*x, *y)) return;
    // 64-bit, so that negating the most negative coordinate stays defined.
    int64_t xx = *x, yy = *y;
    switch (ofMethod) {
        case PXIMAGE_OM_WRAP:
            xx %= w;
            yy %= h;
            if (xx < 0) xx += w;
            if (yy < 0) yy += h;
            break;
        case PXIMAGE_OM_REPEAT:
            xx = std::clamp<int64_t>(xx, 0, w - 1);
            yy = std::clamp<int64_t>(yy, 0, h - 1);
            break;
        case PXIMAGE_OM_MIRROR:
            if (xx < 0)
                xx = (-xx) % w;
            else if (xx >= w)
                xx = w - (xx % w + 1);
            if (yy < 0)
                yy = (-yy) % h;
            else if (yy >= h)
                yy = h - (yy % h + 1);
            break;
        default:
            return;
    }
    *x = static_cast<int32_t>(xx);
    *y = static_cast<int32_t>(yy);
}

void PxImage::FoldCoordinates(float* x, float* y, uint8_t ofMethod) const {
    const float w = static_cast<float>(head.biWidth), h = static_cast<float>(head.biHeight);
    if (!x || !y || head.biWidth <= 0 || head.biHeight <= 0) return;
    if (*x >= 0 && *x < w && *y >= 0 && *y < h) return;
    switch (ofMethod) {
        case PXIMAGE_OM_WRAP:
            *x = std::fmod(*x, w);
            *y = std::fmod(*y, h);
            if (*x < 0) *x += w;
            if (*y < 0) *y += h;
            break;
        case PXIMAGE_OM_REPEAT:
            *x = std::clamp(*x, 0.0f, w - 1);
            *y = std::clamp(*y, 0.0f, h - 1);
            break;
        case PXIMAGE_OM_MIRROR:
            if (*x < 0)
                *x = std::fmod(-*x, w);
            else if (*x >= w)
                *x = w - (std::fmod(*x, w) + 1);
            if (*y < 0)
                *y = std::fmod(-*y, h);
            else if (*y >= h)
                *y = h - (std::fmod(*y, h) + 1);
            break;
        default:
            break;
    }
}

RGBQUAD PxImage::PixelColorWithOverflow(int32_t x, int32_t y, uint8_t ofMethod, RGBQUAD* rplColor) {
    if (pDib && IsInside(x, y)) return BlindGetPixelColor(x, y);
    RGBQUAD color = rplColor ? *rplColor : DefaultReplacement();
    if (!pDib) return color;
    switch (ofMethod) {
        case PXIMAGE_OM_BACKGROUND:
            if (info.nBkgndIndex >= 0) {
                if (head.biBitCount < 24) return GetPaletteColor(static_cast<uint8_t>(info.nBkgndIndex));
                return info.nBkgndColor;
            }
            return color;
        case PXIMAGE_OM_TRANSPARENT:
            if (AlphaIsValid()) {
                color.rgbReserved = 0;
                return color;
            }
            if (info.nBkgndIndex >= 0) return GetTransColor();
            return color;
        case PXIMAGE_OM_WRAP:
        case PXIMAGE_OM_REPEAT:
        case PXIMAGE_OM_MIRROR:
            FoldCoordinates(&x, &y, ofMethod);
            // Folding always lands inside a non-empty image; the test keeps a read in bounds anyway.
            if (IsInside(x, y)) return BlindGetPixelColor(x, y);
            return color;
        default:
            return color;
    }
}

RGBQUAD PxImage::InterpolatedPixelColor(float x, float y, uint8_t inMethod, uint8_t ofMethod, RGBQUAD* rplColor) {
    if (!pDib) return PixelColorWithOverflow(0, 0, ofMethod, rplColor);
    x = Sanitize(x);
    y = Sanitize(y);
    const int64_t width = head.biWidth, height = head.biHeight;
    int32_t xi = CellOf(x), yi = CellOf(y);

    if (inMethod == PXIMAGE_IM_NEAREST_NEIGHBOUR)
        return PixelColorWithOverflow(static_cast<int32_t>(x + 0.5f), static_cast<int32_t>(y + 0.5f), ofMethod,
                                      rplColor);

    const bool bilinear = inMethod == 0 || inMethod == PXIMAGE_IM_BILINEAR || inMethod > 16;
    const bool lanczos = inMethod == PXIMAGE_IM_LANCZOS;
    // How far the window reaches left (before) and right (after) of the cell.
    const int32_t before = bilinear ? 0 : lanczos ? 5 : 1;
    const int32_t after = bilinear ? 1 : lanczos ? 6 : 2;
    if (int64_t{xi} + after < 0 || int64_t{xi} - before >= width || int64_t{yi} + after < 0 ||
        int64_t{yi} - before >= height) {
        if (ofMethod == PXIMAGE_OM_COLOR || ofMethod == PXIMAGE_OM_BACKGROUND || ofMethod == PXIMAGE_OM_TRANSPARENT)
            return PixelColorWithOverflow(-999, -999, ofMethod, rplColor);
        FoldCoordinates(&x, &y, ofMethod);
        xi = CellOf(x);
        yi = CellOf(y);
    }

    const bool alpha = AlphaIsValid();
    const bool noPalette = head.biClrUsed == 0;
    auto inside = [&](int64_t x0, int64_t x1, int64_t y0, int64_t y1) {
        return x0 >= 0 && x1 < width && y0 >= 0 && y1 < height;
    };

    if (bilinear) {
        if (noPalette && inside(xi, int64_t{xi} + 1, yi, int64_t{yi} + 1)) {
            const uint32_t fx = static_cast<uint16_t>((x - static_cast<float>(xi)) * 256);
            const uint32_t fy = static_cast<uint16_t>((y - static_cast<float>(yi)) * 256);
            const uint32_t d = ((fx * fy) >> 8) & 0xFFFF;
            const uint32_t b = (fx - d) & 0xFFFF;
            const uint32_t c = (fy - d) & 0xFFFF;
            const uint32_t a = (256 - fx - c) & 0xFFFF;
            auto blend = [&](uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11) {
                return static_cast<uint8_t>(((a * p00 + b * p10 + c * p01 + d * p11) & 0xFFFF) >> 8);
            };
            const uint8_t* p = GetPixelPointer(xi, yi);
            const uint8_t* q = p + info.dwEffWidth;
            RGBQUAD color;
            color.rgbBlue = blend(p[0], p[3], q[0], q[3]);
            color.rgbGreen = blend(p[1], p[4], q[1], q[4]);
            color.rgbRed = blend(p[2], p[5], q[2], q[5]);
            color.rgbReserved = 0;
            if (alpha) {
                const uint8_t* pa = AlphaGetPointer(xi, yi);
                const uint8_t* qa = AlphaGetPointer(xi, yi + 1);
                color.rgbReserved = blend(pa[0], pa[1], qa[0], qa[1]);
            }
            return color;
        }
        const float tx = x - static_cast<float>(xi), ty = y - static_cast<float>(yi);
        const float d = tx * ty, b = tx - d, c = ty - d, a = 1 - tx - c;
        const RGBQUAD c00 = PixelColorWithOverflow(xi, yi, ofMethod, rplColor);
        const RGBQUAD c10 = PixelColorWithOverflow(xi + 1, yi, ofMethod, rplColor);
        const RGBQUAD c01 = PixelColorWithOverflow(xi, yi + 1, ofMethod, rplColor);
        const RGBQUAD c11 = PixelColorWithOverflow(xi + 1, yi + 1, ofMethod, rplColor);
        auto mix = [&](uint8_t v00, uint8_t v10, uint8_t v01, uint8_t v11) {
            return ClampToByte(a * v00 + b * v10 + c * v01 + d * v11);
        };
        RGBQUAD color;
        color.rgbBlue = mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue);
        color.rgbGreen = mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen);
        color.rgbRed = mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed);
        color.rgbReserved = alpha ? mix(c00.rgbReserved, c10.rgbReserved, c01.rgbReserved, c11.rgbReserved) : 0;
        return color;
    }

    // Kernel methods: a square window of taps, weights computed once per axis.
    const int32_t taps = before + after + 1;
    float wx[12], wy[12];
    for (int32_t i = 0; i < taps; i++) {
        const float dx = static_cast<float>(xi - before + i) - x;
        const float dy = static_cast<float>(yi - before + i) - y;
        wx[i] = lanczos ? FilterLanczos(dx, 6.0f) : KernelOf(inMethod, dx);
        wy[i] = lanczos ? FilterLanczos(dy, 6.0f) : KernelOf(inMethod, dy);
    }
    float sumB = 0, sumG = 0, sumR = 0, sumA = 0;
    if (noPalette && inside(int64_t{xi} - before, int64_t{xi} + after, int64_t{yi} - before, int64_t{yi} + after)) {
        for (int32_t j = 0; j < taps; j++) {
            const int32_t row = yi - before + j;
            const uint8_t* p = GetPixelPointer(xi - before, row);
            const uint8_t* pa = alpha ? AlphaGetPointer(xi - before, row) : nullptr;
            for (int32_t i = 0; i < taps; i++, p += 3) {
                const float w = wy[j] * wx[i];
                sumB += p[0] * w;
                sumG += p[1] * w;
                sumR += p[2] * w;
                if (pa) sumA += pa[i] * w;
            }
        }
    } else {
        for (int32_t j = 0; j < taps; j++) {
            const int32_t row = yi - before + j;
            for (int32_t i = 0; i < taps; i++) {
                const RGBQUAD c = PixelColorWithOverflow(xi - before + i, row, ofMethod, rplColor);
                const float w = wy[j] * wx[i];
                sumB += c.rgbBlue * w;
                sumG += c.rgbGreen * w;
                sumR += c.rgbRed * w;
                sumA += c.rgbReserved * w;
            }
        }
    }
    RGBQUAD color;
    color.rgbBlue = ClampToByte(sumB);
    color.rgbGreen = ClampToByte(sumG);
    color.rgbRed = ClampToByte(sumR);
    color.rgbReserved = alpha ? ClampToByte(sumA) : 0;
    return color;
}

// ---- kernels -------------------------------------------------------------------------------

float PxImage::FilterBSpline(float x) {
    if (x > 2.0f) return 0.0f;
    auto p = [](float u) { return u > 0.0f ? u * u * u : 0.0f; };
    return (p(x + 2) - 4 * p(x + 1) + 6 * p(x) - 4 * p(x - 1)) * 0.16666667f;
}

float PxImage::FilterCubic(float x) {
    const float t = std::fabs(x);
    if (t < 1.0f) return 1 - 2 * t * t + t * t * t;
    if (t < 2.0f) return 4 - 8 * t + 5 * t * t - t * t * t;
    return 0.0f;
}

float PxImage::FilterGeneralCubic(float x, float a) {
    const float t = std::fabs(x);
    if (t < 1.0f) return (a + 2) * t * t * t - (a + 3) * t * t + 1;
    if (t < 2.0f) return a * t * t * t - 5 * a * t * t + 8 * a * t - 4 * a;
    return 0.0f;
}

float PxImage::FilterLanczos(float x, float radius) {
    if (std::fabs(x) > radius) return 0.0f;
    if (x == 0.0f) return 1.0f;
    const float px = kPi * x;
    const float pr = kPi * x / radius;
    return (std::sin(px) / px) * (std::sin(pr) / pr);
}

float PxImage::FilterBox(float x) { return (x >= -0.5f && x < 0.5f) ? 1.0f : 0.0f; }

float PxImage::FilterHermite(float x) {
    if (x >= -1.0f && x < 0.0f) return (-2 * x - 3) * x * x + 1;
    if (x >= 0.0f && x < 1.0f) return (2 * x - 3) * x * x + 1;
    return 0.0f;
}

float PxImage::FilterDampedHermite(float x) {
    if (x >= -1.0f && x < 0.0f) return (-2 * x - 3) * 0.92f * x * x + 1;
    if (x >= 0.0f && x < 1.0f) return (2 * x - 3) * 0.92f * x * x + 1;
    return 0.0f;
}

float PxImage::FilterSinc(float x) {
    if (x == 0.0f) return 1.0f;
    return std::sin(kPi * x) / (kPi * x);
}

float PxImage::FilterBlackman(float x) { return 0.42f + 0.5f * std::cos(kPi * x) + 0.08f * std::cos(kTwoPi * x); }

float PxImage::FilterBessel(float x) {
    if (x == 0.0f) return 0.7853982f;
    return static_cast<float>(BesselOrderOne(kPi * x) / (2.0 * x));
}

float PxImage::FilterGaussian(float x) { return std::exp(-2.0f * x * x) * 0.7978846f; }

float PxImage::FilterQuadratic(float x) {
    if (x < -1.5f) return 0.0f;
    if (x < -0.5f) return 0.5f * (x + 1.5f) * (x + 1.5f);
    if (x < 0.5f) return 0.75f - x * x;
    if (x < 1.5f) return 0.5f * (x - 1.5f) * (x - 1.5f);
    return 0.0f;
}

float PxImage::FilterMitchell(float x) {
    if (x < -2.0f) return 0.0f;
    if (x < -1.0f) return 1.7777778f + 3.3333333f * x + 2 * x * x + 0.38888887f * x * x * x;
    if (x < 0.0f) return (-2 - 1.1666666f * x) * x * x + 0.8888889f;
    if (x < 1.0f) return (1.1666666f * x - 2) * x * x + 0.8888889f;
    if (x < 2.0f) return ((-0.38888887f * x + 2) * x - 3.3333333f) * x + 1.7777778f;
    return 0.0f;
}

float PxImage::FilterCatmullRom(float x) {
    if (x < -2.0f) return 0.0f;
    if (x < -1.0f) return (((5 + x) * x + 8) * x + 4) * 0.5f;
    if (x < 0.0f) return ((-5 - 3 * x) * x * x + 2) * 0.5f;
    if (x < 1.0f) return ((3 * x - 5) * x * x + 2) * 0.5f;
    if (x < 2.0f) return (((5 - x) * x - 8) * x + 4) * 0.5f;
    return 0.0f;
}

// ---- Bessel function of the first kind, order one ------------------------------------------

double PxImage::BesselOrderOne(double x) {
    if (x == 0.0) return 0.0;
    const double p = std::fabs(x);
    if (p < 8.0) return x * BesselJ1Ratio(p);
    const double s = std::sin(p), c = std::cos(p);
    const double q = std::sqrt(2.0 / (static_cast<double>(kPi) * p));
    const double r2 = std::sqrt(2.0);
    double v = q * (BesselP1(p) * (s - c) / r2 + BesselQ1(p) * (8.0 / p) * (s + c) / r2);
    return x < 0 ? -v : v;
}

double PxImage::BesselJ1Ratio(double p) {
    static const double n[9] = {5.8119935400160612e20,  -6.6721065689249161e19, 2.3164335806340024e18,
                                -3.5888175699101060e16, 2.9087952638347756e14,  -1.3229834803321265e12,
                                3.4132341823017006e9,   -4.6957535306429956e6,  2.7011227108923235e3};
    static const double d[9] = {1.1623987080032122e21, 1.1857707121903210e19, 6.0920613989175216e16,
                                2.0816612213076075e14, 5.2437102621676495e11, 1.0138635143586739e9,
                                1.5017935949985855e6,  1.6069315734814877e3,  1.0};
    const double u = p * p;
    return Horner(n, 9, u) / Horner(d, 9, u);
}

double PxImage::BesselP1(double p) {
    static const double n[6] = {3.5224664913367982e4, 6.2758845247161284e4, 3.1353963110915956e4,
                                4.9854832060594335e3, 2.1115291828539623e2, 1.2571716929145342};
    static const double d[6] = {3.5224664913367982e4, 6.2694346959356051e4, 3.1240406381904104e4,
                                4.9303964901810887e3, 2.0307751891347593e2, 1.0};
    const double v = (8.0 / p) * (8.0 / p);
    return Horner(n, 6, v) / Horner(d, 6, v);
}

double PxImage::BesselQ1(double p) {
    static const double n[6] = {3.5117519143035526e2, 7.2103918049044751e2, 4.2598730116544425e2,
                                8.3189895767385082e1, 4.5681716295512267,   3.5328400527401237e-2};
    static const double d[6] = {7.4917374171809124e3, 1.5414177339265098e4, 9.1522317015169920e3,
                                1.8111867005523513e3, 1.0381875854621337e2, 1.0};
    const double v = (8.0 / p) * (8.0 / p);
    return Horner(n, 6, v) / Horner(d, 6, v);
}
