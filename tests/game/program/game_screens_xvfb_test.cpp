// The real vantrel on a virtual display, played through its menus by key
// presses as a player plays it: the splash, the title, a few seconds of an
// Endless game, pause and give up, the collection, and quit from the title.
// Pictures of the title, the play and the collection are kept in
// tests/artifacts/ to be looked at, a few of their pixels are checked here,
// and the program must end with 0. Skipped where Xvfb, xdotool or
// ImageMagick is missing.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>

#include "game/config_word.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/support/virtual_display.h"

namespace {

using namespace tessel_test;

// A colour a screen shows at a fixed place of the 640 by 480 window.
struct Spot {
    int x, y;
    Rgb rgb;
    const char* what;
};

// The game draws bit for bit alike in every build; the slack lets the
// generated art be retouched, while a fade still under way, another screen or
// black is far off.
constexpr int kSlack = 12;

const Spot kSplash[] = {
    {100, 100, {3, 3, 8}, "the dark background"},
    {169, 220, {94, 251, 255}, "the outer cyan ring"},
    {320, 149, {255, 143, 244}, "the pink ring"},
};
const Spot kTitle[] = {
    {200, 200, {29, 12, 50}, "the night sky behind the menu"},
    {90, 100, {255, 141, 194}, "the logo's pink letters"},
    {470, 100, {71, 51, 158}, "the character's hat"},
    {450, 300, {255, 224, 204}, "the character's face"},
};
const Spot kPlay[] = {
    {60, 40, {24, 12, 53}, "the left panel"},
    {600, 300, {14, 8, 34}, "the right panel"},
    {127, 100, {56, 127, 152}, "the left panel's edge along the field"},
    {524, 188, {98, 210, 120}, "the first bomb"},
    {540, 188, {98, 210, 120}, "the second bomb"},
};
const Spot kCollection[] = {
    {600, 100, {23, 16, 49}, "the tinted background"},
    {100, 36, {185, 78, 146}, "the heading's underline"},
    {300, 394, {89, 242, 255}, "the message window's frame"},
    {72, 152, {233, 233, 247}, "the first medal, under the cursor"},
    {144, 152, {146, 146, 155}, "the second medal, greyed"},
};

// The title's six entries, each after a star that is bright under the cursor.
constexpr int kTitleEntries = 6;
constexpr int kTitleEndless = 0;
constexpr int kTitleCollection = 2;
constexpr int kTitleQuit = 5;
constexpr int kStarX = 25;
constexpr int kFirstStarY = 232;
constexpr int kStarStep = 24;

// The pause menu's heading and entries, each at a stem of its first letter:
// the entry under the cursor is drawn whole, the other at half alpha.
const Spot kPauseWords[] = {
    {156, 185, {217, 242, 255}, "the pause heading"},
    {155, 236, {215, 242, 255}, "resume"},
    {154, 276, {214, 242, 254}, "give up"},
};
enum PauseEntry { kNoPause = -1, kResume = 0, kGiveUp = 1 };

bool Near(Rgb shown, Rgb wanted) {
    return std::abs(shown.r - wanted.r) <= kSlack && std::abs(shown.g - wanted.g) <= kSlack &&
           std::abs(shown.b - wanted.b) <= kSlack;
}

std::string Described(const Spot& spot, Rgb shown) {
    return std::string(spot.what) + " at " + std::to_string(spot.x) + "," + std::to_string(spot.y) +
           " shows " + std::to_string(shown.r) + "," + std::to_string(shown.g) + "," +
           std::to_string(shown.b) + "; ";
}

// "" when the picture shows every spot; else each spot that differs.
template <size_t N>
std::string Differences(const WindowPicture& picture, const Spot (&spots)[N]) {
    if (picture.width() != 640 || picture.height() != 480) {
        return "a picture of " + std::to_string(picture.width()) + " by " +
               std::to_string(picture.height()) + "; ";
    }
    std::string differences;
    for (const Spot& spot : spots) {
        const Rgb shown = picture.At(spot.x, spot.y);
        if (!Near(shown, spot.rgb)) {
            differences += Described(spot, shown);
        }
    }
    return differences;
}

// What a wait looks for: "" when the picture shows it, else what differs.
using Screen = std::function<std::string(const WindowPicture&)>;

template <size_t N>
Screen Showing(const Spot (&spots)[N]) {
    return [&spots](const WindowPicture& picture) { return Differences(picture, spots); };
}

// The colours a picture shows at the spots, to tell a still screen from one
// under a fade.
using Reading = std::function<std::string(const WindowPicture&)>;

template <size_t N>
std::string ReadSpots(const WindowPicture& picture, const Spot (&spots)[N]) {
    std::string reading;
    for (const Spot& spot : spots) {
        reading += Described(spot, picture.At(spot.x, spot.y));
    }
    return reading;
}

template <size_t N>
Reading SpotsOf(const Spot (&spots)[N]) {
    return [&spots](const WindowPicture& picture) { return ReadSpots(picture, spots); };
}

// The title, shown whole, with its cursor on `entry` alone.
Screen TitleOn(int entry) {
    return [entry](const WindowPicture& picture) {
        std::string differences = Differences(picture, kTitle);
        for (int i = 0; i < kTitleEntries; ++i) {
            const bool lit = picture.At(kStarX, kFirstStarY + kStarStep * i).g >= 180;
            if (lit != (i == entry)) {
                differences +=
                    "the star of entry " + std::to_string(i) + (lit ? " lit; " : " dark; ");
            }
        }
        return differences;
    };
}

// The play screen's panels; with the pause menu over the field, its heading
// and the entry under the cursor whole, the other entry dimmed.
Screen Playing(PauseEntry pause = kNoPause) {
    return [pause](const WindowPicture& picture) {
        std::string differences = Differences(picture, kPlay);
        if (pause == kNoPause) {
            return differences;
        }
        // The heading first, then the entries in their order.
        for (int i = 0; i < static_cast<int>(std::size(kPauseWords)); ++i) {
            const Spot& word = kPauseWords[i];
            const Rgb shown = picture.At(word.x, word.y);
            const bool whole = i == 0 || i - 1 == pause;
            if (Near(shown, word.rgb) != whole) {
                differences += Described(word, shown);
            }
        }
        return differences;
    };
}

// A screen shows within this; fades run for tens of frames, and the race
// detector's build draws a few frames a second on a busy machine.
constexpr DWORD kScreenWait = 60000;
// A press shows within a few frames; one that does not was lost.
constexpr DWORD kRepeatWait = 4000;
// A screen is still when its spots read alike for this long: a fade changes
// them every frame it runs, and even a loaded machine draws several frames in
// this time. Menus ignore keys while a fade runs, and a key held down through
// it never reads as a new press, so keys go down on still screens only.
constexpr DWORD kStillFor = 1500;

// A scratch copy of the game's folder: the generated pictures and sounds
// linked, replay/ and screenshot/ of its own, and a config.dat for a quick
// run in a window.
bool MakeGameFolder(const std::string& data, const ScratchDirectory& folder) {
    DIR* entries = opendir(data.c_str());
    if (entries == nullptr) {
        return false;
    }
    bool made = true;
    while (const dirent* entry = readdir(entries)) {
        const std::string name = entry->d_name;
        struct stat info;
        if (name[0] == '.' || stat((data + "/" + name).c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode)) {
            continue;  // files the game writes (scores, settings) start afresh
        }
        const std::string target = folder.Linux(name);
        const bool own = name == "replay" || name == "screenshot";
        made = made && (own ? mkdir(target.c_str(), 0755) == 0
                            : symlink((data + "/" + name).c_str(), target.c_str()) == 0);
    }
    closedir(entries);
    // Half the frames drawn: the sanitizer builds draw slowly on the Direct3D
    // path, which no setting turns off. Running while inactive: the game
    // keeps going whatever the virtual display makes of its focus.
    const ConfigWord config = {kConfigResolution640x480, kConfigScreenWindow, kConfigColour32Bit,
                               kConfigHalfFrameRate | kConfigRunInactive};
    FILE* file = fopen(folder.Linux("config.dat").c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    made = WriteConfigWord(file, config) == kConfigWordBytes && made;
    return fclose(file) == 0 && made;
}

// The game running in its scratch folder on a display, driven by the keys
// xdotool presses into its window. When a test stops half-way, the game is
// killed and its last picture kept (game_last_BUILD.png) to show where.
class GameOnDisplay {
  public:
    ~GameOnDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (::testing::Test::HasFailure() && picture_.width() > 0) {
            picture_.SaveAsPng(ScreenshotPath(buildFolder_, "game_last"));
        }
    }

    // Starts the build's game in `folder` and waits for its window, which
    // then takes the keys.
    bool Start(const std::string& buildFolder, const std::string& folder,
               const std::string& display) {
        buildFolder_ = buildFolder;
        display_ = display;
        const std::string program = buildFolder + "/vantrel";
        pid_ = fork();
        if (pid_ == 0) {
            RunGame(program, folder, display);
        }
        if (pid_ < 0) {
            return false;
        }
        window_ = WaitForWindow(display_, pid_, "^Vantrel!$");
        if (window_.empty()) {
            return false;
        }
        OnDisplay(display_, "timeout 10 xdotool windowfocus --sync " + window_);
        return true;
    }

    // Takes pictures until one shows `screen`; false when none did in time
    // or the game ended.
    bool WaitFor(const Screen& screen, DWORD ms) {
        const DWORD start = timeGetTime();
        while (timeGetTime() - start < ms) {
            if (!picture_.Take(display_, window_)) {
                differences_ = "no picture of the window; ";
            } else if ((differences_ = screen(picture_)).empty()) {
                return true;
            }
            if (waitpid(pid_, &status_, WNOHANG) == pid_) {
                pid_ = -1;
                differences_ += "the game ended; ";
                return false;
            }
            Sleep(50);
        }
        return false;
    }

    // Takes pictures until `screen` shows and its spots have read alike for
    // kStillFor: the fade that brought it is over. False when that did not
    // happen in time or the game ended.
    bool WaitForStill(const Screen& screen, const Reading& reading, DWORD ms = kScreenWait) {
        const DWORD start = timeGetTime();
        std::string last;
        DWORD lastSince = 0;
        while (WaitFor(screen, ms - std::min(ms, timeGetTime() - start))) {
            const std::string now = reading(picture_);
            if (now != last) {
                last = now;
                lastSince = timeGetTime();
            } else if (timeGetTime() - lastSince >= kStillFor) {
                return true;
            }
            if (timeGetTime() - start >= ms) {
                break;
            }
            Sleep(50);
        }
        differences_ += "not still in time; ";
        return false;
    }

    // The game reads the keyboard's state once a frame, so a key goes down
    // and stays down until its effect shows, whatever the frame rate.
    bool Press(const std::string& key, const Screen& until, DWORD ms = kScreenWait) {
        Key("keydown", key);
        const bool shown = WaitFor(until, ms);
        Key("keyup", key);
        return shown;
    }

    // A key pressed again just after it was let go reads as held, not pressed
    // anew, when the game read the keyboard neither between the two nor
    // after the first: so it is pressed until its effect shows. Only for a
    // choice one press too many cannot spoil: a cursor going round, a press
    // the game ignores while a fade runs.
    bool PressRepeatedly(const std::string& key, const Screen& until) {
        const DWORD start = timeGetTime();
        do {
            if (Press(key, until, kRepeatWait)) {
                return true;
            }
            Sleep(200);
        } while (timeGetTime() - start < kScreenWait);
        return false;
    }

    void Key(const char* action, const std::string& keys) {
        OnDisplay(display_, std::string("timeout 10 xdotool ") + action + " " + keys);
    }

    // The exit status; -1 when the game is still running after `ms` (it is
    // killed then).
    int WaitForEnd(DWORD ms) {
        if (pid_ < 0) {
            return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
        }
        const int status = WaitForExit(pid_, ms);
        pid_ = -1;
        return status;
    }

    // The last picture taken, and how it differed from what the last wait
    // looked for.
    const WindowPicture& picture() const { return picture_; }
    const std::string& differences() const { return differences_; }

  private:
    // In the child: never returns.
    [[noreturn]] static void RunGame(const std::string& program, const std::string& folder,
                                     const std::string& display) {
        if (chdir(folder.c_str()) != 0) {
            _exit(126);
        }
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        // Library tests running beside this one hold windows of the same
        // class; a namespace of its own keeps them from counting as a
        // running instance of the game.
        setenv("TESSEL_INSTANCE_NAMESPACE", ("vantrel-" + std::to_string(getpid())).c_str(), 1);
        // The X client libraries keep allocations to the end; they are not ours.
        const char* asan = getenv("ASAN_OPTIONS");
        const std::string options = asan != nullptr ? std::string(asan) + ":" : std::string();
        setenv("ASAN_OPTIONS", (options + "detect_leaks=0").c_str(), 1);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }

    std::string buildFolder_;
    std::string display_;
    std::string window_;
    pid_t pid_ = -1;
    int status_ = 0;
    WindowPicture picture_;
    std::string differences_;
};

void Keep(const WindowPicture& picture, const std::string& buildFolder, const char* stem) {
    const std::string path = ScreenshotPath(buildFolder, stem);
    EXPECT_TRUE(picture.SaveAsPng(path)) << path;
}

TEST(GameOnADisplay, IsPlayedThroughItsMenusAndQuitsWithZero) {
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("import") || !OnPath("convert")) {
        GTEST_SKIP() << "Xvfb, xdotool or ImageMagick is not installed";
    }
    const std::string buildFolder = ThisProgramFolder();
    ASSERT_EQ(access((buildFolder + "/vantrel").c_str(), X_OK), 0) << buildFolder;
    ScratchDirectory folder;
    ASSERT_FALSE(folder.path().empty());
    ASSERT_TRUE(MakeGameFolder(buildFolder + "/game_data", folder));
    VirtualDisplay display;
    ASSERT_TRUE(display.Start("800x600x24"));
    GameOnDisplay game;
    ASSERT_TRUE(game.Start(buildFolder, folder.path(), display.name())) << "no window appeared";

