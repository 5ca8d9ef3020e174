// The manual the build assembles beside the program: every page it links and every picture it
// shows is there (anchors included), and every picture the build took of the windows is shown.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Manual, LinksAndPicturesResolve) {
    const fs::path dir = fs::path(TIKORA_BINARY_DIR) / "Tikora" / "help";
    ASSERT_TRUE(fs::exists(dir / "index.html"));
    const std::regex reference(R"re((href|src)="([^"#:]*)(#([^"]*))?")re");
    std::set<std::string> shown;
    int pages = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".html") continue;
        ++pages;
        const std::string page = Read(entry.path());
        for (std::sregex_iterator it(page.begin(), page.end(), reference), end; it != end; ++it) {
            const fs::path target = (*it)[2].length() ? dir / (*it)[2].str() : entry.path();
            ASSERT_TRUE(fs::exists(target)) << entry.path().filename() << " names " << (*it)[2];
            if ((*it)[4].length()) {
                EXPECT_NE(Read(target).find("id=\"" + (*it)[4].str() + "\""), std::string::npos)
                    << entry.path().filename() << " names " << (*it)[0];
            }
            if ((*it)[1] == "src") shown.insert((*it)[2]);
        }
    }
    EXPECT_GE(pages, 6);
    int pictures = 0;
    for (const auto& entry : fs::directory_iterator(dir / "pictures")) {
        ++pictures;
        EXPECT_TRUE(shown.count("pictures/" + entry.path().filename().string()))
            << entry.path().filename() << " unused";
        EXPECT_EQ(Read(entry.path()).substr(1, 3), "PNG") << entry.path().filename();
    }
    EXPECT_GE(pictures, 10);
}

}  // namespace
