#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "HostPath.h"
#include "TempDir.h"

TEST(HostPath, ResolvesEachComponentIgnoringCaseAndAcceptsBothSeparators) {
    TempDir dir;
    const std::filesystem::path& root = dir.Path();
    std::filesystem::create_directories(root / "Wavs");
    std::filesystem::create_directories(root / "pics");
    std::filesystem::create_directories(root / "Both");
    TempDir::Write((root / "Wavs/Click.WAV").string(), "");
    TempDir::Write((root / "pics/Images.dir").string(), "");
    TempDir::Write((root / "Both/A.txt").string(), "");
    TempDir::Write((root / "Both/a.TXT").string(), "");

    std::string r = root.string();
    std::string back = r;
    std::replace(back.begin(), back.end(), '/', '\\');
    struct Case { std::string in; std::string out; };
    for (const Case& c : {
             Case{r + "/Wavs/Click.WAV", r + "/Wavs/Click.WAV"},
             Case{r + "\\wavs\\click.wav", r + "/Wavs/Click.WAV"},
             Case{r + "/WAVS\\CLICK.wav", r + "/Wavs/Click.WAV"},
             Case{back + "\\pics\\IMAGES.DIR", r + "/pics/Images.dir"},
             Case{r + "\\wavs\\new.wav", r + "/Wavs/new.wav"},          // a file still to be created
             Case{r + "\\Missing\\Sub\\x", r + "/Missing/Sub/x"},       // kept as written after a miss
             Case{r + "\\wavs\\..\\PICS\\images.dir", r + "/Wavs/../pics/Images.dir"},
             Case{r + "\\wavs\\", r + "/Wavs/"},
             Case{r + "\\both\\a.txt", r + "/Both/A.txt"},             // two candidates: byte order picks
             Case{r + "\\both\\a.TXT", r + "/Both/a.TXT"},             // the exact name wins
             Case{r + "\\wavs\\CLICK", r + "/Wavs/CLICK"},           // a name is not a prefix
             Case{r + "\\wav\\click.wav", r + "/wav/click.wav"},     // of a longer one
         }) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(HostPath(c.in.c_str()), c.out);
    }
    EXPECT_EQ(HostPath(""), "");
}

TEST(HostPath, RelativeNamesResolveAgainstTheWorkingDirectory) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "Drums");
    TempDir::Write(dir / "Drums/Rock.mid", "");
    auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    EXPECT_EQ(HostPath("drums\\rock.MID"), "Drums/Rock.mid");
    EXPECT_EQ(HostPath(".\\DRUMS/rock.mid"), "./Drums/Rock.mid");
    EXPECT_EQ(HostPath("Tikora.ini"), "Tikora.ini");
    std::filesystem::current_path(saved);
}