    // The splash, which gives way to the title by itself: a decide pressed on
    // it could land on the title instead, on a machine slow enough.
    ASSERT_TRUE(game.WaitFor(Showing(kSplash), kScreenWait)) << "splash: " << game.differences();
    ASSERT_TRUE(game.WaitForStill(TitleOn(kTitleEndless), SpotsOf(kTitle)))
        << "title: " << game.differences();
    Keep(game.picture(), buildFolder, "game_title");

    // Endless, played until its fade-in is over: shooting, and moving off the
    // line the first enemies aim along.
    ASSERT_TRUE(game.PressRepeatedly("z", Playing())) << "play: " << game.differences();
    game.Key("keydown", "z Left");
    const bool playing = game.WaitForStill(Playing(), SpotsOf(kPlay));
    game.Key("keyup", "z Left");
    ASSERT_TRUE(playing) << "play, later: " << game.differences();
    Keep(game.picture(), buildFolder, "game_play");

    // Pause, give up: back on the title, whose cursor a new game put on Endless.
    ASSERT_TRUE(game.Press("Escape", Playing(kResume))) << "pause: " << game.differences();
    ASSERT_TRUE(game.WaitForStill(Playing(kResume), SpotsOf(kPauseWords)))
        << "pause, faded in: " << game.differences();
    ASSERT_TRUE(game.PressRepeatedly("Down", Playing(kGiveUp)))
        << "give up: " << game.differences();
    ASSERT_TRUE(game.Press("z", TitleOn(kTitleEndless)))
        << "title after giving up: " << game.differences();
    ASSERT_TRUE(game.WaitForStill(TitleOn(kTitleEndless), SpotsOf(kTitle)))
        << "title after giving up, faded in: " << game.differences();

