// Every picture of the skin: the name it has in the program's "pics\" folder, the size at which
// the windows place it, and how it is stored. The skin generator draws exactly these pictures and
// the skin test checks the assembled folder against the same list.
#pragma once

#include <cstddef>
#include <string_view>

namespace tikora::skin {

enum class PictureKind {
    Png,       // opaque PNG
    KeyedBmp,  // 24-bit BMP; pure white marks what lies outside the shape
};

struct SkinPicture {
    std::string_view name;
    int width;
    int height;
    PictureKind kind;
};

// The list of the pictures, one name a line; the program only checks that it exists.
inline constexpr std::string_view kPictureListName = "Images.dir";

// Geometry of the pendulum pictures in the normal skin (the micro skin is half of it). The rod
// pivots 2 x margin below the bottom edge of its view; the scale is read at the weight's top edge,
// as on a mechanical metronome.
inline constexpr int kRodWidth = 10;
inline constexpr int kRodHeight = 300;
inline constexpr int kWeightWidth = 36;
inline constexpr int kWeightHeight = 48;
inline constexpr int kLightWidth = 44;
inline constexpr int kLightHeight = 32;
inline constexpr int kPendulumMargin = 10;      // normal skin
inline constexpr int kMicroPendulumMargin = 5;  // micro skin

// The small window: background and control area stacked, and the left margin of both.
inline constexpr int kSmallWidth = 300;
inline constexpr int kSmallHeight = 350;
inline constexpr int kSmallCtrlHeight = 140;
inline constexpr int kSmallOffsetX = 133;

#define TIKORA_SKIN_3(base, w, h)                                                                                   \
    SkinPicture{base "Initial.png", w, h, PictureKind::Png}, SkinPicture{base "Mouse.png", w, h, PictureKind::Png}, \
        SkinPicture {                                                                                               \
        base "Pressed.png", w, h, PictureKind::Png                                                                  \
    }
#define TIKORA_SKIN_CHECKBOX(n)                                                          \
    SkinPicture{"CheckBox" #n "1Initial.png", 21, 21, PictureKind::Png},                 \
        SkinPicture{"CheckBox" #n "1Mouse.png", 21, 21, PictureKind::Png}, SkinPicture { \
        "CheckBox" #n "2Initial.png", 21, 21, PictureKind::Png                           \
    }

inline constexpr SkinPicture kSkinPictures[] = {
    // Panel backgrounds of the main window (they tile 1016 x 710).
    {"ControllsArea.png", 1016, 110, PictureKind::Png},
    {"QuickStartArea.png", 225, 600, PictureKind::Png},
    {"MetronomeArea.png", 566, 387, PictureKind::Png},
    {"MetronomeCtrlArea.png", 566, 213, PictureKind::Png},
    {"PracticeToolsArea.png", 225, 600, PictureKind::Png},

    // Beat unit shown before the tempo: the note value 1/denominator.
    {"1-1.png", 43, 70, PictureKind::Png},
    {"1-2.png", 43, 70, PictureKind::Png},
    {"1-4.png", 43, 70, PictureKind::Png},
    {"1-8.png", 43, 70, PictureKind::Png},
    {"1-16.png", 43, 70, PictureKind::Png},
    {"1-32.png", 43, 70, PictureKind::Png},
    {"1-64.png", 43, 70, PictureKind::Png},

    // Top bar.
    {"TikoraInitial.png", 198, 39, PictureKind::Png},
    {"TikoraMouse.png", 198, 39, PictureKind::Png},
    {"ZelLogoInitial.png", 129, 54, PictureKind::Png},
    {"ZelLogoMouse.png", 129, 54, PictureKind::Png},
    TIKORA_SKIN_3("Save", 55, 35),
    TIKORA_SKIN_3("Load", 55, 35),
    TIKORA_SKIN_3("ArrowUp", 23, 35),
    TIKORA_SKIN_3("ArrowDown", 23, 35),
    TIKORA_SKIN_3("ArrowDown2", 23, 70),
    TIKORA_SKIN_3("TimeSignature", 55, 70),
    TIKORA_SKIN_3("Reset", 73, 35),
    TIKORA_SKIN_3("Alarm", 73, 35),  // AlarmPressed.png is also its checked picture
    TIKORA_SKIN_3("Settings", 119, 35),
    TIKORA_SKIN_3("Help", 56, 35),
    TIKORA_SKIN_3("About", 63, 35),
    {"UseDrumBeatListInitial.png", 127, 22, PictureKind::Png},
    {"UseDrumBeatListMouse.png", 127, 22, PictureKind::Png},
    {"UseDrumBeatListPressed.png", 127, 22, PictureKind::Png},

    // Transport and volume (shared by the main window and the small window).
    TIKORA_SKIN_3("Play", 82, 73),
    TIKORA_SKIN_3("Stop", 73, 73),
    TIKORA_SKIN_3("Pause", 82, 73),  // PausePressed.png is also its checked picture
    TIKORA_SKIN_3("Speaker", 59, 41),
    TIKORA_SKIN_3("Minimize", 14, 14),
    {"VolumeBack.png", 109, 22, PictureKind::Png},
    {"VolumeSlider.png", 9, 22, PictureKind::Png},

    // Quick start column.
    TIKORA_SKIN_3("2-4", 33, 55),
    TIKORA_SKIN_3("3-4", 33, 55),
    TIKORA_SKIN_3("4-4", 33, 55),
    TIKORA_SKIN_3("6-8", 33, 55),
    TIKORA_SKIN_3("72-Adagio", 141, 28),
    TIKORA_SKIN_3("88-Andante", 141, 28),
    TIKORA_SKIN_3("120-Allegro", 141, 28),
    TIKORA_SKIN_3("176-Presto", 141, 28),
    TIKORA_SKIN_3("TapTempo", 182, 53),

    // Practice tools column.
    TIKORA_SKIN_CHECKBOX(1),
    TIKORA_SKIN_CHECKBOX(2),
    TIKORA_SKIN_CHECKBOX(3),
    TIKORA_SKIN_CHECKBOX(4),
    TIKORA_SKIN_CHECKBOX(5),
    TIKORA_SKIN_3("TempoCalculator", 127, 28),
    TIKORA_SKIN_3("UseDrumBeat", 127, 28),
    TIKORA_SKIN_3("UseMidiFile", 127, 28),
    {"UseMidiFileListInitial.png", 127, 22, PictureKind::Png},
    {"UseMidiFileListMouse.png", 127, 22, PictureKind::Png},
    {"UseMidiFileListPressed.png", 127, 22, PictureKind::Png},

    // Pendulum.
    {"Pendulum.bmp", kRodWidth, kRodHeight, PictureKind::KeyedBmp},
    {"Weight.bmp", kWeightWidth, kWeightHeight, PictureKind::KeyedBmp},
    {"MTopRed.png", kLightWidth, kLightHeight, PictureKind::Png},
    {"MTopGreen.png", kLightWidth, kLightHeight, PictureKind::Png},
    {"MTopGreenLight.png", kLightWidth, kLightHeight, PictureKind::Png},

    // Small window.
    {"MetronomeSmall.bmp", kSmallWidth, kSmallHeight, PictureKind::KeyedBmp},
    {"MetronomeSmallCtrlArea.bmp", kSmallWidth, kSmallCtrlHeight, PictureKind::KeyedBmp},
    TIKORA_SKIN_3("Speaker2", 59, 41),
    TIKORA_SKIN_3("Maximize", 14, 14),
    TIKORA_SKIN_3("Close", 14, 14),

    // Micro small window: everything at half size.
    {"05MetronomeSmall.bmp", kSmallWidth / 2, kSmallHeight / 2, PictureKind::KeyedBmp},
    {"05MetronomeSmallCtrlArea.bmp", kSmallWidth / 2, kSmallCtrlHeight / 2, PictureKind::KeyedBmp},
    TIKORA_SKIN_3("05Play", 41, 36),
    TIKORA_SKIN_3("05Stop", 36, 36),
    TIKORA_SKIN_3("05Pause", 40, 36),
    TIKORA_SKIN_3("05Speaker2", 29, 20),
    {"05VolumeBack.png", 54, 11, PictureKind::Png},
    {"05VolumeSlider.png", 4, 11, PictureKind::Png},
    {"05Pendulum.bmp", kRodWidth / 2, kRodHeight / 2, PictureKind::KeyedBmp},
    {"05Weight.bmp", kWeightWidth / 2, kWeightHeight / 2, PictureKind::KeyedBmp},
    {"05MTopRed.png", kLightWidth / 2, kLightHeight / 2, PictureKind::Png},
    {"05MTopGreen.png", kLightWidth / 2, kLightHeight / 2, PictureKind::Png},
    {"05MTopGreenLight.png", kLightWidth / 2, kLightHeight / 2, PictureKind::Png},

    // About box.
    {"AboutBox.png", 400, 250, PictureKind::Png},
};

#undef TIKORA_SKIN_3
#undef TIKORA_SKIN_CHECKBOX

inline constexpr std::size_t kSkinPictureCount = sizeof(kSkinPictures) / sizeof(kSkinPictures[0]);

}  // namespace tikora::skin