    // Down to the collection, and into it.
    for (int entry = kTitleEndless + 1; entry <= kTitleCollection; ++entry) {
        ASSERT_TRUE(game.PressRepeatedly("Down", TitleOn(entry)))
            << "title entry " << entry << ": " << game.differences();
    }
    ASSERT_TRUE(game.Press("z", Showing(kCollection))) << "collection: " << game.differences();
    ASSERT_TRUE(game.WaitForStill(Showing(kCollection), SpotsOf(kCollection)))
        << "collection, faded in: " << game.differences();
    Keep(game.picture(), buildFolder, "game_collection");

    // Cancel goes back to the title, where it puts the cursor on quit.
    ASSERT_TRUE(game.Press("x", TitleOn(kTitleCollection)))
        << "title after the collection: " << game.differences();
    ASSERT_TRUE(game.PressRepeatedly("x", TitleOn(kTitleQuit))) << "quit: " << game.differences();
    ASSERT_TRUE(game.WaitForStill(TitleOn(kTitleQuit), SpotsOf(kTitle)))
        << "title on quit, still: " << game.differences();
    game.Key("keydown", "z");
    EXPECT_EQ(game.WaitForEnd(kScreenWait), 0) << "the game did not quit cleanly";
    game.Key("keyup", "z");
}

}  // namespace
